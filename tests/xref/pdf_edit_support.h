#pragma once
// Test support: make PDFs with real tools, find their JFIF image streams, replace them by JPEGs of
// another length together with the planned cross-reference corrections, and ask real readers
// (qpdf, poppler) what they think of the result.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/byte_splice.h"
#include "engine/image_record.h"

namespace pagewash::test {

using Buffer = std::vector<std::uint8_t>;

Buffer readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Buffer& bytes);
void writeFile(const std::filesystem::path& path, const std::string& bytes);
Buffer toBuffer(const std::string& text);

// A fresh directory under the system's temporary directory, removed with its content at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
// Runs a shell command line; standard output and error are captured separately.
CommandResult run(const std::string& commandLine);
bool toolExists(const std::string& tool);

// The JFIF image streams of `pdf` as the batch engine reads them (found, dictionaries read, sorted,
// ranges checked). Throws std::runtime_error naming the refusal when the engine refuses the file.
std::vector<ImageRecord> readImages(const Buffer& pdf);
std::string jpegOf(const Buffer& pdf, const ImageRecord& image);

// A JPEG made longer by `extra` bytes: a comment segment after the JFIF segment (extra >= 4).
std::string growJpeg(const std::string& jpeg, std::size_t extra);
// A JPEG re-encoded at `quality` through djpeg and cjpeg.
std::string reencodeJpeg(const std::string& jpeg, int quality, const std::filesystem::path& workDir);

struct Edit {
    ReplacedRange range;
    std::string bytes;
};
// The input with every edit applied (edits sorted, non-overlapping).
Buffer applyEdits(const Buffer& input, std::vector<Edit> edits);

// What real readers say about a PDF.
struct ReaderReport {
    int qpdfExit = -1;
    std::vector<std::string> qpdfWarnings;  // "WARNING:" and "ERROR" lines, the file name removed
    std::string renderErrors;                // pdftoppm's standard error
    int renderExit = -1;
    std::string text;                        // pdftotext
    int imageCount = -1;                     // pdfimages -list
};
ReaderReport readWithTools(const std::filesystem::path& pdf);

// Every image of `input` replaced by newJpegs[i] through the engine's own writer (writeEditedPdf),
// with the planned cross-reference corrections unless `correct` is false. `workDir` holds the
// temporary images and the output.
struct EditResult {
    Buffer output;
    std::vector<std::string> warnings;
    std::size_t imageCount = 0;
    std::size_t patchCount = 0;
};
EditResult editImages(const Buffer& input, const std::vector<std::string>& newJpegs,
                      const std::filesystem::path& workDir, bool correct = true);

}  // namespace pagewash::test
