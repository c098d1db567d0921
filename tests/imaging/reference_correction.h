#pragma once
// Plain implementations of the tone correction and the blur, written straight from their definitions
// without any speed-up: double arithmetic per pixel, the 101-entry black table, the direct clipped windows
// and the partial bubble sort of the median. The fast code must agree with them bit for bit.

#include <cstdint>
#include <vector>

#include "settings/correction_settings.h"

namespace pagewash::reference {

std::uint8_t luminance(int r, int g, int b);

void correctTones(std::uint8_t* grayBuffer, const CorrectionSettings& settings, std::uint8_t* colorBuffer,
                  std::int64_t pixelCount, int components);

void applyBlur(std::uint8_t* pixels, int width, int height, int components, int radius, BlurMode mode);

}  // namespace pagewash::reference
