#include "ui/pagewash_dlg.h"

#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QUrl>
#include <map>

#include "ui/control_ids.h"
#include "tests/ui/ui_test_support.h"
#include "ui/dialog_template.h"

namespace pagewash {
namespace {

namespace c = control;
using test::MessageBoxAnswerer;
using test::settle;

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog = std::make_unique<CPagewashDlg>();
        dialog->show();
        settle();
    }

    QListWidget* list() const { return qobject_cast<QListWidget*>(dialog->control(c::kFileList)); }
    QSlider* slider(int id) const { return qobject_cast<QSlider*>(dialog->control(id)); }
    QLineEdit* box(int id) const { return qobject_cast<QLineEdit*>(dialog->control(id)); }
    QRadioButton* radio(int id) const { return qobject_cast<QRadioButton*>(dialog->control(id)); }
    QStringList items() const {
        QStringList texts;
        for (int i = 0; i < list()->count(); ++i) texts.append(list()->item(i)->text());
        return texts;
    }
    QStringList hintAnd(const QStringList& files) const {
        return QStringList{QString::fromUtf8(kHintItemText)} + files;
    }

    // A drop of `paths` as a file manager sends it, onto `target`; returns whether it was accepted.
    static bool drop(QWidget* target, const QStringList& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths) urls.append(QUrl::fromLocalFile(path));
        mime.setUrls(urls);
        const QPoint where = target->rect().center();
        QDragEnterEvent enter(where, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(where), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        return dropped.isAccepted();
    }

    void doubleClickRow(int row) {
        const QRect rect = list()->visualItemRect(list()->item(row));
        // A press and release, then the second press that the platform reports as a double-click.
        QTest::mousePress(list()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QTest::mouseRelease(list()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        settle();
    }

    // Moves a slider as a drag or a key press would, and lets its notifications run.
    void moveSlider(int id, int value) {
        slider(id)->setValue(value);
        settle();
    }

    std::unique_ptr<CPagewashDlg> dialog;
};

// ---- the window and its controls

TEST_F(DialogTest, WindowIsFixedSizeTitledPagewashWithMinimiseButNoMaximise) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Pagewash"));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_EQ(dialog->size(), dialog->minimumSize());
    const Qt::WindowFlags flags = dialog->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window) << "a window of its own, shown in the task bar";
    const QList<QSize> iconSizes = dialog->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)))
        << "the small and the large window icon come from the program's resources";
    EXPECT_FALSE(dialog->acceptDrops());
}

TEST_F(DialogTest, EveryControlOfTheTemplateExistsWithItsTextInDialogOrder) {
    const QList<QWidget*> widgets = dialog->controls().widgetsInOrder();
    const auto layout = mainDialogTemplate();
    ASSERT_EQ(static_cast<std::size_t>(widgets.size()), layout.size());
    ASSERT_EQ(layout.size(), 37u);
    int ids = 0;
    for (std::size_t i = 0; i < layout.size(); ++i) {
        QWidget* widget = widgets[static_cast<qsizetype>(i)];
        const QString text = QString::fromUtf8(layout[i].text);
        if (layout[i].id != 0) {
            ++ids;
            EXPECT_EQ(dialog->control(layout[i].id), widget);
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), text);
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_EQ(group->title(), text);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), text);
        } else {
            EXPECT_TRUE(text.isEmpty()) << i;
        }
    }
    EXPECT_EQ(ids, 26);
    EXPECT_EQ(radio(c::kColorYellowing)->text(), QStringLiteral("黄ばみ除去"));
    EXPECT_EQ(radio(c::kGrayManual)->text(), QStringLiteral("マニュアル補正"));
    EXPECT_EQ(qobject_cast<QPushButton*>(dialog->control(c::kBleachButton))->text(),
              QStringLiteral("漂白実行(&S)"));
}

