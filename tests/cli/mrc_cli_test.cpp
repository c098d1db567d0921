// --mrc end to end on files of real producers (img2pdf, qpdf's object streams and linearization,
// Ghostscript, Tesseract's OCR output) holding a page of text on tinted paper with a red stamp: the page
// becomes a form over its layers, the file stays sound, five readers draw it with its text where the
// default output has it, the text layer stays on its words, and the preview shows what the readers draw.
// A book page with an engraving and a page with a screened photo keep their pictures as sharp as the
// default output does.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_under_test.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

using ::testing::HasSubstr;

// A 150 ppi book page: a chapter heading, text, and an engraving of two boys under a tree.
constexpr const char* kBookPage = "ocrmypdf_c02-22.pdf";

// A gray picture of any format ImageMagick reads, transparency laid on white.
struct GrayImage {
    int width = 0, height = 0;
    Bytes pixels;
    std::uint8_t at(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
};
GrayImage readGray(const std::string& path) {
    const std::string pgm = path + ".gray.pgm";
    const CommandResult made = runCommand(
        "convert " + quote(path) + " -background white -flatten -colorspace Gray -depth 8 " + quote(pgm));
    if (made.exitStatus != 0) throw std::runtime_error(path + ": " + made.err);
    const Bytes bytes = readBytes(pgm);
    std::istringstream in(toString(bytes));
    const auto field = [&in] {
        std::string word;
        while (in >> word && word[0] == '#') std::getline(in, word);  // a comment line (Ghostscript's)
        return std::stoi(word == "P5" ? "0" : word);
    };
    GrayImage image;
    field();  // P5
    image.width = field();
    image.height = field();
    field();  // the maximum value
    in.get();
    image.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(in.tellg()), bytes.end());
    return image;
}

// The box of the dark pixels (< 128) among the columns [0, columnEnd): left, top, right, bottom.
std::array<int, 4> darkBox(const GrayImage& image, int columnEnd) {
    std::array<int, 4> box{image.width, image.height, -1, -1};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < std::min(columnEnd, image.width); ++x)
            if (image.at(x, y) < 128)
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
    return box;
}

// A PostScript page of the lines of tests/data/bilevel_flood.txt in 11-point Times, 595 x 230 points.
std::string textPage() {
    std::string ps =
        "%!PS\n<< /PageSize [595 230] >> setpagedevice\n/Times-Roman findfont 11 scalefont setfont\n";
    std::istringstream lines(toString(readBytes(dataFile("bilevel_flood.txt"))));
    int y = 200;
    for (std::string line; std::getline(lines, line); y -= 15)
        ps += "72 " + std::to_string(y) + " moveto (" + line + ") show\n";
    return ps + "showpage\n";
}

// The five readers, each drawing page 1 of PDF at DPI into OUT (any format readGray takes).
struct Reader {
    const char* name;
    std::string command;  // %PDF, %OUT, %DPI
};
const std::vector<Reader>& readers() {
    static const std::vector<Reader> all = {
        {"pdftoppm", "pdftoppm -gray -r %DPI -f 1 -l 1 -singlefile %PDF %OUT && mv %OUT.pgm %OUT"},
        {"pdftocairo", "pdftocairo -gray -png -r %DPI -f 1 -l 1 -singlefile %PDF %OUT && mv %OUT.png %OUT"},
        {"ghostscript",
         "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pgmraw -r%DPI -dFirstPage=1 -dLastPage=1 "
         "-o %OUT %PDF"},
        {"mutool", "mutool draw -q -r %DPI -c gray -F pgm -o %OUT %PDF 1"},
        {"qt", "/usr/bin/python3 " PAGEWASH_SOURCE_DIR
               "/tests/cli/qt_pdf_render.py %PDF %OUT %DPI && mv %OUT-1.png %OUT"},
    };
    return all;
}

