#include "engine/batch/batch_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "engine/images/edited_pdf_writer.h"
#include "platform/private_folder.h"
#include "tests/support/recording_front_end.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using namespace testing;
namespace fs = std::filesystem;

// PDFs made once by img2pdf from the data page: 1, 5, 9 and 70 page images.
class BatchRunTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!toolsInstalled({"img2pdf", "convert", "qpdf", "pdfimages"})) return;
        s_sources = std::make_unique<ScratchDir>();
        const std::string color = source("color.jpg"), gray = source("gray.jpg"), tiny = source("tiny.jpg");
        makeJpeg(160, false, color);
        makeJpeg(120, true, gray);
        makeJpeg(16, true, tiny);
        makeImg2Pdf({color}, source("one.pdf"));
        makeImg2Pdf({color, gray, color, gray, color}, source("five.pdf"));
        makeImg2Pdf(std::vector<std::string>(9, gray), source("nine.pdf"));
        makeImg2Pdf(std::vector<std::string>(70, tiny), source("seventy.pdf"));
    }
    static std::string source(const std::string& name) { return s_sources->file(name); }

    void SetUp() override {
        PAGEWASH_REQUIRE_TOOLS({"img2pdf", "convert", "qpdf", "pdfimages"});
        fs::create_directory(m_work.file("tmp"));
        m_options.temporaryRoot = m_work.file("tmp");
    }
    void TearDown() override {
        if (IsSkipped()) return;
        EXPECT_TRUE(listFolder(m_work.file("tmp")).empty()) << "temporary files are left";
    }
    std::string copy(const std::string& name, const std::string& as) {
        fs::copy_file(source(name), m_work.file(as));
        return m_work.file(as);
    }

    static inline std::unique_ptr<ScratchDir> s_sources;
    ScratchDir m_work;
    BatchOptions m_options;
};

TEST_F(BatchRunTest, EachFileIsAnnouncedAndTakesItsOwnSettingsAndAJpegInTheListProducesNothing) {
    const std::string a = copy("one.pdf", "a.pdf"), jpeg = copy("color.jpg", "page.jpg"),
                      c = copy("one.pdf", "c.pdf");
    RecordingFrontEnd frontEnd;
    CorrectionSettings untouched, grayed;
    untouched.colorMode = static_cast<std::int32_t>(ColorMode::None);
    grayed.colorMode = static_cast<std::int32_t>(ColorMode::Grayscale);
    frontEnd.settingsQueue = {untouched, grayed};
    EXPECT_EQ(BatchRun(frontEnd, {a, jpeg, c}, m_options), 0u);
    EXPECT_EQ(frontEnd.calls,
              (std::vector<std::string>{"run started", "file 1 / 3", "settings", "sleep 300", "file 2 / 3",
                                        "file 3 / 3", "settings", "sleep 300", "sleep 1000", "run ended"}));
    EXPECT_EQ(listFolder(m_work.path()),
              (std::vector<std::string>{"a.pdf", "a_edit.pdf", "c.pdf", "c_edit.pdf", "page.jpg", "tmp"}));
    EXPECT_EQ(listImages(editedPdfPath(a)).at(0).color, "rgb");
    EXPECT_EQ(listImages(editedPdfPath(c)).at(0).color, "gray");
    EXPECT_TRUE(frontEnd.errorBoxes.empty() && frontEnd.refusals.empty());
}

TEST_F(BatchRunTest,
       WorkerStartsPauseAfterThe1st5th9thStartUnlessThePauseIsZeroAndTemporariesStayInTheirFolder) {
    for (const auto& [pdf, images, pauses] :
         {std::tuple{"one.pdf", 1, 1}, {"five.pdf", 5, 2}, {"nine.pdf", 9, 3}}) {
        const std::string input = copy(pdf, std::string("paced-") + pdf);
        RecordingFrontEnd frontEnd;
        EXPECT_EQ(BatchRun(frontEnd, {input}, m_options), 0u);
        EXPECT_EQ(frontEnd.count("sleep 300"), pauses) << pdf;
        ASSERT_FALSE(frontEnd.progress.empty()) << pdf;
        EXPECT_EQ(frontEnd.progress.back(), std::make_pair(images, images)) << pdf;
        EXPECT_EQ(pageCount(editedPdfPath(input)), images);
    }
    // Unpaced, the temporary images in the system's temporary directory: none in this or the current folder.
    m_options.workerStartPauseMs = m_options.finalPauseMs = 0;
    m_options.temporaryRoot.clear();
    const auto current = listFolder(fs::current_path().string());
    RecordingFrontEnd unpaced;
    EXPECT_EQ(BatchRun(unpaced, {copy("five.pdf", "five.pdf")}, m_options), 0u);
    EXPECT_EQ(unpaced.calls,
              (std::vector<std::string>{"run started", "file 1 / 1", "settings", "run ended"}));
    EXPECT_EQ(listFolder(fs::current_path().string()), current);
    for (const std::string& name : listFolder(m_work.path()))
        EXPECT_TRUE(name == "tmp" || name.ends_with(".pdf")) << name;
}

