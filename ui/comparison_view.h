#pragma once
// Two images side by side, before on the left and after on the right, at one shared zoom and scroll
// position: both halves always show the same part of their image. Fit-to-window follows the window's
// size; 1 : 1 shows one image pixel per screen pixel. UI thread only.

#include <QAbstractScrollArea>
#include <QImage>

namespace pagewash {

class ComparisonView : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit ComparisonView(QWidget* parent);

    // Shows a new pair (Format_RGB32 draws fastest), keeping the zoom and the scroll position.
    void setImages(QImage before, QImage after);
    void fitToWindow();
    void showActualSize();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QSize imageSize() const;
    int halfWidth() const;
    void updateScale();

    QImage m_before;
    QImage m_after;
    bool m_fit = true;
    double m_scale = 1.0;
};

}  // namespace pagewash
