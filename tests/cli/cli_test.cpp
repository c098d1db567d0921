// The built pagewash-cli run in a test's own folder with its own temporary directory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "settings/setting_words.h"
#include "tests/cli/cli_under_test.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// Sources made once: one.pdf and three.pdf of 64-pixel pages, two.pdf of two 400-pixel pages.
class CliTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!toolsInstalled({"img2pdf", "convert"})) return;
        s_sources = std::make_unique<ScratchDir>();
        const std::string small = s_sources->file("small.jpg"), large = s_sources->file("large.jpg");
        makeJpeg(64, false, small);
        makeJpeg(400, false, large);
        makeImg2Pdf({small}, s_sources->file("one.pdf"));
        makeImg2Pdf({small, small, small}, s_sources->file("three.pdf"));
        makeImg2Pdf({large, large}, s_sources->file("two.pdf"));
    }
    void SetUp() override {
        PAGEWASH_REQUIRE_TOOLS({"img2pdf", "convert", "identify", "pdfimages", "qpdf", "script"});
    }
    // The work folder holds exactly `names` and the temporary directory is empty.
    void expectFolderHolds(const std::vector<std::string>& names) const {
        EXPECT_THAT(listFolder(m_work.path()), ::testing::UnorderedElementsAreArray(names));
        EXPECT_TRUE(listFolder(m_tmp.path()).empty());
    }
    void copySource(const std::string& source, const std::string& as) const {
        fs::copy_file(s_sources->file(source), file(as));
    }
    std::string file(const std::string& name) const { return m_work.file(name); }
    std::string inDir() const {
        return "cd " + quote(m_work.path()) + " && TMPDIR=" + quote(m_tmp.path()) + " ";
    }
    // Success when `command` exits 0 in the work folder; otherwise a failure with its message.
    ::testing::AssertionResult shell(const std::string& command) const {
        const CommandResult result = runCommand(inDir() + command);
        if (result.exitStatus == 0) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << command << ": " << result.err;
    }
    CommandResult cli(const std::string& arguments) const {
        return runCommand(inDir() + quote(cliUnderTest()) + " " + arguments);
    }

    static inline std::unique_ptr<ScratchDir> s_sources;
    ScratchDir m_work, m_tmp;  // the files and the program's temporary directory
};

long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

using nlohmann::json;
using namespace std::string_literals;

// The --json lines of a run, one object per file.
std::vector<json> jsonLines(const std::string& out) {
    std::vector<json> objects;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) objects.push_back(json::parse(line));
    return objects;
}

// The colour space pdfimages -list gives each image.
std::vector<std::string> imageColours(const std::string& pdf) {
    std::vector<std::string> colours;
    for (const ListedImage& image : listImages(pdf)) colours.push_back(image.color);
    return colours;
}

