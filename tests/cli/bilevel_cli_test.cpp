// --bilevel end to end, on pages made with Ghostscript and ImageMagick from the text of
// tests/data/bilevel_flood.txt: text pages become Group 4 images that every reader renders as the
// encoder's own pixels, a photo stays a JPEG, text layers and image places stay, and Tesseract reads at
// least as many words of the text from the bilevel pages as from the default output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/group4_codec.h"
#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

using ::testing::HasSubstr;

// The Group 4 streams of a PDF as --bilevel writes them: /Columns, /Rows and the data.
struct Group4Stream {
    int columns = 0, rows = 0;
    Bytes data;
};

int numberAfter(const std::string& text, const std::string& key, std::size_t from) {
    const std::size_t at = text.find(key, from);
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + key.size()));
}

std::vector<Group4Stream> group4Streams(const Bytes& pdf) {
    const std::string text = toString(pdf);
    std::vector<Group4Stream> streams;
    for (std::size_t at = text.find("/CCITTFaxDecode"); at != std::string::npos;
         at = text.find("/CCITTFaxDecode", at + 1)) {
        Group4Stream stream;
        stream.columns = numberAfter(text, "/Columns ", at);
        stream.rows = numberAfter(text, "/Rows ", at);
        const int length = numberAfter(text, "/Length ", at);
        const std::size_t data = text.find(">>stream\r\n", at) + 10;
        stream.data.assign(
            pdf.begin() + static_cast<std::ptrdiff_t>(data),
            pdf.begin() + static_cast<std::ptrdiff_t>(data + static_cast<std::size_t>(length)));
        streams.push_back(std::move(stream));
    }
    return streams;
}

// A binary PGM (P5) or PBM (P4): its size and the bytes after its header (what the readers write).
struct Netpbm {
    int width = 0, height = 0;
    Bytes pixels;
};
Netpbm readNetpbm(const std::string& path) {
    const Bytes bytes = readBytes(path);
    std::istringstream in(toString(bytes));
    const auto field = [&in] {
        std::string word;
        while (in >> word && word[0] == '#') std::getline(in, word);  // Ghostscript's comment line
        return word;
    };
    Netpbm image;
    const std::string magic = field();
    image.width = std::stoi(field());
    image.height = std::stoi(field());
    if (magic == "P5") field();  // the maximum value
    in.get();
    const auto start = static_cast<std::size_t>(in.tellg());
    image.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    return image;
}

// `pdfimages -list` split into columns, one row per image.
std::vector<std::vector<std::string>> imageColumns(const std::string& pdf) {
    std::istringstream lines(runCommand("pdfimages -list " + quote(pdf)).out);
    std::vector<std::vector<std::string>> rows;
    int number = 0;
    for (std::string line; std::getline(lines, line);)
        if (++number > 2) {
            std::istringstream fields(line);
            rows.emplace_back(std::istream_iterator<std::string>(fields),
                              std::istream_iterator<std::string>());
        }
    return rows;
}

// Page, number, width, height, x-ppi and y-ppi of each image: where and how large readers draw it.
void expectSamePlaces(const std::string& before, const std::string& after) {
    const auto a = imageColumns(before), b = imageColumns(after);
    ASSERT_EQ(a.size(), b.size()) << after;
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_GE(a[i].size(), 14u) << before;
        ASSERT_GE(b[i].size(), 14u) << after;
        for (const std::size_t column : {0u, 1u, 3u, 4u, 12u, 13u})
            EXPECT_EQ(a[i][column], b[i][column]) << after << ", image " << i << ", column " << column;
    }
}

// The words of a text, lowercased, letters only, counted.
std::map<std::string, int> wordCounts(const std::string& text) {
    std::map<std::string, int> counts;
    std::string word;
    for (const char c : text + " ") {
        if (std::isalpha(static_cast<unsigned char>(c)) != 0) {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!word.empty()) {
            ++counts[word];
            word.clear();
        }
    }
    return counts;
}

