#pragma once
// Average and median blur over a (2r + 1) x (2r + 1) window clipped to the image.
// Every output depends only on the input image. Thread-safe on distinct buffers.
// Throws std::bad_alloc when its working buffers cannot be allocated (the image is then unchanged).

#include <cstdint>

#include "settings/correction_settings.h"

namespace pagewash {

// pixels: height rows of width pixels of `components` (1 or 3) interleaved bytes, stride width*components.
// Median on a 3-component image gives the Average result. mode None leaves the image alone. A radius above
// kBlurStrengthMax, the largest the settings allow, acts as kBlurStrengthMax.
void ApplyBlur(std::uint8_t* pixels, int width, int height, int components, int radius, BlurMode mode);

}  // namespace pagewash
