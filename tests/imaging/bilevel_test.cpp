// Black-and-white pages: Sauvola's threshold against a plain reference, the removal of specks, the
// Group 4 round trip through libtiff, and the text-page measure on pages of known kinds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_page.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/color_chroma.h"
#include "imaging/color_content.h"
#include "imaging/group4_codec.h"
#include "imaging/jpeg_codec.h"
#include "imaging/quarter_color_image.h"
#include "imaging/text_page_measure.h"
#include "imaging/tile_samples.h"
#include "tests/imaging/reference_correction.h"
#include "tests/support/test_tools.h"

namespace pagewash {
namespace {

struct Gray {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
    std::uint8_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Paper with a shadow growing to the left, noise, and dark strokes: what a scanned text page holds.
Gray scanLike(int width, int height, std::uint32_t seed) {
    Gray image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height)};
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 4.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double paper = 235.0 - 120.0 * std::max(0.0, 1.0 - 4.0 * x / std::max(width, 1));
            if ((x / 3 + y / 5) % 7 == 0 && (y / 9) % 3 != 2) paper *= 0.25;  // strokes
            image.at(x, y) = static_cast<std::uint8_t>(std::clamp(paper + noise(random), 0.0, 255.0));
        }
    return image;
}

// From the definition: each window's sums from a plain table of 64-bit sums over the rectangle above and
// left of each pixel, then the shared decision.
BilevelImage referenceSauvola(Gray& image, const SauvolaParameters& params) {
    BilevelImage out(image.width, image.height);
    const int half = params.window / 2;
    const auto w = static_cast<std::size_t>(image.width) + 1;
    std::vector<std::uint64_t> sums(w * (static_cast<std::size_t>(image.height) + 1), 0);
    std::vector<std::uint64_t> squares(sums.size(), 0);
    const auto at = [w](int x, int y) {
        return static_cast<std::size_t>(y) * w + static_cast<std::size_t>(x);
    };
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint64_t v = image.at(x, y);
            sums[at(x + 1, y + 1)] = v + sums[at(x, y + 1)] + sums[at(x + 1, y)] - sums[at(x, y)];
            squares[at(x + 1, y + 1)] =
                v * v + squares[at(x, y + 1)] + squares[at(x + 1, y)] - squares[at(x, y)];
        }
    const auto box = [&](const std::vector<std::uint64_t>& table, int x0, int y0, int x1, int y1) {
        return table[at(x1, y1)] - table[at(x0, y1)] - table[at(x1, y0)] + table[at(x0, y0)];
    };
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const int x0 = std::max(0, x - half), x1 = std::min(image.width, x + half + 1);
            const int y0 = std::max(0, y - half), y1 = std::min(image.height, y + half + 1);
            const auto count = static_cast<std::uint32_t>((x1 - x0) * (y1 - y0));
            if (sauvolaBlack(image.at(x, y), static_cast<std::uint32_t>(box(sums, x0, y0, x1, y1)),
                             static_cast<std::uint32_t>(box(squares, x0, y0, x1, y1)), count, params.k))
                out.setBlack(x, y);
        }
    return out;
}

std::string firstDifference(const BilevelImage& a, const BilevelImage& b) {
    if (a.width != b.width || a.height != b.height) return "sizes differ";
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (a.black(x, y) != b.black(x, y))
                return "first difference at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    return {};
}

