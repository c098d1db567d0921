#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>
#include <vector>

#include "imaging/average_blur.h"
#include "imaging/blur.h"
#include "imaging/histogram_counter.h"
#include "imaging/pixel_kernels.h"
#include "imaging/tone_correction.h"
#include "imaging/tone_plan.h"
#include "tests/imaging/reference_correction.h"

namespace pagewash {
namespace {

using namespace testing;  // pagewash::testing

TEST(PixelKernels, GrayConversionsMatchTheReferenceForAllColoursAtEveryTarget) {
    // An odd count, so that the vector loops' tails run; the byte after it must stay.
    const std::size_t count = (std::size_t{1} << 24) - 13;
    Bytes rgb(3 * count), luma(count + 1, 0xEE), yellowing = luma;
    for (std::size_t i = 0; i < 3 * count; ++i)
        rgb[i] = std::uint8_t(i / 3 >> (16 - 8 * (i % 3)));  // colour i / 3
    reference::correctTones(yellowing.data(), CorrectionSettings{2, 0}, Bytes(rgb).data(),
                            std::int64_t(count), 3);
    for (std::size_t i = 0; i < count; ++i) {
        luma[i] = reference::luminance(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        if (luminance(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]) != luma[i]) FAIL() << "luminance of " << i;
    }
    forEachTarget([&](const char* target) {
        for (auto [loop, expected] :
             {std::pair{&kernels::luminanceRow, &luma}, {&kernels::yellowingGrayRow, &yellowing}}) {
            Bytes gray(count + 1, 0xEE);
            loop(rgb.data(), gray.data(), count);
            ASSERT_EQ(firstDifference(*expected, gray, 1 << 16, 1), "")
                << target << (expected == &luma ? " luminance" : " yellowing")
                << " (pixel x = G * 256 + B, y = R)";
        }
    });
}

TEST(PixelKernels, ToneTableAndColorMapAtEveryTargetAgreeWithTheReferenceOnEveryTriple) {
    // Table k sends g to (g + k) mod 256 and the pixels pair every g with every channel: all 2^24 (channel,
    // g, t) triples at every target. A tail is left for the vector loops, which must stay.
    Bytes gray, original;
    for (int i = 0; i < 65536; ++i) {  // g = i / 256, channel = i % 256
        gray.push_back(std::uint8_t(i / 256));
        for (int k : {i, 255 - i % 256, i * 7}) original.push_back(std::uint8_t(k));
    }
    const std::size_t count = gray.size() - 5;
    auto correction = std::make_unique<kernels::ColorCorrection>();
    std::size_t irregularRows = 0;
    for (int k = 0; k < 256; ++k) {
        ToneTable table;
        for (int g = 0; g < 256; ++g) table[std::size_t(g)] = std::uint8_t(g + k);
        buildColorCorrection(table, *correction);
        for (std::uint8_t flag : correction->irregular) irregularRows += flag != 0;
        Bytes expected = original, expectedGray = gray;
        for (std::size_t i = 0; i < 3 * count; ++i)
            expected[i] = reference::colorChannel(original[i], gray[i / 3], table[gray[i / 3]]);
        for (std::size_t i = 0; i < count; ++i) expectedGray[i] = table[gray[i]];
        forEachTarget([&](const char* target) {
            Bytes rgb = original, mapped = gray;
            kernels::applyColorMap(rgb.data(), gray.data(), count, *correction);
            kernels::applyToneTable(mapped.data(), count, table);
            ASSERT_EQ(firstDifference(expected, rgb, 256, 3) + firstDifference(expectedGray, mapped, 256, 1),
                      "")
                << target << ", table " << k << " (pixel x = channel, y = g)";
        });
    }
    EXPECT_GT(irregularRows, 0u) << "no row took the map: the irregular path went untested";
}

TEST(PixelKernels, HistogramCountsEveryPixelWholeAndInPieces) {
    // Below and above the size for counting in pairs, odd tails, and 301-value scanlines as the worker adds.
    std::mt19937 rng(11);
    for (std::size_t length : {1, 13, 65543, 301 * 997}) {
        Bytes gray(length);
        for (auto& v : gray) v = std::uint8_t(rng() % 7 == 0 ? rng() : 255);
        Histogram expected{};
        for (std::uint8_t v : gray) ++expected[v];
        HistogramCounter whole(gray.size());
        whole.add(gray.data(), gray.size());
        EXPECT_EQ(whole.total(), expected) << length;
        HistogramCounter counter(gray.size());
        for (std::size_t start = 0; start < length; start += 301)
            counter.add(gray.data() + start, std::min<std::size_t>(301, length - start));
        EXPECT_EQ(counter.total(), expected) << length;
    }
}

// Corrects a copy of `image` (gray, or colour with a gray output) both ways; "" when they agree.
std::string compareWithReference(const Bytes& image, int width, int components,
                                 const CorrectionSettings& settings) {
    const auto n = std::int64_t(image.size()) / components;
    Bytes fast = image, slow = image, fastGray = components == 1 ? image : Bytes(image.size() / 3, 0x5A);
    Bytes slowGray = fastGray;
    CorrectTones(fastGray.data(), settings, components == 3 ? fast.data() : nullptr, n, components);
    reference::correctTones(slowGray.data(), settings, components == 3 ? slow.data() : nullptr, n,
                            components);
    return firstDifference(slow, fast, width, components) + firstDifference(slowGray, fastGray, width, 1);
}

TEST(CorrectTones, MatchesTheReferenceOnRandomImagesInEveryMode) {
    // Modes -1 (a radio group with no selection) and one past the last act as None. The references matter
    // only where a Manual mode is used.
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 97}, {113, 1}, {3, 5}, {31, 17}, {257, 129}, {320, 240}};
    const std::pair<int, int> refs[] = {{5, 85},  {0, 100}, {0, 0},  {100, 100}, {50, 50},
                                        {30, 20}, {85, 5},  {1, 99}, {40, 60},   {99, 100}};
    std::uint32_t seed = 1;
    for (auto [width, height] : sizes) {
        for (int p = 0; p < 8; ++p) {  // each pattern, gray and colour
            const int components = p % 2 ? 3 : 1;
            const auto image = makeImage(width, height, components, Pattern(p / 2), ++seed);
            for (int modes = 0; modes < 7 * 5; ++modes) {  // colour modes -1..5, gray modes -1..3
                const int color = modes / 5 - 1, gray = modes % 5 - 1;
                for (std::size_t r = 0; r < (color == 4 || gray == 2 ? std::size(refs) : 1); ++r) {
                    const auto [grayBlack, grayWhite] = refs[(r + 3) % std::size(refs)];
                    const CorrectionSettings settings{color,          gray,      refs[r].first,
                                                      refs[r].second, grayBlack, grayWhite};
                    ASSERT_EQ(compareWithReference(image, width, components, settings), "")
                        << width << " x " << height << " C = " << components << ", pattern " << p / 2
                        << ", modes " << color << " " << gray << ", references " << r;
                }
            }
        }
    }
}

