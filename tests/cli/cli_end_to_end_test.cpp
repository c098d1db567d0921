#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/cli/cli_fixture.h"

namespace pagewash::testing {
namespace {

namespace fs = std::filesystem;

// Page count, text and images of an output compared with its input: same pages, same text, the same
// images in the same places, each JPEG either as it was or turned gray (default settings).
void expectFaithfulOutput(const std::string& input, const std::string& output) {
    SCOPED_TRACE(output);
    ASSERT_TRUE(fileExists(output));
    EXPECT_EQ(pageCount(output), pageCount(input));
    EXPECT_EQ(pdfText(output), pdfText(input));
    const auto before = listImages(input);
    const auto after = listImages(output);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].width, before[i].width) << "image " << i;
        EXPECT_EQ(after[i].height, before[i].height) << "image " << i;
        EXPECT_EQ(after[i].encoding, before[i].encoding) << "image " << i;
        if (after[i].color != before[i].color) {
            EXPECT_EQ(after[i].color, "gray") << "image " << i;
        }
    }
}

int grayJpegCount(const std::string& pdf) {
    int count = 0;
    for (const auto& image : listImages(pdf)) count += image.encoding == "jpeg" && image.color == "gray";
    return count;
}

// A PostScript page with text, and a JPEG drawn through DCTDecode when `jpeg` is given (Ghostscript
// passes such JPEGs through into the PDF unchanged).
std::string postScriptPage(const std::string& text, const std::string& jpeg, int width, int height) {
    std::string ps = "%!PS\n/Helvetica findfont 20 scalefont setfont\n72 740 moveto (" + text + ") show\n";
    if (!jpeg.empty()) {
        const std::string w = std::to_string(width);
        const std::string h = std::to_string(height);
        ps += "gsave 72 200 translate " + w + " " + h +
              " scale /DeviceRGB setcolorspace\n<< /ImageType 1 /Width " + w + " /Height " + h +
              " /BitsPerComponent 8 /Decode [0 1 0 1 0 1] /ImageMatrix [" + w + " 0 0 -" + h + " 0 " + h +
              "] /DataSource (" + jpeg + ") (r) file /DCTDecode filter >> image grestore\n";
    }
    return ps + "showpage\n";
}

// Runs in the folder of `ps`, where the JPEG it names lies.
void ghostscript(const std::string& ps, const std::string& pdf, const std::string& readable) {
    const std::string folder = std::filesystem::path(ps).parent_path().string();
    const CommandResult result =
        runCommand("cd " + quote(folder) +
                   " && gs -q -dNOPAUSE -dBATCH -sDEVICE=pdfwrite --permit-file-read=" + quote(readable) +
                   " -sOutputFile=" + quote(pdf) + " " + quote(ps));
    ASSERT_EQ(result.exitStatus, 0) << result.err;
}

std::pair<int, int> jpegSize(const std::string& jpeg) {
    const CommandResult result = runCommand("identify -format '%w %h' " + quote(jpeg));
    const std::size_t space = result.out.find(' ');
    return {std::stoi(result.out.substr(0, space)), std::stoi(result.out.substr(space + 1))};
}

TEST_F(CliTest, CorpusPdfsKeepTheirPagesAndTextAndTheirJpegsTurnGray) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(corpusPath("pdf"))) {
        names.push_back(entry.path().filename().string());
        fs::copy_file(entry.path(), file(names.back()));
    }
    std::sort(names.begin(), names.end());
    std::string arguments = "-q";
    for (const std::string& name : names) arguments += " " + quote(name);
    const CommandResult result = cli(arguments);

    // What each corpus file gives: a bleached output with this many gray JPEGs, or nothing.
    const std::map<std::string, int> grayJpegsExpected = {
        {"ocrmypdf_c02-22.pdf", 1},      {"ocrmypdf_poster.pdf", 1},
        {"pikepdf_congress.pdf", 1},     {"pikepdf_congress-gray.pdf", 1},
        {"qpdf_indirect-filter.pdf", 2}, {"qpdf_shared-form-images.pdf", 12},
    };
    const std::vector<std::string> nothingExpected = {"ocrmypdf_cmyk.pdf", "opf_veraPDFHiRes.pdf"};

    std::vector<std::string> refused;
    std::vector<std::string> expectedFolder = names;
    const std::vector<std::string> errors = errorLines(result.err);
    for (const std::string& name : names) {
        const std::string output = edited(file(name));
        const bool mentioned = std::any_of(errors.begin(), errors.end(), [&](const std::string& line) {
            return line.find(name) != std::string::npos;
        });
        if (!fileExists(output)) {
            if (mentioned) refused.push_back(name);
            continue;
        }
        expectedFolder.push_back(edited(name));
        EXPECT_FALSE(mentioned) << name << " was written but named on standard error:\n" << result.err;
        expectFaithfulOutput(file(name), output);
        EXPECT_TRUE(qpdfCheckPasses(output)) << name;
    }
    for (const auto& [name, grayJpegs] : grayJpegsExpected) {
        EXPECT_EQ(grayJpegCount(edited(file(name))), grayJpegs) << name;
    }
    for (const std::string& name : nothingExpected) EXPECT_FALSE(fileExists(edited(file(name)))) << name;
    EXPECT_EQ(result.exitStatus, refused.empty() ? 0 : 1) << result.err;
    // One error line per refused file, naming it.
    EXPECT_EQ(errors.size(), refused.size()) << result.err;
    expectFolderHolds(expectedFolder);
}