// At every vector target this processor runs: the edge cases of size and window, then random sizes, odd
// windows, k and pixels (scan-like pages, noise, few levels, flat paper) with rows a stride apart.
TEST(Sauvola, FastBinarizationEqualsTheReferenceBitForBitAtEveryTarget) {
    struct Case {
        int width, height, window;
        double k;
        testing::Pattern pattern;
    };
    std::vector<Case> cases = {
        {1, 1, 15, 0.34, testing::Pattern::Page},   {1, 37, 15, 0.34, testing::Pattern::Page},
        {37, 1, 15, 0.34, testing::Pattern::Page},  {8, 8, 3, 0.34, testing::Pattern::Page},
        {64, 64, 61, 0.34, testing::Pattern::Page}, {71, 90, 255, 0.34, testing::Pattern::Page}};
    std::mt19937 random(5);
    const testing::Pattern patterns[] = {testing::Pattern::Page, testing::Pattern::Noise,
                                         testing::Pattern::FewLevels, testing::Pattern::DarkPage};
    for (int i = 0; i < 60; ++i) {
        cases.push_back({std::uniform_int_distribution<int>(1, 300)(random),
                         std::uniform_int_distribution<int>(1, 120)(random),
                         2 * std::uniform_int_distribution<int>(1, 127)(random) + 1,
                         std::uniform_real_distribution<double>(0.05, 0.6)(random), patterns[i % 4]});
    }
    std::uint32_t seed = 1;
    for (const Case& c : cases) {
        const int pad = static_cast<int>(seed % 5);
        Gray image = seed % 3 == 0
                         ? scanLike(c.width, c.height, seed)
                         : Gray{c.width, c.height, testing::makeImage(c.width, c.height, 1, c.pattern, seed)};
        // A solid black band: windows of nothing but black (a mean of 0) inside it.
        if (seed % 4 == 1)
            for (int y = c.height / 4; y < c.height * 3 / 4; ++y) std::fill_n(&image.at(0, y), c.width, 0);
        ++seed;
        // The same pixels `pad` bytes apart from row to row.
        std::vector<std::uint8_t> strided(static_cast<std::size_t>(c.width + pad) * c.height, 7);
        for (int y = 0; y < c.height; ++y)
            std::copy_n(&image.at(0, y), c.width,
                        strided.begin() + static_cast<std::ptrdiff_t>(y) * (c.width + pad));
        const SauvolaParameters params{c.window, c.k};
        const BilevelImage expected = referenceSauvola(image, params);
        testing::forEachTarget([&](const char* target) {
            BilevelImage fast;
            binarizeSauvola(strided.data(), c.width, c.height, static_cast<std::size_t>(c.width + pad),
                            params, fast);
            EXPECT_EQ(fast.bits.size(), fast.stride() * static_cast<std::size_t>(c.height));
            EXPECT_EQ(firstDifference(fast, expected), "")
                << target << ": " << c.width << " x " << c.height << ", window " << c.window << ", k " << c.k;
        });
    }
}