TEST(CorrectTones, AutomaticLevelsMatchTheReferenceAtTheirThresholds) {
    // {level, count} pairs, then the rest of `total` pixels at one level.
    const auto levelCounts = [](std::initializer_list<std::pair<int, int>> counts, int rest,
                                std::size_t total) {
        Bytes image;
        for (auto [level, count] : counts) image.insert(image.end(), std::size_t(count), std::uint8_t(level));
        image.resize(total, std::uint8_t(rest));
        return image;
    };
    const Bytes images[] = {
        // levelShare is the count on 1,000,000 pixels: sqrt(81) - sqrt(0) is 9, no white step; 82 is one.
        levelCounts({{230, 81}}, 128, 1000000), levelCounts({{230, 82}}, 128, 1000000),
        levelCounts({}, 220, 999), levelCounts({}, 221, 999), levelCounts({}, 254, 999),  // steps or not
        // The black level's rank grows with the size: the same shape on 1,000,000 and 4,000,000 pixels.
        levelCounts({{10, 5000}, {20, 10000}}, 200, 1000000),
        levelCounts({{10, 20000}, {20, 40000}}, 200, 4000000),
        // Level 0 alone already has rank 1: no level qualifies as black.
        levelCounts({{0, 1}}, 100, 10)};
    for (const Bytes& image : images) {
        EXPECT_EQ(compareWithReference(image, int(image.size()), 1, CorrectionSettings{0, 1}), "")
            << image.size() << " pixels, first " << int{image.front()} << ", last " << int{image.back()};
    }
}

