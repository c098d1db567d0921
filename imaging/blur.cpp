#include "imaging/blur.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/average_blur.h"
#include "imaging/median_blur.h"

namespace pagewash {

namespace {

// The window is clipped to the image, so a radius beyond the image's extent in one direction gives the
// same windows as that extent less one. The settings allow radii up to kBlurStrengthMax, whose windows the
// filters are built for (the average's single-precision quotient, the median's byte counts).
struct Radii {
    int x;
    int y;
};

Radii capRadius(int width, int height, int radius) {
    const int settable = std::min(radius, kBlurStrengthMax);
    return {std::min(settable, width - 1), std::min(settable, height - 1)};
}

}  // namespace

void ApplyBlur(std::uint8_t* pixels, int width, int height, int components, int radius, BlurMode mode) {
    if (pixels == nullptr || width <= 0 || height <= 0 || components <= 0) return;
    if (mode != BlurMode::Average && mode != BlurMode::Median) return;
    if (radius <= 0) return;  // a 1 x 1 window leaves every pixel as it is
    const Radii radii = capRadius(width, height, radius);
    const BlurImage image{pixels, width, height, components};
    // The median has no colour form: a colour image gets the average.
    if (mode == BlurMode::Median && components == 1) {
        medianBlurGray(image, radii.x, radii.y);
    } else {
        averageBlur(image, radii.x, radii.y);
    }
}

}  // namespace pagewash
