// pagewash-cli --preview N: the PNG of one image, the line that describes it, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_tools.h"

namespace pagewash::testing {
namespace {

namespace fs = std::filesystem;

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int colorType = -1;  // 0 gray, 2 RGB
};

std::uint32_t bigEndian(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes.at(at)} << 24 | std::uint32_t{bytes.at(at + 1)} << 16 |
           std::uint32_t{bytes.at(at + 2)} << 8 | bytes.at(at + 3);
}

PngHeader readPngHeader(const std::string& path) {
    const Bytes png = readBytes(path);
    const std::string_view signature("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    if (png.size() < 26 || toString(Bytes(png.begin(), png.begin() + 16)) != signature) return {};
    return {bigEndian(png, 16), bigEndian(png, 20), png.at(25)};
}

// "1,204,311"
std::string grouped(std::int64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, ',');
    return digits;
}

constexpr std::uint32_t kWidth = 400;

class PreviewCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(toolsInstalled({"img2pdf", "convert"}));
        fs::create_directory(m_scratch.file("tmp"));
        fs::create_directory(m_scratch.file("work"));
        makeJpeg(kWidth, false, file("page.jpg"));
        makeImg2Pdf({file("page.jpg"), file("page.jpg")}, file("book.pdf"));
        fs::remove(file("page.jpg"));
        writeBytes(file("tiny.pdf"), toBytes("%PDF-1.4\n%%EOF\n"));
    }
    std::string file(const std::string& name) const { return m_scratch.file("work/" + name); }
    CommandResult cli(const std::string& arguments) const {
        return runCommand("cd " + quote(m_scratch.file("work")) + " && TMPDIR=" +
                          quote(m_scratch.file("tmp")) + " " + quote(PAGEWASH_CLI) + " " + arguments);
    }
    // The work folder holds the inputs and `made`; the temporary directory is empty.
    void expectOnly(const std::vector<std::string>& made) const {
        std::vector<std::string> names = {"book.pdf", "tiny.pdf"};
        names.insert(names.end(), made.begin(), made.end());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(listFolder(m_scratch.file("work")), names);
        EXPECT_TRUE(listFolder(m_scratch.file("tmp")).empty());
    }

    ScratchDir m_scratch;
};

TEST_F(PreviewCliTest, RefusalsExitWithTheirStatusAndOneLineThatSaysWhy) {
    const struct {
        const char* arguments;
        int exitStatus;
        const char* reason;
    } cases[] = {
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
        EXPECT_EQ(result.err.rfind("pagewash-cli: ", 0), 0u) << c.arguments << ": " << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.arguments << ": " << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.arguments;
        EXPECT_TRUE(result.out.empty()) << c.arguments;
    }
    expectOnly({});
}

TEST_F(PreviewCliTest, WritesThePngItNamesWithTheSizesTheBleachWrites) {
    const std::vector<ImageRecord> input = readImages(readBytes(file("book.pdf")));
    ASSERT_EQ(cli("-q book.pdf").exitStatus, 0);
    const std::vector<ImageRecord> edited = readImages(readBytes(file("book_edit.pdf")));
    fs::remove(file("book_edit.pdf"));
    ASSERT_EQ(edited.size(), 2u);
    const std::string original = grouped(input[1].jpegLength), bleached = grouped(edited[1].jpegLength);
    ASSERT_NE(original.find(','), std::string::npos) << "a size of four digits or more";
    const struct {
        const char* arguments;
        const char* png;
        std::uint32_t width;
        int colorType;
        std::string bytesAfter;
    } cases[] = {
        {"--preview 2 book.pdf", "book_preview_2.png", kWidth, 0, bleached},
        {"--preview 2 --side-by-side --preview-out both.png book.pdf", "both.png", 2 * kWidth, 2, bleached},
        {"--preview 2 --color-mode none book.pdf", "book_preview_2.png", kWidth, 2, original},
    };
    for (const auto& c : cases) {
        const CommandResult result = cli(c.arguments);
        ASSERT_EQ(result.exitStatus, 0) << c.arguments << ": " << result.err;
        const PngHeader png = readPngHeader(file(c.png));
        EXPECT_EQ(png.width, c.width) << c.arguments;
        EXPECT_EQ(png.colorType, c.colorType) << c.arguments;
        EXPECT_EQ(result.out, "image 2 of 2: " + std::to_string(kWidth) + " x " + std::to_string(png.height) +
                                  ", " + original + " \u2192 " + c.bytesAfter + " bytes\n")
            << c.arguments;
        expectOnly({c.png});
        fs::remove(file(c.png));
    }
}

}  // namespace
}  // namespace pagewash::testing
