#pragma once
// Helpers shared by the test programs: a scratch folder, file bytes, running the real PDF tools
// (img2pdf, Ghostscript, qpdf, poppler, ImageMagick) and reading their answers.
// Built as the library pagewash_test_support; safe to call from several threads.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pagewash::testing {

using Bytes = std::vector<std::uint8_t>;

Bytes toBytes(std::string_view text);
std::string toString(const Bytes& bytes);

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

// Runs `command` with /bin/sh, standard input from /dev/null, and collects both outputs.
CommandResult runCommand(const std::string& command);
std::string quote(const std::string& text);  // one shell word
bool toolAvailable(const std::string& tool);  // asks the shell once per tool

// Whole files; both throw std::runtime_error naming the file when it cannot be read or written.
Bytes readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);
void writeText(const std::filesystem::path& path, std::string_view text);
bool fileExists(const std::string& path);
// Names in a folder (not recursive), sorted.
std::vector<std::string> listFolder(const std::string& path);
// Every path under a folder, recursively, sorted.
std::vector<std::string> listTree(const std::string& path);

// A JFIF JPEG made by ImageMagick from a corpus image, `width` pixels wide, colour or gray.
void makeJpeg(const std::string& corpusImage, int width, bool gray, const std::string& outPath,
              int quality = 85);
// A PDF made by img2pdf, one page per image.
void makeImg2Pdf(const std::vector<std::string>& jpegs, const std::string& outPath);

// The answers of the PDF readers.
int pageCount(const std::string& pdf);         // qpdf --show-npages, -1 on failure
std::string pdfText(const std::string& pdf);   // pdftotext -layout
bool qpdfCheckPasses(const std::string& pdf);  // qpdf --check exit status 0 or 3 (warnings)

struct ListedImage {
    std::string type;  // image, smask, ...
    int width = 0;
    int height = 0;
    std::string color;  // gray, rgb, cmyk ...
    int components = 0;
    std::string encoding;  // jpeg, image, ...
};
std::vector<ListedImage> listImages(const std::string& pdf);  // pdfimages -list

std::string corpusPath(const std::string& relative);

}  // namespace pagewash::testing
