#include "imaging/blur_kernels.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

namespace pagewash {

namespace {

// Running sums: the sum over the window's rows of every column sample is kept up to date row by row (one
// row added, one removed), and each output row slides along those column sums (one column added, one
// removed). Both are exact integers, so the cost per pixel does not depend on the radius.
template <typename Sum>
void averageBlurWith(const BlurImage& image, int radiusX, int radiusY) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.components);
    const std::size_t rowLength = width * channels;
    const auto rx = static_cast<std::size_t>(radiusX);
    const auto ry = static_cast<std::size_t>(radiusY);
    std::uint8_t* const pixels = image.pixels;

    std::vector<Sum> columnSums(rowLength, 0);
    // The input of the last ry + 1 rows, which their results have already replaced in the image.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> ring(ringRows * rowLength);
    // 1 / m for the window widths of one row; the window's height is fixed along a row.
    std::vector<double> inverse(2 * rx + 2, 0.0);

    auto addRow = [&](const std::uint8_t* row) {
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] += row[i];
    };
    auto subtractRow = [&](const std::uint8_t* row) {
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] -= row[i];
    };

    for (std::size_t y = 0; y < ry; ++y) addRow(pixels + y * rowLength);

    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* const row = pixels + y * rowLength;
        std::uint8_t* const saved = ring.data() + (y % ringRows) * rowLength;
        if (y > ry) subtractRow(saved);  // the input of row y - ry - 1
        if (y + ry < height) addRow(pixels + (y + ry) * rowLength);
        std::memcpy(saved, row, rowLength);

        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        for (std::size_t w = 1; w <= 2 * rx + 1; ++w) {
            inverse[w] = 1.0 / static_cast<double>(w * windowHeight);
        }
        for (std::size_t c = 0; c < channels; ++c) {
            Sum sum = 0;
            for (std::size_t x = 0; x < rx; ++x) sum += columnSums[x * channels + c];
            for (std::size_t x = 0; x < width; ++x) {
                if (x + rx < width) sum += columnSums[(x + rx) * channels + c];
                if (x > rx) sum -= columnSums[(x - rx - 1) * channels + c];
                const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
                // floor(sum / m) = trunc((sum + 0.5) / m): the half keeps exact multiples clear of the
                // rounding of 1 / m, and no quotient comes within 0.5 / m of the next integer.
                row[x * channels + c] = static_cast<std::uint8_t>(
                    static_cast<std::uint32_t>((static_cast<double>(sum) + 0.5) * inverse[windowWidth]));
            }
        }
    }
}

}  // namespace

void averageBlur(const BlurImage& image, int radiusX, int radiusY) {
    if (radiusX == 0 && radiusY == 0) return;
    const std::uint64_t maxWindow = (2 * static_cast<std::uint64_t>(radiusX) + 1) *
                                    (2 * static_cast<std::uint64_t>(radiusY) + 1);
    if (maxWindow * 255 <= std::numeric_limits<std::uint32_t>::max()) {
        averageBlurWith<std::uint32_t>(image, radiusX, radiusY);
    } else {
        averageBlurWith<std::uint64_t>(image, radiusX, radiusY);
    }
}

}  // namespace pagewash
