// The preview window of the dialog: opened from a file line's context menu or the Space key, one per
// dialog, following the dialog's settings, closed like any window.
#include "tests/support/test_tools.h"
// The engine's headers come before Qt's, which makes `slots` a keyword.
#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>

#include "tests/ui/ui_test_support.h"
#include "ui/preview_window.h"

namespace pagewash {
namespace {

namespace c = control;
class PreviewTest : public test::DialogTest {};

bool waitForResult(const PreviewWindow* window, int colorMode) {
    return QTest::qWaitFor(
        [=] { return window->settings().colorMode == colorMode && !window->isComputing(); }, 60000);
}

TEST_F(PreviewTest, OpensFromTheContextMenuFollowsTheSettingsClosesAndReopensOnSpace) {
    dialog->handleDroppedFiles({QString::fromStdString(testing::dataFile("pikepdf_congress.pdf"))});
    list()->setCurrentRow(0);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(dialog->previewWindow(), nullptr) << "the hint line has no preview";

    list()->setCurrentRow(1);
    QString entry;
    QTimer chooser;  // the user picks the menu's entry
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || menu->actions().isEmpty()) return;
        chooser.stop();
        entry = menu->actions().front()->text();
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    chooser.start(5);
    const QPoint line = list()->visualItemRect(list()->item(1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, line, list()->viewport()->mapToGlobal(line));
    QApplication::sendEvent(list()->viewport(), &event);
    EXPECT_EQ(entry, QStringLiteral("プレビュー"));

    PreviewWindow* window = dialog->previewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible() && !window->isModal());
    ASSERT_TRUE(waitForResult(window, 2));
    EXPECT_EQ(window->statusText(), QString());
    EXPECT_EQ(window->imageCount(), 1);
    ASSERT_FALSE(window->beforeImage().isNull());
    EXPECT_NE(window->afterImage(), window->beforeImage()) << "the yellowing removal changes the page";

    radio(c::kColorNone)->click();
    ASSERT_TRUE(waitForResult(window, 0));
    EXPECT_EQ(window->afterImage(), window->beforeImage()) << "no colour correction leaves the page as it is";

    window->close();
    test::settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(list()->count(), 2) << "the file line stays";
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(dialog->previewWindow(), window) << "one window per dialog";
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(waitForResult(window, 0));
}

}  // namespace
}  // namespace pagewash
