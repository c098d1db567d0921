#include "imaging/blur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <vector>

#include "imaging/average_blur.h"
#include "tests/imaging/reference_correction.h"
#include "tests/imaging/test_images.h"

namespace pagewash {
namespace {

using testing::firstDifference;
using testing::makeImage;
using testing::Pattern;

std::vector<std::uint8_t> blurred(std::vector<std::uint8_t> image, int width, int height, int components,
                                  int radius, BlurMode mode) {
    ApplyBlur(image.data(), width, height, components, radius, mode);
    return image;
}

TEST(ApplyBlur, InteriorThreeByThreeAverageAndMedian) {
    // Samples summing to 1,000 around the centre of a 3 x 3 image.
    const std::vector<std::uint8_t> image = {100, 90, 120, 200, 10, 130, 110, 60, 80};
    ASSERT_EQ(std::accumulate(image.begin(), image.end(), 0), 900);
    std::vector<std::uint8_t> thousand = image;
    thousand[4] = 110;  // now 1,000
    EXPECT_EQ(blurred(thousand, 3, 3, 1, 1, BlurMode::Average)[4], 111);
    // Descending: 200 130 120 110 110 100 90 80 60: the 5th largest is 110.
    EXPECT_EQ(blurred(thousand, 3, 3, 1, 1, BlurMode::Median)[4], 110);
}

TEST(ApplyBlur, ClippedWindowsAtCornersAndEdges) {
    // 4 x 3 image; at the corner (0, 0) the window holds 4 pixels, on the edge (1, 0) it holds 6.
    const std::vector<std::uint8_t> image = {10, 40, 20, 90,  //
                                             30, 70, 50, 5,   //
                                             60, 80, 0,  255};
    const auto average = blurred(image, 4, 3, 1, 1, BlurMode::Average);
    EXPECT_EQ(average[0], (10 + 40 + 30 + 70) / 4);
    EXPECT_EQ(average[1], (10 + 40 + 20 + 30 + 70 + 50) / 6);
    const auto median = blurred(image, 4, 3, 1, 1, BlurMode::Median);
    EXPECT_EQ(median[0], 30);  // {10, 40, 30, 70}: the second smallest
    EXPECT_EQ(median[1], 30);  // {10, 40, 20, 30, 70, 50}: the third smallest
}

TEST(ApplyBlur, SingleRowAndSingleColumnClipToTheLine) {
    const std::vector<std::uint8_t> line = {9, 1, 8, 2, 7, 3, 6};
    const auto row = blurred(line, 7, 1, 1, 2, BlurMode::Median);
    const auto column = blurred(line, 1, 7, 1, 2, BlurMode::Median);
    EXPECT_EQ(row, column);
    EXPECT_EQ(row[3], 3);  // window {1, 8, 2, 7, 3}
    EXPECT_EQ(blurred(line, 7, 1, 1, 2, BlurMode::Average)[0], (9 + 1 + 8) / 3);
}

TEST(ApplyBlur, IdentityCases) {
    const std::vector<std::uint8_t> one = {77};
    const auto noise = makeImage(13, 11, 1, Pattern::Noise, 3);
    const auto colourNoise = makeImage(13, 11, 3, Pattern::Noise, 4);
    for (BlurMode mode : {BlurMode::Average, BlurMode::Median}) {
        EXPECT_EQ(blurred(one, 1, 1, 1, 10, mode), one);
        EXPECT_EQ(blurred(noise, 13, 11, 1, 0, mode), noise);
        EXPECT_EQ(blurred(colourNoise, 13, 11, 3, 0, mode), colourNoise);
        const std::vector<std::uint8_t> uniform(13 * 11 * 3, 201);
        EXPECT_EQ(blurred(uniform, 13, 11, 3, 4, mode), uniform);
        EXPECT_EQ(blurred(uniform, 39, 11, 1, 4, mode), uniform);
    }
    EXPECT_EQ(blurred(noise, 13, 11, 1, 3, BlurMode::None), noise);
}

TEST(ApplyBlur, ColourMedianIsTheAverage) {
    const auto image = makeImage(29, 23, 3, Pattern::Noise, 5);
    for (int radius : {1, 4}) {
        EXPECT_EQ(blurred(image, 29, 23, 3, radius, BlurMode::Median),
                  blurred(image, 29, 23, 3, radius, BlurMode::Average));
    }
}

TEST(ApplyBlur, WindowLargerThanTheImageGivesTheMeanEverywhere) {
    const auto image = makeImage(5, 5, 1, Pattern::Noise, 6);
    const int mean = std::accumulate(image.begin(), image.end(), 0) / 25;
    EXPECT_EQ(blurred(image, 5, 5, 1, 10, BlurMode::Average),
              std::vector<std::uint8_t>(25, static_cast<std::uint8_t>(mean)));
}

TEST(ApplyBlur, MatchesTheReferenceForEveryRadius) {
    const std::vector<std::pair<int, int>> sizes = {{1, 1}, {1, 45}, {45, 1},  {2, 2},
                                                    {7, 5}, {22, 3}, {23, 19}, {41, 36}};
    const Pattern patterns[] = {Pattern::Noise, Pattern::FewLevels, Pattern::Page};
    std::uint32_t seed = 100;
    for (int radius = 0; radius <= 10; ++radius) {
        for (auto [width, height] : sizes) {
            for (Pattern pattern : patterns) {
                for (int components : {1, 3}) {
                    const auto image = makeImage(width, height, components, pattern, ++seed);
                    for (BlurMode mode : {BlurMode::Average, BlurMode::Median}) {
                        std::vector<std::uint8_t> expected = image;
                        reference::applyBlur(expected.data(), width, height, components, radius, mode);
                        ASSERT_EQ(
                            firstDifference(expected, blurred(image, width, height, components, radius, mode),
                                            width, components),
                            "")
                            << width << " x " << height << " C = " << components << " radius " << radius
                            << " " << testing::patternName(pattern)
                            << (mode == BlurMode::Median ? " median" : " average");
                    }
                }
            }
        }
    }
}

TEST(ApplyBlur, MatchesTheReferenceOnAPageSizedImage) {
    const int width = 1240, height = 1754;  // A4 at 150 dpi
    const auto gray = makeImage(width, height, 1, Pattern::Page, 7);
    for (auto [radius, mode] : {std::pair{1, BlurMode::Median}, std::pair{3, BlurMode::Average}}) {
        std::vector<std::uint8_t> expected = gray;
        reference::applyBlur(expected.data(), width, height, 1, radius, mode);
        ASSERT_EQ(firstDifference(expected, blurred(gray, width, height, 1, radius, mode), width, 1), "")
            << radius;
    }
    const auto colour = makeImage(width, height, 3, Pattern::Page, 8);
    std::vector<std::uint8_t> expected = colour;
    reference::applyBlur(expected.data(), width, height, 3, 2, BlurMode::Average);
    ASSERT_EQ(firstDifference(expected, blurred(colour, width, height, 3, 2, BlurMode::Average), width, 3),
              "");
}

TEST(ApplyBlur, HugeRadiusActsAsTheWholeImage) {
    const auto image = makeImage(9, 4, 1, Pattern::Noise, 9);
    for (BlurMode mode : {BlurMode::Average, BlurMode::Median}) {
        EXPECT_EQ(blurred(image, 9, 4, 1, 2147483647, mode), blurred(image, 9, 4, 1, 8, mode));
    }
}

}  // namespace
}  // namespace pagewash

namespace pagewash {
namespace {

TEST(WindowQuotient, EqualsIntegerDivisionForEverySumOfEverySmallWindow) {
    for (std::uint32_t m = 1; m <= kFloatQuotientWindowLimit; ++m) {
        const float inverse = 1.0f / static_cast<float>(m);
        for (std::uint32_t sum = 0; sum <= 255 * m; ++sum) {
            if (windowQuotient(sum, inverse) != sum / m) {
                FAIL() << sum << " / " << m << " gave " << int{windowQuotient(sum, inverse)};
            }
        }
    }
}

}  // namespace
}  // namespace pagewash