// Made once: mixed.jpg (the text at 150 dpi on tinted paper, a red stamp on the right), and the PDFs of
// it by each producer.
class MrcTest : public ::testing::Test {
  protected:
    static constexpr const char* kTools[] = {"gs",         "convert",   "img2pdf",   "qpdf",   "pdftoppm",
                                             "pdftocairo", "pdfimages", "pdftotext", "mutool", "tesseract"};
    static bool toolsPresent() {
        for (const char* tool : kTools)
            if (!toolsInstalled({tool})) return false;
        return runCommand("/usr/bin/python3 -c 'import PyQt6.QtPdf'").exitStatus == 0;
    }
    static void SetUpTestSuite() {
        if (!toolsPresent()) return;
        s_dir = std::make_unique<ScratchDir>();
        writeBytes(s_dir->file("page.ps"), toBytes(textPage()));
        const std::string d = quote(s_dir->path()) + "/";
        for (const std::string command :
             {"gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pnggray -dTextAlphaBits=4 -r150 -o text.png page.ps",
              "convert text.png -colorspace sRGB -type TrueColor +level-colors "
              "'rgb(40,30,60)','rgb(236,226,196)' "
              "-fill none -stroke 'rgb(200,30,40)' -strokewidth 6 -draw 'circle 1000,240 1000,140' -stroke "
              "none "
              "-fill 'rgb(200,30,40)' -pointsize 40 -draw \"text 905,255 'PAID'\" -attenuate 0.2 +noise "
              "Gaussian -density 150 -units PixelsPerInch -quality 80 mixed.jpg",
              "img2pdf mixed.jpg -o img2pdf.pdf", "qpdf --object-streams=generate img2pdf.pdf streams.pdf",
              "qpdf --linearize img2pdf.pdf linearized.pdf",
              "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pdfwrite -o ghostscript.pdf img2pdf.pdf",
              "tesseract mixed.jpg tesseract --dpi 150 pdf"}) {
            const CommandResult result = runCommand("cd " + d + " && " + command + " 2>&1");
            if (result.exitStatus != 0) throw std::runtime_error(command + ": " + result.out);
        }
    }
    void SetUp() override {
        if (!toolsPresent())
            GTEST_SKIP()
                << "needs the readers and producers of scripts/setup.sh --with-tests, and Qt's PDF module";
    }
    CommandResult cli(const std::string& arguments) const {
        return runCommand("cd " + quote(m_work.path()) + " && TMPDIR=" + quote(m_tmp.path()) + " " +
                          quote(cliUnderTest()) + " " + arguments);
    }
    // Copies `name` of the made files in, bleaches it with `options`, and returns the output's path.
    std::string bleach(const std::string& name, const std::string& options, const std::string& as) {
        std::filesystem::copy_file(s_dir->file(name), file(as),
                                   std::filesystem::copy_options::overwrite_existing);
        const CommandResult result = cli("-q " + options + " " + quote(as));
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        return file(as.substr(0, as.size() - 4) + "_edit.pdf");
    }
    std::string file(const std::string& name) const { return m_work.file(name); }
    GrayImage render(const Reader& reader, const std::string& pdf, const std::string& out,
                     int dpi = 150) const {
        std::string command = reader.command;
        for (std::size_t at; (at = command.find("%DPI")) != std::string::npos;)
            command.replace(at, 4, std::to_string(dpi));
        for (std::size_t at; (at = command.find("%PDF")) != std::string::npos;)
            command.replace(at, 4, quote(pdf));
        for (std::size_t at; (at = command.find("%OUT")) != std::string::npos;)
            command.replace(at, 4, quote(file(out)));
        const CommandResult drawn = runCommand(command + " 2>&1");
        EXPECT_EQ(drawn.exitStatus, 0) << reader.name << ": " << drawn.out;
        std::string lower = drawn.out;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        EXPECT_EQ(lower.find("error"), std::string::npos) << reader.name << ": " << drawn.out;
        return readGray(file(out));
    }

    static inline std::unique_ptr<ScratchDir> s_dir;
    ScratchDir m_work, m_tmp;
};

TEST_F(MrcTest, EveryProducersFileBecomesASoundFileWithTheFormAndItsLayers) {
    for (const std::string producer : {"img2pdf", "streams", "linearized", "ghostscript", "tesseract"}) {
        SCOPED_TRACE(producer);
        std::filesystem::copy_file(s_dir->file(producer + ".pdf"), file(producer + ".pdf"));
        const CommandResult result = cli("--mrc --json " + producer + ".pdf");
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        const nlohmann::json report = nlohmann::json::parse(result.out);
        EXPECT_EQ(report["images"]["mrc"], 1);
        EXPECT_EQ(report["images"]["bleached"], 1);
        const bool linearized = producer == "linearized" || producer == "img2pdf";
        EXPECT_EQ(report["warnings"].dump().find("Fast Web View") != std::string::npos, linearized)
            << report["warnings"];
        const std::string output = file(producer + "_edit.pdf");
        const CommandResult check = runCommand("qpdf --check " + quote(output));
        EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
        EXPECT_EQ(check.out.find("WARNING"), std::string::npos) << check.out;
        // The background and the text mask, on the page and at the resolution of the image they replace.
        const std::vector<ListedImage> images = listImages(output);
        ASSERT_EQ(images.size(), 2u);
        EXPECT_THAT(images[0].line, HasSubstr("1 0 image 620 240 8 "));
        EXPECT_EQ(images[0].encoding, "jpeg");
        EXPECT_THAT(images[1].line, HasSubstr("1 1 stencil 1240 479 1 "));
        EXPECT_EQ(images[1].encoding, "ccitt");
    }
}

