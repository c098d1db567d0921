// Mixed pages: which pages are split into layers, and the layers drawn back against the corrected page.
#include "imaging/mixed_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "imaging/group4_codec.h"
#include "imaging/streamed_correction.h"

namespace pagewash {
namespace {

using Painter = std::function<void(int x, int y, std::uint8_t* pixel)>;

// A page handed to the correction scanline by scanline, as the JPEG decoder would, then corrected.
struct CorrectedPage {
    CorrectionSettings settings;
    StreamedCorrection image{settings};
    CorrectedPage(int width, int height, int components, const Painter& paint, CorrectionSettings s = {})
        : settings(s) {
        EXPECT_TRUE(image.begin(width, height, components));
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = image.rowBuffer(y);
            for (int x = 0; x < width; ++x) paint(x, y, row + static_cast<std::size_t>(x) * components);
            image.rowDone(y);
        }
        image.finish();
    }
};

// Strokes of a few pixels in lines of text, paper elsewhere.
bool inStroke(int x, int y) { return (y % 24) >= 6 && (y % 24) < 18 && (x % 9) < 3 && (y % 24) != 12; }

TEST(MixedPage, TextOnTintedPaperIsSplitIntoLayersThatDrawThePage) {
    // A gray page: a mid-gray panel (a tinted box) with text on it and on the paper beside it.
    const int width = 600, height = 400;
    const Painter paint = [](int x, int y, std::uint8_t* p) {
        const bool panel = x >= 300 && y >= 100 && y < 300;
        p[0] = inStroke(x, y) ? 30 : panel ? 150 : 235;
    };
    CorrectedPage source(width, height, 1, paint);
    MixedPage page = codeMixedPage(source.image, MixedOptions{});
    ASSERT_TRUE(page.layers.has_value());
    const MixedLayers& layers = *page.layers;
    EXPECT_EQ(layers.width, width);
    EXPECT_EQ(layers.height, height);
    EXPECT_EQ(layers.backgroundWidth, 300);
    const std::vector<std::uint8_t> drawn = renderMixedLayers(layers, 1);
    ASSERT_EQ(drawn.size(), static_cast<std::size_t>(width) * height);
    const std::optional<BilevelImage> mask = decodeGroup4(layers.maskGroup4, width, height);
    ASSERT_TRUE(mask.has_value());
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int want = page.corrected[static_cast<std::size_t>(y) * width + x];
            const int got = drawn[static_cast<std::size_t>(y) * width + x];
            if (std::abs(want - got) > 12) ++wrong;
        }
    EXPECT_LT(wrong, width * height / 100) << "pixels off by more than 12 levels";
}

TEST(MixedPage, OddSizesStayValidAndTooSmallToJudgeStayJpeg) {
    struct Size {
        int width, height;
    };
    const Size sizes[] = {{1, 1}, {1, 300}, {300, 1}, {31, 700}, {100, 100}};
    const Painter paint = [](int x, int y, std::uint8_t* p) { p[0] = inStroke(x, y) ? 20 : 230; };
    for (const Size& size : sizes) {
        CorrectedPage source(size.width, size.height, 1, paint);
        MixedPage page = codeMixedPage(source.image, MixedOptions{});
        EXPECT_EQ(page.kind, MixedKind::Photo) << size.width << " x " << size.height;
        EXPECT_FALSE(page.layers.has_value());
        ASSERT_NE(page.corrected, nullptr);
        EXPECT_EQ(page.corrected[0], source.image.row(0)[0]);
    }
    // Sizes that are not a multiple of the reduction nor of 8 draw back whole.
    for (const Size& size : {Size{203, 517}, Size{517, 203}}) {
        CorrectedPage source(size.width, size.height, 1, paint);
        MixedPage page = codeMixedPage(source.image, MixedOptions{});
        ASSERT_TRUE(page.layers.has_value()) << size.width << " x " << size.height;
        EXPECT_EQ(renderMixedLayers(*page.layers, 1).size(),
                  static_cast<std::size_t>(size.width) * size.height);
    }
}

}  // namespace
}  // namespace pagewash
