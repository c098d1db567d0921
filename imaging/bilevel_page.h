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
    // once. The image's own buffer, valid while the image lives.
    const std::uint8_t* corrected = nullptr;
};

// Corrects every scanline of `image` where it lies and returns them, one after the other (width *
// outputComponents bytes each): StreamedCorrection::pixels().
// REQUIRES: image.finish() was called, and no row() since.
const std::uint8_t* correctedPixels(StreamedCorrection& image);

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
