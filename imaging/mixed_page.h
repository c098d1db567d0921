#pragma once
// --mrc for one corrected image: a page that is neither a plain text page nor a photograph is split into
// layers, as mixed raster content stores it: its text as a 1-bit mask at full resolution (Group 4), drawn
// in its ink's colour over a small, downsampled JPEG background from which the text was taken out. Its
// pictures are cut out at full resolution (mixed_pictures.h) and coded as the page would be without
// layers, drawn over the background and under the ink. A
// plain text page becomes Group 4 with --bilevel (as codeBilevelPage), else layers too; a photograph
// stays a JPEG. Internal to imaging/ and its users; one call per image, on its worker's thread.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/jpeg_codec.h"
#include "imaging/text_page_measure.h"

namespace pagewash {

class StreamedCorrection;

enum class MixedKind : std::uint8_t {
    Text,   // a plain text page (text_page_measure.h): --bilevel's Group 4 when that is also given
    Mixed,  // text over something else: stored as layers
    Photo,  // mostly continuous tone: stays a JPEG
};

struct MixedLayers {
    int width = 0;  // the image's size, which is the mask's size
    int height = 0;
    // The text mask as Group 4 data (/K -1), coded as BilevelImage lays bits out: 1 = ink.
    std::vector<std::uint8_t> maskGroup4;
    // The background: a baseline JFIF JPEG of backgroundWidth x backgroundHeight, 1 or 3 components.
    std::vector<std::uint8_t> backgroundJpeg;
    int backgroundWidth = 0, backgroundHeight = 0, backgroundComponents = 0;
    // The ink. inkComponents is 1 or 3 (as the corrected image). When inkJpeg is empty, every ink pixel
    // is inkColor (its first inkComponents values). Otherwise inkJpeg is a low-resolution JPEG of
    // inkWidth x inkHeight x inkComponents holding the ink's colours, drawn through the mask.
    int inkComponents = 0;
    std::array<std::uint8_t, 3> inkColor{};
    std::vector<std::uint8_t> inkJpeg;
    int inkWidth = 0, inkHeight = 0;
    // The pictures, each a baseline or progressive JFIF JPEG of its rectangle's pixels, 1 or 3 components
    // (as the corrected image), at most kMaxPictures of them, none overlapping; the background under them
    // is paper.
    struct PictureLayer {
        int x = 0, y = 0, width = 0, height = 0;  // in the image's pixels, from its top left corner
        int components = 0;
        std::vector<std::uint8_t> jpeg;
    };
    std::vector<PictureLayer> pictures;
};

struct MixedOptions {
    bool bilevel = false;  // Text pages become Group 4 (as codeBilevelPage) instead of layers
    int maxSpeck = 2;      // as --despeckle
    int backgroundQuality = 30;
    int pictureQuality = 40;  // the pictures' JPEG, as the page's own would be
    EntropyCoding pictureCoding = {};
};

struct MixedPage {
    MixedKind kind = MixedKind::Photo;
    ToneMeasure measure;
    std::optional<std::vector<std::uint8_t>> group4;  // Text with options.bilevel
    std::optional<MixedLayers> layers;                // Mixed, and Text without options.bilevel
    // As BilevelPage: the corrected scanlines (width * outputComponents each, one after the other) for a
    // page that stays a JPEG (or is kept by --keep-smaller), in the image's own buffer.
    const std::uint8_t* corrected = nullptr;
};

// Reads every corrected scanline of `image` once. Throws std::bad_alloc.
// REQUIRES: image.finish() was called, and no row() since.
MixedPage codeMixedPage(StreamedCorrection& image, const MixedOptions& options);

// The memory codeMixedPage holds besides the image's own (for the memory budget).
std::uint64_t mixedMemoryNeed(int width, int height, int components);

// The page exactly as a reader draws the layers (decoded from the encoded data; background and ink
// scaled up to width x height by pixel replication, the pictures over the background), width * height *
// components bytes: the preview's picture and the tests' reference. Empty when the layers do not decode.
std::vector<std::uint8_t> renderMixedLayers(const MixedLayers& layers, int components);

}  // namespace pagewash
