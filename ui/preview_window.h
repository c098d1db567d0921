#pragma once
// The preview window of the dialog: one image of one listed PDF before and after the bleach, side by
// side, with previous / next, fit-to-window and 1 : 1, and the image's size in bytes before and after.
// It follows the settings it is given: each change bleaches the image again in the background
// (ui/common/preview_worker.h) and the newest settings win. Not modal.
//
// Ownership: a child of the dialog (a window of its own); closing only hides it.
// Threads: UI thread only; results come back from the worker through queued calls.

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <string>

#include "settings/correction_settings.h"
#include "ui/common/preview_navigation.h"
#include "ui/common/preview_worker.h"

class QLabel;
class QPushButton;

namespace pagewash {

class ComparisonView;

class PreviewWindow : public QWidget {
    Q_OBJECT

  public:
    explicit PreviewWindow(QWidget* parent);
    ~PreviewWindow() override;

    // Shows image 1 of `path` (a local file name) with `settings`, reading the file again.
    void showFile(const QString& path, const CorrectionSettings& settings);
    // Bleaches the image shown again with `settings` (nothing when they are the ones shown).
    void setSettings(const CorrectionSettings& settings);
    void showPrevious();
    void showNext();

    // ---- what is shown, for tests
    const CorrectionSettings& settings() const { return m_navigation.settings(); }
    // True from a request until the result of the newest one is shown.
    bool isComputing() const { return m_navigation.isComputing(); }
    int imageCount() const { return m_navigation.count(); }
    QString statusText() const;
    QImage beforeImage() const { return m_before; }
    QImage afterImage() const { return m_after; }

  signals:
    // The newest request's result is shown.
    void resultShown();

  private:
    // A result as the window shows it, made on the worker's thread.
    struct ShownResult {
        std::uint64_t generation = 0;
        int index = 0;
        int count = 0;
        QImage before;  // Format_RGB32; null after a failure
        QImage after;
        std::uint64_t bytesBefore = 0;
        std::uint64_t bytesAfter = 0;
        QString failure;
    };
    void requestPreview(const PreviewRequest& request);
    void showResult(const ShownResult& result);

    PreviewNavigation m_navigation;
    QImage m_before;
    QImage m_after;

    ComparisonView* m_view = nullptr;
    QPushButton* m_previousButton = nullptr;
    QPushButton* m_nextButton = nullptr;
    QLabel* m_imageLabel = nullptr;
    QLabel* m_sizeLabel = nullptr;
    QLabel* m_stateLabel = nullptr;
    PreviewWorker m_worker;  // last: stopped before the widgets it reports to go
};

}  // namespace pagewash
