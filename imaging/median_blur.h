#pragma once
// The median window filter behind ApplyBlur. Internal to imaging/. Works in place with working buffers of
// its own (a few rows and one histogram per column), so every output depends only on the input image.
// Throws std::bad_alloc when those buffers cannot be allocated; the image is then unchanged. Thread-safe on
// distinct images.

#include "imaging/blur_image.h"

namespace pagewash {

// One-component images only: the value at position floor(m / 2) of the descending order of the m samples of
// the (2 radiusX + 1) x (2 radiusY + 1) window clipped to the image (the median for odd m, the lower middle
// value for even m).
// REQUIRES: components == 1, 0 <= radiusX < width, 0 <= radiusY < height.
void medianBlurGray(const BlurImage& image, int radiusX, int radiusY);

}  // namespace pagewash
