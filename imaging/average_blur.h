#pragma once
// The average window filter behind ApplyBlur. Internal to imaging/. Works in place with working buffers of
// its own (a few rows), so every output depends only on the input image. Throws std::bad_alloc when those
// buffers cannot be allocated; the image is then unchanged. Thread-safe on distinct images.

#include <cstdint>

#include "imaging/blur_image.h"

namespace pagewash {

// Average windows of at most this many samples divide in single precision (windowQuotient); the largest
// blur, 21 x 21, stays far below.
inline constexpr std::uint32_t kFloatQuotientWindowLimit = 1024;

// floor(sum / m) for sum <= 255 m and m <= kFloatQuotientWindowLimit, given inverse = 1.0f / m. Adding a
// half keeps exact multiples clear of the rounding of 1 / m; the two roundings of the product stay far
// below the half's margin of 0.5 / m. The tests check every m and every sum.
inline std::uint8_t windowQuotient(std::uint32_t sum, float inverse) {
    const float exact = static_cast<float>(static_cast<std::int32_t>(sum)) + 0.5f;
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(exact * inverse));
}

// Per channel: the sum of the samples of the (2 radiusX + 1) x (2 radiusY + 1) window clipped to the image,
// divided by their number, truncated.
// REQUIRES: 0 <= radiusX < width, 0 <= radiusY < height,
// (2 radiusX + 1) (2 radiusY + 1) <= kFloatQuotientWindowLimit.
void averageBlur(const BlurImage& image, int radiusX, int radiusY);

}  // namespace pagewash
