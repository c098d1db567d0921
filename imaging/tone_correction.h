#pragma once
// Tone correction of one decoded page image in memory: yellowing removal, conversion to gray,
// automatic and manual levels. Bit-exact with the double-precision definitions. No state between calls;
// any number of threads may call it at once on different buffers.

#include <array>
#include <cstdint>

#include "settings/correction_settings.h"

namespace pagewash {

using ToneTable = std::array<std::uint8_t, 256>;

// trunc(0.298912 R + 0.586611 G + 0.114478 B), in 0..255.
std::uint8_t luminance(std::uint8_t r, std::uint8_t g, std::uint8_t b);

// grayBuffer: pixelCount bytes (the image itself when components is 1, an output when it is 3).
// colorBuffer: 3 * pixelCount bytes R, G, B, or nullptr when components is 1.
// Modes outside their enumerations act as None; references outside 0..100 are held to that range. When no
// level qualifies as the automatic black level (the share of level 0 alone already has rank 1), it is 0.
void CorrectTones(std::uint8_t* grayBuffer, const CorrectionSettings& settings, std::uint8_t* colorBuffer,
                  std::int64_t pixelCount, int components);

}  // namespace pagewash
