// The average window filter, written once as plain loops; Highway compiles this file once per vector target
// (see foreach_target.h), the compiler vectorises the loops for each, and HWY_DYNAMIC_DISPATCH runs the
// widest form this processor has.

#include "imaging/average_blur.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/average_blur.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::HWY_NAMESPACE {

// 1 / m in single precision for every sample of a row whose windows are windowHeight rows high; m is the
// number of samples of the clipped window.
void fillInverses(std::vector<float>& inverse, std::size_t width, std::size_t channels, std::size_t rx,
                  std::size_t windowHeight) {
    for (std::size_t x = 0; x < width; ++x) {
        const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
        const float value = 1.0f / static_cast<float>(windowWidth * windowHeight);
        for (std::size_t c = 0; c < channels; ++c) inverse[x * channels + c] = value;
    }
}

// Window sums along one row, per channel, from the column sums: one column enters and one leaves per step.
// Where both happen, the differences are formed first (independent, so vectorised) and then accumulated in
// several independent running sums at once: the channels of a colour row, or four stretches of a gray row.
HWY_INLINE void horizontalSums(const std::uint32_t* columnSums, std::uint32_t* windowSums,
                               std::uint32_t* differences, std::size_t width, std::size_t channels,
                               std::size_t rx) {
    const std::size_t entersOnlyEnd = std::min(rx + 1, width);
    const std::size_t bothEnd = std::max(entersOnlyEnd, width > rx ? width - rx : 0);
    auto windowSum = [&](std::size_t x, std::size_t c) {  // directly, for the start of a stretch
        std::uint32_t sum = 0;
        const std::size_t x0 = x > rx ? x - rx : 0, x1 = std::min(x + rx, width - 1);
        for (std::size_t i = x0; i <= x1; ++i) sum += columnSums[i * channels + c];
        return sum;
    };
    // Borders: plain running sums per channel.
    for (std::size_t c = 0; c < channels; ++c) {
        std::uint32_t sum = 0;
        for (std::size_t x = 0; x < rx; ++x) sum += columnSums[x * channels + c];
        for (std::size_t x = 0; x < entersOnlyEnd; ++x) {
            if (x + rx < width) sum += columnSums[(x + rx) * channels + c];
            windowSums[x * channels + c] = sum;
        }
        if (bothEnd < width) {
            sum = windowSum(bothEnd, c);
            windowSums[bothEnd * channels + c] = sum;
            for (std::size_t x = bothEnd + 1; x < width; ++x) {
                sum -= columnSums[(x - rx - 1) * channels + c];
                windowSums[x * channels + c] = sum;
            }
        }
    }
    if (bothEnd <= entersOnlyEnd) return;
    const std::size_t first = entersOnlyEnd * channels, last = bothEnd * channels;
    const std::size_t ahead = rx * channels, behind = (rx + 1) * channels;  // columns x + rx and x - rx - 1
    for (std::size_t i = first; i < last; ++i)
        differences[i] = columnSums[i + ahead] - columnSums[i - behind];
    if (channels == 3) {
        std::uint32_t s0 = windowSums[first - 3], s1 = windowSums[first - 2], s2 = windowSums[first - 1];
        for (std::size_t i = first; i < last; i += 3) {
            s0 += differences[i];
            s1 += differences[i + 1];
            s2 += differences[i + 2];
            windowSums[i] = s0;
            windowSums[i + 1] = s1;
            windowSums[i + 2] = s2;
        }
    } else if (channels == 1 && last - first >= 64) {
        const std::size_t quarter = (last - first) / 4;
        const std::size_t b1 = first + quarter, b2 = b1 + quarter, b3 = b2 + quarter;
        std::uint32_t s0 = windowSums[first - 1], s1 = windowSum(b1 - 1, 0), s2 = windowSum(b2 - 1, 0),
                      s3 = windowSum(b3 - 1, 0);
        for (std::size_t j = 0; j < quarter; ++j) {
            s0 += differences[first + j];
            s1 += differences[b1 + j];
            s2 += differences[b2 + j];
            s3 += differences[b3 + j];
            windowSums[first + j] = s0;
            windowSums[b1 + j] = s1;
            windowSums[b2 + j] = s2;
            windowSums[b3 + j] = s3;
        }
        for (std::size_t i = b3 + quarter; i < last; ++i) {
            s3 += differences[i];
            windowSums[i] = s3;
        }
    } else {
        for (std::size_t i = first; i < last; ++i) windowSums[i] = windowSums[i - channels] + differences[i];
    }
}

// Running sums: the sum over the window's rows of every column sample is kept up to date row by row (one
// row added, one removed), and each output row slides along those column sums (one column added, one
// removed). Both are exact integers, so the cost per pixel does not depend on the radius. Three passes over
// each row that the compiler vectorises for each target apart from the running sum itself: column sums,
// window sums, and the division as a multiplication by 1 / m in single precision.
void averageBlurOn(const BlurImage& image, std::size_t rx, std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.components);
    const std::size_t rowLength = width * channels;
    std::uint8_t* const pixels = image.pixels;

    std::vector<std::uint32_t> columnSums(rowLength, 0);
    std::vector<std::uint32_t> windowSums(rowLength);
    std::vector<std::uint32_t> differences(rowLength);
    std::vector<float> inverse(rowLength);  // 1 / m per sample of a row with windows of inverseHeight rows
    std::size_t inverseHeight = 0;
    const std::size_t ringRows =
        ry + 1;  // the input of the last ry + 1 rows, already replaced by their results
    std::vector<std::uint8_t> ring(ringRows * rowLength);

    for (std::size_t y = 0; y < ry; ++y) {
        const std::uint8_t* in = pixels + y * rowLength;
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] += in[i];
    }
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* const row = pixels + y * rowLength;
        std::uint8_t* const saved = ring.data() + (y % ringRows) * rowLength;
        // Row y + ry enters the column sums and row y - ry - 1 (kept in the ring) leaves; row y's input takes
        // its place in the ring. One pass where all three happen.
        std::uint32_t* const sums = columnSums.data();
        if (y > ry && y + ry < height) {
            const std::uint8_t* in = pixels + (y + ry) * rowLength;
            for (std::size_t i = 0; i < rowLength; ++i) {
                sums[i] += std::uint32_t{in[i]} - saved[i];
                saved[i] = row[i];
            }
        } else {
            if (y > ry) {
                for (std::size_t i = 0; i < rowLength; ++i) sums[i] -= saved[i];
            }
            if (y + ry < height) {
                const std::uint8_t* in = pixels + (y + ry) * rowLength;
                for (std::size_t i = 0; i < rowLength; ++i) sums[i] += in[i];
            }
            std::memcpy(saved, row, rowLength);
        }

        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        if (windowHeight != inverseHeight) {
            fillInverses(inverse, width, channels, rx, windowHeight);
            inverseHeight = windowHeight;
        }
        horizontalSums(columnSums.data(), windowSums.data(), differences.data(), width, channels, rx);
        for (std::size_t i = 0; i < rowLength; ++i) row[i] = windowQuotient(windowSums[i], inverse[i]);
    }
}

}  // namespace pagewash::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

HWY_EXPORT(averageBlurOn);

void averageBlur(const BlurImage& image, int radiusX, int radiusY) {
    if (radiusX == 0 && radiusY == 0) return;
    HWY_DYNAMIC_DISPATCH(averageBlurOn)
    (image, static_cast<std::size_t>(radiusX), static_cast<std::size_t>(radiusY));
}

}  // namespace pagewash
#endif  // HWY_ONCE
