#include "engine/batch/batch_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/batch/batch_messages.h"
#include "engine/batch/edited_output.h"
#include "engine/images/edited_pdf_writer.h"
#include "engine/images/image_dictionaries.h"
#include "engine/images/image_ranges.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/images/temp_images.h"
#include "tests/batch/recording_front_end.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

using testing::RecordingFrontEnd;
using testing::ScratchDir;

// PDFs made once by img2pdf from a corpus page: 1, 5, 9 and 70 page images.
class BatchRunTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const char* tool : {"img2pdf", "convert", "pdfimages", "qpdf"}) {
            if (!testing::toolAvailable(tool)) {
                s_missingTool = tool;
                return;
            }
        }
        s_sources = new ScratchDir;  // released in TearDownTestSuite
        const std::string page = testing::corpusPath("img/pikepdf_congress_im0.jpg");
        const std::string color = s_sources->file("color.jpg");
        const std::string gray = s_sources->file("gray.jpg");
        const std::string tiny = s_sources->file("tiny.jpg");
        testing::makeJpeg(page, 160, false, color);
        testing::makeJpeg(page, 120, true, gray);
        testing::makeJpeg(page, 16, true, tiny);
        testing::makeImg2Pdf({color}, source("one.pdf"));
        testing::makeImg2Pdf({color, gray, color, gray, color}, source("five.pdf"));
        testing::makeImg2Pdf(std::vector<std::string>(9, gray), source("nine.pdf"));
        testing::makeImg2Pdf(std::vector<std::string>(70, tiny), source("seventy.pdf"));
        std::filesystem::copy_file(color, source("page.jpg"));
    }
    static void TearDownTestSuite() {
        delete s_sources;
        s_sources = nullptr;
    }
    static std::string source(const std::string& name) { return s_sources->file(name); }

    void SetUp() override {
        if (!s_missingTool.empty()) GTEST_SKIP() << s_missingTool << " is not installed";
        std::filesystem::create_directory(m_work.file("tmp"));
        m_options.temporaryRoot = m_work.file("tmp");
    }

    // A copy of a source file in this test's folder.
    std::string copy(const std::string& name, const std::string& as) {
        const std::string path = m_work.file(as);
        std::filesystem::copy_file(source(name), path);
        return path;
    }
    bool temporaryRootIsEmpty() const { return testing::listTree(m_work.file("tmp")).empty(); }

    static inline ScratchDir* s_sources = nullptr;
    static inline std::string s_missingTool;
    ScratchDir m_work;
    BatchOptions m_options;
};

std::vector<std::string> withoutPrefixes(const std::vector<std::string>& calls,
                                         const std::vector<std::string>& keep) {
    std::vector<std::string> kept;
    for (const std::string& call : calls) {
        for (const std::string& prefix : keep) {
            if (call.rfind(prefix, 0) == 0) {
                kept.push_back(call);
                break;
            }
        }
    }
    return kept;
}

TEST_F(BatchRunTest, AnnouncesEachFileThenPausesAndEndsTheRun) {
    const std::string a = copy("one.pdf", "a.pdf");
    const std::string b = copy("one.pdf", "b.pdf");
    const std::string c = copy("one.pdf", "c.pdf");
    RecordingFrontEnd frontEnd({a, b, c});
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);

    EXPECT_EQ(withoutPrefixes(frontEnd.calls, {"run", "file", "sleep 1000"}),
              (std::vector<std::string>{"run started", "file 1 / 3", "file 2 / 3", "file 3 / 3", "sleep 1000",
                                        "run ended"}));
    for (const std::string& input : {a, b, c})
        EXPECT_TRUE(testing::fileExists(editedPdfPath(input))) << input;
    EXPECT_TRUE(frontEnd.refusals.empty());
    EXPECT_TRUE(frontEnd.errorBoxes.empty());
    EXPECT_TRUE(temporaryRootIsEmpty());
}

