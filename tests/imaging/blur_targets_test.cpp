// The window filters at every vector target this processor runs (the widest is what ApplyBlur picks, the
// narrower ones would run elsewhere), against the plain reference. Sizes straddle the vector widths, the
// blocks of the running totals and the stretches of a row.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "imaging/average_blur.h"
#include "imaging/median_blur.h"
#include "tests/imaging/each_target.h"
#include "tests/imaging/reference_correction.h"
#include "tests/imaging/test_images.h"

namespace pagewash {
namespace {

using testing::firstDifference;
using testing::makeImage;
using testing::Pattern;

struct Size {
    int width;
    int height;
};

// The average at every level against the reference, for every radius 0..10 (and `extraRadii`).
void checkAverage(const std::vector<Size>& sizes, int components, const std::vector<int>& radii) {
    std::uint32_t seed = 500 + static_cast<std::uint32_t>(components);
    for (const Size size : sizes) {
        for (Pattern pattern : {Pattern::Noise, Pattern::Page}) {
            const auto image = makeImage(size.width, size.height, components, pattern, ++seed);
            for (int radius : radii) {
                std::vector<std::uint8_t> expected = image;
                reference::applyBlur(expected.data(), size.width, size.height, components, radius,
                                     BlurMode::Average);
                testing::forEachTarget([&](const char* target) {
                    std::vector<std::uint8_t> actual = image;
                    averageBlur(BlurImage{actual.data(), size.width, size.height, components},
                                std::min(radius, size.width - 1), std::min(radius, size.height - 1));
                    ASSERT_EQ(firstDifference(expected, actual, size.width, components), "")
                        << size.width << " x " << size.height << " C = " << components << " radius " << radius
                        << " " << testing::patternName(pattern) << " " << target;
                });
            }
        }
    }
}

std::vector<int> radiiUpTo(int last) {
    std::vector<int> radii;
    for (int r = 0; r <= last; ++r) radii.push_back(r);
    return radii;
}

TEST(BlurTargets, AverageOfGrayRowsAroundVectorAndBlockWidths) {
    // Around the widths of the vectors (up to 64 samples) and of the four stretches of a gray row.
    checkAverage({{1, 9},
                  {2, 3},
                  {15, 4},
                  {16, 7},
                  {17, 12},
                  {31, 3},
                  {33, 5},
                  {63, 2},
                  {64, 6},
                  {65, 11},
                  {97, 1},
                  {128, 3},
                  {1023, 3},
                  {1024, 2},
                  {1025, 3},
                  {1100, 2}},
                 1, radiiUpTo(10));
}

TEST(BlurTargets, AverageOfColourRowsAroundVectorAndBlockWidths) {
    // Around the widths of the vectors, in pixels of three samples.
    checkAverage({{1, 8},
                  {5, 3},
                  {6, 5},
                  {11, 4},
                  {16, 6},
                  {21, 2},
                  {32, 3},
                  {33, 13},
                  {64, 2},
                  {65, 3},
                  {511, 2},
                  {512, 3},
                  {513, 2},
                  {530, 3}},
                 3, radiiUpTo(10));
}

TEST(BlurTargets, AverageWithOtherComponentCounts) {
    checkAverage({{7, 5}, {40, 3}}, 2, {1, 3});
    checkAverage({{7, 5}, {40, 3}}, 4, {1, 3});
}

TEST(BlurTargets, AverageOfWindowsTallerThan257Rows) {
    // Column sums of more than 257 samples leave 16 bits: windows 3 x 301, under the quotient's limit.
    checkAverage({{2, 320}}, 1, {150});
    checkAverage({{2, 320}}, 3, {150});
}

// Position floor(m / 2) of the clipped window's samples in descending order, by a full sort (quicker than
// the reference's bubble passes for tall windows).
std::vector<std::uint8_t> sortedMedians(const std::vector<std::uint8_t>& image, int width, int height,
                                        int radius) {
    std::vector<std::uint8_t> result(image.size());
    std::vector<std::uint8_t> window;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            window.clear();
            for (int wy = std::max(y - radius, 0); wy <= std::min(y + radius, height - 1); ++wy) {
                for (int wx = std::max(x - radius, 0); wx <= std::min(x + radius, width - 1); ++wx) {
                    window.push_back(image[static_cast<std::size_t>(wy * width + wx)]);
                }
            }
            std::sort(window.begin(), window.end(), std::greater<>());
            result[static_cast<std::size_t>(y * width + x)] = window[window.size() / 2];
        }
    }
    return result;
}

void checkMedian(const std::vector<Size>& sizes, const std::vector<int>& radii) {
    std::uint32_t seed = 700;
    for (const Size size : sizes) {
        for (Pattern pattern : {Pattern::Noise, Pattern::FewLevels, Pattern::Page}) {
            const auto image = makeImage(size.width, size.height, 1, pattern, ++seed);
            for (int radius : radii) {
                const auto expected = sortedMedians(image, size.width, size.height, radius);
                testing::forEachTarget([&](const char* target) {
                    std::vector<std::uint8_t> actual = image;
                    medianBlurGray(BlurImage{actual.data(), size.width, size.height, 1},
                                   std::min(radius, size.width - 1), std::min(radius, size.height - 1));
                    ASSERT_EQ(firstDifference(expected, actual, size.width, 1), "")
                        << size.width << " x " << size.height << " radius " << radius << " "
                        << testing::patternName(pattern) << " " << target;
                });
            }
        }
    }
}

TEST(BlurTargets, MedianForEveryRadius) {
    // Rows narrower than, as wide as and wider than the window; one row and one column.
    checkMedian({{1, 30}, {30, 1}, {2, 9}, {5, 5}, {13, 22}, {21, 21}, {22, 7}, {47, 31}, {64, 12}},
                radiiUpTo(10));
}

}  // namespace
}  // namespace pagewash
