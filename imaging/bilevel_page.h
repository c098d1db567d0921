#pragma once
// --bilevel for one corrected image: the text-page measure, then Sauvola's threshold, the removal of
// specks and the Group 4 coding. Internal to imaging/; one call per image, on its worker's thread.

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/text_page_measure.h"

namespace pagewash {

class StreamedCorrection;

struct BilevelPage {
    ToneMeasure measure;
    // The Group 4 data (text pages), nothing otherwise.
    std::optional<std::vector<std::uint8_t>> group4;
    // The corrected scanlines as the JPEG encoder would take them (width * outputComponents each, one
    // after the other), kept for a page that stays a JPEG: StreamedCorrection hands each scanline out
    // once. They are the image's own whole-image buffer where its scanlines lie there in order (valid
    // while the image lives), else `copy`.
    const std::uint8_t* corrected = nullptr;
    std::vector<std::uint8_t> copy;

    BilevelPage() = default;
    BilevelPage(const BilevelPage&) = delete;  // `corrected` may point into `copy`
    BilevelPage& operator=(const BilevelPage&) = delete;
    BilevelPage(BilevelPage&&) = default;  // a moved vector keeps its buffer
    BilevelPage& operator=(BilevelPage&&) = default;
};

// Reads every corrected scanline of `image` once. A page of 3 components is judged on its luminance.
// Specks of at most maxSpeck pixels are removed (despeckle).
// Throws std::bad_alloc. REQUIRES: image.finish() was called, and no row() since.
BilevelPage codeBilevelPage(StreamedCorrection& image, int maxSpeck);

// The memory codeBilevelPage holds besides the image's own: the copy of the corrected pixels, the gray
// page of a colour image, the 1-bit page with the despeckling's two planes and its Group 4 data.
std::uint64_t bilevelMemoryNeed(int width, int height, int components);

}  // namespace pagewash
