#pragma once
// The two window filters behind ApplyBlur. Internal to imaging/. Each works in place on the image it is
// given with working buffers of its own (a few rows), so every output depends only on the input image.
// Both throw std::bad_alloc when those buffers cannot be allocated; the image is then unchanged.

#include <cstdint>

namespace pagewash {

// Average windows of at most this many samples divide in single precision (windowQuotient); larger ones in
// double precision.
inline constexpr std::uint32_t kFloatQuotientWindowLimit = 1024;

// floor(sum / m) for sum <= 255 m and m <= kFloatQuotientWindowLimit, given inverse = 1.0f / m. Adding a
// half keeps exact multiples clear of the rounding of 1 / m; the two roundings of the product stay far
// below the half's margin of 0.5 / m. The tests check every m and every sum.
inline std::uint8_t windowQuotient(std::uint32_t sum, float inverse) {
    const float exact = static_cast<float>(static_cast<std::int32_t>(sum)) + 0.5f;
    return static_cast<std::uint8_t>(static_cast<std::int32_t>(exact * inverse));
}

struct BlurImage {
    std::uint8_t* pixels;  // height rows of width * components bytes, packed
    int width;
    int height;
    int components;
};

// Window of (2 radiusX + 1) x (2 radiusY + 1) pixels clipped to the image.
// REQUIRES: 0 <= radiusX < width, 0 <= radiusY < height.

// Per channel: the sum of the window's samples divided by their number, truncated.
void averageBlur(const BlurImage& image, int radiusX, int radiusY);

// One-component images only: the value at position floor(m / 2) of the window's m samples in descending
// order (the median for odd m, the lower middle value for even m).
void medianBlurGray(const BlurImage& image, int radiusX, int radiusY);

}  // namespace pagewash