TEST_F(CliTest, PdfsFromImg2pdfAndGhostscriptWithTextLayersAreBleached) {
    // img2pdf from three page JPEGs, colour and gray.
    makeJpeg(corpusPath("img/pagedewarp_boston_cooking_a.jpg"), 300, false, file("p1.jpg"));
    makeJpeg(corpusPath("img/noteshrink_notesA1.jpg"), 280, true, file("p2.jpg"));
    makeJpeg(corpusPath("img/pagedewarp_linguistics_thesis_a.jpg"), 260, false, file("p3.jpg"));
    makeImg2Pdf({file("p1.jpg"), file("p2.jpg"), file("p3.jpg")}, file("scan.pdf"));

    // Ghostscript from PostScript with text and a JPEG image on the page.
    const auto [w, h] = jpegSize(file("p1.jpg"));
    writeText(file("page.ps"), postScriptPage("Bleached page one", file("p1.jpg"), w, h));
    ghostscript(file("page.ps"), file("gs.pdf"), file("p1.jpg"));

    // A scan with a text layer laid over it: img2pdf, then qpdf --overlay of a Ghostscript text page.
    writeText(file("text.ps"), postScriptPage("Searchable words on a scanned page", "", 0, 0));
    ghostscript(file("text.ps"), file("text.pdf"), file("text.ps"));
    makeImg2Pdf({file("p3.jpg")}, file("plain.pdf"));
    const CommandResult overlay =
        runCommand("cd " + quote(dir()) + " && qpdf plain.pdf --overlay text.pdf -- layered.pdf");
    ASSERT_TRUE(overlay.exitStatus == 0 || overlay.exitStatus == 3) << overlay.err;
    for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg", "page.ps", "text.ps", "text.pdf", "plain.pdf"}) {
        fs::remove(file(name));
    }
    ASSERT_NE(pdfText(file("gs.pdf")).find("Bleached page one"), std::string::npos);
    ASSERT_NE(pdfText(file("layered.pdf")).find("Searchable words"), std::string::npos);

    const CommandResult result = cli("scan.pdf gs.pdf layered.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    for (const char* name : {"scan.pdf", "gs.pdf", "layered.pdf"}) {
        expectFaithfulOutput(file(name), edited(file(name)));
        EXPECT_TRUE(qpdfCheckPasses(edited(file(name)))) << name;
    }
    EXPECT_EQ(grayJpegCount(edited(file("scan.pdf"))), 3);
    EXPECT_EQ(grayJpegCount(edited(file("gs.pdf"))), 1);
    EXPECT_EQ(grayJpegCount(edited(file("layered.pdf"))), 1);
    // Progress on a pipe: one plain line per file.
    EXPECT_NE(result.err.find("1 / 3 scan.pdf\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("3 / 3 layered.pdf\n"), std::string::npos) << result.err;
    expectFolderHolds(
        {"scan.pdf", "gs.pdf", "layered.pdf", "scan_edit.pdf", "gs_edit.pdf", "layered_edit.pdf"});
}

TEST_F(CliTest, SettingsOptionsReachTheImages) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 120, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("book.pdf"));
    struct Case {
        const char* options;
        const char* color;
    };
    for (const Case& c : {Case{"--color-mode none", "rgb"}, Case{"--color-mode auto", "rgb"},
                          Case{"--color-mode manual --blur median", "rgb"}, Case{"--color-mode gray", "gray"},
                          Case{"", "gray"}}) {
        const CommandResult result = cli(std::string(c.options) + " -q book.pdf");
        EXPECT_EQ(result.exitStatus, 0) << c.options << ": " << result.err;
        const auto images = listImages(file("book_edit.pdf"));
        ASSERT_EQ(images.size(), 1u) << c.options;
        EXPECT_EQ(images[0].color, c.color) << c.options;
    }
    // The quality reaches the encoder: quality 5 gives a much smaller file than quality 95.
    ASSERT_EQ(cli("-q --quality 95 book.pdf").exitStatus, 0);
    const auto large = fs::file_size(file("book_edit.pdf"));
    ASSERT_EQ(cli("-q --quality 5 book.pdf").exitStatus, 0);
    EXPECT_LT(fs::file_size(file("book_edit.pdf")) * 2, large);
}

