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
    testing::RecordingFrontEnd alone({folder.file("in.pdf")});
    alone.settingsQueue = {settings};
    BatchOptions options;
    options.workerStartPauseMs = options.finalPauseMs = 0;
    BatchRun(alone, options);
    EXPECT_TRUE(alone.errorBoxes.empty() && alone.refusals.empty());
    return testing::readBytes(folder / "in_edit.pdf");
}

class DialogRunTest : public test::DialogTest {
  protected:
    void SetUp() override {
        test::DialogTest::SetUp();
        QObject::connect(box(c::kProgressBox), &QLineEdit::textChanged, [this](const QString& text) {
            progress.append(text);
            if (!text.isEmpty()) enabledDuringRun = enabledIds();
        });
    }
    // A file of the scratch folder added to the list; a copy of a data file unless `dataName` is null.
    std::string add(const char* dataName, const std::string& as) {
        if (dataName != nullptr)
            testing::writeBytes(folder / as, testing::readBytes(testing::dataFile(dataName)));
        dialog->handleDroppedFiles({QString::fromStdString(folder.file(as))});
        return folder.file(as);
    }
    void waitForRunEnd() {
        QSignalSpy finished(dialog.get(), &CPagewashDlg::runFinished);
        ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() > 0; }, 60000));
    }

    testing::ScratchDir folder;
    QStringList progress;
    QList<int> enabledDuringRun;
};

TEST_F(DialogRunTest, LocksTheSettingControlsGivesThemBackAsTheModesSayAndWritesWhatTheEngineWrites) {
    const std::string input = add("pikepdf_congress.pdf", "congress.pdf");
    QList<int> enabledBefore = enabledIds();
    dialog->handleBleachClick();
    dialog->close();
    EXPECT_TRUE(dialog->isVisible()) << "closing is refused while the run is under way";
    dialog->handleBleachClick();  // before the run has disabled the button: no second run
    waitForRunEnd();
    EXPECT_EQ(progress, (QStringList{"1 / 1", ""}));
    EXPECT_EQ(enabledDuringRun, kUsableDuringRun);
    EXPECT_EQ(enabledIds(), enabledBefore) << "the reference sliders stay off: no mode is manual";
    EXPECT_EQ(testing::readBytes(folder / "congress_edit.pdf"),
              engineAloneOutput(input, CorrectionSettings{}));

    QTest::mouseClick(radio(c::kColorManual), Qt::LeftButton);
    QTest::mouseClick(radio(c::kGrayManual), Qt::LeftButton);
    slider(c::kGrayBlackSlider)->setValue(30);
    test::settle();
    const std::string gray = add("pikepdf_congress-gray.pdf", "gray.pdf");
    enabledBefore = enabledIds();
    dialog->handleBleachClick();
    waitForRunEnd();
    EXPECT_EQ(progress, (QStringList{"1 / 1", "", "1 / 2", "2 / 2", ""}));
    EXPECT_EQ(enabledDuringRun, kUsableDuringRun);
    EXPECT_EQ(enabledIds(), enabledBefore) << "the reference sliders are back: both modes are manual";
    const CorrectionSettings manual{4, 2, 5, 85, 30, 85, 40, 1, 0};  // both modes manual, gray black 30
    EXPECT_EQ(testing::readBytes(folder / "gray_edit.pdf"), engineAloneOutput(gray, manual));
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(DialogRunTest, UnopenableInputEndsTheRunInABoxAndRefusedFilesFollowInOneBox) {
    // A /Length that runs past the end of the file: the file is not processed, the run goes on.
    const std::string bad = add("pikepdf_congress.pdf", "damaged.pdf");
    Bytes damaged = testing::readBytes(bad);
    const std::size_t at = testing::find(damaged, "/Length 192956");
    ASSERT_NE(at, std::string::npos);
    std::copy_n("999999", 6, damaged.begin() + static_cast<std::ptrdiff_t>(at) + 8);
    testing::writeBytes(bad, damaged);
    add("pikepdf_congress-gray.pdf", "good.pdf");
    add(nullptr, "damaged.pdf");
    add(nullptr, "missing.pdf");
    test::MessageBoxAnswerer answerer(dialog.get());
    dialog->handleBleachClick();
    waitForRunEnd();
    EXPECT_EQ(progress, (QStringList{"1 / 4", "2 / 4", "3 / 4", "4 / 4", ""}));
    ASSERT_EQ(answerer.seen.size(), 2u);
    for (const test::SeenBox& seen : answerer.seen) {
        EXPECT_TRUE(seen.caption == "Pagewash Error Message" && seen.icon == QMessageBox::Critical);
    }
    EXPECT_EQ(answerer.seen[0].text.toStdString(), "ファイル : " + folder.file("missing.pdf") +
                                                       "を開けませんでした。\n他に開いているアプリケーション"
                                                       "がないか確認して下さい。");
    EXPECT_TRUE(answerer.seen[0].runUnderWay) << "the box holds the run";
    EXPECT_TRUE(answerer.seen[1].text.startsWith("次のファイルは処理できませんでした。\n\n"));
    EXPECT_EQ(answerer.seen[1].text.count(QString::fromStdString(bad)), 2)
        << answerer.seen[1].text.toStdString();
    EXPECT_FALSE(answerer.seen[1].runUnderWay) << "the refused files come after the run has ended";
    EXPECT_FALSE(testing::fileExists(folder.file("damaged_edit.pdf")));
    EXPECT_TRUE(testing::fileExists(folder.file("good_edit.pdf")));
}

}  // namespace
}  // namespace pagewash
