#pragma once
// What every test program shares: scratch folders, file bytes, the bundled data files, the real PDF
// tools (img2pdf, Ghostscript, qpdf, poppler, ImageMagick, cjpeg) and a fixture that writes a valid PDF
// with JFIF image streams so that a test can damage it one way. Safe to call from several threads.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/images/image_record.h"

namespace pagewash::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes toBytes(std::string_view text);
std::string toString(const Bytes& bytes);
std::size_t find(const Bytes& haystack, std::string_view needle, std::size_t from = 0);

// A fresh folder under the system's temporary directory, removed with everything in it at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    std::filesystem::path operator/(const std::string& name) const {
        return std::filesystem::path(m_path) / name;
    }

  private:
    std::string m_path;
};

struct CommandResult {
    int exitStatus = -1;  // the process's exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};
// Runs `command` with /bin/sh, standard input from /dev/null, and collects both outputs. The Windows
// build has no POSIX shell (Wine runs no Linux program): there the command fails with exit status -1.
CommandResult runCommand(const std::string& command);
std::string quote(const std::string& text);  // one shell word
// Success when every tool is on the PATH; otherwise a failure that names the missing ones.
::testing::AssertionResult toolsInstalled(std::initializer_list<const char*> tools);

// In a test or a fixture's SetUp: the Linux tools the test needs, e.g. ({"qpdf", "pdfimages"}). The
// Windows build skips the test, naming them: scripts/test-windows.sh checks the Windows program's outputs
// with these tools on the Linux side instead.
#ifdef _WIN32
#define PAGEWASH_REQUIRE_TOOLS(...) \
    GTEST_SKIP() << "needs Linux tools, which Wine does not run: " #__VA_ARGS__
#else
#define PAGEWASH_REQUIRE_TOOLS(...) ASSERT_TRUE(::pagewash::testing::toolsInstalled(__VA_ARGS__))
#endif

// A file of tests/data; throws std::runtime_error naming it when it is missing.
std::string dataFile(const std::string& name);
// The PDFs of tests/data, sorted.
std::vector<std::string> dataPdfs();

// Whole files; both throw std::runtime_error naming the file when it cannot be read or written.
Bytes readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);
bool fileExists(const std::string& path);
std::vector<std::string> listFolder(const std::string& path);  // names, sorted, not recursive

// A JFIF JPEG made by ImageMagick from the data page, `width` pixels wide, colour or gray.
void makeJpeg(int width, bool gray, const std::string& outPath);
// A PDF made by img2pdf, one page per image. Both throw std::runtime_error with the tool's message.
void makeImg2Pdf(const std::vector<std::string>& jpegs, const std::string& outPath);

// The answers of the PDF readers.
int pageCount(const std::string& pdf);         // qpdf --show-npages, -1 on failure
std::string pdfText(const std::string& pdf);   // pdftotext -layout
bool qpdfCheckPasses(const std::string& pdf);  // qpdf --check exit status 0 or 3 (warnings)
struct ListedImage {
    std::string line;      // page num type width height color comp bpc enc interp object id
    std::string color;     // gray, rgb, cmyk ...
    std::string encoding;  // jpeg, image, ...
};
std::vector<ListedImage> listImages(const std::string& pdf);  // pdfimages -list

// The JFIF image streams of `pdf` as the batch engine reads them (found, dictionaries read, sorted,
// ranges checked). Throws std::runtime_error naming the refusal when the engine refuses the file.
std::vector<ImageRecord> readImages(const Bytes& pdf);

// ---- the fixture: a valid PDF with one page per JPEG image and a classic cross-reference table ----

// The gray JPEG of the fixture: a 40 x 24 gradient made by cjpeg once.
const Bytes& grayJpeg();
const Bytes& colourJpeg();  // the data page, 26 kB

// One image of the fixture. The dictionary is written as it stands with "%W" width, "%H" height,
// "%CS" colour space and "%L" the /Length value text replaced.
struct FixtureImage {
    Bytes jpeg = colourJpeg();
    std::string dictionary =
        "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS /BitsPerComponent 8 "
        "/Filter /DCTDecode /Length %L >>";
    std::string lengthText;       // empty: the JPEG's length, or the reference when indirect
    bool indirectLength = false;  // the length lives in an object of its own
    std::string streamKeyword = "stream\n";
};
struct FixtureLayout {
    std::size_t dictionaryOffset = 0;   // the "<<"
    std::size_t lengthTokenOffset = 0;  // the "/Length" of the dictionary
    std::size_t jpegOffset = 0;
    std::size_t jpegEnd = 0;
    int lengthObject = 0;  // object number of the indirect length, 0 when direct
};
struct FixturePdf {
    Bytes bytes;
    std::vector<FixtureLayout> images;
};
FixturePdf makeFixturePdf(const std::vector<FixtureImage>& images);
// Damage: an incremental update that redefines object `number` 0 as the integer `value`.
void appendIntegerUpdate(Bytes& pdf, int number, std::int64_t value);

}  // namespace pagewash::testing
