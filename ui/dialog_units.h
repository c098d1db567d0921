#pragma once
// Dialog units: a layout measured in the dialog font's own base units keeps its proportions
// whatever the font and the screen resolution. One horizontal unit is a quarter of the font's
// average character width, one vertical unit an eighth of its character height.

#include <QFont>
#include <QRect>
#include <QSize>

namespace pagewash {

class DialogUnits {
  public:
    // Base units measured from `font`: the average width of the 52 Latin letters, rounded up to a
    // whole pixel after halving as the dialog manager does it, and the font's line height.
    explicit DialogUnits(const QFont& font);
    DialogUnits(int averageCharWidth, int charHeight);

    int averageCharWidth() const { return m_averageCharWidth; }
    int charHeight() const { return m_charHeight; }

    // x * averageCharWidth / 4 and y * charHeight / 8, rounded to the nearest pixel.
    int toPixelsX(int x) const;
    int toPixelsY(int y) const;
    QRect toPixels(int x, int y, int width, int height) const;
    QSize toPixels(int width, int height) const;

  private:
    int m_averageCharWidth;
    int m_charHeight;
};

// The dialog font: "MS UI Gothic" when present, else a Japanese Gothic font that Debian ships
// (IPAPGothic, IPAGothic, then Noto Sans CJK JP), at `points` points.
QFont dialogFont(int points);

}  // namespace pagewash
