#include "imaging/tone_correction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "imaging/histogram_counter.h"
#include "imaging/pixel_kernels.h"
#include "imaging/tone_plan.h"
#include "tests/imaging/reference_correction.h"

namespace pagewash {
namespace {

using testing::firstDifference;
using testing::forEachTarget;
using testing::makeImage;
using testing::Pattern;
using Bytes = std::vector<std::uint8_t>;

TEST(PixelKernels, GrayConversionsMatchTheReferenceForAllColoursAtEveryTarget) {
    // An odd count, so that the vector loops' tails run; the byte after it must stay.
    const std::size_t count = (std::size_t{1} << 24) - 13;
    Bytes rgb(3 * count), luma(count), yellowing(count);
    for (std::size_t i = 0; i < 3 * count; ++i)
        rgb[i] = static_cast<std::uint8_t>(i / 3 >> (16 - 8 * (i % 3)));  // R, G, B of colour i / 3
    reference::correctTones(luma.data(), CorrectionSettings{3, 0}, Bytes(rgb).data(), std::int64_t(count), 3);
    reference::correctTones(yellowing.data(), CorrectionSettings{2, 0}, Bytes(rgb).data(),
                            std::int64_t(count), 3);
    for (std::size_t i = 0; i < count; ++i) {
        if (luminance(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]) != luma[i])
            FAIL() << "luminance of colour " << i << " is not " << int{luma[i]};
    }
    forEachTarget([&](const char* target) {
        for (auto [loop, expected] :
             {std::pair{&kernels::luminanceRow, &luma}, {&kernels::yellowingGrayRow, &yellowing}}) {
            Bytes gray(count + 1, 0xEE);
            loop(rgb.data(), gray.data(), count);
            EXPECT_EQ(gray[count], 0xEE) << target << " wrote past its end";
            gray.pop_back();
            ASSERT_EQ(firstDifference(*expected, gray, 1 << 16, 1), "")
                << target << (expected == &luma ? " luminance" : " yellowing")
                << " (pixel x = G * 256 + B, y = R)";
        }
    });
}

TEST(PixelKernels, ToneTableAtEveryTargetOnEveryLevelAndLength) {
    std::mt19937 rng(5);
    ToneTable table;
    for (auto& entry : table) entry = static_cast<std::uint8_t>(rng());
    forEachTarget([&](const char* target) {
        for (std::size_t length : {0, 1, 31, 32, 64, 127, 3 * 256 + 7}) {
            Bytes gray(length + 1, 0xEE), expected(length + 1, 0xEE);
            for (std::size_t i = 0; i < length; ++i) {
                gray[i] = static_cast<std::uint8_t>(i * 7);
                expected[i] = table[gray[i]];
            }
            kernels::applyToneTable(gray.data(), length, table);
            ASSERT_EQ(firstDifference(expected, gray, 1, 1), "") << target << " length " << length;
        }
    });
}

TEST(PixelKernels, ColorMapAtEveryTargetAgreesWithTheReferenceOnEveryTriple) {
    // Table k sends level g to (g + k) mod 256, so the 256 tables hold every (g, t) pair once; the pixels
    // pair every luminance with every channel value. Together: all 2^24 (channel, g, t) triples at every
    // target (where the arithmetic form runs, its irregular rows must come from the map), against the
    // definition: double ratios per pixel, truncated.
    Bytes gray, original;
    for (int g = 0; g < 256; ++g) {
        for (int ch = 0; ch < 256; ++ch) {
            gray.push_back(static_cast<std::uint8_t>(g));
            original.insert(original.end(),
                            {static_cast<std::uint8_t>(ch), static_cast<std::uint8_t>(255 - ch),
                             static_cast<std::uint8_t>(ch * 7)});
        }
    }
    const std::size_t count = gray.size() - 5;  // leaves a tail for the vector loops, which must stay
    auto correction = std::make_unique<kernels::ColorCorrection>();
    std::size_t irregularRows = 0;
    for (int k = 0; k < 256; ++k) {
        ToneTable table;
        for (int g = 0; g < 256; ++g)
            table[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>((g + k) & 255);
        buildColorCorrection(table, *correction);
        for (std::uint8_t flag : correction->irregular) irregularRows += flag != 0;
        Bytes expected = original;
        for (std::size_t i = 0; i < 3 * count; ++i) {
            const int g = gray[i / 3], t = table[static_cast<std::size_t>(g)], ch = original[i];
            if (t < g) {
                expected[i] = static_cast<std::uint8_t>(static_cast<int>(ch * (static_cast<double>(t) / g)));
            } else {
                const double r = t == 255 ? 0.0 : static_cast<double>(255 - t) / (255 - g);
                expected[i] =
                    t == 255 ? 255 : static_cast<std::uint8_t>(static_cast<int>(255.0 - (255 - ch) * r));
            }
        }
        forEachTarget([&](const char* target) {
            Bytes rgb = original;
            kernels::applyColorMap(rgb.data(), gray.data(), count, *correction);
            ASSERT_EQ(firstDifference(expected, rgb, 256, 3), "")
                << target << ", table " << k << " (pixel x = channel, y = g)";
        });
    }
    EXPECT_GT(irregularRows, 0u) << "no row took the map: the irregular path went untested";
}

TEST(PixelKernels, HistogramCountsEveryPixelWholeAndInPieces) {
    // Below and above the size from which neighbouring values are counted in pairs; odd lengths leave tails;
    // and as the image worker counts: a scanline of 301 at a time, of a length that is no multiple of a word.
    std::mt19937 rng(11);
    for (std::size_t length : {1, 13, 65543, 301 * 997}) {
        Bytes gray(length);
        for (auto& v : gray) v = static_cast<std::uint8_t>(rng() % 7 == 0 ? rng() : 255);
        std::array<std::uint64_t, 256> expected{}, whole{};
        for (std::uint8_t v : gray) ++expected[v];
        kernels::addHistogram(gray.data(), gray.size(), whole);
        EXPECT_EQ(whole, expected) << length;
        HistogramCounter counter(gray.size());
        for (std::size_t start = 0; start < length; start += 301)
            counter.add(gray.data() + start, std::min<std::size_t>(301, length - start));
        EXPECT_EQ(counter.total(), expected) << length;
    }
}

// Corrects a copy of `image` (gray, or colour with a gray output) both ways; "" when they agree.
std::string compareWithReference(const Bytes& image, int width, int components,
                                 const CorrectionSettings& settings) {
    const auto n = static_cast<std::int64_t>(image.size()) / components;
    Bytes fast = image, slow = image, fastGray(static_cast<std::size_t>(n), 0x5A), slowGray = fastGray;
    if (components == 3) {
        CorrectTones(fastGray.data(), settings, fast.data(), n, 3);
        reference::correctTones(slowGray.data(), settings, slow.data(), n, 3);
    } else {
        CorrectTones(fast.data(), settings, nullptr, n, 1);
        reference::correctTones(slow.data(), settings, nullptr, n, 1);
    }
    return firstDifference(slow, fast, width, components) + firstDifference(slowGray, fastGray, width, 1);
}

TEST(CorrectTones, MatchesTheReferenceOnRandomImagesInEveryMode) {
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 97}, {113, 1}, {3, 5}, {31, 17}, {257, 129}, {320, 240}};
    const std::pair<int, int> references[] = {{5, 85},  {0, 100}, {0, 0},  {100, 100}, {50, 50},
                                              {30, 20}, {85, 5},  {1, 99}, {40, 60},   {99, 100}};
    std::uint32_t seed = 1;
    for (auto [width, height] : sizes) {
        for (Pattern pattern : {Pattern::Noise, Pattern::FewLevels, Pattern::Page, Pattern::DarkPage}) {
            for (int components : {1, 3}) {
                const auto image = makeImage(width, height, components, pattern, ++seed);
                for (int color = 0; color <= 4; ++color) {
                    for (int grayMode = 0; grayMode <= 2; ++grayMode) {
                        // The references matter only where a Manual mode is used.
                        const std::size_t refs = color == 4 || grayMode == 2 ? std::size(references) : 1;
                        for (std::size_t ref = 0; ref < refs; ++ref) {
                            const auto [colorBlack, colorWhite] = references[ref];
                            const auto [grayBlack, grayWhite] = references[(ref + 3) % refs];
                            const CorrectionSettings settings{color,      grayMode,  colorBlack,
                                                              colorWhite, grayBlack, grayWhite};
                            ASSERT_EQ(compareWithReference(image, width, components, settings), "")
                                << width << " x " << height << " C = " << components << ", pattern "
                                << static_cast<int>(pattern) << ", colorMode " << color << ", grayMode "
                                << grayMode << ", references " << ref;
                        }
                    }
                }
            }
        }
    }
}

