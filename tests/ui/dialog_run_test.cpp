// Runs started from the dialog on real files: locked controls, progress, output and boxes.
#include "engine/batch/batch_run.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_tools.h"
// The engine's headers come before Qt's, which makes `slots` a keyword.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "tests/ui/ui_test_support.h"

namespace pagewash {
namespace {

namespace c = control;
using test::DialogTest;
using testing::Bytes;

// The boxes and the blur controls: each file takes its own settings snapshot, so blur stays usable.
const QList<int> kUsableDuringRun = {c::kColorBlackBox,      c::kColorWhiteBox,  c::kGrayBlackBox,
                                     c::kGrayWhiteBox,       c::kCompressionBox, c::kBlurNone,
                                     c::kBlurAverage,        c::kBlurMedian,     c::kBlurStrengthBox,
                                     c::kBlurStrengthSlider, c::kProgressBox};

// What the engine alone writes for `input` with `settings`: the bytes the dialog's run must write.
Bytes engineAloneOutput(const std::string& input, const CorrectionSettings& settings) {
    testing::ScratchDir folder;
    testing::writeBytes(folder / "in.pdf", testing::readBytes(input));
    testing::RecordingFrontEnd alone;
    alone.settingsQueue = {settings};
    BatchOptions options;
    options.workerStartPauseMs = options.finalPauseMs = 0;
    BatchRun(alone, {folder.file("in.pdf")}, options);
    return testing::readBytes(folder / "in_edit.pdf");
}

// The ids of the enabled controls, in dialog order.
QList<int> enabledIds(const CPagewashDlg& dialog) {
    QList<int> ids;
    for (QWidget* widget : dialog.controls().widgetsInOrder())
        if (widget->isEnabled() && !widget->objectName().isEmpty()) ids.append(widget->objectName().toInt());
    return ids;
}

TEST_F(DialogTest, ARunLocksTheSettingsReportsBadFilesInBoxesGivesTheControlsBackAndWritesAsTheEngine) {
    QStringList progress;
    QList<int> enabledDuringRun;
    QObject::connect(box(c::kProgressBox), &QLineEdit::textChanged, [&](const QString& text) {
        progress.append(text);
        if (!text.isEmpty()) enabledDuringRun = enabledIds(*dialog);
    });
    QTest::mouseClick(radio(c::kColorManual), Qt::LeftButton);  // the gray mode stays automatic
    slider(c::kColorBlackSlider)->setValue(30);
    test::settle();
    const QList<int> enabledBefore = enabledIds(*dialog);
    // A /Length that runs past the end of the file: the file is not processed, the run goes on.
    testing::ScratchDir folder;
    const std::string bad = folder.file("damaged.pdf"), good = folder.file("good.pdf");
    Bytes pdf = testing::readBytes(testing::dataFile("pikepdf_congress.pdf"));
    testing::writeBytes(good, pdf);
    const std::size_t at = testing::find(pdf, "/Length 192956");
    ASSERT_NE(at, std::string::npos);
    std::copy_n("999999", 6, pdf.begin() + static_cast<std::ptrdiff_t>(at) + 8);
    testing::writeBytes(bad, pdf);
    const QString badName = QString::fromStdString(bad);
    dialog->handleDroppedFiles(
        {badName, QString::fromStdString(good), badName, QString::fromStdString(folder.file("missing.pdf"))});

    test::MessageBoxAnswerer answerer(dialog.get());
    QSignalSpy finished(dialog.get(), &CPagewashDlg::runFinished);
    dialog->handleBleachClick();
    dialog->close();
    EXPECT_TRUE(dialog->isVisible()) << "closing is refused while the run is under way";
    dialog->handleBleachClick();  // before the run has disabled the button: no second run
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, 60000));
    EXPECT_EQ(progress, (QStringList{"1 / 4", "2 / 4", "3 / 4", "4 / 4", ""}));
    EXPECT_EQ(enabledDuringRun, kUsableDuringRun);
    EXPECT_EQ(enabledIds(*dialog), enabledBefore)
        << "the colour reference sliders are back, not the gray ones";
    const CorrectionSettings manual{4, 1, 30, 85, 5, 85, 40, 1, 0};  // colour manual, black 30
    EXPECT_EQ(testing::readBytes(folder / "good_edit.pdf"), engineAloneOutput(good, manual));
    EXPECT_FALSE(testing::fileExists(folder.file("damaged_edit.pdf")));

    ASSERT_EQ(answerer.seen.size(), 2u);
    for (const test::SeenBox& seen : answerer.seen)
        EXPECT_TRUE(seen.caption == "Pagewash Error Message" && seen.icon == QMessageBox::Critical);
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "ファイル : " + folder.file("missing.pdf") +
                                                       "を開けませんでした。\n他に開いているアプリケーション"
                                                       "がないか確認して下さい。");
    EXPECT_TRUE(answerer.seen[0].runUnderWay) << "the box holds the run";
    EXPECT_TRUE(answerer.seen[1].text.startsWith("次のファイルは処理できませんでした。\n\n"));
    EXPECT_EQ(answerer.seen[1].text.count(badName), 2) << answerer.seen[1].text.toStdString();
    EXPECT_FALSE(answerer.seen[1].runUnderWay) << "the refused files come after the run has ended";
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace pagewash
