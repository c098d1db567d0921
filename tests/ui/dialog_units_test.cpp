#include "ui/dialog_units.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QStringList>

namespace pagewash {
namespace {

TEST(DialogUnits, ScaleByQuarterCharWidthAndEighthCharHeightRounded) {
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.toPixelsX(4), 6);
    EXPECT_EQ(units.toPixelsX(283), 425);  // 424.5 rounds up
    EXPECT_EQ(units.toPixelsX(7), 11);     // 10.5
    EXPECT_EQ(units.toPixelsX(1), 2);      // 1.5
    EXPECT_EQ(units.toPixelsY(8), 13);
    EXPECT_EQ(units.toPixelsY(276), 449);  // 448.5
    EXPECT_EQ(units.toPixelsY(3), 5);      // 4.875
    EXPECT_EQ(units.toPixels(15, 20, 260, 88), QRect(23, 33, 390, 143));
    EXPECT_EQ(units.toPixels(283, 276), QSize(425, 449));
}

TEST(DialogUnits, BaseUnitsComeFromTheFontsLettersAndHeight) {
    const QFont font = dialogFont(9);
    const QFontMetrics metrics(font);
    const DialogUnits units(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(units.averageCharWidth(), (letters / 26 + 1) / 2);
    EXPECT_EQ(units.charHeight(), metrics.height());
    EXPECT_GT(units.averageCharWidth(), 2);
    EXPECT_GT(units.charHeight(), 8);
}

TEST(DialogFont, AsksForMsUiGothicFirstThenJapaneseGothicFonts) {
    const QFont font = dialogFont(9);
    const QStringList families = font.families();
    EXPECT_EQ(families, (QStringList{"MS UI Gothic", "IPAPGothic", "IPAGothic", "Noto Sans CJK JP"}));
    EXPECT_EQ(font.pointSize(), 9);
}

TEST(DialogFont, ResolvesToAFontWithTheDialogsKanjiAndKana) {
    const QFont font = dialogFont(9);
    const QFontMetrics metrics(font);
    // 漂 白 実 行 and the katakana of マニュアル: a Latin-only font would draw boxes.
    for (const char16_t ch : {u'漂', u'白', u'実', u'行', u'マ', u'ュ', u'ぼ'}) {
        EXPECT_TRUE(metrics.inFont(QChar(ch)))
            << "missing U+" << std::hex << int(ch) << " in " << QFontInfo(font).family().toStdString();
    }
}

}  // namespace
}  // namespace pagewash