TEST_F(BatchRunTest, JpegFileInTheListCountsInTheProgressButProducesNothing) {
    const std::string a = copy("one.pdf", "a.pdf");
    const std::string jpeg = copy("page.jpg", "page.jpg");
    const std::string c = copy("one.pdf", "c.pdf");
    const auto before = testing::listFolder(m_work.path());
    RecordingFrontEnd frontEnd({a, jpeg, c});
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    EXPECT_EQ(frontEnd.callsStartingWith("file"),
              (std::vector<std::string>{"file 1 / 3", "file 2 / 3", "file 3 / 3"}));
    auto expected = before;
    expected.push_back("a_edit.pdf");
    expected.push_back("c_edit.pdf");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(testing::listFolder(m_work.path()), expected);
    EXPECT_TRUE(frontEnd.errorBoxes.empty());
    EXPECT_TRUE(frontEnd.refusals.empty());
    // No settings snapshot for a file that has no image, only the two PDFs'.
    EXPECT_EQ(frontEnd.count("settings"), 2);
}

TEST_F(BatchRunTest, UnopenableSecondFileEndsTheRunWithoutThePause) {
    const std::string a = copy("one.pdf", "a.pdf");
    const std::string missing = m_work.file("missing.pdf");
    const std::string c = copy("one.pdf", "c.pdf");
    RecordingFrontEnd frontEnd({a, missing, c});
    EXPECT_EQ(BatchRun(frontEnd, m_options), 1u);

    EXPECT_TRUE(testing::fileExists(m_work.file("a_edit.pdf")));
    EXPECT_FALSE(testing::fileExists(m_work.file("c_edit.pdf")));
    ASSERT_EQ(frontEnd.errorBoxes.size(), 1u);
    EXPECT_EQ(frontEnd.errorBoxes[0],
              "ファイル : " + missing +
                  "を開けませんでした。\n他に開いているアプリケーションがないか確認して下さい。");
    EXPECT_EQ(withoutPrefixes(frontEnd.calls, {"run", "file", "sleep 1000", "error box", "refused"}),
              (std::vector<std::string>{"run started", "file 1 / 3", "file 2 / 3", "error box", "run ended"}));
    EXPECT_TRUE(temporaryRootIsEmpty());
}

// Once the images of a file are done, its folder is moved away: creating the output there fails, even
// for root, until the folder is back.
struct FolderAway {
    explicit FolderAway(std::string folderIn) : folder(std::move(folderIn)) {}
    void away() { std::filesystem::rename(folder, folder + ".away"); }
    void back() { std::filesystem::rename(folder + ".away", folder); }
    std::string folder;
};

TEST_F(BatchRunTest, OutputUncreatableOnceIsWrittenOnTheRetry) {
    std::filesystem::create_directory(m_work.file("in"));
    const std::string a = copy("one.pdf", "in/a.pdf");
    const std::string output = editedPdfPath(a);
    FolderAway in(m_work.file("in"));
    RecordingFrontEnd frontEnd({a});
    frontEnd.onImageFinished = [&](int done, int total) {
        if (done == total) in.away();
    };
    frontEnd.onErrorBox = [&] { in.back(); };
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);

    ASSERT_EQ(frontEnd.errorBoxes.size(), 1u);
    EXPECT_EQ(frontEnd.errorBoxes[0], "ファイル : " + output +
                                               "を作成できません。\n一度だけ再試行します。\n他に開いているア"
                                               "プリケーションがあれば閉じて、OKを押して下さい。");
    EXPECT_TRUE(frontEnd.refusals.empty());
    EXPECT_EQ(testing::pageCount(output), 1);
    EXPECT_EQ(testing::listFolder(m_work.file("in")), (std::vector<std::string>{"a.pdf", "a_edit.pdf"}));
}

