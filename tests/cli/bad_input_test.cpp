// Input the command line cannot bleach as asked: it must say so in one plain line and never label an
// image with a colour space it does not have.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>
#include <string>
#include <utility>

#include "tests/cli/cli_fixture.h"

namespace pagewash::testing {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(CliTest, CmykJpegKeepsItsBytesAndItsColourSpace) {
    fs::copy_file(corpusPath("pdf/pikepdf_cmyk-jpeg.pdf"), file("cmyk.pdf"));
    const CommandResult result = cli("-q cmyk.pdf");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const auto images = listImages(file("cmyk_edit.pdf"));
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].color, "cmyk");
    EXPECT_EQ(images[0].components, 4);
    EXPECT_TRUE(qpdfCheckPasses(file("cmyk_edit.pdf")));
}

TEST_F(CliTest, EncryptedPdfIsRefusedWithItsReason) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("plain.pdf"));
    // /Encrypt in a classic trailer (AES-128, AES-256) and in a cross-reference stream dictionary.
    const std::pair<const char*, const char*> encryptions[] = {
        {"aes128", "--encrypt user owner 128 --use-aes=y --"},
        {"aes256", "--encrypt user owner 256 --"},
        {"xrefstream", "--object-streams=generate --encrypt user owner 256 --"}};
    for (const auto& [what, arguments] : encryptions) {
        const std::string name = std::string(what) + ".pdf";
        ASSERT_EQ(
            runCommand("qpdf " + std::string(arguments) + " " + quote(file("plain.pdf")) + " " + quote(file(name)))
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

TEST_F(CliTest, PassedOverFilesAreNamedUnlessQuiet) {
    writeText(file("notes.pdf"), "not a PDF at all\n");
    writeText(file("tiny.pdf"), "%PDF-1.4\n%%EOF\n");
    const CommandResult told = cli("notes.pdf tiny.pdf");
    EXPECT_EQ(told.exitStatus, 0);
    EXPECT_TRUE(contains(told.err, "notes.pdf: not a PDF; nothing written")) << told.err;
    EXPECT_TRUE(contains(told.err, "tiny.pdf: no JPEG image found; nothing written")) << told.err;
    const CommandResult quiet = cli("-q notes.pdf tiny.pdf");
    EXPECT_EQ(quiet.exitStatus, 0);
    EXPECT_EQ(quiet.err, "");
}

TEST_F(CliTest, OutputThatCannotBeCreatedIsSaidPlainlyAndTriedOnceMore) {
    // The output's temporary name is 13 bytes longer than the input's: past the longest name a folder
    // entry may have, whoever runs the test.
    const std::string name = std::string(246, 'b') + ".pdf";
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file(name));
    fs::remove(file("page.jpg"));
    const CommandResult result = cli("-q " + name);
    EXPECT_EQ(result.exitStatus, 1);
    const std::string output = edited(name);
    EXPECT_EQ(errorLines(result.err).size(), 1u) << result.err;
    const std::string retry = output + " cannot be created (File name too long); trying once more";
    EXPECT_TRUE(contains(result.err, retry)) << result.err;
    EXPECT_FALSE(contains(result.err, "OK")) << "no button to press in a terminal";
    expectFolderHolds({name});
}

TEST_F(CliTest, ImageWhoseHeaderAsksForMoreThanTheMemoryLimitIsLeftAsItIs) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg"), file("page.jpg")}, file("forged.pdf"));
    fs::remove(file("page.jpg"));
    // The first image's frame header claims 30000 x 30000 pixels; its data stays a 64-pixel page.
    Bytes pdf = readBytes(file("forged.pdf"));
    const Bytes sof = {0xFF, 0xC0};
    const auto frame = std::search(pdf.begin(), pdf.end(), sof.begin(), sof.end());
    ASSERT_NE(frame, pdf.end());
    for (int i : {5, 7}) {
        frame[i] = 0x75;  // 30000 = 0x7530: height, then width
        frame[i + 1] = 0x30;
    }
    writeBytes(file("forged.pdf"), pdf);

    const CommandResult result = cli("-q --memory-limit 100M forged.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "forged.pdf: image 1 (30000 x 30000) needs 2.7 GB, more than the 100.0 MB "
                                     "limit; left as it is"))
        << result.err;
    const Bytes output = readBytes(file("forged_edit.pdf"));
    EXPECT_NE(std::search(output.begin(), output.end(), frame - 2, frame + 9), output.end())
        << "the forged image is carried over unchanged";
    int grayImages = 0;
    for (const ListedImage& image : listImages(file("forged_edit.pdf"))) grayImages += image.color == "gray";
    EXPECT_EQ(grayImages, 1) << "the second image is bleached";

    EXPECT_EQ(cli("--memory-limit 12X forged.pdf").exitStatus, 2);
}

TEST_F(CliTest, OptimizedAndProgressiveCodingKeepEveryPixelAndShrinkTheImages) {
    for (const char* name : {"pikepdf_congress.pdf", "ocrmypdf_c02-22.pdf"})
        fs::copy_file(corpusPath(std::string("pdf/") + name), file(name));
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

}  // namespace
}  // namespace pagewash::testing