// The text drawn by each reader stands where the same reader draws the default output's, to a pixel; a
// mask that paints the paper instead of the ink would blacken the whole box.
TEST_F(MrcTest, FiveReadersDrawTheTextWhereTheDefaultOutputHasIt) {
    const std::string plain = bleach("img2pdf.pdf", "", "plain.pdf");
    const std::string mixed = bleach("img2pdf.pdf", "--mrc", "mixed.pdf");
    EXPECT_LT(std::filesystem::file_size(mixed) * 3, std::filesystem::file_size(plain));
    for (const Reader& reader : readers()) {
        const GrayImage before = render(reader, plain, std::string(reader.name) + "-plain");
        const GrayImage after = render(reader, mixed, std::string(reader.name) + "-mixed");
        ASSERT_EQ(after.width, before.width) << reader.name;
        ASSERT_EQ(after.height, before.height) << reader.name;
        // The text's columns, left of the stamp.
        const std::array<int, 4> a = darkBox(before, 840), b = darkBox(after, 840);
        ASSERT_GE(a[2], 0) << reader.name << " draws no text";
        for (int side = 0; side < 4; ++side)
            EXPECT_LE(std::abs(a[side] - b[side]), 1) << reader.name << ", side " << side;
        long dark[2] = {0, 0};
        for (std::size_t i = 0; i < before.pixels.size(); ++i) {
            dark[0] += before.pixels[i] < 128 ? 1 : 0;
            dark[1] += after.pixels[i] < 128 ? 1 : 0;
        }
        // The mask's strokes are a little bolder than the JPEG's anti-aliased ones; the whole box in ink
        // would be ten times the text.
        EXPECT_LT(dark[1], dark[0] * 2) << reader.name;
        EXPECT_GT(dark[1], dark[0] / 2) << reader.name;
    }
}

TEST_F(MrcTest, TextLayersStayOnTheirWords) {
    const auto words = [](const std::string& pdf) {
        return runCommand("pdftotext -bbox " + quote(pdf) + " -").out;
    };
    std::vector<std::string> ocrd = {"tesseract.pdf"};
    for (const std::string& name : dataPdfs())
        if (name.starts_with("ocrmypdf_")) {
            std::filesystem::copy_file(dataFile(name), s_dir->file("data-" + name),
                                       std::filesystem::copy_options::overwrite_existing);
            ocrd.push_back("data-" + name);
        }
    int withText = 0;
    for (const std::string& name : ocrd) {
        const std::string text = words(bleach(name, "", "plain.pdf"));
        if (text.find("<word ") == std::string::npos) continue;  // a scan without a text layer
        ++withText;
        EXPECT_EQ(words(bleach(name, "--mrc", "mixed.pdf")), text) << name;
    }
    EXPECT_GE(withText, 2);
}

// The preview's picture is what a reader draws from the PDF, the background's and the ink's scaling aside,
// on a page of text and on a book page with an engraving kept as a picture.
TEST_F(MrcTest, PreviewShowsTheLayersAsTheReadersDrawThem) {
    std::filesystem::copy_file(dataFile(kBookPage), s_dir->file("engraving.pdf"),
                               std::filesystem::copy_options::overwrite_existing);
    for (const std::string name : {"img2pdf.pdf", "engraving.pdf"}) {
        SCOPED_TRACE(name);
        const std::string mixed = bleach(name, "--mrc", "book.pdf");
        const CommandResult preview = cli("--mrc --preview 1 --preview-out p.png book.pdf");
        ASSERT_EQ(preview.exitStatus, 0) << preview.err;
        const GrayImage shown = readGray(file("p.png"));
        const GrayImage drawn = render(readers()[3], mixed, "mutool");
        ASSERT_EQ(shown.width, drawn.width);
        ASSERT_EQ(shown.height, drawn.height);
        long sum = 0, differentInk = 0;
        for (std::size_t i = 0; i < shown.pixels.size(); ++i) {
            sum += std::abs(shown.pixels[i] - drawn.pixels[i]);
            differentInk += (shown.pixels[i] < 128) != (drawn.pixels[i] < 128) ? 1 : 0;
        }
        EXPECT_LT(static_cast<double>(sum) / static_cast<double>(shown.pixels.size()), 2.0);
        EXPECT_LT(differentInk, static_cast<long>(shown.pixels.size() / 200));
    }
}