TEST_F(BatchRunTest, UnopenableSecondFileEndsTheRunInAnErrorBoxWithoutThePause) {
    const std::string a = copy("one.pdf", "a.pdf"), missing = m_work.file("missing.pdf"),
                      c = copy("one.pdf", "c.pdf");
    RecordingFrontEnd frontEnd;
    m_options.workerStartPauseMs = 0;
    EXPECT_EQ(BatchRun(frontEnd, {a, missing, c}, m_options), 1u);
    EXPECT_EQ(frontEnd.errorBoxes,
              std::vector<std::string>{
                  "ファイル : " + missing +
                  "を開けませんでした。\n他に開いているアプリケーションがないか確認して下さい。"});
    EXPECT_EQ(frontEnd.calls, (std::vector<std::string>{"run started", "file 1 / 3", "settings", "file 2 / 3",
                                                        "error box", "run ended"}));
    EXPECT_FALSE(fileExists(m_work.file("c_edit.pdf")));
}

TEST_F(BatchRunTest, OutputUncreatableOnceIsWrittenOnTheRetryAndTwiceSkipsTheFileBeforeItsImagesAreWorkedOn) {
    fs::create_directory(m_work.file("in"));
    const std::string a = copy("one.pdf", "in/a.pdf"), output = editedPdfPath(a);
    // Once the input is read the folder is moved away: creating the output fails, even for root.
    const auto away = [&] { fs::rename(m_work.file("in"), m_work.file("away")); };
    const auto back = [&] { fs::rename(m_work.file("away"), m_work.file("in")); };
    RecordingFrontEnd once;
    once.onSettings = away;
    once.onErrorBox = back;
    EXPECT_EQ(BatchRun(once, {a}, m_options), 0u);
    EXPECT_EQ(once.errorBoxes,
              std::vector<std::string>{"ファイル : " + output +
                                       "を作成できません。\n一度だけ再試行します。\n他に開いているアプリケー"
                                       "ションがあれば閉じて、OKを押して下さい。"});
    EXPECT_EQ(pageCount(output), 1);

    writeBytes(output, toBytes("an earlier output"));
    const std::string b = copy("one.pdf", "b.pdf");
    RecordingFrontEnd twice;
    twice.onSettings = [&, moved = false]() mutable {
        if (!moved) away(), moved = true;
    };
    EXPECT_EQ(BatchRun(twice, {a, b}, m_options), 0u);
    back();
    EXPECT_EQ(twice.errorBoxes.size(), 1u);
    // The output's folder is found wanting before a.pdf's image is worked on: only b.pdf's image is done.
    EXPECT_EQ(twice.progress, (std::vector<std::pair<int, int>>{{1, 1}}));
    ASSERT_EQ(twice.refusals.size(), 1u);
    EXPECT_NE(twice.refusals[0].find(output), std::string::npos) << twice.refusals[0];
    EXPECT_EQ(toString(readBytes(output)), "an earlier output");
    EXPECT_EQ(pageCount(editedPdfPath(b)), 1);
    EXPECT_EQ(listFolder(m_work.file("in")), (std::vector<std::string>{"a.pdf", "a_edit.pdf"}));
}

TEST_F(BatchRunTest, MalformedFileIsRefusedWithoutOutputAndTheRunGoesOn) {
    std::string text = toString(readBytes(source("one.pdf")));
    const std::size_t length = text.find("/Length ", text.rfind("<<", text.find("/Subtype /Image"))) + 8;
    text.replace(length, text.find_first_not_of("0123456789", length) - length, "99999999");
    const std::string broken = m_work.file("broken.pdf");
    writeBytes(broken, toBytes(text));
    RecordingFrontEnd frontEnd;
    EXPECT_EQ(BatchRun(frontEnd, {broken, copy("one.pdf", "good.pdf")}, m_options), 0u);
    ASSERT_EQ(frontEnd.refusals.size(), 1u);
    EXPECT_EQ(frontEnd.refusals[0].rfind(broken + ": /Length at byte ", 0), 0u) << frontEnd.refusals[0];
    EXPECT_FALSE(fileExists(editedPdfPath(broken)));
    EXPECT_EQ(pageCount(m_work.file("good_edit.pdf")), 1);
}

TEST_F(BatchRunTest, SecondInputOfAnOutputTheRunWroteIsRefusedNamingTheFirst) {
    fs::create_directory_symlink(m_work.path(), m_work.file("link"));
    const std::string scan1 = copy("one.pdf", "scan1"), scan2 = copy("five.pdf", "scan2");
    const std::string again = m_work.path() + "/./scan1", viaLink = m_work.file("link/scan2");
    RecordingFrontEnd frontEnd;
    m_options.workerStartPauseMs = 0;
    EXPECT_EQ(BatchRun(frontEnd, {scan1, scan2, again, viaLink}, m_options), 0u);
    const std::string output = m_work.file("s_edit.pdf");
    ASSERT_EQ(frontEnd.refusals.size(), 3u);
    EXPECT_EQ(frontEnd.refusals[0], scan2 + ": its output " + output + " was written by " + scan1 +
                                        " earlier in this run; left as it is");
    EXPECT_EQ(frontEnd.refusals[1].rfind(again + ": its output ", 0), 0u) << frontEnd.refusals[1];
    EXPECT_EQ(frontEnd.refusals[2].rfind(viaLink + ": its output ", 0), 0u) << frontEnd.refusals[2];
    EXPECT_EQ(pageCount(output), 1) << "the first input's output stays";
}

