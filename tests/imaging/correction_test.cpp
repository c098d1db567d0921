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
using Bytes = std::vector<std::uint8_t>;

TEST(PixelKernels, GrayConversionsMatchTheReferenceForAllColoursAtEveryTarget) {
    // An odd count, so that the vector loops' tails run; the byte after it must stay.
    const std::size_t count = (std::size_t{1} << 24) - 13;
    Bytes rgb(3 * count), luma(count + 1, 0xEE), yellowing(count + 1, 0xEE);
    for (std::size_t i = 0; i < 3 * count; ++i)
        rgb[i] = static_cast<std::uint8_t>(i / 3 >> (16 - 8 * (i % 3)));  // R, G, B of colour i / 3
    reference::correctTones(luma.data(), CorrectionSettings{3, 0}, Bytes(rgb).data(), std::int64_t(count), 3);
    reference::correctTones(yellowing.data(), CorrectionSettings{2, 0}, Bytes(rgb).data(),
                            std::int64_t(count), 3);
    for (std::size_t i = 0; i < count; ++i)
        if (luminance(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]) != luma[i]) FAIL() << "luminance of " << i;
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
    // Table k sends g to (g + k) mod 256 and the pixels pair every g with every channel: all 2^24 (channel,
    // g, t) triples at every target, against the definition (double ratios per pixel, truncated).
    Bytes gray, original;
    for (int g = 0; g < 256; ++g) {
        for (int ch = 0; ch < 256; ++ch) {
            gray.push_back(static_cast<std::uint8_t>(g));
            for (int k : {ch, 255 - ch, ch * 7}) original.push_back(static_cast<std::uint8_t>(k));
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
            const double r = t < g ? static_cast<double>(t) / g : t == 255 ? 0.0 : (255.0 - t) / (255 - g);
            expected[i] =
                t == 255
                    ? 255
                    : static_cast<std::uint8_t>(static_cast<int>(t < g ? ch * r : 255.0 - (255 - ch) * r));
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
    // Below and above the size for counting in pairs, odd tails, and 301-value scanlines as the worker adds.
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
    const bool color = components == 3;
    CorrectTones(color ? fastGray.data() : fast.data(), settings, color ? fast.data() : nullptr, n,
                 components);
    reference::correctTones(color ? slowGray.data() : slow.data(), settings, color ? slow.data() : nullptr, n,
                            components);
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
        // levelShare is the count on 1,000,000 pixels: sqrt(81) - sqrt(0) is 9, no white step; 82 is one.
        levelCounts({{230, 81}}, 128, 1000000), levelCounts({{230, 82}}, 128, 1000000),
        levelCounts({}, 220, 999), levelCounts({}, 221, 999), levelCounts({}, 254, 999),  // steps or not
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
    const auto rgb = makeImage(9, 4, 3, Pattern::Page, 12);
    for (int mode : {-1, 5}) {  // -1: a radio group with no selection
        Bytes color = rgb, gray(36, 0xA5);
        CorrectTones(gray.data(), CorrectionSettings{mode, 1}, color.data(), 36, 3);
        EXPECT_TRUE(color == rgb && gray == Bytes(36, 0xA5)) << "colour mode " << mode;
        Bytes same(rgb.begin(), rgb.begin() + 36);
        CorrectTones(same.data(), CorrectionSettings{1, mode}, nullptr, 36, 1);
        EXPECT_TRUE(std::equal(same.begin(), same.end(), rgb.begin())) << "gray mode " << mode;
    }
}

struct Size {
    int width, height, components;
};

// Every radius 0..10 (and a huge one, acting as 10), all modes (the median of a colour image is its average),
// at every target, against the reference. The sizes are 1 x 1, single rows and columns, windows wider than
// the image, and widths around the vectors (up to 64 samples), the blocks of the running totals and the
// stretches of a row.
TEST(ApplyBlur, MatchesTheReferenceForEveryRadiusAtEveryTarget) {
    const Size sizes[] = {{1, 1, 1},    {1, 30, 1},   {30, 1, 1},   {2, 9, 1},    {5, 5, 1},   {15, 4, 1},
                          {16, 7, 1},   {17, 12, 1},  {21, 21, 1},  {22, 7, 1},   {31, 3, 1},  {33, 5, 1},
                          {47, 31, 1},  {63, 2, 1},   {64, 6, 1},   {65, 11, 1},  {97, 1, 1},  {128, 3, 1},
                          {1023, 3, 1}, {1024, 2, 1}, {1025, 3, 1}, {1100, 2, 1}, {1, 1, 3},   {1, 8, 3},
                          {5, 3, 3},    {6, 5, 3},    {11, 4, 3},   {16, 6, 3},   {21, 2, 3},  {32, 3, 3},
                          {33, 13, 3},  {64, 2, 3},   {65, 3, 3},   {511, 2, 3},  {512, 3, 3}, {513, 2, 3},
                          {530, 3, 3},  {7, 5, 2},    {40, 3, 4}};
    std::uint32_t seed = 100;
    for (const Size s : sizes) {
        for (Pattern pattern : {Pattern::Noise, Pattern::FewLevels, Pattern::Page}) {
            const auto image = makeImage(s.width, s.height, s.components, pattern, ++seed);
            for (int radius = 0; radius <= 11; ++radius) {
                for (BlurMode mode : {BlurMode::None, BlurMode::Average, BlurMode::Median}) {
                    std::vector<std::uint8_t> expected = image;
                    reference::applyBlur(expected.data(), s.width, s.height, s.components,
                                         std::min(radius, 10), mode);
                    forEachTarget([&](const char* target) {
                        std::vector<std::uint8_t> actual = image;
                        ApplyBlur(actual.data(), s.width, s.height, s.components,
                                  radius > 10 ? INT_MAX : radius, mode);
                        ASSERT_EQ(firstDifference(expected, actual, s.width, s.components), "")
                            << s.width << " x " << s.height << " C = " << s.components << " radius " << radius
                            << " pattern " << static_cast<int>(pattern) << " mode " << static_cast<int>(mode)
                            << " " << target;
                    });
                }
            }
        }
    }
}

TEST(AverageBlur, WindowsTallerThan257RowsAtEveryTarget) {
    // Column sums of more than 257 samples leave 16 bits: windows 3 x 301, under the quotient's limit.
    for (int components : {1, 3}) {
        const auto image = makeImage(2, 320, components, Pattern::Noise, 11);
        std::vector<std::uint8_t> expected = image;
        reference::applyBlur(expected.data(), 2, 320, components, 150, BlurMode::Average);
        forEachTarget([&](const char* target) {
            std::vector<std::uint8_t> actual = image;
            averageBlur(BlurImage{actual.data(), 2, 320, components}, 1, 150);
            EXPECT_EQ(firstDifference(expected, actual, 2, components), "") << components << " " << target;
        });
    }
}

TEST(WindowQuotient, EqualsIntegerDivisionForEverySumOfEverySmallWindow) {
    for (std::uint32_t m = 1; m <= kFloatQuotientWindowLimit; ++m) {
        const float inverse = 1.0f / static_cast<float>(m);
        for (std::uint32_t sum = 0; sum <= 255 * m; ++sum) {
            if (windowQuotient(sum, inverse) != sum / m)
                FAIL() << sum << " / " << m << " gave " << int{windowQuotient(sum, inverse)};
        }
    }
}

}  // namespace
}  // namespace pagewash
