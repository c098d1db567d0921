#include "imaging/mixed_ink.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <optional>
#include <vector>

namespace pagewash {

namespace {

// CIELAB's a* and b* of an sRGB colour (D65): where its hue and chroma lie, whatever its lightness.
struct Chroma {
    float a;
    float b;
};

class LabTable {
  public:
    LabTable() {
        for (int v = 0; v < 256; ++v) {
            const double c = v / 255.0;
            m_linear[static_cast<std::size_t>(v)] =
                static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
        }
    }
    Chroma chroma(const std::uint8_t* rgb) const {
        const float r = m_linear[rgb[0]], g = m_linear[rgb[1]], b = m_linear[rgb[2]];
        const float x = (0.4124f * r + 0.3576f * g + 0.1805f * b) / 0.95047f;
        const float y = 0.2126f * r + 0.7152f * g + 0.0722f * b;
        const float z = (0.0193f * r + 0.1192f * g + 0.9505f * b) / 1.08883f;
        return {500.0f * (f(x) - f(y)), 200.0f * (f(y) - f(z))};
    }

  private:
    static float f(float t) { return t > 0.008856f ? std::cbrt(t) : 7.787f * t + 16.0f / 116.0f; }
    std::array<float, 256> m_linear{};
};

bool farApart(Chroma p, Chroma q) {
    const float a = p.a - q.a;
    const float b = p.b - q.b;
    return a * a + b * b > kInkChromaDistance * kInkChromaDistance;
}

// Calls visit(x, pixel) for each ink pixel of row y of `mask`.
template <typename Visit>
void forEachInkPixel(const std::uint8_t* corrected, std::size_t components, const BilevelImage& mask, int y,
                     Visit&& visit) {
    const std::uint8_t* bits = mask.row(y);
    const std::uint8_t* row =
        corrected + static_cast<std::size_t>(y) * static_cast<std::size_t>(mask.width) * components;
    for (std::size_t i = 0; i < mask.stride(); ++i) {
        if (bits[i] == 0) continue;  // a byte of paper
        for (int bit = 0; bit < 8; ++bit)
            if (((bits[i] >> (7 - bit)) & 1) != 0) {
                const std::size_t x = 8 * i + static_cast<std::size_t>(bit);
                visit(x, row + x * components);
            }
    }
}

int luminance(const std::uint8_t* pixel, std::size_t components) {
    return components == 3 ? static_cast<int>((77u * pixel[0] + 150u * pixel[1] + 29u * pixel[2] + 128u) >> 8)
                           : pixel[0];
}

// The colour the mask's ink is drawn in: the mean of the darker half of the ink pixels that `counts`
// (x, y) takes, by luminance. The mask takes in the edges of strokes, whose pixels are mixes of ink and
// paper: the mean of them all draws print lighter than the page shows it, and in a shadow, where the
// paper is dark, hardly darker than the paper. Nothing when `counts` takes no pixel.
template <typename Counts>
std::optional<std::array<std::uint8_t, 3>> coreColor(const std::uint8_t* corrected, int components,
                                                     const BilevelImage& mask, Counts&& counts) {
    const auto c = static_cast<std::size_t>(components);
    std::array<std::uint64_t, 256> histogram{};
    std::uint64_t pixels = 0;
    for (int y = 0; y < mask.height; ++y)
        forEachInkPixel(corrected, c, mask, y, [&](std::size_t x, const std::uint8_t* pixel) {
            if (!counts(x, y)) return;
            ++histogram[static_cast<std::size_t>(luminance(pixel, c))];
            ++pixels;
        });
    if (pixels == 0) return std::nullopt;
    int median = 0;
    for (std::uint64_t below = histogram[0]; 2 * below < pixels; below += histogram[++median]) {
    }
    std::array<std::uint64_t, 3> sums{};
    std::uint64_t dark = 0;
    for (int y = 0; y < mask.height; ++y)
        forEachInkPixel(corrected, c, mask, y, [&](std::size_t x, const std::uint8_t* pixel) {
            if (!counts(x, y) || luminance(pixel, c) > median) return;
            for (std::size_t k = 0; k < c; ++k) sums[k] += pixel[k];
            ++dark;
        });
    std::array<std::uint8_t, 3> color{};
    for (std::size_t k = 0; k < c; ++k) color[k] = static_cast<std::uint8_t>((sums[k] + dark / 2) / dark);
    return color;
}

// The ink of a page with one ink: its pixels and colour only.
InkLayer oneInk(const std::uint8_t* corrected, int components, const BilevelImage& mask) {
    InkLayer ink;
    for (std::size_t i = 0; i < mask.bits.size(); ++i)
        ink.pixels += static_cast<std::uint64_t>(std::popcount(mask.bits[i]));
    if (const auto color = coreColor(corrected, components, mask, [](std::size_t, int) { return true; }))
        ink.color = *color;
    return ink;
}

}  // namespace

InkLayer measureInk(const std::uint8_t* corrected, int components, const BilevelImage& mask, int factor) {
    InkLayer ink;
    if (components != 3) return oneInk(corrected, components, mask);
    const int width = mask.width;
    const int height = mask.height;
    const auto c = static_cast<std::size_t>(components);
    ReducedImage cells;
    cells.width = reducedSize(width, factor);
    cells.height = reducedSize(height, factor);
    cells.components = components;
    const auto cellCount = static_cast<std::size_t>(cells.width) * static_cast<std::size_t>(cells.height);
    // Per cell: the sums of its ink pixels and their count. A cell holds at most factor^2 pixels a side's
    // rounding more, far below 2^32 / 255.
    std::vector<std::uint32_t> sums(cellCount * c, 0);
    std::vector<std::uint32_t> counts(cellCount, 0);
    std::vector<int> cellOfColumn(static_cast<std::size_t>(width > 0 ? width : 0));
    for (int x = 0; x < width; ++x) cellOfColumn[static_cast<std::size_t>(x)] = cellAt(x, width, cells.width);
    std::array<std::uint64_t, 3> total{};
    std::uint64_t inkPixels = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* bits = mask.row(y);
        const std::uint8_t* row =
            corrected + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * c;
        const std::size_t cellRow =
            static_cast<std::size_t>(cellAt(y, height, cells.height)) * static_cast<std::size_t>(cells.width);
        for (int x = 0; x < width; ++x) {
            if (bits[x >> 3] == 0) {
                x |= 7;  // a byte of paper
                continue;
            }
            if (((bits[x >> 3] >> (7 - (x & 7))) & 1) == 0) continue;
            const std::size_t cell =
                cellRow + static_cast<std::size_t>(cellOfColumn[static_cast<std::size_t>(x)]);
            for (std::size_t k = 0; k < c; ++k)
                sums[cell * c + k] += row[static_cast<std::size_t>(x) * c + k];
            ++counts[cell];
        }
    }
    cells.pixels.assign(cellCount * c, 0);
    std::vector<std::uint8_t> filled(cellCount, 0);
    for (std::size_t i = 0; i < cellCount; ++i) {
        if (counts[i] == 0) continue;
        for (std::size_t k = 0; k < c; ++k) {
            total[k] += sums[i * c + k];
            cells.pixels[i * c + k] =
                static_cast<std::uint8_t>((sums[i * c + k] + counts[i] / 2) / counts[i]);
        }
        inkPixels += counts[i];
        filled[i] = 1;
    }
    ink.pixels = inkPixels;
    if (inkPixels == 0) return ink;
    for (std::size_t k = 0; k < c; ++k)
        ink.color[k] = static_cast<std::uint8_t>((total[k] + inkPixels / 2) / inkPixels);

