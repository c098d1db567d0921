#include "ui/pagewash_dlg.h"

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QUrl>
#include <array>
#include <span>
#include <string>
#include <tuple>

#include "settings/setting_words.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialog_units.h"

namespace pagewash {
namespace {

namespace c = control;
using test::DialogTest;
using test::MessageBoxAnswerer;

// A drop of `urls` as a file manager sends it, onto `target`; returns whether it was accepted.
bool drop(QWidget* target, const QStringList& urls) {
    QMimeData mime;
    mime.setUrls(QUrl::fromStringList(urls));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted()) QApplication::sendEvent(target, &dropped);
    return enter.isAccepted() && dropped.isAccepted();
}

TEST_F(DialogTest, IsAFixedJapaneseWindowInDialogUnitsWithWholeTextsAndWarnsOnBleachWithAnEmptyList) {
    QStringList shown{dialog->windowTitle(), list()->item(0)->text()};
    for (QWidget* widget : dialog->controls().widgetsInOrder()) {
        if (auto* label = qobject_cast<QLabel*>(widget)) shown << label->text();
        if (auto* group = qobject_cast<QGroupBox*>(widget)) shown << group->title();
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) shown << button->text();
    }
    EXPECT_EQ(
        shown.join(u'|').toStdString(),
        "Pagewash|<ファイルの追加はここをWクリ. ただしD&D推奨>|ファイルリスト(&L)|フルカラー画像の処理|"
        "処理しない|自動補正|黄ばみ除去|グレースケール|マニュアル補正|黒基準|白基準|グレースケール画像の処理|"
        "処理しない|自動補正|マニュアル補正|黒基準|白基準|圧縮率|ぼかし|ぼかし無|平均|メディアン|弱|強|"
        "漂白実行(&S)");

    // A dialog unit is a quarter of the average char width and an eighth of the line height, rounded.
    EXPECT_EQ(DialogUnits(6, 13).toPixels(7, 3, 260, 88), QRect(11, 5, 390, 143));  // 10.5, 4.875
    EXPECT_EQ(DialogUnits(6, 13).toPixels(283, 276), QSize(425, 449));              // 424.5, 448.5
    const DialogUnits units(dialog->font());
    EXPECT_EQ(dialog->minimumSize(), units.toPixels(283, 276));
    EXPECT_EQ(dialog->maximumSize(), units.toPixels(283, 276));
    EXPECT_EQ(list()->geometry(), units.toPixels(15, 20, 260, 88));
    EXPECT_EQ(dialog->windowFlags() & (Qt::WindowType_Mask | Qt::WindowMinMaxButtonsHint),
              Qt::Window | Qt::WindowMinimizeButtonHint);  // a task bar window that cannot be maximised
    EXPECT_TRUE(dialog->windowIcon().availableSizes().contains(QSize(32, 32)));
    for (auto* box : dialog->findChildren<QLineEdit*>())
        EXPECT_TRUE(box->isReadOnly()) << box->objectName().toStdString();
    auto* button = qobject_cast<QPushButton*>(dialog->control(c::kBleachButton));
    EXPECT_TRUE(button->isDefault() && button->shortcut() == QKeySequence(Qt::ALT | Qt::Key_S));
    EXPECT_EQ(qobject_cast<QLabel*>(dialog->controls().widgetsInOrder().front())->buddy(), list());
    MessageBoxAnswerer answerer;
    button->click();
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].caption + "|" + answerer.seen[0].text, "警告|リストにデータがありません。");
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::NoIcon);
    EXPECT_FALSE(dialog->isRunning());

    const QList<QWidget*> widgets = dialog->controls().widgetsInOrder();  // every text whole, no overlap
    for (QWidget* widget : widgets) {
        const std::string name = widget->objectName().toStdString();
        EXPECT_TRUE(dialog->rect().contains(widget->geometry())) << name;
        int textWidth = 0;  // what the text needs, with a radio button's circle and gap
        if (auto* label = qobject_cast<QLabel*>(widget)) textWidth = label->sizeHint().width();
        if (auto* button = qobject_cast<QRadioButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            textWidth =
                button->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button).left() +
                button->fontMetrics().horizontalAdvance(button->text());
        }
        EXPECT_LE(textWidth, widget->width()) << "text cut: " << name;
        for (QWidget* other : widgets) {
            if (other == widget || qobject_cast<QGroupBox*>(other) || qobject_cast<QGroupBox*>(widget))
                continue;
            EXPECT_FALSE(widget->geometry().intersects(other->geometry()))
                << name << " and " << other->objectName().toStdString();
        }
    }
}