TEST_F(CliTest, FilesWithoutJpegOrNotPdfProduceNothingAndExitZero) {
    writeText(file("notes.txt"),
              "not a PDF at all, but long enough to be searched for a JFIF signature......\n");
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    writeText(file("text.ps"), postScriptPage("Only text here", "", 0, 0));
    ghostscript(file("text.ps"), file("text.pdf"), file("text.ps"));
    fs::remove(file("text.ps"));
    fs::copy_file(corpusPath("pdf/ocrmypdf_cmyk.pdf"), file("cmyk.pdf"));  // Adobe JPEGs, none JFIF
    writeText(file("tiny.pdf"), "%PDF-1.4\n%%EOF\n");
    const CommandResult result = cli("notes.txt page.jpg text.pdf cmyk.pdf tiny.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(errorLines(result.err).empty()) << result.err;
    expectFolderHolds({"notes.txt", "page.jpg", "text.pdf", "cmyk.pdf", "tiny.pdf"});
}

TEST_F(CliTest, UnopenableFileIsNamedAndTheNextFileIsProcessed) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("good.pdf"));
    fs::remove(file("page.jpg"));
    const CommandResult result = cli("-q missing.pdf good.pdf");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(errorLines(result.err).size(), 1u) << result.err;
    EXPECT_NE(result.err.find("missing.pdf"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("No such file"), std::string::npos) << result.err;
    expectFolderHolds({"good.pdf", "good_edit.pdf"});
}

TEST_F(CliTest, PlantedLinksAndFilesAtTemporaryNamesAreNeverWrittenAndTheOutputFollowsTheUmask) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg")}, file("a.pdf"));
    fs::remove(file("page.jpg"));
    writeText(file("victim.txt"), "precious");
    // Another user's link at the name the process would once have used, and a plain file at the name of
    // the next process id, both planted before the program starts.
    const CommandResult result = runCommand(
        "cd " + quote(dir()) + " && umask 027 && TMPDIR=" + quote(tmp()) +
        " sh -c 'ln -s \"$PWD/victim.txt\" .a_edit.pdf.$$.tmp; echo mine > .a_edit.pdf.$(($$+1)).tmp; exec " +
        quote(PAGEWASH_CLI) + " -q a.pdf'");
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    const auto victim = readBytes(file("victim.txt"));
    EXPECT_EQ(std::string(victim.begin(), victim.end()), "precious");
    const fs::file_status output = fs::symlink_status(file("a_edit.pdf"));
    ASSERT_TRUE(fs::is_regular_file(output));
    EXPECT_EQ(pageCount(file("a_edit.pdf")), 1);
    EXPECT_EQ(output.permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (const auto& entry : fs::directory_iterator(dir())) {
        const std::string name = entry.path().filename();
        if (name.rfind(".a_edit.pdf.", 0) != 0 || fs::is_symlink(entry.symlink_status())) continue;
        const auto kept = readBytes(entry.path());
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "mine\n") << name;
    }
}