TEST_F(CliTest, UsageErrorsAndPreviewRefusalsExitWithTheirStatusAndOneLineThatSaysWhy) {
    copySource("two.pdf", "book.pdf");
    writeBytes(file("tiny.pdf"), toBytes("%PDF-1.4\n%%EOF\n"));
    const auto expectRefused = [&](const std::string& arguments, int exitStatus, const std::string& reason) {
        const CommandResult result = cli(arguments);
        EXPECT_EQ(result.exitStatus, exitStatus) << arguments;
        EXPECT_EQ(lines(result.err), 1) << arguments << ": " << result.err;
        EXPECT_THAT(result.err, StartsWith("pagewash-cli: " + reason)) << arguments;
        EXPECT_TRUE(result.out.empty()) << arguments;
    };
    for (const char* arguments :
         {"", "-q", "--color-black 101 book.pdf", "--color-white -1 book.pdf", "--gray-black 200 book.pdf",
          "--gray-white x book.pdf", "--quality 101 book.pdf", "--blur-strength 0 book.pdf",
          "--blur-strength 11 book.pdf", "--jobs 0 book.pdf", "--color-mode sepia book.pdf",
          "--gray-mode yellowing book.pdf", "--blur gaussian book.pdf", "--frobnicate book.pdf",
          "book.pdf --quality", "--memory-limit 12X book.pdf", "--memory-limit 2gb book.pdf",
          "--check-options --quality 101"})
        expectRefused(arguments, 2, "");
    for (const char* number : {"0", "-1", "abc", "1.5"})
        expectRefused("--preview "s + number + " book.pdf", 2,
                      "--preview: must be an image number, 1 or more, not "s + number);
    // A black reference at or above the white one would paint every pixel white.
    expectRefused("--color-mode manual --color-black 90 --color-white 10 book.pdf", 2,
                  "--color-black 90 must be below --color-white 10 (");
    expectRefused("--gray-black 50 --gray-white 50 book.pdf", 2,
                  "--gray-black 50 must be below --gray-white 50 (");
    expectRefused("--color-black 90 book.pdf", 2, "--color-black 90 must be below --color-white 85 (");
    // A file name that begins with a dash is taken for an option; the way out is named.
    fs::copy_file(file("book.pdf"), file("-dash.pdf"));
    expectRefused(
        "-dash.pdf", 2,
        "FILE is required (a FILE whose name begins with - goes after --: pagewash-cli [OPTIONS] -- "
        "-dash.pdf)");
    fs::remove(file("-dash.pdf"));
    const CommandResult checked = cli("--check-options --color-mode gray --memory-limit 2g");
    EXPECT_EQ(checked.exitStatus, 0) << checked.err;
    EXPECT_EQ(checked.out + checked.err, "");
    expectRefused("--preview 3 book.pdf", 2, "book.pdf has 2 JPEG images: there is no image 3");
    expectRefused("--preview 1 book.pdf book.pdf", 2, "--preview: takes exactly one FILE, not 2");
    expectRefused("--preview 1", 2, "FILE is required");
    expectRefused("--side-by-side book.pdf", 2, "--side-by-side requires --preview");
    expectRefused("--preview 1 tiny.pdf", 1, "tiny.pdf: no JPEG image");
    expectRefused("--preview 1 missing.pdf", 1, "missing.pdf: cannot be read (No such file or directory)");
    expectFolderHolds({"book.pdf", "tiny.pdf"});
}

TEST_F(CliTest, HelpNamesEachSettingWithTheWordsRangesAndDefaultsOfTheSettingsTable) {
    const std::string help = cli("--help").out;
    for (const ModeSetting& setting : {kColorModeSetting, kGrayModeSetting, kBlurModeSetting}) {
        std::string words;
        for (const ModeChoice& choice : setting.choices)
            words += (words.empty() ? "" : ",") + std::string(choice.word);
        EXPECT_THAT(help, HasSubstr("--" + std::string(setting.option) + " TEXT:{" + words +
                                    "}=" + std::string(defaultWord(setting))));
    }
    for (const NumberSetting& setting : {kColorBlackSetting, kColorWhiteSetting, kGrayBlackSetting,
                                         kGrayWhiteSetting, kQualitySetting, kBlurStrengthSetting}) {
        EXPECT_THAT(help, HasSubstr("--" + std::string(setting.option) + " INT:INT in [" +
                                    std::to_string(setting.min) + " - " + std::to_string(setting.max) +
                                    "]=" + std::to_string(kDefaultSettings.*setting.field)));
    }
}

TEST_F(CliTest, OptionsInRangeReachTheImagesAndQuietShowsNothing) {
    copySource("two.pdf", "book.pdf");
    for (const auto& [options, color] :
         {std::pair{"-q --color-mode none --gray-mode none", "rgb"},
          {"-q --color-mode auto --gray-mode=auto", "rgb"},
          {"-q --color-mode manual --color-black 0 --color-white 100 --blur median --blur-strength 10",
           "rgb"},
          {"-q --color-mode=gray --gray-mode manual --gray-black 99 --gray-white 100 --jobs 1", "gray"},
          {"-q --memory-limit 800m", "gray"},
          {"-q --memory-limit 2g --gray-black 0 --gray-white 1", "gray"},
          {"--quiet --quality 0 --blur average --blur-strength 1 --jobs 64", "gray"}}) {
        const CommandResult result = cli(std::string(options) + " book.pdf");
        EXPECT_EQ(result.exitStatus, 0) << options;
        EXPECT_EQ(result.err + result.out, "") << options;
        EXPECT_EQ(imageColours(file("book_edit.pdf")), std::vector<std::string>(2, color)) << options;
    }
}

