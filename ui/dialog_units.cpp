#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QStringList>

namespace pagewash {
namespace {

// a * b / c rounded half away from zero, as the dialog manager's integer scaling does it.
int scaleRounded(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_averageCharWidth = (letters / 26 + 1) / 2;
    m_charHeight = metrics.height();
    if (m_averageCharWidth < 1) m_averageCharWidth = 1;
    if (m_charHeight < 1) m_charHeight = 1;
}

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : m_averageCharWidth(averageCharWidth), m_charHeight(charHeight) {}

int DialogUnits::toPixelsX(int x) const { return scaleRounded(x, m_averageCharWidth, 4); }

int DialogUnits::toPixelsY(int y) const { return scaleRounded(y, m_charHeight, 8); }

QRect DialogUnits::toPixels(int x, int y, int width, int height) const {
    return QRect(toPixelsX(x), toPixelsY(y), toPixelsX(width), toPixelsY(height));
}

QSize DialogUnits::toPixels(int width, int height) const {
    return QSize(toPixelsX(width), toPixelsY(height));
}

QFont dialogFont(int points) {
    QFont font;
    // MS UI Gothic has proportional kana; IPA P Gothic is the Debian font closest to it, and its
    // fixed-pitch sibling IPA Gothic and Noto Sans CJK JP follow.
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    return font;
}

}  // namespace pagewash