// The measure's samples of a band at every target: every other pixel of every other row of each tile,
// their lowest and highest level, and for a tile within fewer than `narrow` levels the first level of a
// histogram of them with half the samples at or below it. Bands of paper noise in narrow and wide
// ranges, text, and levels at 0 and 255, rows an odd stride apart.
TEST(TileSamples, EveryTargetTakesTheSamplesAndMediansOfAHistogram) {
    std::mt19937 random(11);
    for (int band = 0; band < 24; ++band) {
        const std::size_t tiles = 1 + static_cast<std::size_t>(band % 9);
        const std::size_t stride = tiles * 32 + static_cast<std::size_t>(band % 3);
        const int centre = std::uniform_int_distribution<int>(0, 255)(random);
        const int spread = band % 4 == 0 ? 255 : 1 + band % 50;
        std::vector<std::uint8_t> pixels(stride * 32);
        for (std::uint8_t& p : pixels)
            p = static_cast<std::uint8_t>(
                std::clamp(centre + std::uniform_int_distribution<int>(-spread, spread)(random), 0, 255));
        if (band % 5 == 1)  // a stroke through the band
            std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(9 * stride), stride * 3, 0);
        const int narrow = band % 2 == 0 ? kToneSpread : 256;
        testing::forEachTarget([&](const char* target) {
            BandSamples samples;
            sampleBand(pixels.data(), stride, tiles, narrow, samples);
            for (std::size_t t = 0; t < tiles; ++t) {
                std::vector<std::uint32_t> histogram(256, 0);
                std::vector<std::uint8_t> expected;
                for (std::size_t y = 0; y < 32; y += 2)
                    for (std::size_t x = 0; x < 32; x += 2)
                        expected.push_back(pixels[y * stride + t * 32 + x]);
                for (const std::uint8_t v : expected) ++histogram[v];
                std::vector<std::uint8_t> taken;
                for (std::size_t r = 0; r < kTileSampleRows; ++r)
                    taken.insert(taken.end(), samples.row(t, r), samples.row(t, r) + kTileSampleRows);
                EXPECT_EQ(taken, expected) << target << ", band " << band << ", tile " << t;
                const auto [low, high] = std::minmax_element(expected.begin(), expected.end());
                EXPECT_EQ(samples.lowest[t], *low) << target << ", band " << band;
                EXPECT_EQ(samples.highest[t], *high) << target << ", band " << band;
                if (*high - *low >= narrow) continue;
                std::uint32_t seen = 0;
                int median = 0;
                while ((seen += histogram[static_cast<std::size_t>(median)]) < (kSamplesPerTile + 1) / 2)
                    ++median;
                EXPECT_EQ(samples.median[t], median) << target << ", band " << band << ", tile " << t;
            }
            // The runs of the band's rows with a pixel below a level: the whole row at a level within the
            // band's, and each run at its own darkest level (none below) and one above (one at least).
            for (std::size_t y = 0; y < 32; y += 7) {
                const std::uint8_t* row = pixels.data() + y * stride;
                const auto level = static_cast<std::uint8_t>(std::clamp(centre - spread / 2, 0, 255));
                std::vector<std::uint8_t> hasDark(tiles, 7);
                findDarkRuns(row, tiles, level, hasDark.data());
                for (std::size_t run = 0; run < tiles; ++run) {
                    const std::uint8_t* first = row + run * 32;
                    EXPECT_EQ(hasDark[run],
                              std::any_of(first, first + 32, [&](int v) { return v < level; }) ? 1 : 0)
                        << target << ", band " << band << ", row " << y << ", level " << int{level};
                    const int darkest = *std::min_element(first, first + 32);
                    std::uint8_t one = 7;
                    findDarkRuns(first, 1, static_cast<std::uint8_t>(darkest), &one);
                    EXPECT_EQ(one, 0) << target << ", band " << band << ", darkest " << darkest;
                    if (darkest == 255) continue;
                    findDarkRuns(first, 1, static_cast<std::uint8_t>(darkest + 1), &one);
                    EXPECT_EQ(one, 1) << target << ", band " << band << ", darkest " << darkest;
                }
            }
        });
    }
}

// The colour measure's reduced page: each pixel the rounded mean of its 4 x 4 block, the edge blocks cut.
TEST(QuarterColorImage, EachPixelIsTheRoundedMeanOfItsBlockAtEveryTarget) {
    const int sizes[][2] = {{1, 1},   {1, 9},    {9, 1},   {4, 4},   {5, 7},    {13, 6},
                            {64, 17}, {203, 11}, {256, 4}, {620, 9}, {1023, 5}, {2480, 8}};
    std::uint32_t seed = 3;
    for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        testing::Bytes rgb = testing::makeImage(width, height, 3, testing::Pattern::Noise, seed++);
        // White bands: sums at their largest.
        if (seed % 2 == 0) std::fill_n(rgb.begin(), std::min<std::size_t>(rgb.size(), width * 12), 255);
        testing::Bytes expected;
        for (int by = 0; by < (height + 3) / 4; ++by)
            for (int bx = 0; bx < (width + 3) / 4; ++bx)
                for (int c = 0; c < 3; ++c) {
                    unsigned sum = 0, n = 0;
                    for (int y = 4 * by; y < std::min(height, 4 * by + 4); ++y)
                        for (int x = 4 * bx; x < std::min(width, 4 * bx + 4); ++x, ++n)
                            sum += rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c];
                    expected.push_back(static_cast<std::uint8_t>((sum + n / 2) / n));
                }
        testing::forEachTarget([&](const char* target) {
            QuarterColorImage quarter;
            quarter.begin(width, height);
            for (int y = 0; y < height; ++y)
                quarter.addRow(rgb.data() + static_cast<std::size_t>(y) * width * 3, y);
            ASSERT_EQ(quarter.count() * 3, expected.size());
            EXPECT_EQ(testing::firstDifference(
                          expected, testing::Bytes(quarter.pixels(), quarter.pixels() + expected.size()),
                          (width + 3) / 4, 3),
                      "")
                << target << ": " << width << " x " << height;
        });
    }
}