// Words of `read` that the ground truth holds, each at most as often as it does there.
int correctWords(const std::string& read, const std::map<std::string, int>& truth) {
    int correct = 0;
    for (const auto& [word, count] : wordCounts(read)) {
        const auto found = truth.find(word);
        if (found != truth.end()) correct += std::min(count, found->second);
    }
    return correct;
}

std::string groundTruth() { return toString(readBytes(dataFile("bilevel_flood.txt"))); }

// A PostScript page of the ground truth's lines in 11-point Times, 595 x 230 points.
std::string textPage() {
    std::string ps =
        "%!PS\n<< /PageSize [595 230] >> setpagedevice\n/Times-Roman findfont 11 scalefont setfont\n";
    std::istringstream lines(groundTruth());
    int y = 200;
    for (std::string line; std::getline(lines, line); y -= 15)
        ps += "72 " + std::to_string(y) + " moveto (" + line + ") show\n";
    return ps + "showpage\n";
}

// Made once: flood150.jpg (150 dpi, yellowed, a shadow on the left), flood300.jpg (300 dpi, gray-lit,
// a shadow), photo.jpg (a continuous-tone plasma), and book.pdf of the three, each at its resolution.
class BilevelTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!toolsInstalled({"gs", "convert", "img2pdf"})) return;
        s_dir = std::make_unique<ScratchDir>();
        const std::string ps = s_dir->file("page.ps");
        writeBytes(ps, toBytes(textPage()));
        const auto run = [](const std::string& command) {
            const CommandResult result = runCommand(command);
            if (result.exitStatus != 0) throw std::runtime_error(command + ": " + result.err);
        };
        const std::string d = quote(s_dir->path()) + "/";
        for (const char* dpi : {"150", "300"})
            run("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pnggray -dTextAlphaBits=4 -r" + std::string(dpi) +
                " -o " + d + "text" + dpi + ".png " + quote(ps));
        // A shadow darkening the left quarter, multiplied into the page.
        run("cd " + d +
            " && convert text150.png -blur 0x0.35 -colorspace sRGB -type TrueColor +level-colors "
            "'rgb(45,35,25)','rgb(238,224,180)' \\( -size 100x100 gradient:gray40-white -rotate 90 -flop "
            "-size 300x100 xc:white +append -resize 1240x479! \\) -compose multiply -composite -attenuate "
            "0.25 "
            "+noise Gaussian -type TrueColor -density 150 -units PixelsPerInch -quality 75 flood150.jpg");
        run("cd " + d +
            " && convert text300.png -blur 0x0.7 +level 10%,88% \\( -size 100x100 "
            "gradient:gray55-white -rotate 90 -flop -size 300x100 xc:white +append -resize 2479x958! \\) "
            "-compose multiply -composite -attenuate 0.25 +noise Gaussian -density 300 -units "
            "PixelsPerInch -quality 75 flood300.jpg");
        run("cd " + d +
            " && convert -seed 7 -size 600x400 plasma:gray40-white -colorspace Gray -density 150 "
            "-units PixelsPerInch -quality 75 photo.jpg");
        makeImg2Pdf({s_dir->file("flood150.jpg"), s_dir->file("flood300.jpg"), s_dir->file("photo.jpg")},
                    s_dir->file("book.pdf"));
        // Pixel-sized checks, black and white: a text page by the measure whose Group 4 data (218 kB)
        // outweighs its JPEG at quality 100 (194 kB), which outweighs the default output's JPEG (168 kB);
        // at quality 40 (80 kB) it outweighs both.
        for (const char* quality : {"100", "40"})
            run("cd " + d +
                " && convert -size 1200x480 pattern:gray50 -colorspace Gray -density 150 -units "
                "PixelsPerInch -quality " +
                std::string(quality) + " checks" + quality + ".jpg");
        makeImg2Pdf({s_dir->file("flood150.jpg"), s_dir->file("checks100.jpg"), s_dir->file("checks40.jpg")},
                    s_dir->file("checks.pdf"));
    }
    void SetUp() override {
        ASSERT_TRUE(toolsInstalled(
            {"gs", "convert", "img2pdf", "qpdf", "pdftoppm", "pdfimages", "pdftotext", "mutool"}));
        std::filesystem::copy_file(s_dir->file("book.pdf"), m_work.file("book.pdf"));
    }
    CommandResult cli(const std::string& arguments) const {
        return runCommand("cd " + quote(m_work.path()) + " && TMPDIR=" + quote(m_tmp.path()) + " " +
                          quote(PAGEWASH_CLI) + " " + arguments);
    }
    std::string file(const std::string& name) const { return m_work.file(name); }

    static inline std::unique_ptr<ScratchDir> s_dir;
    ScratchDir m_work, m_tmp;
};

