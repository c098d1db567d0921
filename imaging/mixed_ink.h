#pragma once
// The ink of a mixed page: the colour its text is drawn in through the mask. Most pages have one ink (black
// or dark gray print, a single pen), drawn as one colour; a page with ink of other colours beside it (a red
// stamp, blue pen notes, a coloured heading) keeps them in a low-resolution ink image, each cell the mean
// colour of the ink pixels in it, the cells without ink filled from their neighbours so that the image
// stays smooth and small. Thread-safe: no shared state.

#include <array>
#include <cstdint>
#include <optional>

#include "imaging/bilevel_image.h"
#include "imaging/mixed_background.h"

namespace pagewash {

// Two ink colours count as different when they are this far apart in CIELAB's a*b* plane (their hue and
// chroma, whatever their lightness: print and its lighter edges are one ink).
inline constexpr float kInkChromaDistance = 12.0f;
// The ink is of several colours when more than this share of it is that far from its mean colour.
inline constexpr double kOtherInkShare = 0.003;

struct InkLayer {
    std::uint64_t pixels = 0;  // of ink
    // The colour of the ink's core, the darker half of its pixels (its first `components` values).
    std::array<std::uint8_t, 3> color{};
    std::optional<ReducedImage> image;  // with ink of several colours: the page reduced `factor` times
};

// The ink of `mask` (the page's size) in the corrected pixels (`components` 1 or 3, rows packed). A gray
// page has one ink.
InkLayer measureInk(const std::uint8_t* corrected, int components, const BilevelImage& mask, int factor);

}  // namespace pagewash