TEST(Sauvola, ShadowStaysWhiteAndStrokesTurnBlack) {
    Gray image = scanLike(200, 60, 7);
    BilevelImage bits;
    binarizeSauvola(image.pixels.data(), image.width, image.height, 200, sauvolaParametersForDpi(300), bits);
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const bool stroke = (x / 3 + y / 5) % 7 == 0 && (y / 9) % 3 != 2;
            wrong += bits.black(x, y) != stroke ? 1 : 0;
        }
    // The shadow reaches 115 of 255 at the left edge: a global threshold would blacken it.
    EXPECT_LT(wrong, image.width * image.height / 100);
}

TEST(Sauvola, WindowFollowsTheResolution) {
    EXPECT_EQ(estimatedDpi(2480, 3508), 295);  // A4 at 300 dpi
    EXPECT_EQ(estimatedDpi(2550, 3300), 304);  // Letter at 300 dpi
    EXPECT_EQ(estimatedDpi(3508, 2480), 295);  // landscape
    EXPECT_EQ(sauvolaParametersForDpi(150).window, 29);
    EXPECT_EQ(sauvolaParametersForDpi(300).window, 59);
    EXPECT_EQ(sauvolaParametersForDpi(600).window, 119);
    EXPECT_EQ(sauvolaParametersForDpi(1200).window, 239);
    EXPECT_EQ(sauvolaParametersForDpi(5000).window, kMaxSauvolaWindow);
    EXPECT_EQ(sauvolaParametersForDpi(50).window % 2, 1);
}

// Groups by a plain flood fill with a queue, then removed by size: the definition.
BilevelImage referenceDespeckle(BilevelImage image, int maxPixels) {
    std::vector<int> label(static_cast<std::size_t>(image.width) * image.height, -1);
    BilevelImage out = image;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (!image.black(x, y) || label[static_cast<std::size_t>(y) * image.width + x] >= 0) continue;
            std::vector<std::pair<int, int>> group{{x, y}};
            label[static_cast<std::size_t>(y) * image.width + x] = 1;
            for (std::size_t i = 0; i < group.size(); ++i)
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int u = group[i].first + dx, v = group[i].second + dy;
                        if (u < 0 || v < 0 || u >= image.width || v >= image.height || !image.black(u, v))
                            continue;
                        int& seen = label[static_cast<std::size_t>(v) * image.width + u];
                        if (seen < 0) {
                            seen = 1;
                            group.push_back({u, v});
                        }
                    }
            if (static_cast<int>(group.size()) <= maxPixels)
                for (const auto& [u, v] : group) out.setWhite(u, v);
        }
    return out;
}