TEST_F(CliTest, TwoRunsAtTheSameMomentInTheSameFolderBothSucceed) {
    makeJpeg(corpusPath("img/pagedewarp_boston_cooking_a.jpg"), 200, false, file("a.jpg"));
    makeJpeg(corpusPath("img/pagedewarp_linguistics_thesis_a.jpg"), 200, false, file("b.jpg"));
    makeImg2Pdf({file("a.jpg"), file("b.jpg"), file("a.jpg"), file("b.jpg")}, file("first.pdf"));
    makeImg2Pdf({file("b.jpg"), file("a.jpg"), file("b.jpg")}, file("second.pdf"));
    fs::remove(file("a.jpg"));
    fs::remove(file("b.jpg"));
    const std::string cliPath = quote(PAGEWASH_CLI);
    const CommandResult result = runCommand(
        "cd " + quote(dir()) + " && export TMPDIR=" + quote(tmp()) + " && (" + cliPath +
        " -q first.pdf; echo $? > first.status) & (cd " + quote(dir()) + " && TMPDIR=" + quote(tmp()) + " " +
        cliPath + " -q second.pdf; echo $? > second.status) & wait");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    for (const char* name : {"first", "second"}) {
        const auto status = readBytes(file(std::string(name) + ".status"));
        EXPECT_EQ(std::string(status.begin(), status.end()), "0\n") << name;
        fs::remove(file(std::string(name) + ".status"));
        expectFaithfulOutput(file(std::string(name) + ".pdf"), file(std::string(name) + "_edit.pdf"));
    }
    EXPECT_EQ(grayJpegCount(file("first_edit.pdf")), 4);
    EXPECT_EQ(grayJpegCount(file("second_edit.pdf")), 3);
    expectFolderHolds({"first.pdf", "second.pdf", "first_edit.pdf", "second_edit.pdf"});
}

TEST_F(CliTest, CorruptJpegStreamLeavesThatImageAndBleachesTheRest) {
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 100, false, file("a.jpg"));
    makeJpeg(corpusPath("img/pagedewarp_boston_cooking_a.jpg"), 100, false, file("b.jpg"));
    makeImg2Pdf({file("a.jpg"), file("b.jpg")}, file("book.pdf"));
    fs::remove(file("a.jpg"));
    fs::remove(file("b.jpg"));
    // The first JPEG's frame header gets a height of 0, which the decoder refuses as a fatal error.
    auto bytes = readBytes(file("book.pdf"));
    const std::string text(bytes.begin(), bytes.end());
    const std::size_t soi = text.find("\xFF\xD8\xFF\xE0");
    ASSERT_NE(soi, std::string::npos);
    const std::size_t sof = text.find("\xFF\xC0", soi);
    ASSERT_NE(sof, std::string::npos);
    bytes[sof + 5] = 0;
    bytes[sof + 6] = 0;
    writeBytes(file("book.pdf"), bytes);

    const CommandResult result = cli("-q book.pdf");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_FALSE(result.err.empty());  // the library's message
    const auto images = listImages(file("book_edit.pdf"));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].color, "rgb");   // left as it was, colour space included
    EXPECT_EQ(images[1].color, "gray");  // bleached
    EXPECT_EQ(pageCount(file("book_edit.pdf")), 2);
    // The damaged stream is carried over byte for byte.
    const auto output = readBytes(file("book_edit.pdf"));
    const std::string outputText(output.begin(), output.end());
    const std::string damaged(bytes.begin() + static_cast<std::ptrdiff_t>(soi),
                              bytes.begin() + static_cast<std::ptrdiff_t>(sof + 200));
    EXPECT_NE(outputText.find(damaged), std::string::npos);
    expectFolderHolds({"book.pdf", "book_edit.pdf"});
}

TEST_F(CliTest, ProgressFollowsTheImagesOnATerminalAndQuietShowsNothing) {
    if (!toolAvailable("script")) GTEST_SKIP() << "script is not installed";
    makeJpeg(corpusPath("img/pikepdf_congress_im0.jpg"), 64, false, file("page.jpg"));
    makeImg2Pdf({file("page.jpg"), file("page.jpg"), file("page.jpg")}, file("book.pdf"));
    fs::remove(file("page.jpg"));
    // script gives the program a terminal; what it drew comes back on standard output.
    const CommandResult terminal =
        runCommand("cd " + quote(dir()) + " && TMPDIR=" + quote(tmp()) + " script -qec " +
                   quote(quote(PAGEWASH_CLI) + " book.pdf") + " /dev/null");
    EXPECT_EQ(terminal.exitStatus, 0) << terminal.out;
    EXPECT_NE(terminal.out.find("1 / 1  book.pdf  ["), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("]  3/3"), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("##############################]"), std::string::npos) << terminal.out;

    const CommandResult quiet = cli("--quiet book.pdf");
    EXPECT_EQ(quiet.exitStatus, 0);
    EXPECT_EQ(quiet.err.find(" / "), std::string::npos) << quiet.err;
    EXPECT_EQ(quiet.err.find("["), std::string::npos) << quiet.err;
    EXPECT_TRUE(quiet.out.empty()) << quiet.out;
    expectFolderHolds({"book.pdf", "book_edit.pdf"});
}

}  // namespace
}  // namespace pagewash::testing
