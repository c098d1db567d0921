#include "imaging/mixed_page.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "imaging/bilevel_despeckle.h"
#include "imaging/bilevel_page.h"
#include "imaging/bilevel_sauvola.h"
#include "imaging/color_content.h"
#include "imaging/group4_codec.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_background.h"
#include "imaging/mixed_ink.h"
#include "imaging/mixed_picture_tiles.h"
#include "imaging/mixed_pictures.h"
#include "imaging/streamed_correction.h"

namespace pagewash {

namespace {

// A page more than this share of whose tiles are tonal is a photograph (or a halftone plate): it stays a
// JPEG, as splitting it would turn its dark areas into mask.
constexpr double kPhotoToneShare = 0.25;
// A page with less ink than this share of its pixels outside its pictures has no text to keep sharp: a
// smooth photograph (whose tiles are too even to be tonal) or an empty page. It stays a JPEG too.
constexpr double kMinInkShare = 0.002;
// A page whose pictures' rectangles cover more than this share of it is mostly picture: the layers would
// save little beside a JPEG of the whole page at the same quality, and cost a second coding of its text.
constexpr double kPhotoRectShare = 0.5;

// Y = 0.299 R + 0.587 G + 0.114 B, in 8-bit fixed point.
std::vector<std::uint8_t> luminanceOf(const std::uint8_t* rgb, std::size_t pixels) {
    std::vector<std::uint8_t> gray(pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* p = rgb + 3 * i;
        gray[i] = static_cast<std::uint8_t>((77u * p[0] + 150u * p[1] + 29u * p[2] + 128u) >> 8);
    }
    return gray;
}

// Whether corrected colour pixels hold real colour: the share of pixels whose chroma on the two opponent
// axes (R - G, (R + G) / 2 - B) is above kColorChroma, as --keep-color-pages measures, on every other
// pixel of every other row. The correction has already taken the paper's cast out.
bool hasRealColor(const std::uint8_t* rgb, int width, int height) {
    std::uint64_t coloured = 0;
    std::uint64_t seen = 0;
    constexpr int kLimit = kColorChroma * kColorChroma * 4;  // compared in doubled, squared units
    for (int y = 0; y < height; y += 2)
        for (int x = 0; x < width; x += 2) {
            const std::uint8_t* p = rgb + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                                           static_cast<std::size_t>(x)) *
                                              3;
            const int a = 2 * (p[0] - p[1]);
            const int b = p[0] + p[1] - 2 * p[2];
            coloured += a * a + b * b > kLimit ? 1 : 0;
            ++seen;
        }
    return seen > 0 && static_cast<double>(coloured) > kColorPixelShare * static_cast<double>(seen);
}

// The ink image's cells span this many of the background's: a few pixels at any resolution, fine enough to
// keep a stamp's or a pen's colour apart from the print beside it.
constexpr int kInkCellsPerBackgroundCell = 2;
// The ink image is a few flat colours: a higher quality than the background's costs little and keeps its
// hues.
constexpr int kInkQuality = 50;

// Each rectangle's corrected pixels, coded as the page's own JPEG would be, until one fails.
void codePictures(const std::uint8_t* corrected, int width, int components,
                  const std::vector<PixelRect>& rects, const MixedOptions& options, MixedLayers& layers) {
    const std::size_t stride = static_cast<std::size_t>(width) * static_cast<std::size_t>(components);
    for (const PixelRect& rect : rects) {
        MixedLayers::PictureLayer picture{rect.x, rect.y, rect.width, rect.height, components, {}};
        const std::uint8_t* first = corrected + static_cast<std::size_t>(rect.y) * stride +
                                    static_cast<std::size_t>(rect.x) * static_cast<std::size_t>(components);
        if (!encodeJpeg(picture.jpeg, first, stride, rect.width, rect.height, components,
                        options.pictureQuality, options.pictureCoding))
            return;
        layers.pictures.push_back(std::move(picture));
    }
}

// The mask with the rectangles inked: what the background leaves out and fills with the paper around.
BilevelImage withRectsInked(const BilevelImage& mask, const std::vector<PixelRect>& rects) {
    BilevelImage covered = mask;
    for (const PixelRect& rect : rects)
        for (int y = rect.y; y < rect.y + rect.height; ++y)
            for (int x = rect.x; x < rect.x + rect.width; ++x) covered.setBlack(x, y);
    return covered;
}

MixedLayers codeLayers(const std::uint8_t* corrected, int width, int height, int components,
                       const BilevelImage& mask, const InkLayer& ink, int factor, const MixedOptions& options,
                       const std::vector<PixelRect>& rects = {}) {
    MixedLayers layers;
    layers.width = width;
    layers.height = height;
    if (auto coded = encodeGroup4(mask)) layers.maskGroup4 = std::move(*coded);
    const ReducedImage background =
        rects.empty()
            ? reduceAroundInk(corrected, width, height, components, mask, factor)
            : reduceAroundInk(corrected, width, height, components, withRectsInked(mask, rects), factor);
    codePictures(corrected, width, components, rects, options, layers);
    layers.backgroundWidth = background.width;
    layers.backgroundHeight = background.height;
    layers.backgroundComponents = components;
    encodeJpeg(layers.backgroundJpeg, background.pixels.data(), background.width, background.height,
               components, options.backgroundQuality);
    layers.inkComponents = components;
    layers.inkColor = ink.color;
    if (ink.image) {
        layers.inkWidth = ink.image->width;
        layers.inkHeight = ink.image->height;
        encodeJpeg(layers.inkJpeg, ink.image->pixels.data(), ink.image->width, ink.image->height, components,
                   kInkQuality);
    }
    return layers;
}

}  // namespace