TEST_F(DialogTest, OnlyTheListTakesDropsAndOnlyOfLocalPdfAndJpgFilesNamesCutAt1023) {
    EXPECT_TRUE(
        drop(list()->viewport(), {"file:/d/A.PDF", "file:/d/b.Jpg", "file:/d/c.txt", "file:/d/e.jpeg"}));
    EXPECT_TRUE(drop(list()->viewport(), {"file:/d/A.PDF"}));
    EXPECT_FALSE(drop(list()->viewport(), {"https://example.org/x.pdf"}));
    for (QWidget* elsewhere : {static_cast<QWidget*>(dialog.get()), dialog->control(c::kBleachButton),
                               dialog->control(c::kColorNone), dialog->control(c::kColorBlackBox)}) {
        EXPECT_FALSE(drop(elsewhere, {"file:/d/x.pdf"})) << elsewhere->objectName().toStdString();
    }
    const QString cutEndsInPdf = "/" + QString(1019, u'a') + "pdf";  // names are cut at 1023 characters
    dialog->handleDroppedFiles({cutEndsInPdf + "-notes.txt", "/" + QString(1030, u'b') + ".pdf"});
    EXPECT_EQ(items(), (QStringList{"/d/A.PDF", "/d/b.Jpg", "/d/A.PDF", cutEndsInPdf}));
}

TEST_F(DialogTest, DoubleClickOnTheHintAddsAChosenPdfOrJpgAndOnAFileRemovesIt) {
    const QStringList answers{"/s/scan.jpeg", "/s/scan.JPG", "", "/s/Book.Pdf"};
    int asked = 0;
    dialog->setFileChooser(
        [&](QWidget* parent) { return answers.value(asked++) + (parent == dialog.get() ? "" : "?"); });
    const auto doubleClickRow = [&](int row) {
        const QPoint at = list()->visualItemRect(list()->item(row)).center();
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    };
    for (int i = 0; i < 4; ++i) doubleClickRow(0);
    EXPECT_EQ(items(), (QStringList{"/s/scan.JPG", "/s/Book.Pdf"}));
    doubleClickRow(1);
    EXPECT_EQ(items(), (QStringList{"/s/Book.Pdf"}));
    EXPECT_EQ(asked, 4);
}

TEST_F(DialogTest, ReferenceSlidersKeepBlackBelowWhiteAndTheirBoxesFollow) {
    const int sliders[] = {c::kColorBlackSlider, c::kColorWhiteSlider, c::kGrayBlackSlider,
                           c::kGrayWhiteSlider};
    const int boxes[] = {c::kColorBlackBox, c::kColorWhiteBox, c::kGrayBlackBox, c::kGrayWhiteBox};
    // Moves {index in `sliders`, value}; the four values after them.
    const std::pair<std::vector<std::pair<int, int>>, std::array<int, 4>> cases[] = {
        {{{0, 90}}, {90, 91, 5, 85}},
        {{{1, 90}, {0, 100}}, {99, 100, 5, 85}},  // white pushed to the end pushes black back
        {{{0, 40}, {1, 10}, {1, 0}}, {0, 1, 5, 85}},
        {{{2, 90}}, {5, 85, 90, 91}},
        {{{2, 90}, {1, 3}}, {2, 3, 90, 91}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        reset();
        for (const auto& [index, value] : cases[i].first) {
            slider(sliders[index])->setValue(value);
            test::settle();
        }
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(slider(sliders[k])->value(), cases[i].second[k]) << "case " << i;
            EXPECT_EQ(box(boxes[k])->text(), QString::number(cases[i].second[k])) << "case " << i;
        }
    }
}