TEST_F(BatchRunTest, OutputUncreatableTwiceSkipsTheFileKeepsTheOldOutputAndGoesOn) {
    std::filesystem::create_directory(m_work.file("in"));
    const std::string a = copy("one.pdf", "in/a.pdf");
    const std::string b = copy("one.pdf", "b.pdf");
    const std::string output = editedPdfPath(a);
    testing::writeText(output, "an earlier output");
    FolderAway in(m_work.file("in"));
    RecordingFrontEnd frontEnd({a, b});
    bool moved = false;
    frontEnd.onImageFinished = [&](int done, int total) {
        if (done == total && !moved) {
            in.away();
            moved = true;
        }
    };
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    in.back();

    EXPECT_EQ(frontEnd.errorBoxes.size(), 1u);
    ASSERT_EQ(frontEnd.refusals.size(), 1u);
    EXPECT_NE(frontEnd.refusals[0].find(a), std::string::npos) << frontEnd.refusals[0];
    EXPECT_NE(frontEnd.refusals[0].find(output), std::string::npos) << frontEnd.refusals[0];
    const auto kept = testing::readBytes(output);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier output");
    EXPECT_EQ(testing::pageCount(editedPdfPath(b)), 1);
    EXPECT_EQ(testing::listFolder(m_work.file("in")), (std::vector<std::string>{"a.pdf", "a_edit.pdf"}));
    EXPECT_EQ(testing::listFolder(m_work.path()), (std::vector<std::string>{"b.pdf", "b_edit.pdf", "in", "tmp"}));
    EXPECT_TRUE(temporaryRootIsEmpty());
}

TEST_F(BatchRunTest, WorkerStartsPauseAfterThe1st5th9thStart) {
    struct Case {
        const char* pdf;
        int images;
        int pauses;
    };
    for (const Case& c : {Case{"one.pdf", 1, 1}, Case{"five.pdf", 5, 2}, Case{"nine.pdf", 9, 3}}) {
        const std::string input = copy(c.pdf, std::string("paced-") + c.pdf);
        RecordingFrontEnd frontEnd({input});
        EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
        EXPECT_EQ(frontEnd.count("sleep 300"), c.pauses) << c.pdf;
        EXPECT_EQ(frontEnd.count("sleep 1000"), 1) << c.pdf;
        ASSERT_FALSE(frontEnd.progress.empty()) << c.pdf;
        EXPECT_EQ(frontEnd.progress.back(), std::make_pair(c.images, c.images)) << c.pdf;
        for (std::size_t k = 1; k < frontEnd.progress.size(); ++k) {
            EXPECT_LT(frontEnd.progress[k - 1].first, frontEnd.progress[k].first) << c.pdf;
        }
    }
}

TEST_F(BatchRunTest, NoPausesAtAllWhenThePausesAreZero) {
    const std::string input = copy("five.pdf", "five.pdf");
    RecordingFrontEnd frontEnd({input});
    m_options.workerStartPauseMs = 0;
    m_options.finalPauseMs = 0;
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    EXPECT_TRUE(frontEnd.callsStartingWith("sleep").empty());
    EXPECT_EQ(testing::pageCount(editedPdfPath(input)), 5);
}

TEST_F(BatchRunTest, EachFileTakesItsOwnSettingsSnapshot) {
    const std::string a = copy("one.pdf", "a.pdf");
    const std::string b = copy("one.pdf", "b.pdf");
    RecordingFrontEnd frontEnd({a, b});
    CorrectionSettings untouched;
    untouched.colorMode = 0;  // None: the colour image is left as it is
    CorrectionSettings grayed;
    grayed.colorMode = 3;  // Grayscale
    frontEnd.settingsQueue = {untouched, grayed};
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);

    const auto first = testing::listImages(editedPdfPath(a));
    const auto second = testing::listImages(editedPdfPath(b));
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(first[0].color, "rgb");
    EXPECT_EQ(second[0].color, "gray");
    EXPECT_EQ(second[0].width, first[0].width);
    // One snapshot per file, taken after the file's temporary images are written, then the unlock's.
    EXPECT_EQ(withoutPrefixes(frontEnd.calls, {"file", "settings"}),
              (std::vector<std::string>{"file 1 / 2", "settings", "file 2 / 2", "settings"}));
}

