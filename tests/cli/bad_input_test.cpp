// Input the command line cannot bleach as asked: it must say so in one plain line and never label an
// image with a colour space it does not have.

#include <gtest/gtest.h>

#include <filesystem>
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

}  // namespace
}  // namespace pagewash::testing