// Random specks at three densities, and strokes of text slanted both ways with specks among them; the bits
// past the width, which are no pixels, black in every other image.
TEST(Despeckle, RemovesExactlyTheGroupsUpToTheGivenSize) {
    std::mt19937 random(11);
    const int sizes[][2] = {{1, 1},   {1, 40},   {40, 1},   {9, 9},   {33, 17},
                            {64, 50}, {203, 31}, {130, 70}, {300, 45}};
    bool blackPadding = false;
    for (const auto& size : sizes)
        for (const int density : {5, 30, 60, 0})
            for (const int maxPixels : {0, 1, 2, 5, 40}) {
                BilevelImage image(size[0], size[1]);
                for (int y = 0; y < image.height; ++y)
                    for (int x = 0; x < image.width; ++x) {
                        const bool stroke = (x / 2 + y / 3) % 9 == 0 || ((x + 40) / 3 - y / 2) % 11 == 0;
                        const bool black = density > 0 ? static_cast<int>(random() % 100) < density
                                                       : (stroke && y % 13 != 0) || random() % 50 == 0;
                        if (black) image.setBlack(x, y);
                    }
                blackPadding = !blackPadding;
                if (blackPadding)
                    for (int y = 0; y < image.height; ++y)
                        image.row(y)[image.stride() - 1] |=
                            static_cast<std::uint8_t>(0xFFu >> (image.width % 8 == 0 ? 8 : image.width % 8));
                BilevelImage fast = image;
                despeckle(fast, maxPixels);
                EXPECT_EQ(firstDifference(fast, referenceDespeckle(image, maxPixels)), "")
                    << size[0] << " x " << size[1] << ", density " << density << ", max " << maxPixels;
            }
}

TEST(Group4, LibtiffDecodesWhatItCodedBitForBit) {
    std::mt19937 random(3);
    const int sizes[][2] = {{1, 1}, {1, 50}, {50, 1}, {7, 3}, {9, 9}, {100, 37}, {257, 64}};
    for (const auto& size : sizes) {
        BilevelImage image(size[0], size[1]);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                if ((x / 4 + y / 3) % 5 == 0 || random() % 50 == 0) image.setBlack(x, y);
        const auto coded = encodeGroup4(image);
        ASSERT_TRUE(coded.has_value()) << size[0] << " x " << size[1];
        const auto decoded = decodeGroup4(*coded, image.width, image.height);
        ASSERT_TRUE(decoded.has_value()) << size[0] << " x " << size[1];
        EXPECT_EQ(firstDifference(*decoded, image), "") << size[0] << " x " << size[1];
    }
    EXPECT_FALSE(encodeGroup4(BilevelImage(0, 5)).has_value());
}

TEST(Group4, WhitePageCodesToAFewBytes) {
    const auto coded = encodeGroup4(BilevelImage(2480, 3508));
    ASSERT_TRUE(coded.has_value());
    EXPECT_LT(coded->size(), 2000u);
}

