#include "imaging/tone_correction.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "tests/imaging/reference_correction.h"
#include "tests/imaging/test_images.h"

namespace pagewash {
namespace {

using testing::firstDifference;
using testing::makeImage;
using testing::Pattern;

CorrectionSettings settingsFor(ColorMode color, GrayMode gray) {
    CorrectionSettings settings;
    settings.colorMode = static_cast<std::int32_t>(color);
    settings.grayMode = static_cast<std::int32_t>(gray);
    return settings;
}

// Runs CorrectTones on one pixel per colour and returns the colour buffer and the gray buffer.
struct Corrected {
    std::vector<std::uint8_t> color;
    std::vector<std::uint8_t> gray;
};

Corrected correctColor(const std::vector<std::uint8_t>& rgb, const CorrectionSettings& settings) {
    Corrected out{rgb, std::vector<std::uint8_t>(rgb.size() / 3, 0xA5)};
    CorrectTones(out.gray.data(), settings, out.color.data(), static_cast<std::int64_t>(out.gray.size()), 3);
    return out;
}

std::vector<std::uint8_t> correctGray(std::vector<std::uint8_t> gray, const CorrectionSettings& settings) {
    CorrectTones(gray.data(), settings, nullptr, static_cast<std::int64_t>(gray.size()), 1);
    return gray;
}

std::vector<std::uint8_t> allLevels() {
    std::vector<std::uint8_t> levels(256);
    for (int v = 0; v < 256; ++v) levels[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v);
    return levels;
}

TEST(Luminance, EqualsTheDoubleFormulaForAllColours) {
    int mismatches = 0;
    for (int r = 0; r < 256; ++r) {
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const auto fast = luminance(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                            static_cast<std::uint8_t>(b));
                if (fast != reference::luminance(r, g, b) && ++mismatches <= 5) {
                    ADD_FAILURE() << "(" << r << ", " << g << ", " << b << "): " << int{fast}
                                  << " instead of " << int{reference::luminance(r, g, b)};
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Luminance, ColoursWhoseDoubleSumFallsBelowAnIntegerTruncateDown) {
    // 0.298912 * 66 + 0.586611 * 142 + 0.114478 * 157 is exactly 121, but the double sum is
    // 120.99999999999999.
    EXPECT_EQ(luminance(66, 142, 157), 120);
    EXPECT_EQ(luminance(172, 42, 183), 96);
    EXPECT_EQ(luminance(13, 192, 144), 133);  // an exact integer the double sum keeps
    for (int v = 0; v < 256; ++v) {
        const auto level = static_cast<std::uint8_t>(v);
        EXPECT_EQ(luminance(level, level, level), level);
    }
}

TEST(CorrectTones, ManualTableWithTheDefaultReferences) {
    CorrectionSettings settings = settingsFor(ColorMode::None, GrayMode::Manual);
    settings.grayBlack = 5;
    settings.grayWhite = 85;  // B = 12, Wt = 216
    const auto table = correctGray(allLevels(), settings);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[12], 0);
    EXPECT_EQ(table[13], 1);
    EXPECT_EQ(table[20], 10);
    EXPECT_EQ(table[100], 110);
    EXPECT_EQ(table[200], 235);
    EXPECT_EQ(table[215], 253);
    EXPECT_EQ(table[216], 255);
    EXPECT_EQ(table[255], 255);
}

TEST(CorrectTones, ManualColourKeepsHueWhenDarkeningAndScalesDistanceFromWhite) {
    CorrectionSettings settings = settingsFor(ColorMode::Manual, GrayMode::None);
    const auto out = correctColor({30, 18, 10, 130, 95, 60, 250, 240, 200, 40, 40, 40}, settings);
    EXPECT_EQ(out.color, (std::vector<std::uint8_t>{15, 9, 5, 138, 105, 72, 255, 255, 255, 35, 35, 35}));
    EXPECT_EQ(out.gray, (std::vector<std::uint8_t>{20, 101, 238, 40}));  // the luminance stays in grayBuffer
}

TEST(CorrectTones, YellowingRemovalLiftsColouredPixelsTowardWhite) {
    const auto out = correctColor({240, 230, 180, 30, 30, 25, 10, 10, 10, 16, 16, 16, 0, 0, 255},
                                  settingsFor(ColorMode::YellowingRemoval, GrayMode::None));
    EXPECT_EQ(out.gray, (std::vector<std::uint8_t>{255, 34, 10, 16, 255}));
    EXPECT_EQ(out.color,
              (std::vector<std::uint8_t>{240, 230, 180, 30, 30, 25, 10, 10, 10, 16, 16, 16, 0, 0, 255}));
}

TEST(CorrectTones, GrayscaleGivesTheLuminanceThenTheGrayCorrection) {
    const std::vector<std::uint8_t> rgb = {30, 18, 10, 130, 95, 60, 250, 240, 200};
    EXPECT_EQ(correctColor(rgb, settingsFor(ColorMode::Grayscale, GrayMode::None)).gray,
              (std::vector<std::uint8_t>{20, 101, 238}));
    CorrectionSettings manual = settingsFor(ColorMode::Grayscale, GrayMode::Manual);
    manual.colorBlack = 0;  // the colour references do not apply to an image turned gray
    manual.colorWhite = 100;
    EXPECT_EQ(correctColor(rgb, manual).gray, (std::vector<std::uint8_t>{10, 111, 255}));
}

TEST(CorrectTones, ColourModeNoneTouchesNothingWhateverTheGrayMode) {
    const auto rgb = makeImage(17, 5, 3, Pattern::Page, 7);
    for (GrayMode gray : {GrayMode::None, GrayMode::Auto, GrayMode::Manual}) {
        const auto out = correctColor(rgb, settingsFor(ColorMode::None, gray));
        EXPECT_EQ(out.color, rgb);
        EXPECT_EQ(out.gray, std::vector<std::uint8_t>(rgb.size() / 3, 0xA5));
    }
}

TEST(CorrectTones, ModesOutsideTheirEnumerationsActAsNone) {
    // A radio group with no selection reads as -1.
    const auto rgb = makeImage(9, 4, 3, Pattern::Page, 12);
    CorrectionSettings settings = settingsFor(ColorMode::None, GrayMode::Auto);
    settings.colorMode = -1;
    EXPECT_EQ(correctColor(rgb, settings).color, rgb);
    settings.colorMode = 5;
    EXPECT_EQ(correctColor(rgb, settings).color, rgb);
    const auto gray = makeImage(9, 4, 1, Pattern::Page, 13);
    settings.grayMode = -1;
    EXPECT_EQ(correctGray(gray, settings), gray);
}

TEST(CorrectTones, GrayInputIgnoresTheColourMode) {
    const auto gray = makeImage(31, 9, 1, Pattern::Page, 8);
    const auto expected = correctGray(gray, settingsFor(ColorMode::None, GrayMode::Auto));
    for (ColorMode color :
         {ColorMode::Auto, ColorMode::YellowingRemoval, ColorMode::Grayscale, ColorMode::Manual}) {
        EXPECT_EQ(correctGray(gray, settingsFor(color, GrayMode::Auto)), expected);
    }
    EXPECT_EQ(correctGray(gray, settingsFor(ColorMode::Auto, GrayMode::None)), gray);
}

TEST(CorrectTones, EqualManualReferencesGiveAThreshold) {
    CorrectionSettings settings = settingsFor(ColorMode::None, GrayMode::Manual);
    for (int reference : {0, 50, 100}) {
        settings.grayBlack = settings.grayWhite = reference;
        const int level = reference * 255 / 100;
        const auto table = correctGray(allLevels(), settings);
        for (int v = 0; v < 256; ++v) {
            ASSERT_EQ(table[static_cast<std::size_t>(v)], v < level ? 0 : 255)
                << "reference " << reference << " level " << v;
        }
    }
}

// A 1,000,000-pixel gray image: there levelShare equals the pixel count of each level.
std::vector<std::uint8_t> millionPixels(std::initializer_list<std::pair<int, int>> levelCounts, int rest) {
    std::vector<std::uint8_t> image;
    image.reserve(1000000);
    for (auto [level, count] : levelCounts)
        image.insert(image.end(), static_cast<std::size_t>(count), static_cast<std::uint8_t>(level));
    image.resize(1000000, static_cast<std::uint8_t>(rest));
    return image;
}

TEST(CorrectTones, AutomaticWhiteNeedsAStepAboveNine) {
    const CorrectionSettings settings = settingsFor(ColorMode::None, GrayMode::Auto);
    // sqrt(81) - sqrt(0) is exactly 9.0: no white level there; the rest at 128 puts the black level at 50.
    auto out = correctGray(millionPixels({{230, 81}}, 128), settings);
    EXPECT_EQ(out[0], (230 - 50) * 255 / (255 - 50));
    out = correctGray(millionPixels({{230, 82}}, 128), settings);
    EXPECT_EQ(out[0], 255);  // Wt = 230
    EXPECT_EQ(out.back(), (128 - 50) * 255 / (230 - 50));
}

TEST(CorrectTones, AutomaticWhiteOfASingleLevelPage) {
    const CorrectionSettings settings = settingsFor(ColorMode::None, GrayMode::Auto);
    for (int level : {221, 240, 254}) {
        EXPECT_EQ(correctGray(std::vector<std::uint8_t>(999, static_cast<std::uint8_t>(level)), settings)[0],
                  255)
            << level;
    }
    // Level 220 finds no step: Wt = 255; no level qualifies as black (rank(0) is 0 up to 219), L = 219, B
    // = 50.
    EXPECT_EQ(correctGray(std::vector<std::uint8_t>(999, 220), settings)[0], (220 - 50) * 255 / 205);
}

TEST(CorrectTones, AutomaticBlackToleratesMoreDarkPixelsOnLargerImages) {
    const CorrectionSettings settings = settingsFor(ColorMode::None, GrayMode::Auto);
    // 0.5 % at level 10, 1 % at 20, the rest at 200. On 1,000,000 pixels S(20) = 15,000 >= 10,000: L = 19, B
    // = 9.
    auto out = correctGray(millionPixels({{10, 5000}, {20, 10000}}, 200), settings);
    EXPECT_EQ(out[0], (10 - 9) * 255 / (255 - 9));
    EXPECT_EQ(out[5000], (20 - 9) * 255 / (255 - 9));
    // The same shape on 4,000,000 pixels: S stays below 40,000 up to level 199: L = 199, B = 50.
    std::vector<std::uint8_t> large(4000000, 200);
    std::fill_n(large.begin(), 20000, std::uint8_t{10});
    std::fill_n(large.begin() + 20000, 40000, std::uint8_t{20});
    out = correctGray(large, settings);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[20000], 0);
    EXPECT_EQ(out.back(), (200 - 50) * 255 / 205);
}

TEST(CorrectTones, NoQualifyingBlackLevelUsesZero) {
    // One pixel of ten at level 0: rank(0) = 100,000 * 100 / 10 >= 1, no level qualifies.
    std::vector<std::uint8_t> gray = {0, 100, 100, 100, 100, 100, 100, 100, 100, 100};
    const auto out = correctGray(gray, settingsFor(ColorMode::None, GrayMode::Auto));
    EXPECT_EQ(out[1], 100);  // B = 0, Wt = 255: the identity table
    EXPECT_EQ(out[0], 0);
}

// The fast code against the reference on random images of many shapes, all modes and a spread of references.
TEST(CorrectTones, MatchesTheReferenceOnRandomImages) {
    const std::vector<std::pair<int, int>> sizes = {{1, 1},   {1, 97},    {113, 1},  {3, 5},
                                                    {31, 17}, {257, 129}, {320, 240}};
    const std::vector<std::pair<int, int>> references = {{5, 85},  {0, 100}, {0, 0},  {100, 100}, {50, 50},
                                                         {30, 20}, {85, 5},  {1, 99}, {40, 60},   {99, 100}};
    const Pattern patterns[] = {Pattern::Noise, Pattern::FewLevels, Pattern::Page, Pattern::DarkPage};
    std::uint32_t seed = 1;
    for (auto [width, height] : sizes) {
        for (Pattern pattern : patterns) {
            for (int components : {1, 3}) {
                const auto image = makeImage(width, height, components, pattern, ++seed);
                const std::int64_t n = std::int64_t{width} * height;
                for (int color = 0; color <= 4; ++color) {
                    for (int grayMode = 0; grayMode <= 2; ++grayMode) {
                        // The references matter only where a Manual mode is used.
                        const bool manual = color == 4 || grayMode == 2;
                        for (std::size_t ref = 0; ref < (manual ? references.size() : 1); ++ref) {
                            CorrectionSettings settings =
                                settingsFor(static_cast<ColorMode>(color), static_cast<GrayMode>(grayMode));
                            settings.colorBlack = references[ref].first;
                            settings.colorWhite = references[ref].second;
                            settings.grayBlack = references[(ref + 3) % references.size()].first;
                            settings.grayWhite = references[(ref + 3) % references.size()].second;
                            std::vector<std::uint8_t> fast = image, slow = image;
                            std::vector<std::uint8_t> fastGray(static_cast<std::size_t>(n), 0x5A),
                                slowGray = fastGray;
                            if (components == 3) {
                                CorrectTones(fastGray.data(), settings, fast.data(), n, 3);
                                reference::correctTones(slowGray.data(), settings, slow.data(), n, 3);
                            } else {
                                CorrectTones(fast.data(), settings, nullptr, n, 1);
                                reference::correctTones(slow.data(), settings, nullptr, n, 1);
                            }
                            const auto where = firstDifference(slow, fast, width, components) +
                                               firstDifference(slowGray, fastGray, width, 1);
                            ASSERT_EQ(where, "") << width << " x " << height << " C = " << components << ", "
                                                 << testing::patternName(pattern) << ", colorMode " << color
                                                 << ", grayMode " << grayMode << ", references " << ref;
                        }
                    }
                }
            }
        }
    }
}

TEST(CorrectTones, MatchesTheReferenceOnAPageSizedImage) {
    const int width = 2480, height = 3508;  // A4 at 300 dpi: the automatic black level depends on the size
    const std::int64_t n = std::int64_t{width} * height;
    const auto rgb = makeImage(width, height, 3, Pattern::Page, 99);
    for (auto [color, gray] : {std::pair{ColorMode::YellowingRemoval, GrayMode::Auto},
                               std::pair{ColorMode::Auto, GrayMode::None}}) {
        const CorrectionSettings settings = settingsFor(color, gray);
        std::vector<std::uint8_t> fast = rgb, slow = rgb;
        std::vector<std::uint8_t> fastGray(static_cast<std::size_t>(n)),
            slowGray(static_cast<std::size_t>(n));
        CorrectTones(fastGray.data(), settings, fast.data(), n, 3);
        reference::correctTones(slowGray.data(), settings, slow.data(), n, 3);
        ASSERT_EQ(firstDifference(slow, fast, width, 3) + firstDifference(slowGray, fastGray, width, 1), "")
            << "colorMode " << static_cast<int>(color);
    }
}

}  // namespace
}  // namespace pagewash
