// A run started from the dialog on real files: the controls it locks, the progress it shows, the
// output it writes, and the boxes it raises.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <map>

#include "engine/batch/batch_run.h"
#include "tests/ui/ui_test_support.h"
#include "ui/control_ids.h"
#include "ui/pagewash_dlg.h"

namespace pagewash {
namespace {

namespace c = control;
using test::MessageBoxAnswerer;

constexpr int kRunTimeoutMs = 60000;

const int kLockedByRun[] = {c::kBleachButton,    c::kFileList,         c::kColorNone,
                            c::kColorGrayscale,  c::kColorAuto,        c::kColorManual,
                            c::kGrayNone,        c::kGrayAuto,         c::kGrayManual,
                            c::kColorYellowing,  c::kColorBlackSlider, c::kColorWhiteSlider,
                            c::kGrayBlackSlider, c::kGrayWhiteSlider,  c::kCompressionSlider};
const int kLeftUsable[] = {c::kBlurNone, c::kBlurAverage, c::kBlurMedian, c::kBlurStrengthSlider,
                           c::kBlurStrengthBox};

// A file of tests/data; a missing one fails the test with its name.
QString dataFile(const char* name) {
    const QString path = QStringLiteral(PAGEWASH_TEST_DATA_DIR "/") + QString::fromUtf8(name);
    EXPECT_TRUE(QFile::exists(path)) << "missing test data file " << path.toStdString();
    return path;
}

int runTool(const QString& program, const QStringList& arguments, QByteArray* output = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) return -1;
    process.waitForFinished(60000);
    if (output != nullptr) *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The engine's run on its own, with the dialog's default settings: what the dialog must produce.
class FileListFrontEnd : public BatchFrontEnd {
  public:
    explicit FileListFrontEnd(std::vector<std::string> files) : m_items(std::move(files)) {
        m_items.insert(m_items.begin(), kHintItemText);
    }
    int listItemCount() override { return static_cast<int>(m_items.size()); }
    std::string listItemText(int index) override { return m_items.at(static_cast<std::size_t>(index)); }
    void showErrorBox(const std::string& text) override { ADD_FAILURE() << text; }
    CorrectionSettings takeSettings() override { return {}; }
    void fileFinished(const FileReport& report) override {
        if (report.outcome == FileOutcome::Refused) ADD_FAILURE() << report.reason;
    }
    void sleepMilliseconds(int) override {}

  private:
    std::vector<std::string> m_items;
};

class DialogRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        dialog = std::make_unique<CPagewashDlg>();
        dialog->show();
        test::settle();
        progressBox = qobject_cast<QLineEdit*>(dialog->control(c::kProgressBox));
        // Every progress text, and the state of the controls when a file's progress appears.
        QObject::connect(progressBox, &QLineEdit::textChanged, [this](const QString& text) {
            progress.append(text);
            if (text.isEmpty()) return;
            for (int id : kLockedByRun) enabledDuringRun[id] = dialog->control(id)->isEnabled();
            for (int id : kLeftUsable) enabledDuringRun[id] = dialog->control(id)->isEnabled();
        });
    }

    QString copyIntoFolder(const QString& source, const QString& name) {
        const QString target = folder.filePath(name);
        EXPECT_TRUE(QFile::copy(source, target)) << source.toStdString();
        return target;
    }

    bool waitForRunEnd(QSignalSpy& finished) {
        return test::waitUntil([&] { return finished.count() > 0; }, kRunTimeoutMs);
    }

    QTemporaryDir folder;
    std::unique_ptr<CPagewashDlg> dialog;
    QLineEdit* progressBox = nullptr;
    QStringList progress;
    std::map<int, bool> enabledDuringRun;
};