TEST_F(BatchRunTest, MoreThan64WorkersAreAllWaitedFor) {
    const std::string input = copy("seventy.pdf", "seventy.pdf");
    RecordingFrontEnd frontEnd({input});
    m_options.workerStartPauseMs = 0;
    m_options.maxConcurrentDecodes = 3;
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    const std::string output = editedPdfPath(input);
    EXPECT_EQ(testing::pageCount(output), 70);
    EXPECT_TRUE(testing::qpdfCheckPasses(output));
    const auto images = testing::listImages(output);
    ASSERT_EQ(images.size(), 70u);
    for (const auto& image : images) EXPECT_EQ(image.encoding, "jpeg");
    EXPECT_EQ(frontEnd.progress.back(), std::make_pair(70, 70));
}

TEST_F(BatchRunTest, MalformedFileIsReportedWithoutOutputAndTheRunGoesOn) {
    // A /Length that runs past the end of the file.
    auto bytes = testing::readBytes(source("one.pdf"));
    std::string text(bytes.begin(), bytes.end());
    const std::size_t image = text.find("/Subtype /Image");
    ASSERT_NE(image, std::string::npos);
    const std::size_t dictionaryStart = text.rfind("<<", image);
    const std::size_t length = text.find("/Length ", dictionaryStart);
    ASSERT_NE(length, std::string::npos);
    std::size_t digits = length + 8;
    std::size_t end = digits;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    text.replace(digits, end - digits, "99999999");
    const std::string broken = m_work.file("broken.pdf");
    testing::writeText(broken, text);
    const std::string good = copy("one.pdf", "good.pdf");

    RecordingFrontEnd frontEnd({broken, good});
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    ASSERT_EQ(frontEnd.refusals.size(), 1u);
    EXPECT_EQ(frontEnd.refusals[0].rfind(broken, 0), 0u) << frontEnd.refusals[0];
    EXPECT_FALSE(testing::fileExists(editedPdfPath(broken)));
    EXPECT_EQ(testing::pageCount(editedPdfPath(good)), 1);
    EXPECT_TRUE(frontEnd.errorBoxes.empty());
    EXPECT_TRUE(temporaryRootIsEmpty());
}

TEST_F(BatchRunTest, TemporaryImagesNeverTouchTheCurrentFolder) {
    const std::string input = copy("five.pdf", "five.pdf");
    const auto currentBefore = testing::listFolder(std::filesystem::current_path().string());
    RecordingFrontEnd frontEnd({input});
    m_options.temporaryRoot.clear();  // the system's temporary directory
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    EXPECT_EQ(testing::listFolder(std::filesystem::current_path().string()), currentBefore);
    EXPECT_EQ(testing::listFolder(m_work.path()),
              (std::vector<std::string>{"five.pdf", "five_edit.pdf", "tmp"}));
}

TEST_F(BatchRunTest, DefaultSettingsTurnColourImagesGrayAndKeepPages) {
    const std::string input = copy("five.pdf", "five.pdf");
    RecordingFrontEnd frontEnd({input});
    m_options.workerStartPauseMs = 0;
    EXPECT_EQ(BatchRun(frontEnd, m_options), 0u);
    const std::string output = editedPdfPath(input);
    EXPECT_EQ(testing::pageCount(output), 5);
    EXPECT_TRUE(testing::qpdfCheckPasses(output));
    const auto images = testing::listImages(output);
    ASSERT_EQ(images.size(), 5u);
    for (const auto& image : images) {
        EXPECT_EQ(image.color, "gray");
        EXPECT_EQ(image.components, 1);
        EXPECT_EQ(image.encoding, "jpeg");
    }
}

}  // namespace
}  // namespace pagewash
