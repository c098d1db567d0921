// The built pagewash-cli run in a test's own folder with its own temporary directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

namespace fs = std::filesystem;

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(toolsInstalled({"img2pdf", "convert", "pdfimages", "qpdf", "script"}));
        fs::create_directory(tmp());
        fs::create_directory(dir());
    }
    // The work folder holds exactly `names` and the temporary directory is empty.
    void expectFolderHolds(std::vector<std::string> names) const {
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listFolder(dir()), names);
        EXPECT_TRUE(listFolder(tmp()).empty());
    }
    void makePdf(const std::string& name, int pages, int width = 64) {
        makeJpeg(width, false, file("page.jpg"));
        makeImg2Pdf(std::vector<std::string>(static_cast<std::size_t>(pages), file("page.jpg")), file(name));
        fs::remove(file("page.jpg"));
    }
    std::string tmp() const { return m_scratch.file("tmp"); }
    std::string dir() const { return m_scratch.file("work"); }
    std::string file(const std::string& name) const { return dir() + "/" + name; }
    std::string inDir() const { return "cd " + quote(dir()) + " && TMPDIR=" + quote(tmp()) + " "; }
    CommandResult cli(const std::string& arguments) const {
        return runCommand(inDir() + quote(PAGEWASH_CLI) + " " + arguments);
    }

    ScratchDir m_scratch;
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using nlohmann::json;

// The --json lines of a run, one object per file.
std::vector<json> jsonLines(const std::string& out) {
    std::vector<json> objects;
    std::size_t start = 0;
    for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1)
        objects.push_back(json::parse(out.substr(start, end - start)));
    EXPECT_EQ(start, out.size()) << "every object ends its line";
    return objects;
}

// The JPEG streams of `pdf` in `folder` as pdfimages -j writes them out.
std::vector<Bytes> streamsOf(const std::string& folder, const std::string& pdf) {
    EXPECT_EQ(runCommand("cd " + quote(folder) + " && pdfimages -j " + quote(pdf) + " streams").exitStatus,
              0);
    std::vector<Bytes> streams;
    for (const std::string& entry : listFolder(folder)) {
        if (entry.rfind("streams-", 0) != 0) continue;
        streams.push_back(readBytes(folder + "/" + entry));
        fs::remove(folder + "/" + entry);
    }
    return streams;
}

// One column of pdfimages -list for each image.
std::vector<std::string> imageColumn(const std::string& pdf, std::string ListedImage::*column) {
    std::vector<std::string> values;
    for (const ListedImage& image : listImages(pdf)) values.push_back(image.*column);
    return values;
}
std::vector<std::string> imageColours(const std::string& pdf) {
    return imageColumn(pdf, &ListedImage::color);
}

TEST_F(CliTest, UsageErrorsAndPreviewRefusalsExitWithTheirStatusAndOneLineThatSaysWhy) {
    makePdf("book.pdf", 2);
    writeBytes(file("tiny.pdf"), toBytes("%PDF-1.4\n%%EOF\n"));
    const Bytes before = readBytes(file("book.pdf"));
    const struct {
        const char* arguments;
        int exitStatus = 2;
        const char* reason = "";
    } cases[] = {
        {""},
        {"-q"},
        {"--color-black 101 book.pdf"},
        {"--color-white -1 book.pdf"},
        {"--gray-black 200 book.pdf"},
        {"--gray-white x book.pdf"},
        {"--quality 101 book.pdf"},
        {"--blur-strength 0 book.pdf"},
        {"--blur-strength 11 book.pdf"},
        {"--jobs 0 book.pdf"},
        {"--color-mode sepia book.pdf"},
        {"--gray-mode yellowing book.pdf"},
        {"--blur gaussian book.pdf"},
        {"--frobnicate book.pdf"},
        {"book.pdf --quality"},
        {"--preview 3 book.pdf", 2, "book.pdf has 2 JPEG images: there is no image 3"},
        {"--preview 0 book.pdf", 2, "--preview"},
        {"--preview 1 book.pdf book.pdf", 2, "--preview: takes exactly one FILE, not 2"},
        {"--preview 1", 2, "FILE is required"},
        {"--side-by-side book.pdf", 2, "requires --preview"},
        {"--preview 1 tiny.pdf", 1, "tiny.pdf: no JPEG image"},
        {"--preview 1 missing.pdf", 1, "missing.pdf: cannot be read (No such file or directory)"},
    };
    for (const auto& c : cases) {
        const CommandResult result = cli(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.arguments;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1)
            << c.arguments << ": " << result.err;
        EXPECT_EQ(result.err.rfind("pagewash-cli: ", 0), 0u) << c.arguments << ": " << result.err;
        EXPECT_TRUE(contains(result.err, c.reason)) << c.arguments << ": " << result.err;
        EXPECT_TRUE(result.out.empty()) << c.arguments;
    }
    expectFolderHolds({"book.pdf", "tiny.pdf"});
    EXPECT_EQ(readBytes(file("book.pdf")), before);
}