TEST_F(DialogRunTest, BleachesADataPdfWithTheSettingControlsLockedMeanwhile) {
    const QString input = copyIntoFolder(dataFile("pikepdf_congress.pdf"), "congress.pdf");
    dialog->handleDroppedFiles({input});
    QSignalSpy finished(dialog.get(), &CPagewashDlg::runFinished);

    dialog->handleBleachClick();
    dialog->handleBleachClick();  // before the run has disabled the button: no second run
    EXPECT_TRUE(dialog->isRunning());
    dialog->close();  // refused while the run is under way
    EXPECT_TRUE(dialog->isVisible());

    ASSERT_TRUE(waitForRunEnd(finished));
    QTest::qWait(200);
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(progress, (QStringList{"1 / 1", ""}));
    for (int id : kLockedByRun) EXPECT_FALSE(enabledDuringRun.at(id)) << "locked during the run: " << id;
    for (int id : kLeftUsable) EXPECT_TRUE(enabledDuringRun.at(id)) << "usable during the run: " << id;

    // Controls come back as the modes say: colour yellowing removal, gray auto.
    for (int id : {c::kBleachButton, c::kFileList, c::kColorNone, c::kColorYellowing, c::kGrayManual,
                   c::kCompressionSlider}) {
        EXPECT_TRUE(dialog->control(id)->isEnabled()) << id;
    }
    for (int id : {c::kColorBlackSlider, c::kColorWhiteSlider, c::kGrayBlackSlider, c::kGrayWhiteSlider}) {
        EXPECT_FALSE(dialog->control(id)->isEnabled()) << id;
    }
    EXPECT_TRUE(progressBox->text().isEmpty());
    EXPECT_FALSE(dialog->isRunning());

    // The output is a valid PDF with its image, the same bytes as the engine alone writes.
    const QString output = folder.filePath("congress_edit.pdf");
    ASSERT_TRUE(QFile::exists(output));
    EXPECT_EQ(runTool("qpdf", {"--check", output}), 0);
    QByteArray listing;
    ASSERT_EQ(runTool("pdfimages", {"-list", output}, &listing), 0);
    EXPECT_EQ(listing.count("jpeg"), 1) << listing.toStdString();
    EXPECT_NE(readAll(output), readAll(input));

    QTemporaryDir reference;
    const QString again = reference.filePath("congress.pdf");
    ASSERT_TRUE(QFile::copy(input, again));
    FileListFrontEnd engineAlone({QFile::encodeName(again).toStdString()});
    BatchOptions options;
    options.workerStartPauseMs = 0;
    options.finalPauseMs = 0;
    EXPECT_EQ(BatchRun(engineAlone, options), 0u);
    EXPECT_EQ(readAll(reference.filePath("congress_edit.pdf")), readAll(output));

    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(DialogRunTest, ManualModesGetTheirReferenceSlidersBackAfterTheRun) {
    const QString input = copyIntoFolder(dataFile("pikepdf_congress-gray.pdf"), "gray.pdf");
    QTest::mouseClick(qobject_cast<QRadioButton*>(dialog->control(c::kColorManual)), Qt::LeftButton);
    QTest::mouseClick(qobject_cast<QRadioButton*>(dialog->control(c::kGrayManual)), Qt::LeftButton);
    dialog->handleDroppedFiles({input, input});
    QSignalSpy finished(dialog.get(), &CPagewashDlg::runFinished);
    dialog->handleBleachClick();
    ASSERT_TRUE(waitForRunEnd(finished));
    EXPECT_EQ(progress, (QStringList{"1 / 2", "2 / 2", ""}));
    for (int id : {c::kColorBlackSlider, c::kColorWhiteSlider, c::kGrayBlackSlider, c::kGrayWhiteSlider}) {
        EXPECT_FALSE(enabledDuringRun.at(id)) << id;
        EXPECT_TRUE(dialog->control(id)->isEnabled()) << id;
    }
    EXPECT_EQ(runTool("qpdf", {"--check", folder.filePath("gray_edit.pdf")}), 0);
}

TEST_F(DialogRunTest, InputThatCannotBeOpenedIsReportedInABoxThatHoldsTheRun) {
    MessageBoxAnswerer answerer;
    const QString missing = folder.filePath("missing.pdf");
    dialog->handleDroppedFiles({missing});
    QSignalSpy finished(dialog.get(), &CPagewashDlg::runFinished);
    dialog->handleBleachClick();
    ASSERT_TRUE(waitForRunEnd(finished));
    ASSERT_EQ(answerer.seen().size(), 1u);
    EXPECT_EQ(answerer.seen()[0].caption, QStringLiteral("Pagewash Error Message"));
    EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(
        answerer.seen()[0].text,
        QStringLiteral("ファイル : ") + missing +
            QStringLiteral("を開けませんでした。\n他に開いているアプリケーションがないか確認して下さい。"));
    EXPECT_TRUE(dialog->control(c::kBleachButton)->isEnabled());
    EXPECT_TRUE(progressBox->text().isEmpty());
}

TEST_F(DialogRunTest, RefusedFilesAreListedInOneErrorBoxAtTheEndOfTheRun) {
    // A /Length that runs past the end of the file: the file is not processed, the run goes on.
    QByteArray damaged = readAll(dataFile("pikepdf_congress.pdf"));
    ASSERT_EQ(damaged.count("/Length 192956"), 1);
    damaged.replace("/Length 192956", "/Length 999999");
    const QString bad = folder.filePath("damaged.pdf");
    {
        QFile file(bad);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(damaged);
    }
    const QString good = copyIntoFolder(dataFile("pikepdf_congress-gray.pdf"), "good.pdf");
    bool unlockedWhenShown = false;
    MessageBoxAnswerer answerer([&] {
        unlockedWhenShown = dialog->control(c::kBleachButton)->isEnabled() && progressBox->text().isEmpty();
    });
    dialog->handleDroppedFiles({bad, good, bad});
    QSignalSpy finished(dialog.get(), &CPagewashDlg::runFinished);
    dialog->handleBleachClick();
    ASSERT_TRUE(waitForRunEnd(finished));
    ASSERT_EQ(answerer.seen().size(), 1u) << "one box for the whole run";
    const test::SeenBox& box = answerer.seen()[0];
    EXPECT_EQ(box.caption, QStringLiteral("Pagewash Error Message"));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.text.count(bad), 2) << box.text.toStdString();
    EXPECT_TRUE(unlockedWhenShown) << "the box comes after the run has ended";
    EXPECT_EQ(progress, (QStringList{"1 / 3", "2 / 3", "3 / 3", ""}));
    EXPECT_FALSE(QFile::exists(folder.filePath("damaged_edit.pdf")));
    EXPECT_EQ(runTool("qpdf", {"--check", folder.filePath("good_edit.pdf")}), 0);
}

}  // namespace
}  // namespace pagewash
