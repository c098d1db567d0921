#include "imaging/pixel_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "imaging/histogram_counter.h"
#include "imaging/tone_plan.h"
#include "tests/imaging/each_target.h"
#include "tests/imaging/reference_correction.h"

namespace pagewash::kernels {
namespace {

// Every colour once, R G B in order.
std::vector<std::uint8_t> allColours() {
    std::vector<std::uint8_t> rgb(std::size_t{3} << 24);
    for (std::size_t i = 0; i < (std::size_t{1} << 24); ++i) {
        rgb[3 * i] = static_cast<std::uint8_t>(i >> 16);
        rgb[3 * i + 1] = static_cast<std::uint8_t>(i >> 8);
        rgb[3 * i + 2] = static_cast<std::uint8_t>(i);
    }
    return rgb;
}

std::uint8_t referenceYellowing(int r, int g, int b) {
    const int y = reference::luminance(r, g, b);
    if (y < 16) return static_cast<std::uint8_t>(y);
    const int d = std::max({std::abs(r - g), std::abs(r - b), std::abs(g - b)});
    return static_cast<std::uint8_t>(y + std::min(d, 255 - y));
}

using GrayLoop = void (*)(const std::uint8_t*, std::uint8_t*, std::size_t);

// Runs a loop at every target over all colours (an odd count, so that the vector loops' tails run) and
// reports the colours where it differs from `expected`.
void checkAllColours(GrayLoop loop, std::uint8_t (*expected)(int, int, int), const char* name) {
    const auto rgb = allColours();
    const std::size_t count = (std::size_t{1} << 24) - 13;
    std::vector<std::uint8_t> wanted(count);
    for (std::size_t i = 0; i < count; ++i) {
        wanted[i] =
            expected(static_cast<int>(i >> 16), static_cast<int>((i >> 8) & 255), static_cast<int>(i & 255));
    }
    testing::forEachTarget([&](const char* target) {
        std::vector<std::uint8_t> gray(count + 1, 0xEE);
        loop(rgb.data(), gray.data(), count);
        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (gray[i] != wanted[i] && ++mismatches <= 5) {
                ADD_FAILURE() << name << " " << target << " (" << (i >> 16) << ", " << ((i >> 8) & 255)
                              << ", " << (i & 255) << "): " << int{gray[i]} << " instead of "
                              << int{wanted[i]};
            }
        }
        EXPECT_EQ(mismatches, 0u) << name << " " << target;
        EXPECT_EQ(gray[count], 0xEE) << name << " " << target << " wrote past its end";
    });
}

TEST(PixelKernels, GrayConversionsMatchTheDefinitionForAllColoursAtEveryTarget) {
    checkAllColours(luminanceRow, reference::luminance, "luminance");
    checkAllColours(yellowingGrayRow, referenceYellowing, "yellowing");
}

TEST(PixelKernels, ToneTableAtEveryTargetOnEveryLevelAndLength) {
    std::mt19937 rng(5);
    ToneTable table;
    for (auto& entry : table) entry = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> levels;
    for (int i = 0; i < 3 * 256 + 7; ++i) levels.push_back(static_cast<std::uint8_t>(i * 7));
    testing::forEachTarget([&](const char* target) {
        for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{32},
                                   std::size_t{64}, std::size_t{127}, levels.size()}) {
            std::vector<std::uint8_t> gray(levels.begin(),
                                           levels.begin() + static_cast<std::ptrdiff_t>(length));
            gray.push_back(0xEE);
            applyToneTable(gray.data(), length, table);
            for (std::size_t i = 0; i < length; ++i)
                ASSERT_EQ(gray[i], table[levels[i]]) << target << " " << i;
            EXPECT_EQ(gray[length], 0xEE) << target << " wrote past its end";
        }
    });
}

// The colour correction as defined: double ratios per pixel, truncated.
std::uint8_t definedChannel(int ch, int g, int t) {
    if (t < g) return static_cast<std::uint8_t>(static_cast<int>(ch * (static_cast<double>(t) / g)));
    if (t == 255) return 255;
    const double ratio = static_cast<double>(255 - t) / static_cast<double>(255 - g);
    return static_cast<std::uint8_t>(static_cast<int>(255.0 - (255 - ch) * ratio));
}