TEST_F(CliTest, FilesPassedOverProduceNothingAndTheUnopenableEncryptedAndUncreatableAreNamed) {
    copySource("one.pdf", "good.pdf");
    writeBytes(file("notes.txt"), toBytes(std::string(200, 'x')));
    fs::copy_file(dataFile("pikepdf_congress_im0.jpg"), file("page.jpg"));
    fs::copy_file(dataFile("pikepdf_cmyk-jpeg.pdf"), file("cmyk.pdf"));
    writeBytes(file("tiny.pdf"), toBytes("%PDF-1.4\n%%EOF\n"));
    // A name whose output is as long as a folder entry may be is written (its temporary name is short);
    // one whose output is longer is refused at once: trying again cannot help.
    const std::string longest = std::string(246, 'b') + ".pdf",
                      longestOutput = longest.substr(0, 246) + "_edit.pdf";
    const std::string tooLong = std::string(247, 'c') + ".pdf",
                      tooLongOutput = tooLong.substr(0, 247) + "_edit.pdf";
    copySource("one.pdf", longest);
    copySource("one.pdf", tooLong);
    // /Encrypt in a classic trailer and in a cross-reference stream dictionary.
    ASSERT_TRUE(
        shell("qpdf --encrypt u o 256 -- good.pdf trailer.pdf && qpdf --object-streams=generate "
              "--encrypt u o 256 -- good.pdf xrefstream.pdf"));
    const CommandResult result = cli("-q notes.txt page.jpg tiny.pdf missing.pdf trailer.pdf good.pdf " +
                                     longest + " " + tooLong + " xrefstream.pdf cmyk.pdf");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(lines(result.err), 4) << result.err;
    for (const std::string& told :
         {"error: missing.pdf: cannot be opened: No such file or directory\n"s,
          "trailer.pdf: encrypted: its images cannot be read\n"s,
          "xrefstream.pdf: encrypted: its images cannot be read\n"s,
          "error: " + tooLong + ": the output " + tooLongOutput + " cannot be created: " + tooLongOutput +
              ": cannot be created (File name too long)\n"})
        EXPECT_THAT(result.err, HasSubstr(told));
    EXPECT_THAT(result.err, Not(HasSubstr("trying once more")));
    EXPECT_THAT(result.err, Not(HasSubstr("OK"))) << "no button to press in a terminal";
    expectFolderHolds({"notes.txt", "page.jpg", "tiny.pdf", "good.pdf", "good_edit.pdf", longest,
                       longestOutput, tooLong, "trailer.pdf", "xrefstream.pdf", "cmyk.pdf", "cmyk_edit.pdf"});
    EXPECT_EQ(imageColours(file("cmyk_edit.pdf")), std::vector<std::string>{"cmyk"}) << "CMYK stays CMYK";
    // Without -q, each file passed over is named with the reason.
    const std::string told = cli("notes.txt tiny.pdf").err;
    EXPECT_THAT(told, HasSubstr("notes.txt: not a PDF; nothing written"));
    EXPECT_THAT(told, HasSubstr("tiny.pdf: no JPEG image found; nothing written"));
}

