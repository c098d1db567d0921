#pragma once
// Removes specks from a binarized page: every group of black pixels touching one another (the 8
// neighbours) of at most `maxPixels` pixels turns white. Thread-safe: no shared state.

#include "imaging/bilevel_image.h"

namespace pagewash {

// The largest speck --despeckle accepts: larger groups are the dots of an i and full stops at 300 dpi.
inline constexpr int kMaxDespeckle = 100;
// The default: a speck of 1 or 2 pixels is noise at any resolution this serves (150 to 600 dpi), while the
// smallest full stop of 8-point type scanned at 150 dpi already covers about 4 pixels.
inline constexpr int kDefaultDespeckle = 2;

// Working memory besides `image`: two more bits per pixel and room for maxPixels + 1 positions.
// Each pixel is looked at a bounded number of times, whatever maxPixels. 0 leaves `image` as it is.
void despeckle(BilevelImage& image, int maxPixels);

}  // namespace pagewash
