#include "imaging/blur.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "imaging/average_blur.h"
#include "tests/imaging/reference_correction.h"

namespace pagewash {
namespace {

using testing::firstDifference;
using testing::makeImage;
using testing::Pattern;

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
                    testing::forEachTarget([&](const char* target) {
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
        testing::forEachTarget([&](const char* target) {
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
            if (windowQuotient(sum, inverse) != sum / m) {
                FAIL() << sum << " / " << m << " gave " << int{windowQuotient(sum, inverse)};
            }
        }
    }
}

}  // namespace
}  // namespace pagewash