// The colour measure's chroma in vectors against one pixel at a time, untinted and on three paper tints,
// then its luma and sums of bright pixels, at every target: every R and G with sixteen levels of B.
TEST(ColorChroma, VectorLevelsAndSumsEqualThePlainStepsAtEveryTarget) {
    testing::Bytes rgb;
    for (int b = 0; b < 256; b += 17)
        for (int g = 0; g < 256; ++g)
            for (int r = 0; r < 256; ++r)
                rgb.insert(rgb.end(), {std::uint8_t(r), std::uint8_t(g), std::uint8_t(b)});
    const std::size_t count = rgb.size() / 3 - 5;  // a few left for the caller
    const float tints[][2] = {{0.0f, 0.0f}, {0.6f, 0.8f}, {-0.28f, 0.96f}, {1.0f, 0.0f}};
    for (const auto& tint : tints) {
        const bool tinted = tint[0] != 0.0f || tint[1] != 0.0f;
        const float ua = tint[0], ub = tint[1];
        testing::Bytes expected(count);
        for (std::size_t i = 0; i < count; ++i) {
            const int r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
            const float a = static_cast<float>(r - g);
            const float yb = static_cast<float>(r + g) / 2.0f - static_cast<float>(b);
            const float chroma =
                tinted ? std::max(std::fabs(yb * ua - a * ub), -(a * ua + yb * ub)) : std::hypot(a, yb);
            expected[i] = static_cast<std::uint8_t>(static_cast<int>(std::clamp(chroma, 0.0f, 255.0f)));
        }
        testing::forEachTarget([&](const char* target) {
            testing::Bytes levels(count, 0);
            const std::size_t done = chromaLevels(rgb.data(), count, tinted, ua, ub, levels.data());
            EXPECT_GT(done + 64, count) << target;
            std::copy(expected.begin() + static_cast<std::ptrdiff_t>(done), expected.end(),
                      levels.begin() + static_cast<std::ptrdiff_t>(done));
            EXPECT_EQ(testing::firstDifference(expected, levels, 256, 1), "")
                << target << ", tint " << ua << " " << ub;
        });
    }
    // The paper's steps: the luma of each pixel, and the sums of the pixels at or above a luma level.
    testing::Bytes lumas(count);
    for (std::size_t i = 0; i < count; ++i)
        lumas[i] =
            static_cast<std::uint8_t>((77 * rgb[3 * i] + 150 * rgb[3 * i + 1] + 29 * rgb[3 * i + 2]) >> 8);
    testing::forEachTarget([&](const char* target) {
        testing::Bytes levels(count, 0);
        const std::size_t done = lumaLevels(rgb.data(), count, levels.data());
        EXPECT_GT(done + 64, count) << target;
        std::copy(lumas.begin() + static_cast<std::ptrdiff_t>(done), lumas.end(),
                  levels.begin() + static_cast<std::ptrdiff_t>(done));
        EXPECT_EQ(testing::firstDifference(lumas, levels, 256, 1), "") << target;
        for (const unsigned from : {0u, 1u, 128u, 254u, 255u, 256u})
            for (const std::size_t pixels : {count, std::size_t{1}, std::size_t{100003}}) {
                std::array<std::uint64_t, 3> expectedSum{};
                std::uint64_t expectedTaken = 0;
                for (std::size_t i = 0; i < pixels; ++i) {
                    if (lumas[i] < from) continue;
                    for (std::size_t c = 0; c < 3; ++c) expectedSum[c] += rgb[3 * i + c];
                    ++expectedTaken;
                }
                std::array<std::uint64_t, 3> sum{1, 2, 3};
                std::uint64_t taken = 4;
                addBrightPixels(rgb.data(), pixels, from, sum, taken);
                EXPECT_EQ(sum, (std::array<std::uint64_t, 3>{expectedSum[0] + 1, expectedSum[1] + 2,
                                                             expectedSum[2] + 3}))
                    << target << ", from " << from << ", " << pixels << " pixels";
                EXPECT_EQ(taken, expectedTaken + 4)
                    << target << ", from " << from << ", " << pixels << " pixels";
            }
    });
}

// The colour measure as plainly as it can be said: the paper from the brightest tenth by luma, the chroma of
// each pixel one at a time.
ColorContent plainColorContent(const testing::Bytes& rgb) {
    ColorContent content;
    content.pixels = rgb.size() / 3;
    const auto luma = [&](std::size_t i) {
        return (77 * rgb[3 * i] + 150 * rgb[3 * i + 1] + 29 * rgb[3 * i + 2]) >> 8;
    };
    std::array<std::uint64_t, 256> byLuma{};
    for (std::size_t i = 0; i < content.pixels; ++i) ++byLuma[luma(i)];
    int from = 256;
    for (std::uint64_t above = 0; from > 0 && above < std::max<std::uint64_t>(1, content.pixels / 10);)
        above += byLuma[--from];
    std::array<std::uint64_t, 3> sum{};
    std::uint64_t taken = 0;
    for (std::size_t i = 0; i < content.pixels; ++i)
        if (luma(i) >= from) {
            for (std::size_t c = 0; c < 3; ++c) sum[c] += rgb[3 * i + c];
            ++taken;
        }
    for (std::size_t c = 0; c < 3; ++c)
        content.paper[c] = taken == 0 ? 255 : static_cast<int>(sum[c] / taken);
    const float castA = static_cast<float>(content.paper[0] - content.paper[1]);
    const float castB =
        static_cast<float>(content.paper[0] + content.paper[1]) / 2.0f - static_cast<float>(content.paper[2]);
    const float length = std::hypot(castA, castB);
    const bool tinted = length >= 4.0f;
    const float ua = tinted ? castA / length : 0.0f, ub = tinted ? castB / length : 0.0f;
    for (std::size_t i = 0; i < content.pixels; ++i) {
        const float a = static_cast<float>(rgb[3 * i] - rgb[3 * i + 1]);
        const float b =
            static_cast<float>(rgb[3 * i] + rgb[3 * i + 1]) / 2.0f - static_cast<float>(rgb[3 * i + 2]);
        const float chroma =
            tinted ? std::max(std::fabs(b * ua - a * ub), -(a * ua + b * ub)) : std::hypot(a, b);
        ++content.chroma[static_cast<std::size_t>(std::clamp(chroma, 0.0f, 255.0f))];
    }
    return content;
}

