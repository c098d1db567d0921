#include "imaging/pixel_kernels.h"

#include <algorithm>
#include <cstring>

#include "imaging/histogram_counter.h"

namespace pagewash::kernels {

namespace scalar {

void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        gray[i] = fastLuminance(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    }
}

void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t r = rgb[3 * i];
        const std::uint8_t g = rgb[3 * i + 1];
        const std::uint8_t b = rgb[3 * i + 2];
        const unsigned y = fastLuminance(r, g, b);
        // max(|R - G|, |R - B|, |G - B|) is the largest channel minus the smallest.
        const unsigned spread = unsigned{std::max({r, g, b})} - unsigned{std::min({r, g, b})};
        // y + min(spread, 255 - y) is min(y + spread, 255).
        const unsigned lifted = std::min(y + spread, 255u);
        gray[i] = static_cast<std::uint8_t>(y < 16u ? y : lifted);
    }
}

void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    for (std::size_t i = 0; i < count; ++i) gray[i] = table[gray[i]];
}

void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction) {
    constexpr std::size_t kBlock = 32;
    for (std::size_t start = 0; start < count; start += kBlock) {
        const std::size_t n = std::min(kBlock, count - start);
        bool allWhite = n == kBlock;
        for (std::size_t i = 0; i < n; ++i) allWhite &= gray[start + i] >= correction.whiteFrom;
        std::uint8_t* block = rgb + 3 * start;
        if (allWhite) {
            std::memset(block, 255, 3 * kBlock);
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const auto& channelMap = correction.map[gray[start + i]];
            block[3 * i] = channelMap[block[3 * i]];
            block[3 * i + 1] = channelMap[block[3 * i + 1]];
            block[3 * i + 2] = channelMap[block[3 * i + 2]];
        }
    }
}

}  // namespace scalar

void luminanceRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    if (haveAvx512Vnni()) {
        avx512::luminanceRow(rgb, gray, count);
    } else if (haveAvx2()) {
        avx2::luminanceRow(rgb, gray, count);
    } else {
        scalar::luminanceRow(rgb, gray, count);
    }
}

void yellowingGrayRow(const std::uint8_t* rgb, std::uint8_t* gray, std::size_t count) {
    if (haveAvx512Vnni()) {
        avx512::yellowingGrayRow(rgb, gray, count);
    } else if (haveAvx2()) {
        avx2::yellowingGrayRow(rgb, gray, count);
    } else {
        scalar::yellowingGrayRow(rgb, gray, count);
    }
}

void applyToneTable(std::uint8_t* gray, std::size_t count, const ToneTable& table) {
    if (haveAvx512()) {
        avx512::applyToneTable(gray, count, table);
    } else if (haveAvx2()) {
        avx2::applyToneTable(gray, count, table);
    } else {
        scalar::applyToneTable(gray, count, table);
    }
}

void addHistogram(const std::uint8_t* gray, std::size_t count, std::array<std::uint64_t, 256>& hist) {
    HistogramCounter counter(count);
    counter.add(gray, count);
    const Histogram counted = counter.total();
    for (std::size_t v = 0; v < 256; ++v) hist[v] += counted[v];
}

void applyColorMap(std::uint8_t* rgb, const std::uint8_t* gray, std::size_t count,
                   const ColorCorrection& correction) {
    if (haveAvx512()) {
        avx512::applyColorMap(rgb, gray, count, correction);
    } else {
        scalar::applyColorMap(rgb, gray, count, correction);
    }
}

}  // namespace pagewash::kernels
