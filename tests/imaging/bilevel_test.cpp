// Black-and-white pages: Sauvola's threshold against a plain reference, the removal of specks, the
// Group 4 round trip through libtiff, and the text-page measure on pages of known kinds.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/group4_codec.h"
#include "imaging/text_page_measure.h"

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

// Straight from the definition: the window's sums by summing it, then the shared decision.
BilevelImage referenceSauvola(Gray& image, const SauvolaParameters& params) {
    BilevelImage out(image.width, image.height);
    const int half = params.window / 2;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            std::uint64_t sum = 0, squares = 0, count = 0;
            for (int v = std::max(0, y - half); v <= std::min(image.height - 1, y + half); ++v)
                for (int u = std::max(0, x - half); u <= std::min(image.width - 1, x + half); ++u) {
                    sum += image.at(u, v);
                    squares += std::uint64_t{image.at(u, v)} * image.at(u, v);
                    ++count;
                }
            if (sauvolaBlack(image.at(x, y), static_cast<std::uint32_t>(sum),
                             static_cast<std::uint32_t>(squares), static_cast<std::uint32_t>(count),
                             params.k))
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

TEST(Sauvola, FastBinarizationEqualsTheReferenceBitForBit) {
    struct Size {
        int width, height, window;
    };
    const Size sizes[] = {{1, 1, 15},  {1, 37, 15},  {37, 1, 15},  {8, 8, 3},    {9, 13, 5},
                          {13, 9, 31}, {63, 41, 15}, {64, 64, 61}, {100, 7, 61}, {71, 90, 255}};
    std::uint32_t seed = 1;
    for (const Size& size : sizes) {
        Gray image = scanLike(size.width, size.height, seed++);
        const SauvolaParameters params{size.window, 0.34};
        BilevelImage fast;
        binarizeSauvola(image.pixels.data(), image.width, image.height, static_cast<std::size_t>(image.width),
                        params, fast);
        EXPECT_EQ(fast.bits.size(), fast.stride() * static_cast<std::size_t>(size.height));
        EXPECT_EQ(firstDifference(fast, referenceSauvola(image, params)), "")
            << size.width << " x " << size.height << ", window " << size.window;
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

TEST(Despeckle, RemovesExactlyTheGroupsUpToTheGivenSize) {
    std::mt19937 random(11);
    const int sizes[][2] = {{1, 1}, {1, 40}, {40, 1}, {9, 9}, {33, 17}, {64, 50}};
    for (const auto& size : sizes)
        for (const int density : {5, 30, 60})
            for (const int maxPixels : {0, 1, 2, 5, 40}) {
                BilevelImage image(size[0], size[1]);
                for (int y = 0; y < image.height; ++y)
                    for (int x = 0; x < image.width; ++x)
                        if (static_cast<int>(random() % 100) < density) image.setBlack(x, y);
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
}

}  // namespace
}  // namespace pagewash