// The reduced page and the measure on it, at every target, on real colour scans (notes in coloured pen, a
// yellowed page) and on noise, against the plain steps.
TEST(ColorContent, ReducedPageAndMeasureEqualThePlainStepsOnRealPagesAtEveryTarget) {
    std::vector<DecodedImage> pages;
    for (const char* name : {"noteshrink_notesA1_800.jpg", "pagedewarp_linguistics_thesis_a_900.jpg"}) {
        std::FILE* file = std::fopen(testing::dataFile(name).c_str(), "rb");
        ASSERT_NE(file, nullptr) << name;
        DecodedImage& image = pages.emplace_back();
        const bool decoded = decodeJpeg(file, image);
        std::fclose(file);
        ASSERT_TRUE(decoded && image.components == 3) << name;
    }
    DecodedImage& noise = pages.emplace_back();
    noise.width = 333;
    noise.height = 101;
    noise.components = 3;
    const testing::Bytes noisePixels =
        testing::makeImage(noise.width, noise.height, 3, testing::Pattern::Noise, 9);
    noise.pixels = std::make_unique<std::uint8_t[]>(noisePixels.size());
    std::copy(noisePixels.begin(), noisePixels.end(), noise.pixels.get());
    for (const DecodedImage& image : pages) {
        const auto width = static_cast<std::size_t>(image.width);
        testing::Bytes expected;
        for (int by = 0; by < (image.height + 3) / 4; ++by)
            for (std::size_t bx = 0; bx < (width + 3) / 4; ++bx)
                for (std::size_t c = 0; c < 3; ++c) {
                    unsigned sum = 0, n = 0;
                    for (int y = 4 * by; y < std::min(image.height, 4 * by + 4); ++y)
                        for (std::size_t x = 4 * bx; x < std::min(width, 4 * bx + 4); ++x, ++n)
                            sum += image.pixels[(static_cast<std::size_t>(y) * width + x) * 3 + c];
                    expected.push_back(static_cast<std::uint8_t>((sum + n / 2) / n));
                }
        const ColorContent plain = plainColorContent(expected);
        testing::forEachTarget([&](const char* target) {
            QuarterColorImage quarter;
            quarter.begin(image.width, image.height);
            for (int y = 0; y < image.height; ++y) quarter.addRow(image.pixels.get() + y * width * 3, y);
            const testing::Bytes reduced(quarter.pixels(), quarter.pixels() + quarter.count() * 3);
            ASSERT_EQ(testing::firstDifference(expected, reduced, image.width / 4 + 1, 3), "") << target;
            ColorContent content;
            measureColorContent(quarter.pixels(), quarter.count(), content);
            EXPECT_EQ(content.paper, plain.paper) << target << ", " << image.width << " x " << image.height;
            EXPECT_EQ(content.chroma, plain.chroma) << target << ", " << image.width << " x " << image.height;
            EXPECT_EQ(content.pixels, plain.pixels) << target;
        });
    }
}