TEST_F(CliTest, PlantedLinksAndFilesAtTemporaryNamesAreNeverWrittenAndTheOutputFollowsTheUmask) {
    copySource("one.pdf", "a.pdf");
    writeBytes(file("victim.txt"), toBytes("precious"));
    // A link at the name the process would once have used, and a plain file at the name of the next
    // process id, both planted before the program starts.
    const CommandResult result = runCommand(inDir() +
                                            "sh -c 'umask 027; ln -s \"$PWD/victim.txt\" .a_edit.pdf.$$.tmp; "
                                            "echo mine > .a_edit.pdf.$(($$+1)).tmp; exec " +
                                            quote(cliUnderTest()) + " -q a.pdf'");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(toString(readBytes(file("victim.txt"))), "precious");
    const fs::file_status output = fs::symlink_status(file("a_edit.pdf"));
    ASSERT_TRUE(fs::is_regular_file(output));
    EXPECT_EQ(output.permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::vector<std::string> planted;
    for (const std::string& name : listFolder(m_work.path()))
        if (name.starts_with(".a_edit.pdf.") && !fs::is_symlink(file(name)))
            planted.push_back(toString(readBytes(file(name))));
    EXPECT_EQ(planted, std::vector<std::string>{"mine\n"});
}

TEST_F(CliTest, ProgressFollowsTheImagesOnATerminalAndAPipe) {
    copySource("three.pdf", "book.pdf");
    // script gives the program a terminal; what it drew comes back on standard output.
    const CommandResult terminal =
        runCommand(inDir() + "script -qec " + quote(quote(cliUnderTest()) + " book.pdf") + " /dev/null");
    EXPECT_EQ(terminal.exitStatus, 0) << terminal.out;
    EXPECT_THAT(terminal.out, HasSubstr("1 / 1  book.pdf  ["));
    EXPECT_THAT(terminal.out, HasSubstr("##############################]  3/3"));
    // One plain line per file on a pipe, then its size report.
    const std::string piped = cli("book.pdf").err;
    EXPECT_THAT(piped, StartsWith("1 / 1 book.pdf\nbook.pdf \u2192 book_edit.pdf: "));
    EXPECT_THAT(piped, EndsWith(" %), 3 of 3 images bleached\n"));
    EXPECT_EQ(lines(piped), 2) << piped;
}

TEST_F(CliTest, ImageOverTheMemoryLimitIsCarriedOverAndTheRestBleached) {
    copySource("three.pdf", "forged.pdf");
    // The second frame header claims 30000 x 30000 pixels (0x7530), its data staying a 64-pixel page.
    Bytes pdf = readBytes(file("forged.pdf"));
    const std::size_t frame = find(pdf, "\xFF\xC0", find(pdf, "\xFF\xC0") + 2);
    ASSERT_NE(frame, std::string::npos);
    pdf[frame + 5] = pdf[frame + 7] = 0x75;
    pdf[frame + 6] = pdf[frame + 8] = 0x30;
    writeBytes(file("forged.pdf"), pdf);
    const CommandResult result = cli("-q --memory-limit 100m forged.pdf");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(
        result.err,
        "pagewash-cli: warning: forged.pdf: image 2 (30000 x 30000) needs 2.7 GB, more than the 100.0 MB "
        "limit; left as it is\n");
    // A blur holds a second image beside the first.
    EXPECT_THAT(cli("-q --memory-limit 100M --blur median forged.pdf").err,
                HasSubstr("image 2 (30000 x 30000) needs 5.4 GB, more than the 100.0 MB limit"));
    EXPECT_NE(toString(readBytes(file("forged_edit.pdf"))).find(toString(pdf).substr(frame - 20, 220)),
              std::string::npos)
        << "carried over unchanged";
    EXPECT_EQ(imageColours(file("forged_edit.pdf")), (std::vector<std::string>{"gray", "rgb", "gray"}));
}

TEST_F(CliTest, EachImageLeftAsItIsIsCountedUnderItsOwnReason) {
    // A different number for each reason, so that no two can be confused: 1 colour image left by the
    // mode none, 2 CMYK, 3 whose decoding fails (a lossless frame), 4 over the memory limit (headers of
    // 30000 x 30000) and 5 gray images whose new JPEG at quality 100 would be larger.
    ASSERT_TRUE(shell("convert " + quote(s_sources->file("small.jpg")) + " -colorspace CMYK cmyk.jpg"));
    makeJpeg(64, true, file("gray.jpg"));
    const std::string small = s_sources->file("small.jpg"), cmyk = file("cmyk.jpg"), gray = file("gray.jpg");
    makeImg2Pdf(
        {small, cmyk, cmyk, small, small, small, small, small, small, small, gray, gray, gray, gray, gray},
        file("book.pdf"));
    Bytes pdf = readBytes(file("book.pdf"));
    std::size_t frame = 0;
    for (int image = 1; image <= 10; ++image) {
        frame = find(pdf, "\xFF\xC0", frame + 2);
        ASSERT_NE(frame, std::string::npos);
        if (image >= 4 && image <= 6) pdf[frame + 1] = 0xC3;
        if (image >= 7) pdf[frame + 5] = pdf[frame + 7] = 0x75, pdf[frame + 6] = pdf[frame + 8] = 0x30;
    }
    writeBytes(file("book.pdf"), pdf);
    const CommandResult result =
        cli("--json --color-mode none --keep-smaller --quality 100 --memory-limit 100M book.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    const std::vector<json> reports = jsonLines(result.out);
    ASSERT_EQ(reports.size(), 1u) << result.out;
    EXPECT_EQ(reports[0]["images"],
              json::parse(R"({"found":15,"bleached":0,"bilevel":0,"kept_in_color":0,"left":{
        "mode_none":1,"cmyk_or_other":2,"failed":3,"over_memory_limit":4,"larger":5},"mrc":0,"other_jpeg_left":0})"));
    EXPECT_THAT(result.err, HasSubstr("0 of 15 images bleached; left as they are: 5 larger, 2 CMYK or other, "
                                      "1 by the mode none, 4 over the memory limit, 3 failed\n"));
}

TEST_F(CliTest, OptimizedAndProgressiveCodingKeepEveryPixelAndShrinkTheImages) {
    const std::string a = "pikepdf_congress", b = "ocrmypdf_c02-22";
    for (const std::string& name : {a, b}) fs::copy_file(dataFile(name + ".pdf"), file(name + ".pdf"));
    std::vector<Bytes> plainPixels;
    std::uintmax_t plainSize = 0;
    for (const std::string option : {"", "--optimize", "--progressive", "--optimize --progressive"}) {
        ASSERT_EQ(cli("-q " + option + " " + a + ".pdf " + b + ".pdf").exitStatus, 0) << option;
        // pdfimages decodes each JPEG with its own decoder: the pixels must not depend on the coding.
        ASSERT_TRUE(shell("pdfimages -png " + a + "_edit.pdf a && pdfimages -png " + b + "_edit.pdf b"));
        std::vector<Bytes> pixels;
        for (const std::string& entry : listFolder(m_work.path()))
            if (entry.ends_with(".png")) pixels.push_back(readBytes(file(entry)));
        ASSERT_TRUE(shell("rm *.png"));
        // Only the image streams differ between the outputs.
        const auto size = fs::file_size(file(a + "_edit.pdf")) + fs::file_size(file(b + "_edit.pdf"));
        if (option.empty()) {
            plainPixels = pixels, plainSize = size;
        } else {
            EXPECT_EQ(pixels, plainPixels) << option;
            EXPECT_LT(size, plainSize) << option;
        }
    }
}

TEST_F(CliTest, AnyJpegBleachesJpegsWithoutJfifWhichAreOtherwiseNamedAndLeft) {
    PAGEWASH_REQUIRE_TOOLS({"djpeg", "cjpeg"});
    // Adobe JPEGs as cjpeg writes RGB ones, from two real pages.
    for (const char* page : {"pikepdf_congress_im0.jpg", "noteshrink_notesA1_800.jpg"})
        ASSERT_TRUE(shell("djpeg " + quote(dataFile(page)) + " | cjpeg -rgb > " + page));
    makeImg2Pdf({file("pikepdf_congress_im0.jpg"), file("noteshrink_notesA1_800.jpg")}, file("adobe.pdf"));
    writeBytes(file("notes.txt"), toBytes(std::string(200, 'x')));

    const CommandResult left = cli("--json adobe.pdf notes.txt");
    EXPECT_EQ(left.exitStatus, 0) << left.err;
    EXPECT_THAT(left.err,
                HasSubstr("pagewash-cli: adobe.pdf: no JFIF JPEG image; 2 other JPEG images left as "
                          "they are (--any-jpeg bleaches them); nothing written\n"));
    std::vector<json> reports = jsonLines(left.out);
    ASSERT_EQ(reports.size(), 2u) << left.out;
    EXPECT_EQ(reports[0]["outcome"], "no_jpeg");
    EXPECT_EQ(reports[0]["images"]["other_jpeg_left"], 2);
    EXPECT_EQ(
        reports[1],
        json::parse(R"({"bytes_after":null,"bytes_before":200,"images":{"bilevel":0,"bleached":0,"found":0,
        "kept_in_color":0,"left":{"cmyk_or_other":0,"failed":0,"larger":0,"mode_none":0,"over_memory_limit":0},
        "mrc":0,"other_jpeg_left":0},"input":"notes.txt","outcome":"not_pdf","output":null,"refused":null,"warnings":[]})"));
    EXPECT_FALSE(fileExists(file("adobe_edit.pdf")));
    // The preview says it as the bleach does.
    const CommandResult preview = cli("--preview 1 adobe.pdf");
    EXPECT_EQ(preview.exitStatus, 1);
    EXPECT_EQ(preview.err,
              "pagewash-cli: adobe.pdf: no JFIF JPEG image; 2 other JPEG images left as they are (--any-jpeg "
              "bleaches them)\n");
    // Between JFIF images, the preview numbers them in file order, as the bleach does: the Adobe page
    // (800 wide) is image 2 of 3 with --any-jpeg; without it, image 2 of 2 is the last page.
    makeImg2Pdf(
        {s_sources->file("small.jpg"), file("noteshrink_notesA1_800.jpg"), s_sources->file("large.jpg")},
        file("mixed.pdf"));
    EXPECT_THAT(cli("--preview 2 --any-jpeg mixed.pdf").out, StartsWith("image 2 of 3: 800 x "));
    EXPECT_THAT(cli("--preview 2 mixed.pdf").out, StartsWith("image 2 of 2: 400 x "));

    const CommandResult bleached = cli("--any-jpeg --json adobe.pdf");
    ASSERT_EQ(bleached.exitStatus, 0) << bleached.err;
    reports = jsonLines(bleached.out);
    ASSERT_EQ(reports.size(), 1u) << bleached.out;
    EXPECT_EQ(reports[0]["output"], "adobe_edit.pdf");
    EXPECT_EQ(reports[0]["images"]["bleached"], 2);
    EXPECT_EQ(reports[0]["bytes_after"], fs::file_size(file("adobe_edit.pdf")));
    EXPECT_TRUE(qpdfCheckPasses(file("adobe_edit.pdf")));
    EXPECT_EQ(imageColours(file("adobe_edit.pdf")), (std::vector<std::string>{"gray", "gray"}));
}