MixedPage codeMixedPage(StreamedCorrection& image, const MixedOptions& options) {
    MixedPage page;
    const int width = image.width();
    const int height = image.height();
    const int components = image.outputComponents();
    page.corrected = correctedPixels(image);
    const std::size_t pixels =
        static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0));
    std::vector<std::uint8_t> luminance;
    const std::uint8_t* gray = page.corrected;
    if (components == 3) {
        luminance = luminanceOf(page.corrected, pixels);
        gray = luminance.data();
    }
    const auto stride = static_cast<std::size_t>(std::max(width, 0));
    page.measure = measureTone(gray, width, height, stride);
    // Too small to judge, or mostly continuous tone: a JPEG.
    if (page.measure.tiles < kMinTiles || page.measure.tonalShare() > kPhotoToneShare) return page;

    BilevelImage mask;
    binarizeSauvola(gray, width, height, stride, sauvolaParametersForDpi(estimatedDpi(width, height)), mask);
    despeckle(mask, options.maxSpeck);
    const int factor = backgroundFactor(width, height);
    const int inkFactor = factor * kInkCellsPerBackgroundCell;
    // A screened picture is no text page either, though its dots have no middle tones.
    const std::int64_t tiles =
        std::int64_t{(width + kToneTile - 1) / kToneTile} * ((height + kToneTile - 1) / kToneTile);
    const bool screened =
        static_cast<double>(countScreenTiles(mask)) > kTextPageToneShare * static_cast<double>(tiles);
    if (page.measure.isTextPage() && !screened) {
        // A text page in one ink on paper without colour loses nothing in black and white.
        std::optional<InkLayer> ink;
        if (components == 3) ink = measureInk(page.corrected, components, mask, inkFactor);
        const bool colored = components == 3 && (ink->image || hasRealColor(page.corrected, width, height));
        if (!colored) {
            page.kind = MixedKind::Text;
            if (options.bilevel) {
                page.group4 = encodeGroup4(mask);
                return page;
            }
            if (!ink) ink = measureInk(page.corrected, components, mask, inkFactor);
            page.layers = codeLayers(page.corrected, width, height, components, mask, *ink, factor, options);
            return page;
        }
    }
    const PictureTiles pictureTiles = findPictureTiles(gray, width, height, stride, mask);
    clearPictureInk(mask, pictureTiles);
    const std::vector<PixelRect> rects = pictureRects(pictureTiles, width, height);
    std::int64_t rectArea = 0;
    for (const PixelRect& rect : rects) rectArea += rect.area();
    if (static_cast<double>(rectArea) > kPhotoRectShare * static_cast<double>(pixels)) return page;
    // A picture's rectangle is drawn from its own JPEG, text in it included: the mask there would only
    // paint the same text again, cut by the binarization.
    for (const PixelRect& rect : rects)
        for (int y = rect.y; y < rect.y + rect.height; ++y)
            for (int x = rect.x; x < rect.x + rect.width; ++x) mask.setWhite(x, y);
    const InkLayer ink = measureInk(page.corrected, components, mask, inkFactor);
    if (static_cast<double>(ink.pixels) < kMinInkShare * static_cast<double>(pixels)) return page;
    page.kind = MixedKind::Mixed;
    page.layers = codeLayers(page.corrected, width, height, components, mask, ink, factor, options, rects);
    // A picture that could not be coded would be lost under its paper: the page stays a JPEG.
    if (page.layers->pictures.size() != rects.size()) {
        page.layers.reset();
        page.kind = MixedKind::Photo;
    }
    return page;
}
std::uint64_t mixedMemoryNeed(int width, int height, int components) {
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(std::max(width, 0)) * static_cast<std::uint64_t>(std::max(height, 0));
    const auto c = static_cast<std::uint64_t>(std::max(components, 1));
    const std::uint64_t copy = pixels * c;
    const std::uint64_t luminance = components == 3 ? pixels : 0;
    // The mask with the despeckling's two planes, its Group 4 data and libtiff's copy: five bits a pixel
    // at most.
    const std::uint64_t mask = 5 * (pixels / 8 + 1);
    // The background, at a quarter of the pixels at most: its samples and flags, a third more for the
    // fill's halvings, and its JPEG.
    const std::uint64_t background = pixels / 4 * (c + 1) * 4 / 3 + pixels / 4 * c;
    // The ink's cells, a sixteenth of the pixels at most: 32-bit sums and count, samples, flag, chroma.
    const std::uint64_t ink = pixels / 16 * (4 * (c + 1) + c + 1 + 8) * 4 / 3;
    // The pictures: their JPEG data (they cover half the page at most, and code to less than their samples)
    // and the mask with their rectangles inked, which the background is reduced around.
    const std::uint64_t pictures = pixels * c / 2 + pixels / 8 + 1;
    return copy + luminance + mask + background + ink + pictures + 65536;
}

}  // namespace pagewash