TEST_F(DialogTest, EveryTextIsShownWholeAndNoControlCoversAnother) {
    const QList<QWidget*> widgets = dialog->controls().widgetsInOrder();
    for (QWidget* widget : widgets) {
        const QRect area = widget->geometry();
        EXPECT_TRUE(dialog->rect().contains(area)) << widget->objectName().toStdString();
        if (auto* button = qobject_cast<QRadioButton*>(widget)) {
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect textArea =
                button->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button);
            EXPECT_LE(textArea.left() + button->fontMetrics().horizontalAdvance(button->text()), area.width())
                << "text cut: " << button->text().toStdString();
        }
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            const QString shown = QString(label->text()).remove(QLatin1Char('&'));
            EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), area.width())
                << "text cut: " << shown.toStdString();
        }
        if (qobject_cast<QGroupBox*>(widget) != nullptr) continue;
        for (QWidget* other : widgets) {
            if (other == widget || qobject_cast<QGroupBox*>(other) != nullptr) continue;
            EXPECT_FALSE(area.intersects(other->geometry()))
                << widget->metaObject()->className() << " " << widget->objectName().toStdString() << " and "
                << other->metaObject()->className() << " " << other->objectName().toStdString();
        }
    }
}

TEST_F(DialogTest, TabOrderIsTheDialogOrderOfTheTabStops) {
    std::vector<QWidget*> expected;
    for (QWidget* widget : dialog->controls().widgetsInOrder()) {
        if (widget->focusPolicy() & Qt::TabFocus) expected.push_back(widget);
    }
    ASSERT_EQ(expected.size(), 15u);  // the list, 6 boxes, 6 sliders, the progress box, the button
    // Walk the focus chain from the list; the disabled reference sliders are still in the chain.
    std::vector<QWidget*> chain;
    QWidget* widget = expected.front();
    do {
        if (std::find(expected.begin(), expected.end(), widget) != expected.end()) chain.push_back(widget);
        widget = widget->nextInFocusChain();
    } while (widget != expected.front() && chain.size() < 40);
    EXPECT_EQ(chain, expected);
    for (int id : {c::kColorNone, c::kGrayAuto, c::kBlurMedian}) {
        EXPECT_FALSE(radio(id)->focusPolicy() & Qt::TabFocus) << "radio buttons are not tab stops";
    }
}

TEST_F(DialogTest, StartsWithTheHintItemAndTheDefaultsShown) {
    EXPECT_EQ(items(), hintAnd({}));
    EXPECT_EQ(list()->item(0)->text(), QStringLiteral("<ファイルの追加はここをWクリ. ただしD&D推奨>"));
    EXPECT_EQ(box(c::kCompressionBox)->text(), QStringLiteral("40"));
    EXPECT_EQ(box(c::kColorBlackBox)->text(), QStringLiteral("5"));
    EXPECT_EQ(box(c::kColorWhiteBox)->text(), QStringLiteral("85"));
    EXPECT_EQ(box(c::kGrayBlackBox)->text(), QStringLiteral("5"));
    EXPECT_EQ(box(c::kGrayWhiteBox)->text(), QStringLiteral("85"));
    EXPECT_EQ(box(c::kBlurStrengthBox)->text(), QStringLiteral("1"));
    EXPECT_EQ(box(c::kProgressBox)->text(), QString());
    EXPECT_TRUE(radio(c::kColorYellowing)->isChecked());
    EXPECT_TRUE(radio(c::kGrayAuto)->isChecked());
    EXPECT_TRUE(radio(c::kBlurNone)->isChecked());
    EXPECT_EQ(slider(c::kCompressionSlider)->value(), 40);
    EXPECT_EQ(slider(c::kColorWhiteSlider)->value(), 85);
    for (int id : {c::kColorBlackSlider, c::kColorWhiteSlider, c::kGrayBlackSlider, c::kGrayWhiteSlider}) {
        EXPECT_FALSE(slider(id)->isEnabled()) << id;
        EXPECT_EQ(slider(id)->minimum(), 0);
        EXPECT_EQ(slider(id)->maximum(), 100);
    }
    for (int id : {c::kColorBlackBox, c::kColorWhiteBox, c::kGrayBlackBox, c::kGrayWhiteBox}) {
        EXPECT_TRUE(box(id)->isEnabled()) << id;
        EXPECT_TRUE(box(id)->isReadOnly()) << id;
    }
    EXPECT_EQ(slider(c::kBlurStrengthSlider)->minimum(), 1);
    EXPECT_EQ(slider(c::kBlurStrengthSlider)->maximum(), 10);
    EXPECT_EQ(slider(c::kBlurStrengthSlider)->value(), 1);
    EXPECT_EQ(slider(c::kCompressionSlider)->maximum(), 100);
    EXPECT_EQ(takeSettings(dialog->values()), CorrectionSettings{});
    EXPECT_EQ(QApplication::focusWidget() == nullptr || QApplication::focusWidget() == list(), true);
}

