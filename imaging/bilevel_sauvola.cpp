#include "imaging/bilevel_sauvola.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace pagewash {

int estimatedDpi(int width, int height) {
    const int shortSide = std::max(1, std::min(width, height));
    return std::clamp(static_cast<int>(std::lround(shortSide / 8.4)), 50, 1200);
}

SauvolaParameters sauvolaParametersForDpi(int dpi) {
    SauvolaParameters params;
    const int window = (std::clamp(static_cast<int>(std::lround(dpi / 5.0)), 15, kMaxSauvolaWindow) - 1) | 1;
    params.window = window;
    return params;
}

void binarizeSauvola(const std::uint8_t* gray, int width, int height, std::size_t stride,
                     const SauvolaParameters& params, BilevelImage& out) {
    out = BilevelImage(width, height);
    if (width <= 0 || height <= 0) return;
    const int half = std::clamp(params.window, 1, kMaxSauvolaWindow) / 2;
    const auto w = static_cast<std::size_t>(width);
    // The sums of each column over the window's rows, kept for the current row: the row entering below is
    // added and the row leaving above taken off, so no sum over the whole page is ever formed.
    std::vector<std::uint32_t> columnSum(w, 0);
    std::vector<std::uint32_t> columnSquares(w, 0);
    const auto addRow = [&](int y, bool add) {
        const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t v = row[x];
            if (add) {
                columnSum[x] += v;
                columnSquares[x] += v * v;
            } else {
                columnSum[x] -= v;
                columnSquares[x] -= v * v;
            }
        }
    };
    for (int y = 0; y < std::min(half, height); ++y) addRow(y, true);
    for (int y = 0; y < height; ++y) {
        if (y + half < height) addRow(y + half, true);
        if (y - half - 1 >= 0) addRow(y - half - 1, false);
        const auto rows =
            static_cast<std::uint32_t>(std::min(y + half, height - 1) - std::max(y - half, 0) + 1);
        const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
        std::uint8_t* bits = out.row(y);
        // The window's sums along the row, moved one column at a time.
        std::uint32_t sum = 0;
        std::uint32_t squares = 0;
        for (int x = 0; x < std::min(half, width); ++x) {
            sum += columnSum[static_cast<std::size_t>(x)];
            squares += columnSquares[static_cast<std::size_t>(x)];
        }
        for (int x = 0; x < width; ++x) {
            if (x + half < width) {
                sum += columnSum[static_cast<std::size_t>(x + half)];
                squares += columnSquares[static_cast<std::size_t>(x + half)];
            }
            if (x - half - 1 >= 0) {
                sum -= columnSum[static_cast<std::size_t>(x - half - 1)];
                squares -= columnSquares[static_cast<std::size_t>(x - half - 1)];
            }
            const auto columns =
                static_cast<std::uint32_t>(std::min(x + half, width - 1) - std::max(x - half, 0) + 1);
            if (sauvolaBlack(row[x], sum, squares, rows * columns, params.k))
                bits[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        }
    }
}

}  // namespace pagewash