TEST_F(CliTest, OptionsInRangeReachTheImages) {
    makePdf("book.pdf", 1, 120);
    for (const auto& [options, color] :
         {std::pair{"--color-mode none --gray-mode none", "rgb"},
          {"--color-mode auto --gray-mode=auto", "rgb"},
          {"--color-mode manual --color-black 0 --color-white 100 --blur median --blur-strength 10", "rgb"},
          {"--color-mode=gray --gray-mode manual --gray-black 100 --gray-white 0 --jobs 1", "gray"},
          {"--quality 0 --blur average --blur-strength 1 --jobs 64", "gray"}}) {
        const CommandResult result = cli(std::string(options) + " -q book.pdf");
        EXPECT_EQ(result.exitStatus, 0) << options << ": " << result.err;
        EXPECT_TRUE(result.err.empty()) << options << ": " << result.err;
        EXPECT_EQ(imageColours(file("book_edit.pdf")), std::vector<std::string>{color}) << options;
    }
    ASSERT_EQ(cli("-q --quality 95 book.pdf").exitStatus, 0);
    const auto large = fs::file_size(file("book_edit.pdf"));
    ASSERT_EQ(cli("-q --quality 5 book.pdf").exitStatus, 0);
    EXPECT_LT(fs::file_size(file("book_edit.pdf")) * 2, large) << "the quality reaches the encoder";
}

TEST_F(CliTest, FilesWithoutJfifOrNotPdfProduceNothingAndAnUnopenableFileIsNamed) {
    makePdf("good.pdf", 1);
    writeBytes(file("notes.txt"),
               toBytes("not a PDF at all, but long enough to be searched for a JFIF signature...\n"));
    fs::copy_file(dataFile("pikepdf_congress_im0.jpg"), file("page.jpg"));
    fs::copy_file(dataFile("opf_veraPDFHiRes.pdf"), file("adobe.pdf"));  // an Adobe JPEG, no JFIF
    writeBytes(file("tiny.pdf"), toBytes("%PDF-1.4\n%%EOF\n"));
    const CommandResult result = cli("-q notes.txt page.jpg adobe.pdf tiny.pdf missing.pdf good.pdf");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find("missing.pdf"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("No such file"), std::string::npos) << result.err;
    expectFolderHolds({"notes.txt", "page.jpg", "adobe.pdf", "tiny.pdf", "good.pdf", "good_edit.pdf"});
    // Without -q, each file passed over is named with the reason.
    const std::string told = cli("notes.txt tiny.pdf").err;
    EXPECT_NE(told.find("notes.txt: not a PDF; nothing written"), std::string::npos) << told;
    EXPECT_NE(told.find("tiny.pdf: no JPEG image found; nothing written"), std::string::npos) << told;
}