TEST_F(DialogTest, BleachButtonIsTheDefaultAndMnemonicsReachListAndButton) {
    auto* button = qobject_cast<QPushButton*>(dialog->control(c::kBleachButton));
    EXPECT_TRUE(button->isDefault());
    EXPECT_EQ(button->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
    auto* label = qobject_cast<QLabel*>(dialog->controls().widgetsInOrder().front());
    EXPECT_EQ(label->buddy(), list());
}

TEST_F(DialogTest, AltLFocusesTheListAndAltSPressesTheBleachButton) {
    QApplication::setActiveWindow(dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    slider(c::kCompressionSlider)->setFocus();
    QTest::keyClick(slider(c::kCompressionSlider), Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), list());
    MessageBoxAnswerer answerer;
    QTest::keyClick(list(), Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(test::waitUntil([&] { return !answerer.seen().empty(); }));
    EXPECT_EQ(answerer.seen()[0].text, QStringLiteral("リストにデータがありません。"));
}

TEST_F(DialogTest, EnterWithAnEmptyListWarnsWithoutIconAndStartsNothing) {
    MessageBoxAnswerer answerer;
    list()->setFocus();
    QTest::keyClick(list(), Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return !answerer.seen().empty(); }));
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].text, QStringLiteral("リストにデータがありません。"));
    EXPECT_EQ(answerer.seen()[0].caption, QStringLiteral("警告"));
    EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::NoIcon);
    EXPECT_FALSE(dialog->isRunning());
    EXPECT_TRUE(dialog->control(c::kBleachButton)->isEnabled());
}

// ---- the file list

TEST_F(DialogTest, DropAppendsPdfAndJpgNamesInOrderWithTheirCase) {
    EXPECT_TRUE(drop(list()->viewport(), {"/data/A.PDF", "/data/b.Jpg", "/data/c.txt"}));
    EXPECT_EQ(items(), hintAnd({"/data/A.PDF", "/data/b.Jpg"}));
}

TEST_F(DialogTest, SameFileDroppedTwiceIsListedTwice) {
    drop(list()->viewport(), {"/data/book.pdf"});
    drop(list()->viewport(), {"/data/book.pdf"});
    EXPECT_EQ(items(), hintAnd({"/data/book.pdf", "/data/book.pdf"}));
}

TEST_F(DialogTest, DropOutsideTheListIsRefused) {
    for (int id :
         {c::kColorBlackBox, c::kProgressBox, c::kBleachButton, c::kColorNone, c::kCompressionSlider}) {
        EXPECT_FALSE(drop(dialog->control(id), {"/data/x.pdf"})) << id;
    }
    EXPECT_FALSE(drop(dialog.get(), {"/data/x.pdf"}));
    EXPECT_EQ(items(), hintAnd({}));
}