TEST_F(CliTest, KeepSmallerLeavesEveryImageThatWouldGrowAsItIs) {
    // Pages coded at quality 30 grow a little when re-encoded at quality 40 (about a fifth; a third less
    // with the optimized progressive coding), however the new JPEG is coded.
    ASSERT_TRUE(shell("convert " + quote(dataFile("pikepdf_congress_im0.jpg")) + " -quality 30 page.jpg"));
    makeImg2Pdf({file("page.jpg"), file("page.jpg")}, file("book.pdf"));
    for (const std::string coding : {"", " --optimize --progressive"}) {
        const std::string options = "-q --json --quality 40 --color-mode auto" + coding;
        const json plain = jsonLines(cli(options + " book.pdf").out).at(0);
        EXPECT_GT(plain["bytes_after"], plain["bytes_before"]) << coding << ": the case to guard against";
        const json report = jsonLines(cli(options + " --keep-smaller book.pdf").out).at(0);
        EXPECT_EQ(report["images"]["bleached"], 0) << coding;
        EXPECT_EQ(report["images"]["left"]["larger"], 2) << coding;
        // The bytes and the dictionaries are kept.
        EXPECT_TRUE(
            shell("pdfimages -j book.pdf o && pdfimages -j book_edit.pdf e && cmp o-000.jpg e-000.jpg && "
                  "cmp o-001.jpg e-001.jpg && pdfimages -list book.pdf > o && pdfimages -list "
                  "book_edit.pdf | cmp o - && rm o* e*"))
            << coding;
    }
    // An image that shrinks is still bleached.
    const json shrunk = jsonLines(cli("-q --json --keep-smaller --quality 20 book.pdf").out).at(0);
    EXPECT_EQ(shrunk["images"]["bleached"], 2);
    EXPECT_LT(shrunk["bytes_after"], shrunk["bytes_before"]);

    // Every image kept: the output is the input, byte for byte, and the report says so.
    const CommandResult kept = cli("--keep-smaller --quality 40 --color-mode auto book.pdf");
    EXPECT_THAT(kept.err, HasSubstr("(the same bytes as the input), 0 of 2 images bleached"));
    EXPECT_TRUE(shell("cmp book.pdf book_edit.pdf"));
    // A kept image whose /Length is an object of its own, beside one that is bleached (qpdf's QDF form
    // writes every length indirect): the kept stream object stays as it was, and the offsets stay right.
    ASSERT_TRUE(shell("convert " + quote(dataFile("pikepdf_congress_im0.jpg")) + " -quality 95 fine.jpg"));
    makeImg2Pdf({file("page.jpg"), file("fine.jpg")}, file("mixed.pdf"));
    ASSERT_TRUE(shell("qpdf --qdf --object-streams=disable mixed.pdf qdf.pdf"));
    const json mixed =
        jsonLines(cli("-q --json --keep-smaller --quality 40 --color-mode auto qdf.pdf").out).at(0);
    EXPECT_EQ(mixed["images"]["bleached"], 1);
    EXPECT_EQ(mixed["images"]["left"]["larger"], 1);
    EXPECT_TRUE(qpdfCheckPasses(file("qdf_edit.pdf")));
    const std::string input = toString(readBytes(file("qdf.pdf")));
    const std::size_t image = input.find("/Subtype /Image");
    const std::size_t begin = input.rfind(" 0 obj", image), end = input.find("endstream", image);
    ASSERT_NE(input.find("/Length", begin), std::string::npos);
    ASSERT_NE(input.substr(begin, end - begin).find(" 0 R\n"), std::string::npos) << "an indirect /Length";
    EXPECT_THAT(toString(readBytes(file("qdf_edit.pdf"))), HasSubstr(input.substr(begin, end - begin)));
}

