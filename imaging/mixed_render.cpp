// renderMixedLayers: the layers decoded and drawn as a reader draws the page's Form XObject.
#include <algorithm>

#include "imaging/group4_codec.h"
#include "imaging/jpeg_codec.h"
#include "imaging/mixed_background.h"
#include "imaging/mixed_page.h"

namespace pagewash {

namespace {

// Copies the sample of `image` (1 or 3 components) at cell (x, y) as `components` values.
void putSample(const DecodedImage& image, int x, int y, int components, std::uint8_t* out) {
    const std::uint8_t* p =
        image.pixels.get() +
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) *
            static_cast<std::size_t>(image.components);
    for (int k = 0; k < components; ++k) out[k] = image.components == 1 ? p[0] : p[std::min(k, 2)];
    if (components == 1 && image.components == 3)
        out[0] = static_cast<std::uint8_t>((77u * p[0] + 150u * p[1] + 29u * p[2] + 128u) >> 8);
}

}  // namespace

std::vector<std::uint8_t> renderMixedLayers(const MixedLayers& layers, int components) {
    std::vector<std::uint8_t> page;
    if (layers.width <= 0 || layers.height <= 0 || (components != 1 && components != 3)) return page;
    const std::optional<BilevelImage> mask = decodeGroup4(layers.maskGroup4, layers.width, layers.height);
    DecodedImage background;
    if (!mask || !decodeJpeg(layers.backgroundJpeg, background) || background.width <= 0 ||
        background.height <= 0)
        return page;
    DecodedImage ink;
    const bool inkImage = !layers.inkJpeg.empty();
    if (inkImage && (!decodeJpeg(layers.inkJpeg, ink) || ink.width <= 0 || ink.height <= 0)) return page;
    std::array<std::uint8_t, 3> inkColor = layers.inkColor;
    if (layers.inkComponents == 1) inkColor = {inkColor[0], inkColor[0], inkColor[0]};
    if (components == 1 && layers.inkComponents == 3)
        inkColor[0] = static_cast<std::uint8_t>(
            (77u * inkColor[0] + 150u * inkColor[1] + 29u * inkColor[2] + 128u) >> 8);

    const auto c = static_cast<std::size_t>(components);
    page.resize(static_cast<std::size_t>(layers.width) * static_cast<std::size_t>(layers.height) * c);
    for (int y = 0; y < layers.height; ++y) {
        const int backgroundRow = cellAt(y, layers.height, background.height);
        const int inkRow = inkImage ? cellAt(y, layers.height, ink.height) : 0;
        std::uint8_t* out =
            page.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(layers.width) * c;
        for (int x = 0; x < layers.width; ++x, out += c) {
            if (!mask->black(x, y)) {
                putSample(background, cellAt(x, layers.width, background.width), backgroundRow, components,
                          out);
            } else if (inkImage) {
                putSample(ink, cellAt(x, layers.width, ink.width), inkRow, components, out);
            } else {
                std::copy_n(inkColor.begin(), c, out);
            }
        }
    }
    // The pictures cover the background on their rectangles, under the ink.
    for (const MixedLayers::PictureLayer& picture : layers.pictures) {
        DecodedImage decoded;
        if (picture.x < 0 || picture.y < 0 || picture.width <= 0 || picture.height <= 0 ||
            picture.x + picture.width > layers.width || picture.y + picture.height > layers.height ||
            !decodeJpeg(picture.jpeg, decoded) || decoded.width != picture.width ||
            decoded.height != picture.height)
            return {};
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x) {
                if (mask->black(picture.x + x, picture.y + y)) continue;
                std::uint8_t* out = page.data() + (static_cast<std::size_t>(picture.y + y) *
                                                       static_cast<std::size_t>(layers.width) +
                                                   static_cast<std::size_t>(picture.x + x)) *
                                                      c;
                putSample(decoded, x, y, components, out);
            }
    }
    return page;
}

}  // namespace pagewash