TEST_F(DialogTest, DropWithoutLocalFilesIsRefused) {
    QMimeData mime;
    mime.setUrls({QUrl(QStringLiteral("https://example.org/x.pdf"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list()->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    EXPECT_EQ(items(), hintAnd({}));
}

TEST_F(DialogTest, DroppedNameLongerThan1023CharactersIsCutThenTested) {
    // Cut at 1023 characters this name ends in "pdf", though the whole name ends in ".txt".
    const QString cutEndsInPdf =
        QStringLiteral("/") + QString(1019, QLatin1Char('a')) + QStringLiteral("pdf");
    ASSERT_EQ(cutEndsInPdf.size(), 1023);
    const QString first = cutEndsInPdf + QStringLiteral("-notes.txt");
    // And this one ends in ".pdf" only after the cut.
    const QString second = QStringLiteral("/") + QString(1030, QLatin1Char('b')) + QStringLiteral(".pdf");
    dialog->handleDroppedFiles({first, second});
    EXPECT_EQ(items(), hintAnd({cutEndsInPdf}));
}

TEST_F(DialogTest, FileDialogAddsPdfAndJpgButNotJpeg) {
    QStringList answers{"/scans/scan.jpeg", "/scans/scan.JPG", "", "/scans/Book.Pdf"};
    int asked = 0;
    dialog->setFileChooser([&](QWidget* parent) {
        EXPECT_EQ(parent, dialog.get());
        return answers.value(asked++);
    });
    for (int i = 0; i < 4; ++i) doubleClickRow(0);
    EXPECT_EQ(asked, 4);
    EXPECT_EQ(items(), hintAnd({"/scans/scan.JPG", "/scans/Book.Pdf"}));
}

TEST_F(DialogTest, DoubleClickRemovesAFileLineButNeverTheHintItem) {
    int asked = 0;
    dialog->setFileChooser([&](QWidget*) {
        ++asked;
        return QString();
    });
    dialog->handleDroppedFiles({"/d/1.pdf", "/d/2.pdf", "/d/3.pdf"});
    doubleClickRow(2);
    EXPECT_EQ(items(), hintAnd({"/d/1.pdf", "/d/3.pdf"}));
    EXPECT_EQ(asked, 0);
    doubleClickRow(0);
    doubleClickRow(0);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(items(), hintAnd({"/d/1.pdf", "/d/3.pdf"}));
    doubleClickRow(1);
    doubleClickRow(1);
    EXPECT_EQ(items(), hintAnd({}));
}

TEST_F(DialogTest, ListItemPathsAreGivenToTheRunAsLocalFileNames) {
    dialog->handleDroppedFiles({QStringLiteral("/tmp/漂白/本.pdf")});
    EXPECT_EQ(dialog->listItemCount(), 2);
    EXPECT_EQ(dialog->listItemPath(1), std::string("/tmp/漂白/本.pdf"));
    EXPECT_EQ(dialog->listItemPath(5), std::string());
}

// ---- sliders and boxes

TEST_F(DialogTest, BlackDraggedPastWhitePushesWhiteAhead) {
    moveSlider(c::kColorBlackSlider, 90);
    EXPECT_EQ(box(c::kColorBlackBox)->text(), QStringLiteral("90"));
    EXPECT_EQ(box(c::kColorWhiteBox)->text(), QStringLiteral("91"));
    EXPECT_EQ(slider(c::kColorWhiteSlider)->value(), 91);
    EXPECT_EQ(dialog->values().colorWhite, 91);
}

TEST_F(DialogTest, BlackToTheEndPushesWhiteToTheEndWhichThenLowersBlack) {
    moveSlider(c::kColorWhiteSlider, 90);
    EXPECT_EQ(box(c::kColorWhiteBox)->text(), QStringLiteral("90"));
    moveSlider(c::kColorBlackSlider, 100);
    EXPECT_EQ(slider(c::kColorBlackSlider)->value(), 99);
    EXPECT_EQ(slider(c::kColorWhiteSlider)->value(), 100);
    EXPECT_EQ(box(c::kColorBlackBox)->text(), QStringLiteral("99"));
    EXPECT_EQ(box(c::kColorWhiteBox)->text(), QStringLiteral("100"));
}

TEST_F(DialogTest, WhiteDraggedBelowBlackPushesBlackDown) {
    moveSlider(c::kColorBlackSlider, 40);
    moveSlider(c::kColorWhiteSlider, 10);
    EXPECT_EQ(slider(c::kColorBlackSlider)->value(), 9);
    EXPECT_EQ(box(c::kColorBlackBox)->text(), QStringLiteral("9"));
    EXPECT_EQ(box(c::kColorWhiteBox)->text(), QStringLiteral("10"));
    moveSlider(c::kColorWhiteSlider, 0);
    EXPECT_EQ(slider(c::kColorBlackSlider)->value(), 0);
    EXPECT_EQ(slider(c::kColorWhiteSlider)->value(), 1) << "black's own notification separates the pair";
}

TEST_F(DialogTest, GrayPairFollowsItsRulesWithoutTouchingTheColourPair) {
    moveSlider(c::kGrayBlackSlider, 90);
    EXPECT_EQ(box(c::kGrayBlackBox)->text(), QStringLiteral("90"));
    EXPECT_EQ(box(c::kGrayWhiteBox)->text(), QStringLiteral("91"));
    EXPECT_EQ(slider(c::kColorBlackSlider)->value(), 5);
    EXPECT_EQ(slider(c::kColorWhiteSlider)->value(), 85);
    moveSlider(c::kColorWhiteSlider, 3);
    EXPECT_EQ(slider(c::kColorBlackSlider)->value(), 2);
    EXPECT_EQ(slider(c::kGrayBlackSlider)->value(), 90);
    EXPECT_EQ(slider(c::kGrayWhiteSlider)->value(), 91);
}

TEST_F(DialogTest, BoxesFollowCompressionAndBlurSlidersByKeyboard) {
    slider(c::kCompressionSlider)->setFocus();
    QTest::keyClick(slider(c::kCompressionSlider), Qt::Key_End);
    settle();
    EXPECT_EQ(box(c::kCompressionBox)->text(), QStringLiteral("100"));
    QTest::keyClick(slider(c::kBlurStrengthSlider), Qt::Key_Right);
    QTest::keyClick(slider(c::kBlurStrengthSlider), Qt::Key_Right);
    settle();
    EXPECT_EQ(box(c::kBlurStrengthBox)->text(), QStringLiteral("3"));
    QTest::keyClick(slider(c::kBlurStrengthSlider), Qt::Key_End);
    settle();
    EXPECT_EQ(box(c::kBlurStrengthBox)->text(), QStringLiteral("10"));
    const CorrectionSettings settings = dialog->currentSettings();
    EXPECT_EQ(settings.compression, 100);
    EXPECT_EQ(settings.blurStrength, 10);
}

TEST_F(DialogTest, SliderMoveTakesTheRadioGroupsIntoTheValues) {
    radio(c::kBlurMedian)->click();  // the blur group has no handler of its own
    EXPECT_EQ(dialog->values().blurMode, 0);
    moveSlider(c::kCompressionSlider, 55);
    EXPECT_EQ(dialog->values().blurMode, 2);
    EXPECT_EQ(dialog->currentSettings().blurMode, 2);
}

TEST_F(DialogTest, BoxChangedFromOutsideMovesItsSlider) {
    box(c::kCompressionBox)->setText(QStringLiteral("70"));
    settle();
    EXPECT_EQ(slider(c::kCompressionSlider)->value(), 70);
    EXPECT_EQ(dialog->values().compression, 70);
}

TEST_F(DialogTest, BoxHoldingNoIntegerIsReportedByTheExchange) {
    MessageBoxAnswerer answerer;
    box(c::kGrayWhiteBox)->setText(QStringLiteral("abc"));
    settle();
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, QStringLiteral("Pagewash"));
    EXPECT_EQ(slider(c::kGrayWhiteSlider)->value(), 85);
}

// ---- mode buttons

TEST_F(DialogTest, ColourModeButtonsEnableSlidersAndDisableBoxesForGood) {
    QTest::mouseClick(radio(c::kColorManual), Qt::LeftButton);
    EXPECT_EQ(dialog->values().colorMode, 4);
    EXPECT_TRUE(slider(c::kColorBlackSlider)->isEnabled());
    EXPECT_TRUE(slider(c::kColorWhiteSlider)->isEnabled());
    EXPECT_TRUE(box(c::kColorBlackBox)->isEnabled());
    QTest::mouseClick(radio(c::kColorAuto), Qt::LeftButton);
    EXPECT_EQ(dialog->values().colorMode, 1);
    for (int id : {c::kColorBlackSlider, c::kColorWhiteSlider, c::kColorBlackBox, c::kColorWhiteBox}) {
        EXPECT_FALSE(dialog->control(id)->isEnabled()) << id;
    }
    QTest::mouseClick(radio(c::kColorManual), Qt::LeftButton);
    EXPECT_TRUE(slider(c::kColorBlackSlider)->isEnabled());
    EXPECT_TRUE(slider(c::kColorWhiteSlider)->isEnabled());
    EXPECT_FALSE(box(c::kColorBlackBox)->isEnabled());
    EXPECT_FALSE(box(c::kColorWhiteBox)->isEnabled());
    // The gray references are not touched by the colour group.
    EXPECT_FALSE(slider(c::kGrayBlackSlider)->isEnabled());
    EXPECT_TRUE(box(c::kGrayBlackBox)->isEnabled());
    // Positions follow dialog order, not ids: グレースケール (1007) is position 3.
    QTest::mouseClick(radio(c::kColorGrayscale), Qt::LeftButton);
    EXPECT_EQ(dialog->values().colorMode, 3);
    EXPECT_FALSE(slider(c::kColorBlackSlider)->isEnabled());
}

TEST_F(DialogTest, GrayModeButtonsEnableSlidersAndDisableBoxesForGood) {
    QTest::mouseClick(radio(c::kGrayManual), Qt::LeftButton);
    EXPECT_EQ(dialog->values().grayMode, 2);
    EXPECT_TRUE(slider(c::kGrayBlackSlider)->isEnabled());
    EXPECT_TRUE(slider(c::kGrayWhiteSlider)->isEnabled());
    QTest::mouseClick(radio(c::kGrayNone), Qt::LeftButton);
    EXPECT_EQ(dialog->values().grayMode, 0);
    for (int id : {c::kGrayBlackSlider, c::kGrayWhiteSlider, c::kGrayBlackBox, c::kGrayWhiteBox}) {
        EXPECT_FALSE(dialog->control(id)->isEnabled()) << id;
    }
    QTest::mouseClick(radio(c::kGrayManual), Qt::LeftButton);
    EXPECT_TRUE(slider(c::kGrayBlackSlider)->isEnabled());
    EXPECT_FALSE(box(c::kGrayWhiteBox)->isEnabled());
    EXPECT_FALSE(slider(c::kColorBlackSlider)->isEnabled());
    EXPECT_TRUE(box(c::kColorBlackBox)->isEnabled());
}

TEST_F(DialogTest, RadioGroupsAreExclusiveWithinThemselvesOnly) {
    QTest::mouseClick(radio(c::kColorManual), Qt::LeftButton);
    QTest::mouseClick(radio(c::kGrayNone), Qt::LeftButton);
    QTest::mouseClick(radio(c::kBlurAverage), Qt::LeftButton);
    EXPECT_TRUE(radio(c::kColorManual)->isChecked());
    EXPECT_FALSE(radio(c::kColorYellowing)->isChecked());
    EXPECT_TRUE(radio(c::kGrayNone)->isChecked());
    EXPECT_FALSE(radio(c::kGrayAuto)->isChecked());
    EXPECT_TRUE(radio(c::kBlurAverage)->isChecked());
    EXPECT_FALSE(radio(c::kBlurNone)->isChecked());
    ASSERT_TRUE(dialog->readExchange());
    EXPECT_EQ(dialog->values().colorMode, 4);
    EXPECT_EQ(dialog->values().grayMode, 0);
    EXPECT_EQ(dialog->values().blurMode, 1);
}

TEST_F(DialogTest, ClosingWithoutARunEndsTheDialog) {
    dialog->close();
    settle();
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace pagewash
