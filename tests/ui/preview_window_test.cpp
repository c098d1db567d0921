// The preview window of the dialog: opened from a file line's context menu or the Space key, one per
// dialog, following the dialog's settings, closed like any window.
#include "ui/preview_window.h"

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <memory>

#include "tests/ui/ui_test_support.h"
#include "ui/control_ids.h"
#include "ui/pagewash_dlg.h"

namespace pagewash {
namespace {

namespace c = control;

constexpr int kPreviewTimeoutMs = 60000;

class PreviewWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString page =
            QStringLiteral(PAGEWASH_TEST_DATA_DIR "/pikepdf_congress.pdf");  // a yellowed page
        ASSERT_TRUE(QFile::exists(page)) << "missing test data file " << page.toStdString();
        dialog = std::make_unique<CPagewashDlg>();
        dialog->show();
        dialog->handleDroppedFiles({page});
        test::settle();
    }
    QListWidget* list() const { return qobject_cast<QListWidget*>(dialog->control(c::kFileList)); }
    static bool waitForResult(const PreviewWindow* window) {
        return test::waitUntil([window] { return !window->isComputing(); }, kPreviewTimeoutMs);
    }

    std::unique_ptr<CPagewashDlg> dialog;
};

TEST_F(PreviewWindowTest, ContextMenuOpensAWindowThatFollowsTheSettingsAndCloses) {
    list()->setCurrentRow(1);
    QString entry;
    QTimer chooser;  // the user picks the menu's entry
    chooser.setInterval(5);
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || menu->actions().isEmpty()) return;
        chooser.stop();
        entry = menu->actions().front()->text();
        menu->setActiveAction(menu->actions().front());
        QTest::keyClick(menu, Qt::Key_Return);
    });
    chooser.start();
    const QPoint line = list()->visualItemRect(list()->item(1)).center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, line, list()->viewport()->mapToGlobal(line));
    QApplication::sendEvent(list()->viewport(), &event);
    EXPECT_EQ(entry, QStringLiteral("プレビュー"));

    PreviewWindow* window = dialog->previewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isModal());
    ASSERT_TRUE(waitForResult(window));
    EXPECT_EQ(window->statusText(), QString());
    EXPECT_EQ(window->imageCount(), 1);
    ASSERT_FALSE(window->beforeImage().isNull());
    EXPECT_NE(window->afterImage(), window->beforeImage()) << "the yellowing removal changes the page";

    qobject_cast<QRadioButton*>(dialog->control(c::kColorNone))->click();
    ASSERT_TRUE(test::waitUntil([&] { return window->settings().colorMode == 0 && !window->isComputing(); },
                                kPreviewTimeoutMs));
    EXPECT_EQ(window->afterImage(), window->beforeImage()) << "no colour correction leaves the page as it is";

    window->close();
    test::settle();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(list()->count(), 2) << "the file line stays";
}

TEST_F(PreviewWindowTest, SpaceKeyOnASelectedFileLineOpensTheOneWindow) {
    list()->setCurrentRow(0);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(dialog->previewWindow(), nullptr) << "the hint line has no preview";

    list()->setCurrentRow(1);
    QTest::keyClick(list(), Qt::Key_Space);
    PreviewWindow* window = dialog->previewWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(waitForResult(window));
    window->close();

    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(dialog->previewWindow(), window) << "one window per dialog";
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(waitForResult(window));
}

}  // namespace
}  // namespace pagewash
