#pragma once
// Helpers of the engine tests: real JPEGs, and a fixture that writes a valid PDF with JFIF image
// streams (classic cross-reference table) so that tests can damage it one way at a time. Scratch
// folders, file bytes and commands come from tests/support/test_tools.h.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/test_tools.h"

namespace pagewash::test {

using testing::Bytes;

// Index of the first occurrence of `needle` at or after `from`, or npos.
std::size_t find(const Bytes& haystack, std::string_view needle, std::size_t from = 0);

// A real colour JFIF JPEG from the corpus (a scanned page, 26 kB).
const Bytes& colourJpeg();
// A real gray JFIF JPEG made by cjpeg from a generated gradient; nullopt when cjpeg is missing.
const std::optional<Bytes>& grayJpeg();

struct JpegFrame {
    int width = 0;
    int height = 0;
    int components = 0;
};
JpegFrame jpegFrame(const Bytes& jpeg);

// One image of the fixture. The dictionary text is written as it stands with these substitutions:
// "%W" width, "%H" height, "%CS" colour space, "%L" the /Length value text.
struct FixtureImage {
    Bytes jpeg;
    std::string dictionary =
        "<< /Type /XObject /Subtype /Image /Width %W /Height %H /ColorSpace %CS /BitsPerComponent 8 "
        "/Filter /DCTDecode /Length %L >>";
    std::string colorSpace;       // empty: from the JPEG's component count
    std::string lengthText;       // empty: the JPEG's length, or the reference when indirect
    bool indirectLength = false;  // the length lives in an object of its own
    std::string streamKeyword = "stream\n";
};

struct FixtureImageLayout {
    std::size_t dictionaryOffset = 0;   // the "<<"
    std::size_t closeOffset = 0;        // the dictionary's last ">>"
    std::size_t lengthTokenOffset = 0;  // the "/Length" of the dictionary
    std::size_t jpegOffset = 0;
    std::size_t jpegEnd = 0;
    int lengthObject = 0;  // object number of the indirect length, 0 when direct
};

struct FixturePdf {
    Bytes bytes;
    std::vector<FixtureImageLayout> images;
};

// A one-page-per-image PDF with a correct cross-reference table.
FixturePdf makeFixturePdf(const std::vector<FixtureImage>& images);

// Appends an incremental update that redefines object `number` 0 as `value`.
void appendIntegerUpdate(Bytes& pdf, int number, std::int64_t value);

}  // namespace pagewash::test