TEST_F(CliTest, PlantedLinksAndFilesAtTemporaryNamesAreNeverWrittenAndTheOutputFollowsTheUmask) {
    makePdf("a.pdf", 1);
    writeBytes(file("victim.txt"), toBytes("precious"));
    // A link at the name the process would once have used, and a plain file at the name of the next
    // process id, both planted before the program starts.
    const CommandResult result = runCommand(inDir() +
                                            "sh -c 'umask 027; ln -s \"$PWD/victim.txt\" .a_edit.pdf.$$.tmp; "
                                            "echo mine > .a_edit.pdf.$(($$+1)).tmp; exec " +
                                            quote(PAGEWASH_CLI) + " -q a.pdf'");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(toString(readBytes(file("victim.txt"))), "precious");
    const fs::file_status output = fs::symlink_status(file("a_edit.pdf"));
    ASSERT_TRUE(fs::is_regular_file(output));
    EXPECT_EQ(pageCount(file("a_edit.pdf")), 1);
    EXPECT_EQ(output.permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (const auto& entry : fs::directory_iterator(dir())) {
        const std::string name = entry.path().filename();
        if (name.rfind(".a_edit.pdf.", 0) == 0 && !fs::is_symlink(entry.symlink_status())) {
            EXPECT_EQ(toString(readBytes(entry.path())), "mine\n") << name;
        }
    }
}

TEST_F(CliTest, ProgressFollowsTheImagesOnATerminalAndAPipeAndQuietShowsNothing) {
    makePdf("book.pdf", 3);
    // script gives the program a terminal; what it drew comes back on standard output.
    const CommandResult terminal =
        runCommand(inDir() + "script -qec " + quote(quote(PAGEWASH_CLI) + " book.pdf") + " /dev/null");
    EXPECT_EQ(terminal.exitStatus, 0) << terminal.out;
    EXPECT_NE(terminal.out.find("1 / 1  book.pdf  ["), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("##############################]  3/3"), std::string::npos) << terminal.out;
    // One plain line per file on a pipe, then its size report.
    const std::string piped = cli("book.pdf").err;
    const std::string report = "1 / 1 book.pdf\nbook.pdf \u2192 book_edit.pdf: ";
    EXPECT_EQ(piped.substr(0, report.size()), report) << piped;
    EXPECT_TRUE(piped.ends_with(" %), 3 of 3 images bleached\n")) << piped;
    EXPECT_EQ(std::count(piped.begin(), piped.end(), '\n'), 2) << piped;
    const CommandResult quiet = cli("--quiet book.pdf");
    EXPECT_EQ(quiet.exitStatus, 0);
    EXPECT_TRUE(quiet.err.empty() && quiet.out.empty()) << quiet.err << quiet.out;
}

TEST_F(CliTest, CmykJpegKeepsItsBytesAndItsColourSpace) {
    fs::copy_file(dataFile("pikepdf_cmyk-jpeg.pdf"), file("cmyk.pdf"));
    const CommandResult result = cli("-q cmyk.pdf");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const auto images = listImages(file("cmyk_edit.pdf"));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].color, "cmyk");
    EXPECT_TRUE(qpdfCheckPasses(file("cmyk_edit.pdf")));
}

TEST_F(CliTest, EncryptedPdfIsRefusedWithItsReason) {
    makeJpeg(64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("plain.pdf"));
    // /Encrypt in a classic trailer (AES-128, AES-256) and in a cross-reference stream dictionary.
    const std::pair<const char*, const char*> encryptions[] = {
        {"aes128", "--encrypt user owner 128 --use-aes=y --"},
        {"aes256", "--encrypt user owner 256 --"},
        {"xrefstream", "--object-streams=generate --encrypt user owner 256 --"}};
    for (const auto& [what, arguments] : encryptions) {
        const std::string name = std::string(what) + ".pdf";
        ASSERT_EQ(runCommand("qpdf " + std::string(arguments) + " " + quote(file("plain.pdf")) + " " +
                             quote(file(name)))
                      .exitStatus,
                  0);
        const CommandResult result = cli("-q " + name);
        EXPECT_EQ(result.exitStatus, 1) << what;
        EXPECT_TRUE(contains(result.err, name + ": encrypted: its images cannot be read")) << result.err;
        fs::remove(file(name));
    }
    fs::remove(file("page.jpg"));
    const CommandResult plain = cli("-q plain.pdf");
    EXPECT_EQ(plain.exitStatus, 0) << plain.err;
    expectFolderHolds({"plain.pdf", "plain_edit.pdf"});
}

TEST_F(CliTest, OutputThatCannotBeCreatedIsSaidPlainlyAndTriedOnceMore) {
    // The output's temporary name is 13 bytes longer than the input's: past the longest name a folder
    // entry may have, whoever runs the test.
    const std::string name = std::string(246, 'b') + ".pdf";
    makeJpeg(64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file(name));
    fs::remove(file("page.jpg"));
    const CommandResult result = cli("-q " + name);
    EXPECT_EQ(result.exitStatus, 1);
    const std::string output = name.substr(0, name.size() - 4) + "_edit.pdf";
    EXPECT_TRUE(contains(result.err, "error: " + name + ": the output " + output + " cannot be created"))
        << result.err;
    const std::string retry = output + " cannot be created (File name too long); trying once more";
    EXPECT_TRUE(contains(result.err, retry)) << result.err;
    EXPECT_FALSE(contains(result.err, "OK")) << "no button to press in a terminal";
    expectFolderHolds({name});
}

