// Mixed pages: which pages are split into layers, and the layers drawn back against the corrected page, on
// synthetic pages of odd sizes and on scanned pages made by Ghostscript and ImageMagick.
#include "imaging/mixed_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_page.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/color_content.h"
#include "imaging/group4_codec.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_background.h"
#include "imaging/mixed_pictures.h"
#include "imaging/streamed_correction.h"
#include "tests/support/test_tools.h"

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

// Picture tiles become rectangles in pixels, a tile wider on each side and cut by the page's edges; groups
// whose rectangles would touch become one; many scattered groups are merged down to kMaxPictures
// rectangles that still hold every picture tile and never overlap.
TEST(MixedPage, PictureTilesBecomeFewRectanglesThatHoldThemAll) {
    struct Case {
        const char* name;
        std::vector<std::array<int, 2>> tiles;  // column, row
        std::vector<PixelRect> want;            // empty: only the properties below are checked
    };
    constexpr int kWidth = 20 * 32 - 10, kHeight = 30 * 32 - 7;  // the last column and row cut
    std::vector<std::array<int, 2>> scattered;
    for (int row = 1; row < 30; row += 5)  // 24 groups, their margins two tiles apart
        for (int column = 1; column < 20; column += 5) scattered.push_back({column, row});
    const Case cases[] = {
        {"one tile inside", {{5, 5}}, {{4 * 32, 4 * 32, 3 * 32, 3 * 32}}},
        {"a block at the corner",
         {{18, 28}, {19, 29}, {19, 28}},
         {{17 * 32, 27 * 32, kWidth - 17 * 32, kHeight - 27 * 32}}},
        {"two far apart", {{1, 1}, {12, 20}}, {{0, 0, 3 * 32, 3 * 32}, {11 * 32, 19 * 32, 3 * 32, 3 * 32}}},
        {"two whose margins touch", {{1, 1}, {4, 1}}, {{0, 0, 6 * 32, 3 * 32}}},
        {"many scattered", scattered, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureTiles tiles;
        tiles.columns = 20;
        tiles.rows = 30;
        tiles.picture.assign(20 * 30, 0);
        for (const auto& [column, row] : c.tiles)
            tiles.picture[static_cast<std::size_t>(row * 20 + column)] = 1;
        const std::vector<PixelRect> rects = pictureRects(tiles, kWidth, kHeight);
        ASSERT_LE(rects.size(), static_cast<std::size_t>(kMaxPictures));
        if (!c.want.empty()) {
            ASSERT_EQ(rects.size(), c.want.size());
            for (std::size_t i = 0; i < rects.size(); ++i) {
                EXPECT_EQ(rects[i].x, c.want[i].x) << i;
                EXPECT_EQ(rects[i].y, c.want[i].y) << i;
                EXPECT_EQ(rects[i].width, c.want[i].width) << i;
                EXPECT_EQ(rects[i].height, c.want[i].height) << i;
            }
        }
        for (const auto& [column, row] : c.tiles) {
            const int x = column * 32, y = row * 32;
            EXPECT_TRUE(std::any_of(rects.begin(), rects.end(),
                                    [&](const PixelRect& r) {
                                        return x >= r.x && y >= r.y && x < r.x + r.width &&
                                               y < r.y + r.height;
                                    }))
                << "tile " << column << ", " << row;
        }
        for (std::size_t i = 0; i < rects.size(); ++i) {
            EXPECT_LE(rects[i].x + rects[i].width, kWidth);
            EXPECT_LE(rects[i].y + rects[i].height, kHeight);
            for (std::size_t j = i + 1; j < rects.size(); ++j)
                EXPECT_FALSE(
                    rects[i].x < rects[j].x + rects[j].width && rects[j].x < rects[i].x + rects[i].width &&
                    rects[i].y < rects[j].y + rects[j].height && rects[j].y < rects[i].y + rects[i].height)
                    << i << " overlaps " << j;
        }
    }
}

TEST(MixedPage, PicturesAndPagesTooSmallToJudgeStayJpegAndOddSizesStayValid) {
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
        EXPECT_NE(page.corrected, nullptr);
    }
    // A photograph: grain all over (tonal tiles), or smooth shading with no text to keep sharp.
    std::mt19937 random(3);
    const Painter grain = [&random](int, int, std::uint8_t* p) {
        for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(random() % 256);
    };
    const Painter shading = [](int x, int y, std::uint8_t* p) {
        p[0] = static_cast<std::uint8_t>(40 + x / 4);
        p[1] = static_cast<std::uint8_t>(60 + y / 3);
        p[2] = static_cast<std::uint8_t>(200 - x / 5);
    };
    for (const Painter& photo : {grain, shading}) {
        CorrectedPage source(640, 480, 3, photo, CorrectionSettings{1, 1});
        MixedPage page = codeMixedPage(source.image, MixedOptions{});
        EXPECT_EQ(page.kind, MixedKind::Photo);
        EXPECT_FALSE(page.layers.has_value());
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

// One page image of a file, corrected as the worker corrects it with --keep-color-pages (a page with real
// colour stays colour), then coded.
struct CodedFile {
    CorrectionSettings settings;
    StreamedCorrection image{settings};
    MixedPage page;

    // Decoded and corrected only, without `options`.
    CodedFile(const std::string& path, std::optional<MixedOptions> options, bool keepColor = true) {
        decodeInto(path, keepColor);
        if (options && !::testing::Test::HasFatalFailure()) page = codeMixedPage(image, *options);
    }
    void decodeInto(const std::string& path, bool keepColor) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr) << path;
        ColorContent content;
        if (keepColor && measureColorContent(file, content) && content.hasRealColor())
            settings.colorMode = static_cast<std::int32_t>(ColorMode::Auto);
        std::rewind(file);
        const bool decoded = decodeJpeg(file, image);
        std::fclose(file);
        ASSERT_TRUE(decoded) << path;
        image.finish();
    }
    int components() const { return image.outputComponents(); }
};