TEST_F(CliTest, KeepColorPagesKeepsStampsPlatesAndNotesInColourAndTurnsTintedTextGray) {
    // A yellowed printed page, a gray-lit thesis page, the yellowed page with a red stamp, notes in red
    // and blue pen, and the colour photo of a real PDF as a plate.
    fs::copy_file(dataFile("pikepdf_congress_im0.jpg"), file("yellowed.jpg"));
    fs::copy_file(dataFile("pagedewarp_linguistics_thesis_a_900.jpg"), file("tinted.jpg"));
    fs::copy_file(dataFile("noteshrink_notesA1_800.jpg"), file("notes.jpg"));
    ASSERT_TRUE(
        shell("convert yellowed.jpg -fill none -stroke 'rgb(200,30,40)' -strokewidth 3 -draw 'circle "
              "250,420 250,450' -draw \"text 214,425 'PAID'\" stamp.jpg && pdfimages -j " +
              quote(dataFile("samplefiles_pdflatex-image.pdf")) + " plate"));
    makeImg2Pdf({file("yellowed.jpg"), file("tinted.jpg"), file("stamp.jpg"), file("notes.jpg"),
                 file("plate-000.jpg")},
                file("book.pdf"));

    for (const std::string mode : {"yellowing", "gray"}) {
        const json report =
            jsonLines(cli("-q --json --keep-color-pages --color-mode " + mode + " book.pdf").out).at(0);
        const std::vector<std::string> colours{"gray", "gray", "rgb", "rgb", "icc"};
        EXPECT_EQ(imageColours(file("book_edit.pdf")), colours) << mode;
        EXPECT_EQ(report["images"]["bleached"], 5) << mode;
        EXPECT_EQ(report["images"]["kept_in_color"], 3) << mode;
    }
    ASSERT_EQ(cli("-q book.pdf").exitStatus, 0);
    EXPECT_EQ(imageColours(file("book_edit.pdf")), std::vector<std::string>(5, "gray")) << "off by default";
}