// Every radius 0..10 (and a huge one, acting as 10), all modes (the median of a colour image is its average),
// at every target, against the reference. The sizes (width, height, components) are 1 x 1, single rows and
// columns, windows wider than the image, and widths around the vectors (up to 64 samples), the blocks of the
// running totals and the stretches of a row.
TEST(ApplyBlur, MatchesTheReferenceForEveryRadiusAtEveryTarget) {
    const int sizes[][3] = {{1, 1, 1},    {1, 30, 1},   {30, 1, 1},   {2, 9, 1},    {5, 5, 1},   {15, 4, 1},
                            {16, 7, 1},   {17, 12, 1},  {21, 21, 1},  {22, 7, 1},   {31, 3, 1},  {33, 5, 1},
                            {47, 31, 1},  {63, 2, 1},   {64, 6, 1},   {65, 11, 1},  {97, 1, 1},  {128, 3, 1},
                            {1023, 3, 1}, {1024, 2, 1}, {1025, 3, 1}, {1100, 2, 1}, {1, 1, 3},   {1, 8, 3},
                            {5, 3, 3},    {6, 5, 3},    {11, 4, 3},   {16, 6, 3},   {21, 2, 3},  {32, 3, 3},
                            {33, 13, 3},  {64, 2, 3},   {65, 3, 3},   {511, 2, 3},  {512, 3, 3}, {513, 2, 3},
                            {530, 3, 3},  {7, 5, 2},    {40, 3, 4}};
    std::uint32_t seed = 100;
    for (const auto& [width, height, components] : sizes) {
        for (Pattern pattern : {Pattern::Noise, Pattern::FewLevels, Pattern::Page}) {
            const auto image = makeImage(width, height, components, pattern, ++seed);
            for (int radius = 0; radius <= 11; ++radius) {
                for (BlurMode mode : {BlurMode::None, BlurMode::Average, BlurMode::Median}) {
                    Bytes expected = image;
                    reference::applyBlur(expected.data(), width, height, components, std::min(radius, 10),
                                         mode);
                    forEachTarget([&](const char* target) {
                        Bytes actual = image;
                        ApplyBlur(actual.data(), width, height, components, radius > 10 ? INT_MAX : radius,
                                  mode);
                        ASSERT_EQ(firstDifference(expected, actual, width, components), "")
                            << width << " x " << height << " C = " << components << " radius " << radius
                            << " pattern " << int(pattern) << " mode " << int(mode) << " " << target;
                    });
                }
            }
        }
    }
}

TEST(AverageBlur, WindowsTallerThan257RowsAtEveryTargetAndTheQuotientOfEveryWindow) {
    for (std::uint32_t m = 1; m <= kFloatQuotientWindowLimit; ++m) {
        for (std::uint32_t sum = 0; sum <= 255 * m; ++sum) {
            if (windowQuotient(sum, 1.0f / float(m)) != sum / m) FAIL() << sum << " / " << m;
        }
    }
    // Column sums of more than 257 samples leave 16 bits: windows 3 x 301, under the quotient's limit.
    for (int components : {1, 3}) {
        const auto image = makeImage(2, 320, components, Pattern::Noise, 11);
        Bytes expected = image;
        reference::applyBlur(expected.data(), 2, 320, components, 150, BlurMode::Average);
        forEachTarget([&](const char* target) {
            Bytes actual = image;
            averageBlur(BlurImage{actual.data(), 2, 320, components}, 1, 150);
            EXPECT_EQ(firstDifference(expected, actual, 2, components), "") << components << " " << target;
        });
    }
}

}  // namespace
}  // namespace pagewash