// The corrected scanlines are used where the decoding holds them: no copy of the page is counted, only
// what a colour page adds (its reduced page for the colour measure, its gray page when it stays colour).
TEST(BilevelMemory, CountsNoCopyOfThePage) {
    const std::uint64_t pixels = 2480 * 3508;
    const std::uint64_t gray = bilevelMemoryNeed(2480, 3508, 1, 1);
    EXPECT_GE(gray, pixels / 2);  // the bits, and either the two planes or the Group 4 coding's copies
    EXPECT_LT(gray, pixels * 6 / 10);
    EXPECT_EQ(bilevelMemoryNeed(2480, 3508, 3, 1) - gray, QuarterColorImage::memoryNeed(2480, 3508));
    EXPECT_EQ(bilevelMemoryNeed(2480, 3508, 3, 3) - bilevelMemoryNeed(2480, 3508, 3, 1), pixels);
    EXPECT_EQ(bilevelMemoryNeed(0, 0, 1, 1), 0u);
}

// The measure on pages of known kinds, made here: 320 x 320 pixels, 100 tiles.
Gray page(int kind) {
    Gray image{320, 320, std::vector<std::uint8_t>(320 * 320, 240)};
    std::mt19937 random(5);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x) {
            double v = 240.0 - 100.0 * std::max(0.0, 1.0 - x / 80.0);      // a shadow on the left
            const bool figure = x >= 64 && x < 256 && y >= 64 && y < 256;  // no text around a figure
            const bool stroke = (x / 2 + y / 6) % 5 == 0 && (y / 12) % 2 == 0 && (kind == 0 || !figure);
            if (stroke) v = 20.0;
            if (kind == 1 && x >= 128 && y >= 128 && x < 256 && y < 256)
                v = 40.0 + (x * 7 + y * 3) % 180;  // photo
            if (kind == 2 && x >= 100 && x < 220 && y >= 100 && y < 220)
                v = 140.0;  // a gray fill with an edge
            image.at(x, y) = static_cast<std::uint8_t>(std::clamp(v + noise(random), 0.0, 255.0));
        }
    return image;
}

TEST(TextPageMeasure, TellsTextFromPhotosAndFills) {
    Gray text = page(0), photo = page(1), fill = page(2);
    const ToneMeasure textMeasure = measureTone(text.pixels.data(), 320, 320, 320);
    EXPECT_EQ(textMeasure.tiles, 100);
    EXPECT_TRUE(textMeasure.isTextPage()) << textMeasure.tonalShare();
    const ToneMeasure photoMeasure = measureTone(photo.pixels.data(), 320, 320, 320);
    EXPECT_FALSE(photoMeasure.isTextPage());
    EXPECT_GE(photoMeasure.tonalTiles, 9);
    EXPECT_FALSE(measureTone(fill.pixels.data(), 320, 320, 320).isTextPage());
    // Too small to judge: fewer than 16 whole tiles.
    EXPECT_FALSE(measureTone(text.pixels.data(), 120, 120, 320).isTextPage());
    EXPECT_EQ(measureTone(text.pixels.data(), 31, 320, 320).tiles, 0);
    // Band by band, as --bilevel takes it beside the threshold: a text page is never known to be none
    // before its end; the photo is, once its tonal tiles pass the share, and so stays.
    for (Gray* gray : {&text, &photo, &fill}) {
        ToneMeasurer measurer(gray->pixels.data(), 320, 320, 320);
        int knownAt = -1;
        while (measurer.bandsMeasured() < measurer.bands()) {
            measurer.measureNextBand();
            if (knownAt < 0 && measurer.knownNoTextPage()) knownAt = measurer.bandsMeasured();
            EXPECT_TRUE(knownAt < 0 || measurer.knownNoTextPage());
        }
        const ToneMeasure measure = measurer.finish();
        EXPECT_EQ(measure.tonalTiles, measureTone(gray->pixels.data(), 320, 320, 320).tonalTiles);
        EXPECT_TRUE(gray != &text || knownAt == -1);
        EXPECT_TRUE(gray != &photo || (knownAt > 0 && knownAt < measurer.bands())) << knownAt;
        EXPECT_TRUE(knownAt < 0 || !measure.isTextPage());
    }
}

}  // namespace
}  // namespace pagewash