// The words Tesseract reads from page 1 of `pdf` drawn by pdftoppm at `dpi`: its runs of two letters or
// more.
int wordsRead(const std::string& pdf, const std::string& png, int dpi) {
    const std::string r = std::to_string(dpi);
    const CommandResult drawn =
        runCommand("pdftoppm -gray -png -r " + r + " -f 1 -l 1 -singlefile " + quote(pdf) + " " + quote(png));
    EXPECT_EQ(drawn.exitStatus, 0) << drawn.err;
    const CommandResult read =
        runCommand("OMP_THREAD_LIMIT=1 tesseract " + quote(png + ".png") + " - --dpi " + r + " 2>/dev/null");
    EXPECT_EQ(read.exitStatus, 0) << read.err;
    std::istringstream in(read.out);
    int words = 0;
    for (std::string word; in >> word;) {
        const auto letters =
            std::count_if(word.begin(), word.end(), [](char ch) { return std::isalpha(ch); });
        words += letters >= 2 ? 1 : 0;
    }
    return words;
}

// A book page at 150 ppi (a heading, text, an engraving of fine hatching): with --mrc each reader draws
// the engraving as it draws the default output's, not blurred into the background, the file stays
// sound, and Tesseract reads as many words from it; so too on a page with a screened photo over text.
TEST_F(MrcTest, PicturesKeepTheirDetailAndTheTextAroundThemReadsAsWell) {
    std::filesystem::copy_file(dataFile(kBookPage), s_dir->file("engraving.pdf"),
                               std::filesystem::copy_options::overwrite_existing);
    const std::string plain = bleach("engraving.pdf", "", "plain.pdf");
    const std::string mixed = bleach("engraving.pdf", "--mrc", "mixed.pdf");
    const CommandResult check = runCommand("qpdf --check " + quote(mixed));
    EXPECT_EQ(check.exitStatus, 0) << check.out << check.err;
    EXPECT_EQ(check.out.find("WARNING"), std::string::npos) << check.out;
    for (const Reader& reader : readers()) {
        // At 200 dpi, where each reader resamples the page's 150 ppi in both outputs (at 150 some draw the
        // whole image one to one and only the picture resampled).
        const GrayImage before = render(reader, plain, std::string(reader.name) + "-plain", 200);
        const GrayImage after = render(reader, mixed, std::string(reader.name) + "-mixed", 200);
        ASSERT_EQ(after.width, before.width) << reader.name;
        ASSERT_EQ(after.height, before.height) << reader.name;
        // The two boys under the tree: the background's reduction and low quality blur their hatching into
        // gray, 15 to 18 levels from the default output's on average. The same pixels at full resolution
        // differ by 10 at most: the readers resample a picture apart from the whole image, at another phase.
        long sum = 0, count = 0;
        for (int y = 288; y < 992; ++y)
            for (int x = 32; x < 480; ++x, ++count) sum += std::abs(before.at(x, y) - after.at(x, y));
        const double difference = static_cast<double>(sum) / static_cast<double>(count);
        std::printf("%s: the engraving differs from the default output's by %.2f levels\n", reader.name,
                    difference);
        EXPECT_LT(difference, 12.0) << reader.name;
    }
    const int words[2] = {wordsRead(plain, file("ocr-plain"), 150), wordsRead(mixed, file("ocr-mixed"), 150)};
    std::printf("book page: Tesseract reads %d words from the default output, %d with --mrc\n", words[0],
                words[1]);
    EXPECT_GE(words[1], words[0]);

    const CommandResult made =
        runCommand(quote(std::string(PAGEWASH_SOURCE_DIR) + "/tests/imaging/make_mixed_pages.sh") + " " +
                   quote(s_dir->path()) + " 300 halftone");
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const std::string screenedPlain = bleach("halftone.pdf", "", "plain.pdf");
    const int screened = wordsRead(screenedPlain, file("ocr-plain"), 300);
    const std::string screenedMixed = bleach("halftone.pdf", "--mrc", "mixed.pdf");
    const int screenedMrc = wordsRead(screenedMixed, file("ocr-mixed"), 300);
    std::printf("screened photo page: Tesseract reads %d words from the default output, %d with --mrc\n",
                screened, screenedMrc);
    // The words the photo cuts at its edge read a letter shorter or longer either way: within 1 %. The
    // background's blur of the photo took 2 % and more.
    EXPECT_GE(screenedMrc * 100, screened * 99);
}

