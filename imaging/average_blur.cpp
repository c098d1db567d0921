#include "imaging/average_blur.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/average_rows.h"
#include "imaging/vector_level.h"

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
[[gnu::always_inline]] inline void horizontalSums(const std::uint32_t* columnSums, std::uint32_t* windowSums,
                                                  std::uint32_t* differences, std::size_t width,
                                                  std::size_t channels, std::size_t rx) {
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

// The same running sums for windows of at most kFloatQuotientWindowLimit samples, in three passes over each
// row that the compiler can vectorise apart from the running sum itself: column sums, window sums, and the
// division as a multiplication by 1 / m in single precision.
[[gnu::always_inline]] inline void averageBlurSmallWindow(const BlurImage& image, std::size_t rx,
                                                          std::size_t ry) {
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

void averageSmallWindowBaseline(const BlurImage& image, std::size_t rx, std::size_t ry) {
    averageBlurSmallWindow(image, rx, ry);
}

#if defined(__x86_64__)
PAGEWASH_TARGET_AVX2 void averageSmallWindowAvx2Columns(const BlurImage& image, std::size_t rx,
                                                        std::size_t ry) {
    averageBlurSmallWindow(image, rx, ry);
}

// Running totals along each row, a row at a time by `rowFunction` (AVX-512 or AVX2).
// REQUIRES: components 1 or 3, 2 ry + 1 <= 257 (16-bit column sums), windows of at most
// kFloatQuotientWindowLimit samples.
void averageByRunningTotals(const BlurImage& image, std::size_t rx, std::size_t ry,
                            AverageRowFunction* rowFunction) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.components);
    const std::size_t rowLength = width * channels;
    std::uint8_t* const pixels = image.pixels;

    std::vector<std::uint16_t> columnSums(rowLength, 0);
    // Running totals of one row, with rx + 1 columns of zeros before the row and rx copies of its last column
    // after it: the window of sample i then sums to last[i] - beforeFirst[i] for every column, clipped or
    // not.
    const std::size_t behind = (rx + 1) * channels, ahead = rx * channels;
    std::vector<std::uint32_t> totalsBuffer(behind + rowLength + ahead, 0);
    std::vector<float> inverse(rowLength);  // for windows of inverseHeight rows
    std::size_t inverseHeight = 0;
    const std::size_t interiorBegin = std::min(rx, width) * channels;
    AverageRows rows{channels,
                     rowLength,
                     ahead,
                     interiorBegin,
                     std::max(interiorBegin, (width - std::min(rx, width)) * channels),
                     columnSums.data(),
                     totalsBuffer.data() + behind,
                     totalsBuffer.data() + behind + ahead,
                     totalsBuffer.data(),
                     inverse.data(),
                     0.0f};
    // The input of the last ry + 1 rows, which their results have already replaced in the image.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> ring(ringRows * rowLength);

    for (std::size_t y = 0; y < ry; ++y) {
        const std::uint8_t* in = pixels + y * rowLength;
        for (std::size_t i = 0; i < rowLength; ++i)
            columnSums[i] = static_cast<std::uint16_t>(columnSums[i] + in[i]);
    }
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        if (windowHeight != inverseHeight) {
            fillInverses(inverse, width, channels, rx, windowHeight);
            inverseHeight = windowHeight;
            rows.interiorInverse = 1.0f / static_cast<float>((2 * rx + 1) * windowHeight);
        }
        const bool enter = y + ry < height;
        rowFunction(rows, enter ? pixels + (y + ry) * rowLength : nullptr,
                    ring.data() + (y % ringRows) * rowLength, y > ry, pixels + y * rowLength);
    }
}

// The running totals need 16-bit column sums and one or three channels.
bool runningTotalsFit(const BlurImage& image, std::size_t ry) {
    return 2 * ry + 1 <= 257 && (image.components == 1 || image.components == 3);
}

void averageSmallWindowAvx2(const BlurImage& image, std::size_t rx, std::size_t ry) {
    if (!runningTotalsFit(image, ry)) return averageSmallWindowAvx2Columns(image, rx, ry);
    averageByRunningTotals(image, rx, ry, avx2::averageRow);
}

void averageSmallWindowAvx512(const BlurImage& image, std::size_t rx, std::size_t ry) {
    if (!runningTotalsFit(image, ry)) return averageSmallWindowAvx2Columns(image, rx, ry);
    averageByRunningTotals(image, rx, ry, avx512::averageRow);
}
#endif

}  // namespace

void averageBlur(const BlurImage& image, int radiusX, int radiusY) {
    averageBlur(image, radiusX, radiusY, processorVectorLevel());
}

void averageBlur(const BlurImage& image, int radiusX, int radiusY, VectorLevel level) {
    if (radiusX == 0 && radiusY == 0) return;
    const std::uint64_t maxWindow =
        (2 * static_cast<std::uint64_t>(radiusX) + 1) * (2 * static_cast<std::uint64_t>(radiusY) + 1);
    if (maxWindow <= kFloatQuotientWindowLimit) {
        const auto rx = static_cast<std::size_t>(radiusX), ry = static_cast<std::size_t>(radiusY);
#if defined(__x86_64__)
        if (level == VectorLevel::Avx512) return averageSmallWindowAvx512(image, rx, ry);
        if (level == VectorLevel::Avx2) return averageSmallWindowAvx2(image, rx, ry);
#endif
        static_cast<void>(level);
        averageSmallWindowBaseline(image, rx, ry);
    } else if (maxWindow * 255 <= std::numeric_limits<std::uint32_t>::max()) {
        averageBlurWith<std::uint32_t>(image, radiusX, radiusY);
    } else {
        averageBlurWith<std::uint64_t>(image, radiusX, radiusY);
    }
}

}  // namespace pagewash