TEST(PixelKernels, ColorMapAtEveryTargetAgreesWithTheDefinitionOnEveryTriple) {
    // Table k sends level g to (g + k) mod 256, so the 256 tables hold every (g, t) pair once; the pixels
    // pair every luminance with every channel value. Together: all 2^24 (channel, g, t) triples at every
    // target (where the arithmetic form runs, its irregular rows must come from the map).
    std::vector<std::uint8_t> gray, original;
    for (int g = 0; g < 256; ++g) {
        for (int ch = 0; ch < 256; ++ch) {
            gray.push_back(static_cast<std::uint8_t>(g));
            const auto c = static_cast<std::uint8_t>(ch);
            original.insert(original.end(),
                            {c, static_cast<std::uint8_t>(255 - c), static_cast<std::uint8_t>(ch * 7)});
        }
    }
    const std::size_t count = gray.size() - 5;  // leaves a tail for the vector loops
    auto correction = std::make_unique<ColorCorrection>();
    std::size_t irregularRows = 0, mismatches = 0;
    for (int k = 0; k < 256; ++k) {
        ToneTable table;
        for (int g = 0; g < 256; ++g)
            table[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>((g + k) & 255);
        buildColorCorrection(table, *correction);
        for (std::uint8_t flag : correction->irregular) irregularRows += flag != 0;
        std::vector<std::uint8_t> expected = original;
        for (std::size_t i = 0; i < 3 * count; ++i) {
            const int g = gray[i / 3];
            expected[i] = definedChannel(original[i], g, table[static_cast<std::size_t>(g)]);
        }
        testing::forEachTarget([&](const char* target) {
            std::vector<std::uint8_t> rgb = original;
            applyColorMap(rgb.data(), gray.data(), count, *correction);
            const auto differs = std::mismatch(rgb.begin(), rgb.end(), expected.begin());
            if (differs.first != rgb.end() && ++mismatches <= 5) {
                const auto at = static_cast<std::size_t>(differs.first - rgb.begin());
                ADD_FAILURE() << target << ": table " << k << ", channel " << int{original[at]} << ", g "
                              << int{gray[at / 3]} << " gave " << int{rgb[at]} << " instead of "
                              << int{expected[at]} << (at >= 3 * count ? " (past the end)" : "");
            }
        });
    }
    EXPECT_EQ(mismatches, 0u);
    EXPECT_GT(irregularRows, 0u) << "no row took the map: the irregular path went untested";
}

TEST(PixelKernels, HistogramCountsEveryPixel) {
    // Below and above the size from which neighbouring values are counted in pairs; odd lengths leave tails.
    for (std::uint64_t length :
         {std::uint64_t{1}, std::uint64_t{13}, std::uint64_t{65543}, std::uint64_t{100003}}) {
        std::vector<std::uint8_t> gray;
        for (std::uint64_t i = 0; i < length; ++i) gray.push_back(static_cast<std::uint8_t>((i * i) % 251));
        std::array<std::uint64_t, 256> expected{}, counted{};
        for (std::uint8_t v : gray) ++expected[v];
        addHistogram(gray.data(), gray.size(), counted);
        EXPECT_EQ(counted, expected) << length;
    }
}

TEST(PixelKernels, HistogramCountedInPiecesAddsUp) {
    // As the image worker counts: a scanline at a time, of a length that is no multiple of a word.
    std::mt19937 rng(11);
    std::vector<std::uint8_t> gray(301 * 997);
    for (auto& v : gray) v = static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : 255);
    std::array<std::uint64_t, 256> expected{};
    for (std::uint8_t v : gray) ++expected[v];
    HistogramCounter counter(gray.size());
    for (std::size_t start = 0; start < gray.size(); start += 301) counter.add(gray.data() + start, 301);
    EXPECT_EQ(counter.total(), expected);
}

}  // namespace
}  // namespace pagewash::kernels