TEST_F(BilevelTest, TextPagesBecomeGroup4ImagesAndThePhotoStaysJpeg) {
    const CommandResult result = cli("--bilevel --json book.pdf");
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    const nlohmann::json report = nlohmann::json::parse(result.out);
    EXPECT_EQ(report["images"]["bilevel"], 2);
    EXPECT_EQ(report["images"]["bleached"], 3);
    EXPECT_THAT(result.err, HasSubstr("3 of 3 images bleached (2 black and white)"));
    EXPECT_TRUE(qpdfCheckPasses(file("book_edit.pdf")));
    const std::vector<ListedImage> after = listImages(file("book_edit.pdf"));
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0].encoding, "ccitt");
    EXPECT_EQ(after[1].encoding, "ccitt");
    EXPECT_EQ(after[2].encoding, "jpeg");
    expectSamePlaces(file("book.pdf"), file("book_edit.pdf"));
    // --bilevel without it: the default output, with no image in black and white.
    const CommandResult plain = cli("--json book.pdf");
    EXPECT_EQ(nlohmann::json::parse(plain.out)["images"]["bilevel"], 0);
}

// With --keep-smaller, Group 4 data larger than the original image goes the JPEG's way: the default
// output's JPEG where that is smaller than the original, else the original's own bytes.
TEST_F(BilevelTest, KeepSmallerTakesTheJpegWhenTheGroup4DataOutweighsTheOriginal) {
    std::filesystem::copy_file(s_dir->file("checks.pdf"), file("checks.pdf"));
    const CommandResult kept = cli("--json --bilevel --keep-smaller checks.pdf");
    ASSERT_EQ(kept.exitStatus, 0) << kept.err;
    const nlohmann::json report = nlohmann::json::parse(kept.out)["images"];
    EXPECT_EQ(report["bilevel"], 1);
    EXPECT_EQ(report["bleached"], 2);
    EXPECT_EQ(report["left"]["larger"], 1);
    const std::vector<ListedImage> smaller = listImages(file("checks_edit.pdf"));
    ASSERT_EQ(smaller.size(), 3u);
    EXPECT_EQ(smaller[0].encoding, "ccitt");
    EXPECT_EQ(smaller[1].encoding, "jpeg");
    EXPECT_EQ(smaller[2].encoding, "jpeg");
    const auto bytesOf = [&](const std::string& pdf, int image) {
        const std::string prefix = file("image" + std::to_string(image));
        runCommand("pdfimages -j -f " + std::to_string(image) + " -l " + std::to_string(image) + " " +
                   quote(pdf) + " " + quote(prefix));
        return readBytes(prefix + "-000.jpg");
    };
    EXPECT_NE(bytesOf(file("checks_edit.pdf"), 2), readBytes(s_dir->file("checks100.jpg")));
    EXPECT_LT(bytesOf(file("checks_edit.pdf"), 2).size(), readBytes(s_dir->file("checks100.jpg")).size());
    EXPECT_EQ(bytesOf(file("checks_edit.pdf"), 3), readBytes(s_dir->file("checks40.jpg")));
    // Without it, all three are stored in black and white.
    const CommandResult all = cli("--json --bilevel checks.pdf");
    EXPECT_EQ(nlohmann::json::parse(all.out)["images"]["bilevel"], 3);
}