TEST_F(BatchRunTest, FileRefusedAfterItsImagesWereCorrectedCountsNoImageAsBleached) {
    const std::string a = copy("five.pdf", "a.pdf");
    RecordingFrontEnd frontEnd;
    // The temporary images vanish once corrected: the file cannot be written.
    frontEnd.onImageFinished = [&](int done, int total) {
        if (done != total) return;
        for (const auto& folder : fs::directory_iterator(m_work.file("tmp")))
            for (const auto& image : fs::directory_iterator(folder.path())) fs::remove(image.path());
    };
    EXPECT_EQ(BatchRun(frontEnd, {a}, m_options), 0u);
    ASSERT_EQ(frontEnd.reports.size(), 1u);
    EXPECT_EQ(frontEnd.reports[0].outcome, FileOutcome::Refused);
    EXPECT_EQ(frontEnd.reports[0].images.bleached, 0);
    EXPECT_EQ(frontEnd.reports[0].images.found, 0) << "no count of a file the user does not get";
    EXPECT_FALSE(fileExists(editedPdfPath(a)));
}

TEST_F(BatchRunTest, FaultOfTheProgramStopsTheRunAsAnInternalErrorNotAsARefusedFile) {
    const std::string a = copy("one.pdf", "a.pdf"), b = copy("one.pdf", "b.pdf");
    RecordingFrontEnd frontEnd;
    frontEnd.onImageFinished = [](int, int) { throw std::logic_error("a planted fault"); };
    EXPECT_EQ(BatchRun(frontEnd, {a, b}, m_options), 1u);
    EXPECT_TRUE(frontEnd.refusals.empty());
    EXPECT_EQ(
        frontEnd.errorBoxes,
        std::vector<std::string>{
            a +
            ": internal error (a fault of Pagewash, not of the file): a planted fault; the run was stopped"});
    EXPECT_EQ(frontEnd.calls.back(), "run ended");
    EXPECT_EQ(frontEnd.count("file 2 / 2"), 0);
    EXPECT_EQ(listFolder(m_work.path()), (std::vector<std::string>{"a.pdf", "b.pdf", "tmp"}));
}

// The threads of this process, where the system lists them (Linux); 0 elsewhere.
std::size_t threadCount() {
    std::error_code error;
    std::size_t count = 0;
    for (fs::directory_iterator it("/proc/self/task", error); !error && it != fs::directory_iterator();
         it.increment(error))
        ++count;
    return count;
}

TEST_F(BatchRunTest, MoreThan64ImagesAreAllWaitedForAndUnpacedOnlyAsManyThreadsRunAsDecodesAtOnce) {
    const std::string input = copy("seventy.pdf", "seventy.pdf");
    RecordingFrontEnd frontEnd;
    m_options.workerStartPauseMs = 0;
    m_options.maxConcurrentDecodes = 3;
    const std::size_t before = threadCount();
    std::size_t most = 0;
    frontEnd.onImageFinished = [&](int, int) { most = std::max(most, threadCount()); };
    EXPECT_EQ(BatchRun(frontEnd, {input}, m_options), 0u);
    EXPECT_TRUE(qpdfCheckPasses(editedPdfPath(input)));
    EXPECT_EQ(listImages(editedPdfPath(input)).size(), 70u);
    EXPECT_EQ(frontEnd.progress.back(), std::make_pair(70, 70));
    EXPECT_GT(frontEnd.progress.size(), 1u) << "the progress follows the images";
    EXPECT_LE(most, before + 3) << "a thread per image instead of a pool of three";
}

// The run folder of another PID namespace, or of a Windows process under Wine, carries a number that
// runs no process here: while its maker holds it, no later run removes it; once let go, the next does.
TEST(RunFolderCleanupTest, AFolderWhoseNumberRunsNoProcessIsRemovedOnlyOnceItsHoldIsLetGo) {
    const ScratchDir root;
    // Above every POSIX pid_max and no multiple of four, as every Windows process number is.
    const fs::path foreign = root / "pagewash-2147483646-AbCdEf";
    fs::create_directory(foreign);
    writeBytes(foreign / "_image_000.jpg", toBytes("extracted"));
    platform::FolderHold hold;
    std::error_code error;
    ASSERT_TRUE(hold.take(foreign.string(), error)) << error.message();

    platform::removeStaleFolders(root.path(), "pagewash");
    EXPECT_TRUE(fs::exists(foreign / "_image_000.jpg"));

    hold.release();
    platform::removeStaleFolders(root.path(), "pagewash");
    EXPECT_TRUE(listFolder(root.path()).empty());
}

}  // namespace
}  // namespace pagewash