TEST_F(CliTest, CorruptImageAndImageOverTheMemoryLimitAreCarriedOverAndTheRestBleached) {
    makePdf("forged.pdf", 3);
    // The first frame header gets a height of 0, which the decoder refuses as a fatal error; the second
    // claims 30000 x 30000 pixels (0x7530), its data staying a 64-pixel page.
    Bytes pdf = readBytes(file("forged.pdf"));
    const std::size_t first = find(pdf, "\xFF\xC0"), second = find(pdf, "\xFF\xC0", first + 2);
    ASSERT_NE(second, std::string::npos);
    pdf[first + 5] = pdf[first + 6] = 0;
    pdf[second + 5] = pdf[second + 7] = 0x75;
    pdf[second + 6] = pdf[second + 8] = 0x30;
    writeBytes(file("forged.pdf"), pdf);

    const CommandResult result = cli("-q --memory-limit 100M forged.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(contains(result.err,
                         "forged.pdf: image 2 (30000 x 30000) needs 2.7 GB, more than the 100.0 MB "
                         "limit; left as it is"))
        << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << "and the decoder's message";
    const std::string output = toString(readBytes(file("forged_edit.pdf")));
    for (const std::size_t frame : {first, second})
        EXPECT_TRUE(contains(output, toString(Bytes(pdf.begin() + static_cast<std::ptrdiff_t>(frame) - 20,
                                                    pdf.begin() + static_cast<std::ptrdiff_t>(frame) + 200))))
            << "carried over unchanged, frame at " << frame;
    EXPECT_EQ(imageColours(file("forged_edit.pdf")), (std::vector<std::string>{"rgb", "rgb", "gray"}))
        << "colour spaces kept";
    EXPECT_EQ(cli("--memory-limit 12X forged.pdf").exitStatus, 2);
}

TEST_F(CliTest, OptimizedAndProgressiveCodingKeepEveryPixelAndShrinkTheImages) {
    for (const char* name : {"pikepdf_congress.pdf", "ocrmypdf_c02-22.pdf"})
        fs::copy_file(dataFile(name), file(name));
    std::map<std::string, std::uintmax_t> imageBytes;
    std::map<std::string, std::vector<Bytes>> pixels;
    for (const std::string option : {"", "--optimize", "--progressive", "--optimize --progressive"}) {
        ASSERT_EQ(cli("-q " + option + " pikepdf_congress.pdf ocrmypdf_c02-22.pdf").exitStatus, 0) << option;
        for (const char* name : {"pikepdf_congress", "ocrmypdf_c02-22"}) {
            const std::string edited = file(std::string(name) + "_edit.pdf");
            // Only the image streams differ between the outputs.
            imageBytes[option] += fs::file_size(edited);
            // pdfimages decodes each JPEG with its own decoder: the pixels must not depend on the coding.
            const std::string prefix = file("png");
            ASSERT_EQ(runCommand("pdfimages -png " + quote(edited) + " " + quote(prefix)).exitStatus, 0);
            for (const auto& entry : fs::directory_iterator(dir())) {
                if (entry.path().filename().string().rfind("png-", 0) != 0) continue;
                pixels[option].push_back(readBytes(entry.path()));
                fs::remove(entry.path());
            }
        }
    }
    for (const std::string option : {"--optimize", "--progressive", "--optimize --progressive"}) {
        EXPECT_EQ(pixels[option], pixels[""]) << option;
        EXPECT_LT(imageBytes[option], imageBytes[""]) << option;
    }
}