// The default output's JPEG of the same file: its bytes.
std::size_t defaultJpegSize(const std::string& path) {
    CorrectionSettings settings;
    StreamedCorrection image(settings);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr || !decodeJpeg(file, image)) return 0;
    std::fclose(file);
    image.finish();
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* row = image.row(y);
        pixels.insert(pixels.end(), row,
                      row + static_cast<std::size_t>(image.width()) * image.outputComponents());
    }
    std::vector<std::uint8_t> jpeg;
    encodeJpeg(jpeg, pixels.data(), image.width(), image.height(), image.outputComponents(),
               settings.compression);
    return jpeg.size();
}

// CIELAB (D65) of an sRGB colour, straight from the definition.
std::array<double, 3> lab(const std::array<double, 3>& rgb) {
    std::array<double, 3> linear{};
    for (std::size_t k = 0; k < 3; ++k) {
        const double c = rgb[k] / 255.0;
        linear[k] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    const double x = (0.4124 * linear[0] + 0.3576 * linear[1] + 0.1805 * linear[2]) / 0.95047;
    const double y = 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
    const double z = (0.0193 * linear[0] + 0.1192 * linear[1] + 0.9505 * linear[2]) / 1.08883;
    const auto f = [](double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; };
    return {116.0 * f(y) - 16.0, 500.0 * (f(x) - f(y)), 200.0 * (f(y) - f(z))};
}

double deltaE(const std::array<double, 3>& rgb1, const std::array<double, 3>& rgb2) {
    const std::array<double, 3> a = lab(rgb1), b = lab(rgb2);
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

// For each pixel, whether an ink pixel of `mask` lies within `radius` pixels (a square).
std::vector<std::uint8_t> nearInk(const BilevelImage& mask, int radius) {
    const auto w = static_cast<std::size_t>(mask.width);
    std::vector<std::uint8_t> across(w * mask.height, 0), near(w * mask.height, 0);
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            if (mask.black(x, y))
                for (int u = std::max(0, x - radius); u <= std::min(mask.width - 1, x + radius); ++u)
                    across[y * w + u] = 1;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            if (across[y * w + x] != 0)
                for (int v = std::max(0, y - radius); v <= std::min(mask.height - 1, y + radius); ++v)
                    near[v * w + x] = 1;
    return near;
}

// A coloured element of a page: a box in points from the top left corner of the A4 page (595 x 842).
struct Element {
    const char* name;
    double left, top, right, bottom;
};

struct ProducedPage {
    const char* name;
    MixedKind kind;
    bool inkImage;                  // ink of several colours
    bool plainPaper;                // one paper level: the background beside the ink is checked for halos
    double maxMeanError;            // mean |drawn - corrected| over the page
    std::vector<Element> elements;  // their ink's mean colour is kept
    std::vector<Element> pictures;  // no ink of the mask inside
};

// Scanned pages at 300 dpi made once by tests/imaging/make_mixed_pages.sh.
class MixedProducedPages : public ::testing::Test {
  protected:
    static constexpr int kDpi = 300;
    static void SetUpTestSuite() {
        if (!pagewash::testing::toolsInstalled({"gs", "convert", "img2pdf", "bc"})) return;
        s_dir = std::make_unique<pagewash::testing::ScratchDir>();
        const pagewash::testing::CommandResult made =
            pagewash::testing::runCommand(pagewash::testing::quote(std::string(PAGEWASH_SOURCE_DIR) +
                                                                   "/tests/imaging/make_mixed_pages.sh") +
                                          " " + pagewash::testing::quote(s_dir->path()) + " " +
                                          std::to_string(kDpi) + " stamp bluepen tinted figure halftone");
        if (made.exitStatus != 0) s_error = made.err;
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override {
        PAGEWASH_REQUIRE_TOOLS({"gs", "convert", "img2pdf", "bc"});
        ASSERT_TRUE(s_error.empty()) << s_error;
    }
    static std::string file(const std::string& name) { return s_dir->file(name); }
    static int pixels(double points) { return static_cast<int>(points * kDpi / 72.0); }

    static inline std::unique_ptr<pagewash::testing::ScratchDir> s_dir;
    static inline std::string s_error;
};

TEST_F(MixedProducedPages, LayersDrawThePageSmallWithoutHalosInTheInksColoursAndTextAsWithBilevel) {
    const ProducedPage pages[] = {
        {"stamp", MixedKind::Mixed, true, true, 8.0, {{"red stamp", 348, 210, 492, 354}}, {}},
        {"bluepen", MixedKind::Mixed, true, true, 8.0, {{"blue notes", 430, 50, 560, 345}}, {}},
        {"tinted", MixedKind::Mixed, true, false, 8.0, {{"blue heading", 80, 52, 300, 75}}, {}},
        {"figure", MixedKind::Text, false, true, 8.0, {}, {}},
        {"halftone", MixedKind::Mixed, false, false, 16.0, {}, {{"screened photo", 212, 296, 532, 520}}},
    };
    for (const ProducedPage& expected : pages) {
        SCOPED_TRACE(expected.name);
        const std::string path = file(std::string(expected.name) + ".jpg");
        const CodedFile coded(path, MixedOptions{});
        const MixedPage& page = coded.page;
        EXPECT_EQ(page.kind, expected.kind);
        ASSERT_TRUE(page.layers.has_value());
        const MixedLayers& layers = *page.layers;
        const int c = coded.components();
        const int w = layers.width, h = layers.height;
        EXPECT_EQ(!layers.inkJpeg.empty(), expected.inkImage);

        // The mask is the page's binarization, less the pictures' ink.
        const std::optional<BilevelImage> mask = decodeGroup4(layers.maskGroup4, w, h);
        ASSERT_TRUE(mask.has_value());
        std::vector<std::uint8_t> gray(static_cast<std::size_t>(w) * h);
        for (std::size_t i = 0; i < gray.size(); ++i) {
            const std::uint8_t* p = page.corrected + i * c;
            gray[i] = c == 1 ? p[0]
                             : static_cast<std::uint8_t>((77u * p[0] + 150u * p[1] + 29u * p[2] + 128u) >> 8);
        }
        BilevelImage binarized;
        binarizeSauvola(gray.data(), w, h, w, sauvolaParametersForDpi(estimatedDpi(w, h)), binarized);
        despeckle(binarized, MixedOptions{}.maxSpeck);
        std::int64_t added = 0, kept = 0;
        for (std::size_t i = 0; i < mask->bits.size(); ++i) {
            added += std::popcount(static_cast<unsigned>(mask->bits[i] & ~binarized.bits[i]));
            kept += std::popcount(static_cast<unsigned>(mask->bits[i]));
        }
        EXPECT_EQ(added, 0) << "ink pixels the binarization does not have";
        EXPECT_GT(kept, std::int64_t{w} * h / 100) << "the text is in the mask";
        for (const Element& picture : expected.pictures) {
            std::int64_t ink = 0;
            for (int y = pixels(picture.top); y < pixels(picture.bottom); ++y)
                for (int x = pixels(picture.left); x < pixels(picture.right); ++x) ink += mask->black(x, y);
            EXPECT_LT(ink, std::int64_t{pixels(picture.right - picture.left)} *
                               pixels(picture.bottom - picture.top) / 33)
                << picture.name << ": its dots are not text";
        }

        // Drawn back: close to the corrected page.
        const std::vector<std::uint8_t> drawn = renderMixedLayers(layers, c);
        ASSERT_EQ(drawn.size(), static_cast<std::size_t>(w) * h * c);
        // A picture is drawn at full resolution: as close to the corrected pixels as the default output's
        // JPEG (the background's reduction would blur a screen's dots by 40 levels or more).
        for (const Element& picture : expected.pictures) {
            double pictureError = 0.0;
            std::int64_t count = 0;
            for (int y = pixels(picture.top); y < pixels(picture.bottom); ++y)
                for (int x = pixels(picture.left); x < pixels(picture.right); ++x)
                    for (int k = 0; k < c; ++k, ++count) {
                        const std::size_t i = (static_cast<std::size_t>(y) * w + x) * c + k;
                        pictureError += std::abs(int{drawn[i]} - int{page.corrected[i]});
                    }
            EXPECT_LT(pictureError / static_cast<double>(count), 12.0) << picture.name;
        }
        double error = 0.0;
        for (std::size_t i = 0; i < drawn.size(); ++i)
            error += std::abs(int{drawn[i]} - int{page.corrected[i]});
        EXPECT_LE(error / static_cast<double>(drawn.size()), expected.maxMeanError);

        // No halo: beside the ink (within 2 pixels) the background is as light as further away (over 6).
        if (expected.plainPaper) {
            DecodedImage background;
            ASSERT_TRUE(decodeJpeg(layers.backgroundJpeg, background));
            const std::vector<std::uint8_t> beside = nearInk(*mask, 2), near = nearInk(*mask, 6);
            double besideSum = 0, farSum = 0;
            std::int64_t besideCount = 0, farCount = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * w + x;
                    if (mask->black(x, y) || (beside[i] == 0 && near[i] != 0)) continue;
                    const std::uint8_t* b =
                        background.pixels.get() +
                        (static_cast<std::size_t>(cellAt(y, h, background.height)) * background.width +
                         cellAt(x, w, background.width)) *
                            background.components;
                    (beside[i] != 0 ? besideSum : farSum) += b[0];
                    ++(beside[i] != 0 ? besideCount : farCount);
                }
            ASSERT_GT(besideCount, 0);
            ASSERT_GT(farCount, 0);
            EXPECT_NEAR(besideSum / besideCount, farSum / farCount, 4.0) << "the background beside the ink";
        }

        // Each coloured element's ink keeps its mean colour.
        for (const Element& element : expected.elements) {
            std::array<double, 3> want{}, got{};
            std::int64_t count = 0;
            for (int y = pixels(element.top); y < pixels(element.bottom); ++y)
                for (int x = pixels(element.left); x < pixels(element.right); ++x) {
                    if (!mask->black(x, y)) continue;
                    const std::size_t i = (static_cast<std::size_t>(y) * w + x) * c;
                    for (std::size_t k = 0; k < 3; ++k) {
                        want[k] += page.corrected[i + (c == 3 ? k : 0)];
                        got[k] += drawn[i + (c == 3 ? k : 0)];
                    }
                    ++count;
                }
            ASSERT_GT(count, 0) << element.name;
            for (std::size_t k = 0; k < 3; ++k) {
                want[k] /= static_cast<double>(count);
                got[k] /= static_cast<double>(count);
            }
            EXPECT_LT(deltaE(want, got), 10.0) << element.name;
        }

        // A quarter of the default output's JPEG at most, besides the pictures, which are coded as it is.
        std::size_t size = layers.maskGroup4.size() + layers.backgroundJpeg.size() + layers.inkJpeg.size();
        EXPECT_LE(size * 4, defaultJpegSize(path)) << size << " bytes of layers";
        for (const MixedLayers::PictureLayer& picture : layers.pictures) size += picture.jpeg.size();
        EXPECT_LE(size, defaultJpegSize(path)) << size << " bytes of layers with the pictures";
        for (const Element& element : expected.pictures) {
            const int x = pixels((element.left + element.right) / 2),
                      y = pixels((element.top + element.bottom) / 2);
            EXPECT_TRUE(std::any_of(layers.pictures.begin(), layers.pictures.end(),
                                    [&](const auto& picture) {
                                        return x >= picture.x && x < picture.x + picture.width &&
                                               y >= picture.y && y < picture.y + picture.height;
                                    }))
                << element.name << " is kept as a picture";
        }

        // With --bilevel a text page is the Group 4 data that --bilevel alone makes of it.
        if (expected.kind == MixedKind::Text) {
            const CodedFile withBilevel(path, MixedOptions{true, 2, 30});
            ASSERT_TRUE(withBilevel.page.group4.has_value());
            EXPECT_FALSE(withBilevel.page.layers.has_value());
            CodedFile plain(path, std::nullopt);
            const BilevelPage bilevel = codeBilevelPage(plain.image, 2);
            ASSERT_TRUE(bilevel.group4.has_value());
            EXPECT_EQ(*withBilevel.page.group4, *bilevel.group4);
        }
    }
}

// A photographed page whose right side lies in shadow: print drawn through the mask stays about as dark
// against the paper around it as on the corrected page. The ink's colour is that of the strokes' core;
// the mean of all their pixels, edges included, is in the shadow hardly darker than the paper.
TEST(MixedPage, PrintInAShadowStaysDarkAgainstItsPaper) {
    const CodedFile coded(pagewash::testing::dataFile("pagedewarp_linguistics_thesis_a_900.jpg"),
                          MixedOptions{});
    ASSERT_TRUE(coded.page.layers.has_value());
    ASSERT_EQ(coded.components(), 1);
    const MixedLayers& layers = *coded.page.layers;
    const int w = layers.width, h = layers.height;
    const std::optional<BilevelImage> mask = decodeGroup4(layers.maskGroup4, w, h);
    ASSERT_TRUE(mask.has_value());
    const std::vector<std::uint8_t> drawn = renderMixedLayers(layers, 1);
    const std::vector<std::uint8_t> near = nearInk(*mask, 2);
    const auto median = [](std::vector<int>& values) {
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    };
    constexpr int kBlock = 150;
    int blocks = 0;
    for (int top = 0; top + kBlock <= h; top += kBlock)
        for (int left = 0; left + kBlock <= w; left += kBlock) {
            std::vector<int> inkPage, inkDrawn, paperPage, paperDrawn;
            for (int y = top; y < top + kBlock; ++y)
                for (int x = left; x < left + kBlock; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * w + x;
                    if (mask->black(x, y)) {
                        inkPage.push_back(coded.page.corrected[i]);
                        inkDrawn.push_back(drawn[i]);
                    } else if (near[i] == 0) {
                        paperPage.push_back(coded.page.corrected[i]);
                        paperDrawn.push_back(drawn[i]);
                    }
                }
            if (inkPage.size() < 300 || paperPage.size() < 300) continue;
            const int onPage = median(paperPage) - median(inkPage);
            if (onPage < 30) continue;
            ++blocks;
            EXPECT_GE(median(paperDrawn) - median(inkDrawn), onPage / 2)
                << "block at " << left << ", " << top << ": print against paper " << onPage << " on the page";
        }
    EXPECT_GE(blocks, 10);
}

}  // namespace
}  // namespace pagewash
