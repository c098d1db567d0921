#pragma once
// CCITT Group 4 coding of a 1-bit image through libtiff, in memory: the encoder writes a one-strip TIFF
// into a buffer and gives back the strip, which is the data a PDF /CCITTFaxDecode stream with /K -1 holds
// (the bits most significant first, black runs from 1 bits, an end-of-block code at the end). The decoder
// wraps such data in a TIFF again and reads it back. libtiff's messages are dropped, not printed.
// Thread-safe: each call has its own TIFF object.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "imaging/bilevel_image.h"

namespace pagewash {

// The Group 4 data of `image`; nothing when libtiff fails (an empty image, memory).
std::optional<std::vector<std::uint8_t>> encodeGroup4(const BilevelImage& image);

// The image `data` codes at width x height; nothing when it cannot be decoded.
std::optional<BilevelImage> decodeGroup4(std::span<const std::uint8_t> data, int width, int height);

}  // namespace pagewash