TEST_F(CliTest, AnyJpegBleachesJpegsWithoutJfifWhichAreOtherwiseNamedAndLeft) {
    ASSERT_TRUE(toolsInstalled({"djpeg", "cjpeg"}));
    // Adobe JPEGs as cjpeg writes RGB ones, from two real pages.
    for (const char* page : {"pikepdf_congress_im0.jpg", "noteshrink_notesA1_800.jpg"})
        ASSERT_EQ(
            runCommand("djpeg " + quote(dataFile(page)) + " | cjpeg -rgb > " + quote(file(page))).exitStatus,
            0);
    makeImg2Pdf({file("pikepdf_congress_im0.jpg"), file("noteshrink_notesA1_800.jpg")}, file("adobe.pdf"));
    writeBytes(file("notes.txt"), toBytes(std::string(200, 'x')));

    const CommandResult left = cli("--json adobe.pdf notes.txt");
    EXPECT_EQ(left.exitStatus, 0) << left.err;
    EXPECT_TRUE(contains(left.err,
                         "pagewash-cli: adobe.pdf: no JFIF JPEG image; 2 other JPEG images left as they "
                         "are (--any-jpeg bleaches them); nothing written\n"))
        << left.err;
    std::vector<json> reports = jsonLines(left.out);
    ASSERT_EQ(reports.size(), 2u) << left.out;
    EXPECT_EQ(reports[0]["outcome"], "no_jpeg");
    EXPECT_EQ(reports[0]["images"]["other_jpeg_left"], 2);
    EXPECT_TRUE(reports[0]["output"].is_null());
    EXPECT_EQ(reports[1]["outcome"], "not_pdf");
    EXPECT_EQ(reports[1]["bytes_before"], 200);
    EXPECT_FALSE(fileExists(file("adobe_edit.pdf")));

    const CommandResult bleached = cli("--any-jpeg --json adobe.pdf");
    ASSERT_EQ(bleached.exitStatus, 0) << bleached.err;
    reports = jsonLines(bleached.out);
    ASSERT_EQ(reports.size(), 1u) << bleached.out;
    EXPECT_EQ(reports[0]["output"], "adobe_edit.pdf");
    EXPECT_EQ(reports[0]["images"]["found"], 2);
    EXPECT_EQ(reports[0]["images"]["bleached"], 2);
    EXPECT_EQ(reports[0]["bytes_after"], fs::file_size(file("adobe_edit.pdf")));
    EXPECT_TRUE(contains(bleached.err, "adobe.pdf \u2192 adobe_edit.pdf: ")) << bleached.err;
    EXPECT_TRUE(qpdfCheckPasses(file("adobe_edit.pdf")));
    EXPECT_EQ(imageColours(file("adobe_edit.pdf")), (std::vector<std::string>{"gray", "gray"}));
}

TEST_F(CliTest, KeepSmallerLeavesEveryImageThatWouldGrowAsItIs) {
    // Pages coded at quality 30 grow when re-encoded at quality 100.
    ASSERT_EQ(runCommand("convert " + quote(dataFile("pikepdf_congress_im0.jpg")) + " -quality 30 " +
                         quote(file("page.jpg")))
                  .exitStatus,
              0);
    makeImg2Pdf({file("page.jpg"), file("page.jpg")}, file("book.pdf"));
    for (const std::string coding : {"", " --optimize --progressive"}) {
        const CommandResult grown = cli("-q --json --quality 100 --color-mode auto" + coding + " book.pdf");
        ASSERT_EQ(grown.exitStatus, 0) << grown.err;
        const json plain = jsonLines(grown.out).at(0);
        EXPECT_GT(plain["bytes_after"], plain["bytes_before"]) << coding << ": the case to guard against";

        const CommandResult kept =
            cli("-q --json --keep-smaller --quality 100 --color-mode auto" + coding + " book.pdf");
        ASSERT_EQ(kept.exitStatus, 0) << kept.err;
        const json report = jsonLines(kept.out).at(0);
        EXPECT_EQ(report["images"]["bleached"], 0) << coding;
        EXPECT_EQ(report["images"]["left"]["larger"], 2) << coding;
        EXPECT_EQ(streamsOf(dir(), "book_edit.pdf"), streamsOf(dir(), "book.pdf"))
            << coding << ": the bytes are kept";
        EXPECT_EQ(imageColumn(file("book_edit.pdf"), &ListedImage::line),
                  imageColumn(file("book.pdf"), &ListedImage::line))
            << coding << ": and the dictionaries";
        EXPECT_LE(report["bytes_after"], report["bytes_before"]) << coding;
    }
    // An image that shrinks is still bleached.
    const json shrunk = jsonLines(cli("-q --json --keep-smaller --quality 20 book.pdf").out).at(0);
    EXPECT_EQ(shrunk["images"]["bleached"], 2);
    EXPECT_LT(shrunk["bytes_after"], shrunk["bytes_before"]);
}

