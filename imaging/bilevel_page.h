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

// The corrected scanlines of `image` one after the other (width * outputComponents bytes each): the
// image's own whole-image buffer where they lie there in order, else `copy`. Reads each scanline once.
// REQUIRES: image.finish() was called, and no row() since.
const std::uint8_t* correctedPixels(StreamedCorrection& image, std::vector<std::uint8_t>& copy);

// Reads every corrected scanline of `image` once. A page of 3 components is judged on its luminance.
// Specks of at most maxSpeck pixels are removed (despeckle).
// Throws std::bad_alloc. REQUIRES: image.finish() was called, and no row() since.
BilevelPage codeBilevelPage(StreamedCorrection& image, int maxSpeck);

// The memory --bilevel holds for an image besides its decoding's: codeBilevelPage's gray page of a
// corrected colour page (`correctedComponents` 3), the colour measure's reduced page of a decoded colour
// page (`decodedComponents` 3, QuarterColorImage), and the 1-bit page with, at most at once, either the
// despeckling's two planes or libtiff's copy, its file and the Group 4 data taken out of it (the data of a
// text page a fraction of its bits: counted as large as them). The corrected scanlines are used where the
// decoding holds them.
std::uint64_t bilevelMemoryNeed(int width, int height, int decodedComponents, int correctedComponents);

}  // namespace pagewash