    // The main ink: the mean of the cells near the mean of all (a stamp pulls that mean towards itself).
    const LabTable lab;
    std::vector<Chroma> chroma(cellCount);
    for (std::size_t i = 0; i < cellCount; ++i)
        if (counts[i] != 0) chroma[i] = lab.chroma(&cells.pixels[i * 3]);
    const Chroma mean = lab.chroma(ink.color.data());
    std::array<std::uint64_t, 3> mainSums{};
    std::uint64_t mainPixels = 0;
    for (std::size_t i = 0; i < cellCount; ++i) {
        if (counts[i] == 0 || farApart(chroma[i], mean)) continue;
        for (std::size_t k = 0; k < 3; ++k) mainSums[k] += sums[i * 3 + k];
        mainPixels += counts[i];
    }
    std::array<std::uint8_t, 3> main = ink.color;
    if (mainPixels > 0)
        for (std::size_t k = 0; k < 3; ++k)
            main[k] = static_cast<std::uint8_t>((mainSums[k] + mainPixels / 2) / mainPixels);
    // Several inks: enough of the ink, by its cells' mean colours, far from the main ink.
    const Chroma mainChroma = lab.chroma(main.data());
    std::uint64_t other = 0;
    for (std::size_t i = 0; i < cellCount; ++i)
        if (counts[i] != 0 && farApart(chroma[i], mainChroma)) other += counts[i];
    if (static_cast<double>(other) <= kOtherInkShare * static_cast<double>(inkPixels)) {
        ink.color = *coreColor(corrected, components, mask, [](std::size_t, int) { return true; });
        return ink;
    }
    // The main ink's colour from its own cells' pixels.
    std::vector<std::uint8_t> mainCell(cellCount, 0);
    for (std::size_t i = 0; i < cellCount; ++i)
        mainCell[i] = counts[i] != 0 && !farApart(chroma[i], mainChroma) ? 1 : 0;
    if (const auto core = coreColor(corrected, components, mask, [&](std::size_t x, int y) {
            return mainCell[static_cast<std::size_t>(cellAt(y, height, cells.height)) *
                                static_cast<std::size_t>(cells.width) +
                            static_cast<std::size_t>(cellOfColumn[x])] != 0;
        }))
        main = *core;
    // The cells of the main ink are all given its colour: the image is flat but where other inks are, and
    // its JPEG small.
    for (std::size_t i = 0; i < cellCount; ++i)
        if (mainCell[i] != 0)
            std::copy(main.begin(), main.end(), cells.pixels.begin() + static_cast<std::ptrdiff_t>(i * 3));
    fillHoles(cells, filled);
    ink.image = std::move(cells);
    return ink;
}

}  // namespace pagewash