TEST_F(CliTest, KeepColorPagesKeepsStampsPlatesAndNotesInColourAndTurnsTintedTextGray) {
    ASSERT_TRUE(toolsInstalled({"pdfimages"}));
    // A yellowed printed page, a gray-lit thesis page, the yellowed page with a red stamp, notes in red
    // and blue pen, and the colour photo of a real PDF as a plate.
    fs::copy_file(dataFile("pikepdf_congress_im0.jpg"), file("yellowed.jpg"));
    fs::copy_file(dataFile("pagedewarp_linguistics_thesis_a_900.jpg"), file("tinted.jpg"));
    const std::string stamp =
        "convert yellowed.jpg -fill none -stroke 'rgb(200,30,40)' -strokewidth 3 "
        "-draw 'circle 250,420 250,450' -draw \"text 214,425 'PAID'\" stamp.jpg";
    ASSERT_EQ(runCommand("cd " + quote(dir()) + " && " + stamp).exitStatus, 0);
    fs::copy_file(dataFile("noteshrink_notesA1_800.jpg"), file("notes.jpg"));
    ASSERT_EQ(runCommand("pdfimages -j " + quote(dataFile("samplefiles_pdflatex-image.pdf")) + " " +
                         quote(file("plate")))
                  .exitStatus,
              0);
    makeImg2Pdf({file("yellowed.jpg"), file("tinted.jpg"), file("stamp.jpg"), file("notes.jpg"),
                 file("plate-000.jpg")},
                file("book.pdf"));

    for (const char* mode : {"yellowing", "gray"}) {
        const CommandResult result =
            cli("-q --json --keep-color-pages --color-mode " + std::string(mode) + " book.pdf");
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(imageColours(file("book_edit.pdf")),
                  (std::vector<std::string>{"gray", "gray", "rgb", "rgb", "icc"}))
            << mode;
        const json report = jsonLines(result.out).at(0);
        EXPECT_EQ(report["images"]["bleached"], 5) << mode;
        EXPECT_EQ(report["images"]["kept_in_color"], 3) << mode;
        EXPECT_TRUE(qpdfCheckPasses(file("book_edit.pdf")));
    }
    ASSERT_EQ(cli("-q book.pdf").exitStatus, 0);
    EXPECT_EQ(imageColours(file("book_edit.pdf")), std::vector<std::string>(5, "gray")) << "off by default";
}

// The width, height and colour type (0 gray, 2 RGB) in a PNG's header; zeros when it is no PNG.
std::array<std::uint32_t, 3> pngHeader(const std::string& path) {
    const Bytes png = readBytes(path);
    if (png.size() < 26 ||
        toString(Bytes(png.begin(), png.begin() + 16)) != std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16))
        return {};
    const auto big = [&](std::size_t at) {
        return std::uint32_t{png[at]} << 24 | std::uint32_t{png[at + 1]} << 16 |
               std::uint32_t{png[at + 2]} << 8 | png[at + 3];
    };
    return {big(16), big(20), png[25]};
}

// "1,204,311"
std::string grouped(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

TEST_F(CliTest, PreviewWritesThePngItNamesWithTheSizesTheBleachWrites) {
    constexpr std::uint32_t kWidth = 400;
    makePdf("book.pdf", 2, kWidth);
    const std::vector<ImageRecord> input = readImages(readBytes(file("book.pdf")));
    ASSERT_EQ(cli("-q book.pdf").exitStatus, 0);
    const std::vector<ImageRecord> edited = readImages(readBytes(file("book_edit.pdf")));
    fs::remove(file("book_edit.pdf"));
    ASSERT_EQ(edited.size(), 2u);
    const std::string original = grouped(input[1].jpegLength), bleached = grouped(edited[1].jpegLength);
    ASSERT_TRUE(contains(original, ",")) << "a size of four digits or more";
    const struct {
        const char* arguments;
        const char* png;
        std::uint32_t width, colorType;
        std::string bytesAfter;
    } cases[] = {
        {"--preview 2 book.pdf", "book_preview_2.png", kWidth, 0, bleached},
        {"--preview 2 --side-by-side --preview-out both.png book.pdf", "both.png", 2 * kWidth, 2, bleached},
        {"--preview 2 --color-mode none book.pdf", "book_preview_2.png", kWidth, 2, original},
    };
    for (const auto& c : cases) {
        const CommandResult result = cli(c.arguments);
        ASSERT_EQ(result.exitStatus, 0) << c.arguments << ": " << result.err;
        const auto [width, height, colorType] = pngHeader(file(c.png));
        EXPECT_EQ(width, c.width) << c.arguments;
        EXPECT_EQ(colorType, c.colorType) << c.arguments;
        EXPECT_EQ(result.out, "image 2 of 2: " + std::to_string(kWidth) + " x " + std::to_string(height) +
                                  ", " + original + " \u2192 " + c.bytesAfter + " bytes\n")
            << c.arguments;
        expectFolderHolds({"book.pdf", c.png});
        fs::remove(file(c.png));
    }
}

}  // namespace
}  // namespace pagewash::testing
