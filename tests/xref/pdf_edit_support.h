#pragma once
// Test support: make PDFs with real tools, find their JFIF image streams, replace them by JPEGs of
// another length together with the planned cross-reference corrections, and ask real readers
// (qpdf, poppler) what they think of the result.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/byte_splice.h"

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

// One JFIF stream as the batch engine sees it: the "<<" of its dictionary, the span of the /Length
// value (direct or "n g R"), the JPEG bytes [jpegBegin, jpegEnd).
struct FoundImage {
    std::int64_t dictionaryBegin = 0;
    std::int64_t dictionaryEnd = 0;  // after ">>"
    std::int64_t lengthBegin = 0;
    std::int64_t lengthEnd = 0;
    std::int64_t jpegBegin = 0;
    std::int64_t jpegEnd = 0;
};
// JFIF streams ("FF D8" six bytes before "JFIF", right after "stream" and its end of line), with an
// indirect /Length resolved. Hits that are not a stream's first bytes are ignored.
std::vector<FoundImage> findImages(const Buffer& pdf);

// The bytes that replace [dictionaryBegin, jpegEnd): the dictionary with the new /Length,
// ">>stream\r\n" and the new JPEG, as the output layout writes them.
std::string replacementBytes(const Buffer& pdf, const FoundImage& image, const std::string& newJpeg);

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

// The edit of every image of `input` (each JPEG transformed by `newJpeg`), the planned corrections
// applied, written to `output`. Returns the warnings of the planner.
struct EditResult {
    Buffer output;
    std::vector<std::string> warnings;
    std::size_t imageCount = 0;
    std::size_t patchCount = 0;
};
EditResult editImages(const Buffer& input, const std::vector<std::string>& newJpegs);

std::string jpegOf(const Buffer& pdf, const FoundImage& image);

}  // namespace pagewash::test