TEST_F(DialogTest, NumberSlidersAndBoxesFollowEachOtherReachTheSettingsAndANonIntegerIsReported) {
    radio(c::kBlurMedian)->click();  // no handler of its own: the next exchange takes it
    QTest::keyClick(slider(c::kCompressionSlider), Qt::Key_End);
    QTest::keyClick(slider(c::kBlurStrengthSlider), Qt::Key_End);
    test::settle();
    EXPECT_EQ(box(c::kCompressionBox)->text() + "," + box(c::kBlurStrengthBox)->text(), "100,10");
    const CorrectionSettings settings = dialog->currentSettings();
    EXPECT_EQ((std::array{settings.compression, settings.blurStrength, settings.blurMode}),
              (std::array{100, 10, 2}));
    box(c::kCompressionBox)->setText("70");
    test::settle();
    EXPECT_EQ(slider(c::kCompressionSlider)->value(), 70);
    MessageBoxAnswerer answerer;
    box(c::kGrayWhiteBox)->setText("abc");
    test::settle();
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].caption + "|" + answerer.seen[0].text, "Pagewash|整数を入力してください。");
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(slider(c::kGrayWhiteSlider)->value(), 85);
    EXPECT_EQ(dialog->focusWidget(), box(c::kGrayWhiteBox)) << "the exchange names the box";
}

TEST_F(DialogTest, EachModeButtonGivesItsNumberInTheSettingsTableAndTheDefaultsAreSelectedAtStart) {
    EXPECT_EQ(dialog->currentSettings(), kDefaultSettings);
    const std::tuple<const ModeSetting&, std::span<const int>> groups[] = {
        {kColorModeSetting, c::kColorModeRadios},
        {kGrayModeSetting, c::kGrayModeRadios},
        {kBlurModeSetting, c::kBlurModeRadios}};
    for (const auto& [setting, radios] : groups) {
        const std::string option(setting.option);
        ASSERT_EQ(radios.size(), setting.choices.size()) << option;
        EXPECT_TRUE(radio(radios[static_cast<std::size_t>(kDefaultSettings.*setting.field)])->isChecked())
            << option;
        for (std::size_t n = 0; n < radios.size(); ++n) {
            QTest::mouseClick(radio(radios[n]), Qt::LeftButton);
            ASSERT_TRUE(dialog->readExchange());
            EXPECT_EQ(dialog->currentSettings().*setting.field, setting.choices[n].number)
                << option << " " << setting.choices[n].word;
        }
    }
}

TEST_F(DialogTest, ManualModeEnablesItsSlidersOtherModesDisableSlidersAndBoxesForGood) {
    const int references[] = {c::kColorBlackBox,    c::kColorBlackSlider, c::kColorWhiteBox,
                              c::kColorWhiteSlider, c::kGrayBlackBox,     c::kGrayBlackSlider,
                              c::kGrayWhiteBox,     c::kGrayWhiteSlider};
    // Clicks; the colour, gray and blur positions after them (dialog order); `references` enabled (+).
    const std::tuple<std::vector<int>, std::array<int, 3>, std::string> cases[] = {
        {{c::kColorManual}, {4, 1, 0}, "++++ +-+-"},
        {{c::kColorManual, c::kColorGrayscale}, {3, 1, 0}, "---- +-+-"},
        {{c::kColorAuto, c::kColorManual}, {4, 1, 0}, "-+-+ +-+-"},
        {{c::kGrayManual, c::kGrayNone}, {2, 0, 0}, "+-+- ----"},
        {{c::kGrayNone, c::kGrayManual}, {2, 2, 0}, "+-+- -+-+"},
        {{c::kGrayManual, c::kColorManual, c::kBlurAverage}, {4, 2, 1}, "++++ ++++"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& [clicks, modes, enabled] = cases[i];
        reset();
        for (int id : clicks) QTest::mouseClick(radio(id), Qt::LeftButton);
        ASSERT_TRUE(dialog->readExchange());
        const DialogValues& values = dialog->values();
        EXPECT_EQ((std::array{values.colorMode, values.grayMode, values.blurMode}), modes) << "case " << i;
        std::string shown;
        for (int id : references)
            shown += std::string(shown.size() == 4, ' ') + (dialog->control(id)->isEnabled() ? '+' : '-');
        EXPECT_EQ(shown, enabled) << "case " << i;
    }
}

}  // namespace
}  // namespace pagewash