TEST_F(BilevelTest, EveryReaderRendersTheEncodersPixels) {
    ASSERT_EQ(cli("-q --bilevel book.pdf").exitStatus, 0);
    const std::vector<Group4Stream> streams = group4Streams(readBytes(file("book_edit.pdf")));
    ASSERT_EQ(streams.size(), 2u);
    const int dpi[] = {150, 300};
    for (int page = 1; page <= 2; ++page) {
        const Group4Stream& stream = streams[static_cast<std::size_t>(page - 1)];
        const auto bits = decodeGroup4(stream.data, stream.columns, stream.rows);
        ASSERT_TRUE(bits.has_value());
        const std::string p = std::to_string(page), r = std::to_string(dpi[page - 1]);
        const std::string pdf = quote(file("book_edit.pdf"));
        // Ghostscript and MuPDF render the page at the image's resolution, one pixel for one; poppler's
        // renderer smooths 1-bit images, so poppler's own decoding is compared (pdfimages).
        const std::vector<std::pair<std::string, std::string>> readers = {
            {"gs.pgm", "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=pgmraw -r" + r + " -dFirstPage=" + p +
                           " -dLastPage=" + p + " -o " + quote(file("gs.pgm")) + " " + pdf},
            {"mutool.pgm",
             "mutool draw -q -r " + r + " -c gray -o " + quote(file("mutool.pgm")) + " " + pdf + " " + p},
            {"poppler-000.pbm", "pdfimages -f " + p + " -l " + p + " " + pdf + " " + quote(file("poppler"))},
        };
        for (const auto& [output, command] : readers) {
            const CommandResult read = runCommand(command);
            ASSERT_EQ(read.exitStatus, 0) << command << ": " << read.err;
            const Netpbm image = readNetpbm(file(output));
            ASSERT_EQ(image.width, stream.columns) << output << " page " << page;
            ASSERT_EQ(image.height, stream.rows) << output << " page " << page;
            const bool isBitmap = output.ends_with(".pbm");
            long differing = 0;
            std::string first;
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x) {
                    const std::size_t row =
                        static_cast<std::size_t>(y) *
                        (isBitmap ? bits->stride() : static_cast<std::size_t>(image.width));
                    const bool dark =
                        isBitmap ? ((image.pixels[row + static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) &
                                    1) != 0
                                 : image.pixels[row + static_cast<std::size_t>(x)] < 128;
                    if (dark != bits->black(x, y) && differing++ == 0)
                        first = "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
                }
            EXPECT_EQ(differing, 0) << output << " page " << page << ", first at " << first;
        }
        const CommandResult poppler = runCommand("pdftoppm -gray -r " + r + " -f " + p + " -l " + p + " " +
                                                 pdf + " " + quote(file("pdftoppm")));
        EXPECT_EQ(poppler.exitStatus, 0) << poppler.err;
    }
}

TEST_F(BilevelTest, PreviewShowsTheBilevelPageAsThePdfHoldsIt) {
    ASSERT_EQ(cli("-q --bilevel book.pdf").exitStatus, 0);
    const std::vector<Group4Stream> streams = group4Streams(readBytes(file("book_edit.pdf")));
    ASSERT_EQ(streams.size(), 2u);
    const auto bits = decodeGroup4(streams[1].data, streams[1].columns, streams[1].rows);
    ASSERT_TRUE(bits.has_value());
    const CommandResult preview = cli("--bilevel --preview 2 --preview-out p.png book.pdf");
    ASSERT_EQ(preview.exitStatus, 0) << preview.err;
    EXPECT_THAT(preview.out, HasSubstr("image 2 of 3: 2479 x 958, "));
    // "..., 931,112 → 13,725 bytes": the size after is that of the Group 4 data.
    std::string after = preview.out.substr(preview.out.find("→") + 4);
    after.erase(std::remove(after.begin(), after.end(), ','), after.end());
    EXPECT_EQ(std::stoul(after), streams[1].data.size()) << preview.out;
    ASSERT_EQ(runCommand("convert " + quote(file("p.png")) + " " + quote(file("p.pgm"))).exitStatus, 0);
    const Netpbm image = readNetpbm(file("p.pgm"));
    ASSERT_EQ(image.width, bits->width);
    ASSERT_EQ(image.height, bits->height);
    long differing = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t v =
                image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                             static_cast<std::size_t>(x)];
            differing += v != (bits->black(x, y) ? 0 : 255) ? 1 : 0;
        }
    EXPECT_EQ(differing, 0);
}

