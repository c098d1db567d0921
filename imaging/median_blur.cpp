#include "imaging/blur_kernels.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

namespace pagewash {

namespace {

// Huang's sliding histogram along one row: moving one pixel right adds the column that enters the window
// and removes the one that leaves it. The wanted value is tracked incrementally: `median` with `below`, the
// number of samples smaller than it, moves only as far as the histogram's change requires.
// Position floor(m / 2) of the descending order is the k-th smallest sample with k = m - floor(m / 2).
void medianRow(const BlurImage& image, std::size_t y, std::size_t rx, std::size_t ry, std::uint8_t* out) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t y0 = y > ry ? y - ry : 0;
    const std::size_t y1 = std::min(y + ry, height - 1);
    const std::size_t windowHeight = y1 - y0 + 1;
    const std::uint8_t* const top = image.pixels + y0 * width;

    std::array<std::uint32_t, 256> hist{};
    unsigned median = 0;
    std::uint64_t below = 0;
    auto addColumn = [&](std::size_t x) {
        const std::uint8_t* p = top + x;
        for (std::size_t i = 0; i < windowHeight; ++i, p += width) {
            ++hist[*p];
            below += *p < median;
        }
    };
    auto removeColumn = [&](std::size_t x) {
        const std::uint8_t* p = top + x;
        for (std::size_t i = 0; i < windowHeight; ++i, p += width) {
            --hist[*p];
            below -= *p < median;
        }
    };

    for (std::size_t x = 0; x < rx; ++x) addColumn(x);
    for (std::size_t x = 0; x < width; ++x) {
        if (x + rx < width) addColumn(x + rx);
        if (x > rx) removeColumn(x - rx - 1);
        const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
        const std::uint64_t m = std::uint64_t{windowWidth} * windowHeight;
        const std::uint64_t k = m - m / 2;
        while (below >= k) {
            --median;
            below -= hist[median];
        }
        while (below + hist[median] < k) {
            below += hist[median];
            ++median;
        }
        out[x] = static_cast<std::uint8_t>(median);
    }
}

}  // namespace

void medianBlurGray(const BlurImage& image, int radiusX, int radiusY) {
    if (radiusX == 0 && radiusY == 0) return;
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto rx = static_cast<std::size_t>(radiusX);
    const auto ry = static_cast<std::size_t>(radiusY);

    // A result row may replace its input only when no later row reads that input any more: row y is read
    // up to row y + ry. Results wait in a ring of ry + 1 rows.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> pending(ringRows * width);
    auto flush = [&](std::size_t row) {
        std::memcpy(image.pixels + row * width, pending.data() + (row % ringRows) * width, width);
    };
    for (std::size_t y = 0; y < height; ++y) {
        if (y > ry) flush(y - ry - 1);
        medianRow(image, y, rx, ry, pending.data() + (y % ringRows) * width);
    }
    for (std::size_t row = height > ry + 1 ? height - ry - 1 : 0; row < height; ++row) flush(row);
}

}  // namespace pagewash
