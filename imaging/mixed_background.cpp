#include "imaging/mixed_background.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "imaging/bilevel_sauvola.h"

namespace pagewash {

int backgroundFactor(int width, int height) { return estimatedDpi(width, height) >= 225 ? 3 : 2; }

void fillHoles(ReducedImage& image, std::vector<std::uint8_t>& filled) {
    const auto c = static_cast<std::size_t>(image.components);
    struct Level {
        ReducedImage image;
        std::vector<std::uint8_t> filled;
    };
    // The halvings, each cell the mean of its filled children, until one has no hole or is a single cell.
    std::vector<Level> levels;
    const auto hasHole = [](const std::vector<std::uint8_t>& f) {
        return std::find(f.begin(), f.end(), std::uint8_t{0}) != f.end();
    };
    const ReducedImage* fine = &image;
    const std::vector<std::uint8_t>* fineFilled = &filled;
    while (hasHole(*fineFilled) && (fine->width > 1 || fine->height > 1)) {
        Level coarse;
        coarse.image.width = (fine->width + 1) / 2;
        coarse.image.height = (fine->height + 1) / 2;
        coarse.image.components = image.components;
        const auto cells =
            static_cast<std::size_t>(coarse.image.width) * static_cast<std::size_t>(coarse.image.height);
        coarse.image.pixels.assign(cells * c, 0);
        coarse.filled.assign(cells, 0);
        for (int y = 0; y < coarse.image.height; ++y)
            for (int x = 0; x < coarse.image.width; ++x) {
                unsigned sums[3] = {0, 0, 0};
                unsigned count = 0;
                for (int v = 2 * y; v < std::min(2 * y + 2, fine->height); ++v)
                    for (int u = 2 * x; u < std::min(2 * x + 2, fine->width); ++u) {
                        const std::size_t i =
                            static_cast<std::size_t>(v) * static_cast<std::size_t>(fine->width) +
                            static_cast<std::size_t>(u);
                        if ((*fineFilled)[i] == 0) continue;
                        for (std::size_t k = 0; k < c; ++k) sums[k] += fine->pixels[i * c + k];
                        ++count;
                    }
                if (count == 0) continue;
                const std::size_t j =
                    static_cast<std::size_t>(y) * static_cast<std::size_t>(coarse.image.width) +
                    static_cast<std::size_t>(x);
                for (std::size_t k = 0; k < c; ++k)
                    coarse.image.pixels[j * c + k] = static_cast<std::uint8_t>((sums[k] + count / 2) / count);
                coarse.filled[j] = 1;
            }
        levels.push_back(std::move(coarse));
        fine = &levels.back().image;
        fineFilled = &levels.back().filled;
    }
    // The coarsest level's holes (nothing filled anywhere) are white; then each level's holes take their
    // parent's value, from the coarsest down.
    if (!levels.empty() || hasHole(filled)) {
        ReducedImage& top = levels.empty() ? image : levels.back().image;
        std::vector<std::uint8_t>& topFilled = levels.empty() ? filled : levels.back().filled;
        for (std::size_t i = 0; i < topFilled.size(); ++i)
            if (topFilled[i] == 0) {
                std::fill_n(top.pixels.begin() + static_cast<std::ptrdiff_t>(i * c), c, std::uint8_t{255});
                topFilled[i] = 1;
            }
    }
    for (std::size_t l = levels.size(); l-- > 0;) {
        const ReducedImage& parent = levels[l].image;
        ReducedImage& child = l == 0 ? image : levels[l - 1].image;
        std::vector<std::uint8_t>& childFilled = l == 0 ? filled : levels[l - 1].filled;
        for (int y = 0; y < child.height; ++y)
            for (int x = 0; x < child.width; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(child.width) +
                                      static_cast<std::size_t>(x);
                if (childFilled[i] != 0) continue;
                const std::size_t p =
                    static_cast<std::size_t>(y / 2) * static_cast<std::size_t>(parent.width) +
                    static_cast<std::size_t>(x / 2);
                std::copy_n(parent.pixels.begin() + static_cast<std::ptrdiff_t>(p * c), c,
                            child.pixels.begin() + static_cast<std::ptrdiff_t>(i * c));
                childFilled[i] = 1;
            }
    }
}

namespace {

// Row y of `mask` grown by one pixel in each direction (the 8 neighbours) into `out` (mask.stride()
// bytes): the ink and the pixels touching it, whose colour is part ink.
void grownRow(const BilevelImage& mask, int y, std::vector<std::uint8_t>& out) {
    const std::size_t stride = mask.stride();
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    for (int v = std::max(0, y - 1); v <= std::min(mask.height - 1, y + 1); ++v) {
        const std::uint8_t* row = mask.row(v);
        for (std::size_t i = 0; i < stride; ++i) out[i] |= row[i];
    }
    std::uint8_t previous = 0;
    for (std::size_t i = 0; i < stride; ++i) {
        const std::uint8_t here = out[i];
        const std::uint8_t next = i + 1 < stride ? out[i + 1] : 0;
        out[i] = static_cast<std::uint8_t>(here | (here >> 1) | (here << 1) | (previous << 7) | (next >> 7));
        previous = here;
    }
}

// Each byte of a mask row as eight bytes, 1 for each of its pixels that is paper (0 bit), leftmost first.
struct PaperBytes {
    std::array<std::array<std::uint8_t, 8>, 256> of{};
    PaperBytes() {
        for (std::size_t v = 0; v < 256; ++v)
            for (std::size_t bit = 0; bit < 8; ++bit) of[v][bit] = ((v >> (7 - bit)) & 1u) != 0 ? 0 : 1;
    }
};

// Adds the pixels of one row that are paper (`paper`, 1 a pixel) to the sums and counts of their cells,
// cell `j` spanning the columns cellStart[j] to cellStart[j + 1]. Each cell's sums are kept in registers
// over its columns, without a branch per pixel.
template <std::size_t C>
void addRow(const std::uint8_t* row, const std::uint8_t* paper, const std::vector<int>& cellStart,
            std::vector<std::uint32_t>& sums, std::vector<std::uint32_t>& counts) {
    const std::size_t cells = counts.size();
    for (std::size_t j = 0; j < cells; ++j) {
        std::uint32_t sum[C] = {};
        std::uint32_t count = 0;
        for (auto x = static_cast<std::size_t>(cellStart[j]); x < static_cast<std::size_t>(cellStart[j + 1]);
             ++x) {
            const std::uint32_t keep = paper[x];
            for (std::size_t k = 0; k < C; ++k) sum[k] += keep * row[x * C + k];
            count += keep;
        }
        for (std::size_t k = 0; k < C; ++k) sums[j * C + k] += sum[k];
        counts[j] += count;
    }
}

}  // namespace

ReducedImage reduceAroundInk(const std::uint8_t* corrected, int width, int height, int components,
                             const BilevelImage& mask, int factor) {
    ReducedImage reduced;
    reduced.width = reducedSize(width, factor);
    reduced.height = reducedSize(height, factor);
    reduced.components = components;
    const auto c = static_cast<std::size_t>(components);
    const auto cellsWide = static_cast<std::size_t>(reduced.width);
    reduced.pixels.assign(cellsWide * static_cast<std::size_t>(reduced.height) * c, 0);
    std::vector<std::uint8_t> filled(cellsWide * static_cast<std::size_t>(reduced.height), 0);
    if (width <= 0 || height <= 0) return reduced;

    // The first column of each cell, and the width after the last.
    std::vector<int> cellStart(cellsWide + 1, width);
    for (int x = width - 1; x >= 0; --x)
        cellStart[static_cast<std::size_t>(cellAt(x, width, reduced.width))] = x;
    // One row of cells at a time: their sums and counts.
    std::vector<std::uint32_t> sums(cellsWide * c);
    std::vector<std::uint32_t> counts(cellsWide);
    std::vector<std::uint8_t> grown(mask.stride());
    static const PaperBytes kPaperBytes;
    std::vector<std::uint8_t> paper(mask.stride() * 8);
    const auto flush = [&](int cellRow) {
        for (std::size_t i = 0; i < cellsWide; ++i) {
            if (counts[i] == 0) continue;
            const std::size_t j = static_cast<std::size_t>(cellRow) * cellsWide + i;
            for (std::size_t k = 0; k < c; ++k)
                reduced.pixels[j * c + k] =
                    static_cast<std::uint8_t>((sums[i * c + k] + counts[i] / 2) / counts[i]);
            filled[j] = 1;
        }
        std::fill(sums.begin(), sums.end(), 0u);
        std::fill(counts.begin(), counts.end(), 0u);
    };
    const std::size_t rowBytes = static_cast<std::size_t>(width) * c;
    int cellRow = 0;
    for (int y = 0; y < height; ++y) {
        const int rowCell = cellAt(y, height, reduced.height);
        if (rowCell != cellRow) {
            flush(cellRow);
            cellRow = rowCell;
        }
        grownRow(mask, y, grown);
        for (std::size_t i = 0; i < grown.size(); ++i)
            std::memcpy(paper.data() + 8 * i, kPaperBytes.of[grown[i]].data(), 8);
        const std::uint8_t* row = corrected + static_cast<std::size_t>(y) * rowBytes;
        if (c == 3) {
            addRow<3>(row, paper.data(), cellStart, sums, counts);
        } else {
            addRow<1>(row, paper.data(), cellStart, sums, counts);
        }
    }
    flush(cellRow);
    fillHoles(reduced, filled);
    return reduced;
}

}  // namespace pagewash