// A gray image of `total` pixels: the given counts of levels, the rest at `rest`.
Bytes levelCounts(std::initializer_list<std::pair<int, int>> counts, int rest, std::size_t total) {
    Bytes image;
    for (auto [level, count] : counts)
        image.insert(image.end(), static_cast<std::size_t>(count), static_cast<std::uint8_t>(level));
    image.resize(total, static_cast<std::uint8_t>(rest));
    return image;
}

TEST(CorrectTones, AutomaticLevelsMatchTheReferenceAtTheirThresholds) {
    const CorrectionSettings settings{0, 1};  // colour None, gray Auto
    const Bytes images[] = {
        // On 1,000,000 pixels levelShare is the count: sqrt(81) - sqrt(0) is exactly 9, no white step; 82 is.
        levelCounts({{230, 81}}, 128, 1000000), levelCounts({{230, 82}}, 128, 1000000),
        // Single-level pages: 220 finds no step, 221 and 254 do.
        levelCounts({}, 220, 999), levelCounts({}, 221, 999), levelCounts({}, 254, 999),
        // The black level's rank grows with the size: the same shape on 1,000,000 and 4,000,000 pixels.
        levelCounts({{10, 5000}, {20, 10000}}, 200, 1000000),
        levelCounts({{10, 20000}, {20, 40000}}, 200, 4000000),
        // Level 0 alone already has rank 1: no level qualifies as black.
        levelCounts({{0, 1}}, 100, 10)};
    for (const Bytes& image : images) {
        EXPECT_EQ(compareWithReference(image, static_cast<int>(image.size()), 1, settings), "")
            << image.size() << " pixels, first " << int{image.front()} << ", last " << int{image.back()};
    }
}

TEST(CorrectTones, ModesOutsideTheirEnumerationsActAsNone) {
    // A radio group with no selection reads as -1.
    const auto rgb = makeImage(9, 4, 3, Pattern::Page, 12);
    for (int mode : {-1, 5}) {
        Bytes color = rgb, gray(36, 0xA5);
        CorrectTones(gray.data(), CorrectionSettings{mode, 1}, color.data(), 36, 3);
        EXPECT_TRUE(color == rgb && gray == Bytes(36, 0xA5)) << "colour mode " << mode;
        Bytes same(rgb.begin(), rgb.begin() + 36);
        CorrectTones(same.data(), CorrectionSettings{1, mode}, nullptr, 36, 1);
        EXPECT_TRUE(std::equal(same.begin(), same.end(), rgb.begin())) << "gray mode " << mode;
    }
}

}  // namespace
}  // namespace pagewash
