#pragma once
// Test support: make PDFs with real tools, find their JFIF image streams, replace them by JPEGs of
// another length together with the planned cross-reference corrections, and ask real readers
// (qpdf, poppler) what they think of the result.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/images/image_record.h"
#include "engine/pdf/byte_splice.h"
#include "tests/support/test_tools.h"

namespace pagewash::test {

using testing::Bytes;

using testing::readImages;
std::string jpegOf(const Bytes& pdf, const ImageRecord& image);

// A JPEG made longer by `extra` bytes: a comment segment after the JFIF segment (extra >= 4).
std::string growJpeg(const std::string& jpeg, std::size_t extra);
// A JPEG re-encoded at `quality` through djpeg and cjpeg.
std::string reencodeJpeg(const std::string& jpeg, int quality, const std::filesystem::path& workDir);

struct Edit {
    ReplacedRange range;
    std::string bytes;
};
// The input with every edit applied (edits sorted, non-overlapping).
Bytes applyEdits(const Bytes& input, std::vector<Edit> edits);

// What real readers say about a PDF.
struct ReaderReport {
    int qpdfExit = -1;
    std::vector<std::string> qpdfWarnings;  // "WARNING:" and "ERROR" lines, the file name removed
    std::string renderErrors;               // pdftoppm's standard error
    int renderExit = -1;
    std::string text;     // pdftotext
    int imageCount = -1;  // pdfimages -list
};
ReaderReport readWithTools(const std::filesystem::path& pdf);

// Every image of `input` replaced by newJpegs[i] through the engine's own writer (writeEditedPdf),
// with the planned cross-reference corrections unless `correct` is false. `workDir` holds the
// temporary images and the output.
struct EditResult {
    Bytes output;
    std::vector<std::string> warnings;
    std::size_t imageCount = 0;
    std::size_t patchCount = 0;
};
EditResult editImages(const Bytes& input, const std::vector<std::string>& newJpegs,
                      const std::filesystem::path& workDir, bool correct = true);

}  // namespace pagewash::test