TEST_F(BilevelTest, TextLayersAndOtherFilesKeepTheirTextAndImagePlaces) {
    // Real files with text layers and scans: the text and every image's page, size and resolution stay.
    int bilevel = 0;
    for (const std::string& name : dataPdfs()) {
        std::filesystem::copy_file(dataFile(name), file(name));
        const CommandResult result = cli("--json --bilevel --any-jpeg " + quote(name));
        const std::string output = file(name.substr(0, name.size() - 4) + "_edit.pdf");
        if (!fileExists(output)) continue;  // refused or without JPEG: covered elsewhere
        bilevel += nlohmann::json::parse(result.out)["images"]["bilevel"].get<int>();
        EXPECT_TRUE(qpdfCheckPasses(output)) << name;
        EXPECT_EQ(pdfText(output), pdfText(file(name))) << name;
        expectSamePlaces(file(name), output);
    }
    EXPECT_GE(bilevel, 3);  // the scanned text pages among them
}

// Tesseract on both text pages: the black-and-white page reads at least as many words of the text as
// the default output's JPEG. Tesseract belongs to the test set-up; without it the test says so and is
// skipped, except in CI.
TEST_F(BilevelTest, TesseractReadsAtLeastAsManyWordsFromTheBilevelPages) {
    if (!toolsInstalled({"tesseract"})) {
        if (std::getenv("CI") != nullptr)
            FAIL() << "tesseract is missing (scripts/setup.sh --with-tests installs it)";
        GTEST_SKIP() << "tesseract is missing: scripts/setup.sh --with-tests installs it";
    }
    ASSERT_EQ(cli("-q book.pdf").exitStatus, 0);
    std::filesystem::rename(file("book_edit.pdf"), file("default.pdf"));
    ASSERT_EQ(cli("-q --bilevel book.pdf").exitStatus, 0);
    const std::map<std::string, int> truth = wordCounts(groundTruth());
    for (int page = 1; page <= 2; ++page) {
        const std::string p = std::to_string(page), r = page == 1 ? "150" : "300";
        int words[2] = {0, 0};
        const char* pdfs[2] = {"default.pdf", "book_edit.pdf"};
        for (int k = 0; k < 2; ++k) {
            const std::string png = file("ocr" + std::to_string(k));
            ASSERT_EQ(runCommand("pdftoppm -gray -png -r " + r + " -f " + p + " -l " + p + " -singlefile " +
                                 quote(file(pdfs[k])) + " " + quote(png))
                          .exitStatus,
                      0);
            const CommandResult read = runCommand("OMP_THREAD_LIMIT=1 tesseract " + quote(png + ".png") +
                                                  " - --dpi " + r + " 2>/dev/null");
            ASSERT_EQ(read.exitStatus, 0) << read.err;
            words[k] = correctWords(read.out, truth);
        }
        std::printf(
            "page %d (%s dpi): Tesseract reads %d correct words from the default output, %d from --bilevel\n",
            page, r.c_str(), words[0], words[1]);
        EXPECT_GE(words[1], words[0]) << "page " << page;
        EXPECT_GE(words[1], 120) << "page " << page;  // of the 130 words of the text
    }
}

}  // namespace
}  // namespace pagewash::testing