// A page coded so coarsely that its layers and their objects outweigh it: --keep-smaller keeps the image.
TEST_F(MrcTest, KeepSmallerWeighsTheWholeComposite) {
    const CommandResult made =
        runCommand("cd " + quote(m_work.path()) + " && convert " + quote(s_dir->file("mixed.jpg")) +
                   " -resize 50% -quality 5 coarse.jpg && img2pdf coarse.jpg -o grown.pdf && "
                   "cp grown.pdf kept.pdf");
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    const auto report = [&](const std::string& options, const std::string& name) {
        const CommandResult result = cli("--json --mrc " + options + " " + name);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        return nlohmann::json::parse(result.out);
    };
    const nlohmann::json grown = report("", "grown.pdf");
    EXPECT_EQ(grown["images"]["mrc"], 1);
    EXPECT_GT(grown["bytes_after"], grown["bytes_before"]);
    const nlohmann::json kept = report("--keep-smaller", "kept.pdf");
    EXPECT_EQ(kept["images"]["mrc"], 0);
    EXPECT_EQ(kept["images"]["left"]["larger"], 1);
    EXPECT_EQ(kept["bytes_after"], kept["bytes_before"]);
}

// A JPEG that another image uses as its soft mask must stay an image: readers take a mask's samples, and
// a form in its place leaves the page undrawn ("Bad image parameters", "image width is zero").
TEST_F(MrcTest, AnImageUsedAsAnotherImagesSoftMaskStaysAnImage) {
    const CommandResult gray = runCommand("cd " + quote(m_work.path()) + " && convert " +
                                          quote(s_dir->file("mixed.jpg")) + " -colorspace Gray gray.jpg");
    ASSERT_EQ(gray.exitStatus, 0) << gray.err;
    const std::string color = toString(readBytes(s_dir->file("mixed.jpg")));
    const std::string mask = toString(readBytes(file("gray.jpg")));
    const auto image = [](const std::string& space, const std::string& extra, const std::string& jpeg) {
        return "<</Type /XObject/Subtype /Image/Width 1240/Height 479/ColorSpace /" + space +
               "/BitsPerComponent 8/Filter /DCTDecode" + extra + "/Length " + std::to_string(jpeg.size()) +
               ">>\nstream\n" + jpeg + "\nendstream";
    };
    const std::string content = "q 595 0 0 230 0 0 cm /Im0 Do Q";
    const std::vector<std::string> objects = {
        "<</Type /Catalog/Pages 2 0 R>>",
        "<</Type /Pages/Kids [3 0 R]/Count 1>>",
        "<</Type /Page/Parent 2 0 R/MediaBox [0 0 595 230]/Resources <</XObject <</Im0 5 0 R>>>>"
        "/Contents 4 0 R>>",
        "<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content + "\nendstream",
        image("DeviceRGB", "/SMask 6 0 R", color),
        image("DeviceGray", "", mask)};
    std::string pdf = "%PDF-1.4\n";
    std::string table = "xref\n0 7\n0000000000 65535 f\r\n";
    for (std::size_t i = 0; i < objects.size(); ++i) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", pdf.size());
        table += entry;
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    pdf += table + "trailer\n<</Size 7/Root 1 0 R>>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
    writeBytes(file("masked.pdf"), toBytes(pdf));

    const CommandResult result = cli("--mrc --json masked.pdf");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(nlohmann::json::parse(result.out)["images"]["mrc"], 0);
    const std::vector<ListedImage> images = listImages(file("masked_edit.pdf"));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_THAT(images[1].line, HasSubstr(" smask "));
    for (const std::string command : {"pdftoppm -r 50 -png ", "mutool draw -o /dev/null "}) {
        const CommandResult drawn = runCommand(command + quote(file("masked_edit.pdf")) + " 2>&1 >/dev/null");
        EXPECT_EQ(drawn.exitStatus, 0) << command;
        EXPECT_EQ(drawn.out.find("rror"), std::string::npos) << command << drawn.out;
    }
}

}  // namespace
}  // namespace pagewash::testing