TEST_F(CliTest, NamesThatAreNotUtf8OrHoldControlCharactersStayRecoverableAndHarmlessOnATerminal) {
    // A Latin-1 name, and one with an escape sequence that would clear the screen and a line break.
    const std::string latin1 = "caf\xE9.pdf", control = "esc\x1B[2J\nx.pdf";
    copySource("one.pdf", latin1);
    copySource("one.pdf", control);
    const CommandResult result = cli("--json " + quote(latin1) + " " + quote(control));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const std::vector<json> reports = jsonLines(result.out);
    ASSERT_EQ(reports.size(), 2u) << result.out;
    EXPECT_EQ(reports[0]["input"], "caf\uFFFD.pdf");
    EXPECT_EQ(reports[0]["input_bytes"], "636166e92e706466");
    EXPECT_EQ(reports[0]["output_bytes"], "636166e95f656469742e706466");
    EXPECT_EQ(reports[1]["input"], control);
    EXPECT_FALSE(reports[1].contains("input_bytes") || reports[1].contains("output_bytes"));
    // Standard error: the progress line and the size report of each file, nothing raw.
    EXPECT_EQ(lines(result.err), 4) << result.err;
    EXPECT_THAT(result.err, HasSubstr("caf\\xE9.pdf \u2192 caf\\xE9_edit.pdf: "));
    EXPECT_THAT(result.err, HasSubstr("2 / 2 esc\\x1B[2J\\x0Ax.pdf\n"));
    EXPECT_EQ(result.err.find('\x1B'), std::string::npos);
    EXPECT_TRUE(fileExists(file("caf\xE9_edit.pdf")));
}

TEST_F(CliTest, StandardOutputThatCannotBeWrittenFailsTheRun) {
    copySource("one.pdf", "book.pdf");
    for (const char* arguments : {"--json -q book.pdf", "--preview 1 book.pdf", "--help"}) {
        const CommandResult result = cli(std::string(arguments) + " > /dev/full");
        EXPECT_EQ(result.exitStatus, 1) << arguments;
        EXPECT_EQ(result.err, "pagewash-cli: standard output cannot be written (No space left on device)\n")
            << arguments;
    }
    EXPECT_TRUE(qpdfCheckPasses(file("book_edit.pdf"))) << "the bleach itself went on";
}

// "1,204,311"
std::string grouped(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

TEST_F(CliTest, PreviewWritesThePngItNamesWithTheSizesTheBleachWrites) {
    copySource("two.pdf", "book.pdf");
    const std::vector<ImageRecord> input = readImages(readBytes(file("book.pdf")));
    ASSERT_EQ(cli("-q book.pdf").exitStatus, 0);
    const std::vector<ImageRecord> edited = readImages(readBytes(file("book_edit.pdf")));
    fs::remove(file("book_edit.pdf"));
    const std::string original = grouped(input.at(1).jpegLength), bleached = grouped(edited.at(1).jpegLength);
    // ImageMagick reads the PNG: its width, height and colour type (0 gray, 2 RGB).
    const struct {
        const char* arguments;
        const char* png;
        const char* widthAndType;
        std::string bytesAfter;
    } cases[] = {
        {"--preview 2 book.pdf", "book_preview_2.png", "400 0", bleached},
        {"--preview 2 --side-by-side --preview-out both.png book.pdf", "both.png", "800 2", bleached},
        {"--preview 2 --color-mode none book.pdf", "book_preview_2.png", "400 2", original},
    };
    for (const auto& c : cases) {
        const CommandResult result = cli(c.arguments);
        ASSERT_EQ(result.exitStatus, 0) << c.arguments << ": " << result.err;
        const CommandResult png =
            runCommand(inDir() + "identify -format '%w %[png:IHDR.color-type-orig] %h' " + c.png);
        EXPECT_THAT(png.out, StartsWith(std::string(c.widthAndType) + " ")) << c.arguments;
        const std::string height = png.out.substr(png.out.rfind(' ') + 1);
        EXPECT_EQ(result.out,
                  "image 2 of 2: 400 x " + height + ", " + original + " \u2192 " + c.bytesAfter + " bytes\n")
            << c.arguments;
        expectFolderHolds({"book.pdf", c.png});
        fs::remove(file(c.png));
    }
}

}  // namespace
}  // namespace pagewash::testing
