#include "imaging/mixed_picture_tiles.h"

#include <algorithm>
#include <array>

#include "imaging/text_page_measure.h"

namespace pagewash {

namespace {

// The level below which `share` of the histogram's `total` pixels lie.
int levelOfShare(const std::array<std::uint32_t, 256>& histogram, std::uint64_t total, double share) {
    const auto wanted =
        std::max<std::uint64_t>(1, static_cast<std::uint64_t>(share * static_cast<double>(total)));
    std::uint64_t seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[static_cast<std::size_t>(level)];
        if (seen >= wanted) return level;
    }
    return 255;
}

// Whether the middle tones of a tile (between its 5 % and 95 % levels, the middle half of that spread) are
// one flat tint: the edge of a tinted panel or of a coloured paper, with or without text on it, not a
// picture, whose middle tones spread.
bool middleIsOneTint(const std::array<std::uint32_t, 256>& histogram, std::uint32_t pixels) {
    const int lo = levelOfShare(histogram, pixels, 0.05);
    const int hi = levelOfShare(histogram, pixels, 0.95);
    const int spread = hi - lo;
    const int from = lo + spread / 4;
    const int to = hi - spread / 4;
    std::uint32_t middle = 0;
    for (int level = from; level <= to; ++level) middle += histogram[static_cast<std::size_t>(level)];
    if (middle == 0) return true;
    std::uint32_t window = 0;
    std::uint32_t best = 0;
    for (int level = from; level <= to; ++level) {
        window += histogram[static_cast<std::size_t>(level)];
        if (level - from >= kTintWidth) window -= histogram[static_cast<std::size_t>(level - kTintWidth)];
        best = std::max(best, window);
    }
    return static_cast<double>(best) >= kTintShare * static_cast<double>(middle);
}

// The 32 pixels of a tile's row in `mask`, the leftmost in the most significant bit (0 past the edge).
std::uint32_t tileBits(const BilevelImage& mask, int column, int y) {
    const std::uint8_t* row = mask.row(y);
    const std::size_t first = static_cast<std::size_t>(column) * (kToneTile / 8);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i)
        bits = (bits << 8) | (first + i < mask.stride() ? row[first + i] : 0u);
    return bits;
}

// What a tile's ink looks like: how many of its rows and of its columns change at least kScreenChanges
// times.
struct InkTexture {
    int busyRows = 0;
    int busyColumns = 0;
};

// The 1 bits of a word, by adding neighbouring fields (the processor's own instruction is not among the
// targets the product is built for).
int popcount32(std::uint32_t v) {
    v = v - ((v >> 1) & 0x55555555u);
    v = (v & 0x33333333u) + ((v >> 2) & 0x33333333u);
    v = (v + (v >> 4)) & 0x0f0f0f0fu;
    return static_cast<int>((v * 0x01010101u) >> 24);
}

InkTexture inkTexture(const BilevelImage& mask, int column, int row) {
    static_assert(kToneTile == 32, "a tile's row is one 32-bit word");
    InkTexture texture;
    const int y0 = row * kToneTile;
    const int y1 = std::min(y0 + kToneTile, mask.height);
    std::array<std::uint32_t, kToneTile> words{};
    for (int y = y0; y < y1; ++y) {
        const std::uint32_t bits = tileBits(mask, column, y);
        words[static_cast<std::size_t>(y - y0)] = bits;
        texture.busyRows += popcount32((bits ^ (bits >> 1)) & 0x7fffffffu) >= kScreenChanges ? 1 : 0;
    }
    // The columns matter only where the rows are busy.
    if (texture.busyRows < kScreenLines) return texture;
    std::array<int, kToneTile> changes{};
    for (std::size_t y = 1; y < words.size(); ++y) {
        const std::uint32_t changed = words[y] ^ words[y - 1];
        for (std::size_t bit = 0; bit < changes.size(); ++bit)
            changes[bit] += static_cast<int>((changed >> bit) & 1u);
    }
    texture.busyColumns = static_cast<int>(
        std::count_if(changes.begin(), changes.end(), [](int count) { return count >= kScreenChanges; }));
    return texture;
}

// The tiles within `radius` tiles of a tile of `from` whose value is `value` get it too.
std::vector<std::uint8_t> grown(const PictureTiles& tiles, const std::vector<std::uint8_t>& from,
                                std::uint8_t value, int radius) {
    std::vector<std::uint8_t> to(from);
    for (int row = 0; row < tiles.rows; ++row)
        for (int column = 0; column < tiles.columns; ++column) {
            const auto at = [&](int c, int r) {
                return static_cast<std::size_t>(r) * static_cast<std::size_t>(tiles.columns) +
                       static_cast<std::size_t>(c);
            };
            if (from[at(column, row)] == value) continue;
            for (int v = std::max(0, row - radius); v <= std::min(tiles.rows - 1, row + radius); ++v)
                for (int u = std::max(0, column - radius); u <= std::min(tiles.columns - 1, column + radius);
                     ++u)
                    if (from[at(u, v)] == value) to[at(column, row)] = value;
        }
    return to;
}

// Closes the gaps of up to twice kGapTiles tiles within a picture (its parts whose ink looks like text
// after the levels crushed its darks to black and its lights to paper): the picture grown by kGapTiles,
// then shrunk by as much, so that it grows nowhere else.
void closeGaps(PictureTiles& tiles) {
    const std::vector<std::uint8_t> dilated = grown(tiles, tiles.picture, 1, kGapTiles);
    tiles.picture = grown(tiles, dilated, 0, kGapTiles);
}

}  // namespace

PictureTiles findPictureTiles(const std::uint8_t* gray, int width, int height, std::size_t stride,
                              const BilevelImage& mask) {
    PictureTiles tiles;
    if (width <= 0 || height <= 0) return tiles;
    tiles.columns = (width + kToneTile - 1) / kToneTile;
    tiles.rows = (height + kToneTile - 1) / kToneTile;
    const auto count = static_cast<std::size_t>(tiles.columns) * static_cast<std::size_t>(tiles.rows);
    tiles.picture.assign(count, 0);

    // The page's ink and paper, from every fourth pixel of every fourth row: the levels below which 0.5 %
    // and 70 % of them lie (as the tone measure takes its ink).
    std::array<std::uint32_t, 256> page{};
    std::uint64_t sampled = 0;
    for (int y = 0; y < height; y += 4)
        for (int x = 0; x < width; x += 4, ++sampled) ++page[gray[static_cast<std::size_t>(y) * stride + x]];
    const int pageInk = levelOfShare(page, sampled, 0.005);
    const int paper = levelOfShare(page, sampled, 0.7);

    std::vector<TileTone> tones(count);
    std::array<std::uint32_t, 256> histogram{};
    for (int row = 0; row < tiles.rows; ++row)
        for (int column = 0; column < tiles.columns; ++column) {
            std::uint32_t pixels = 0;
            const int x0 = column * kToneTile;
            const int y0 = row * kToneTile;
            std::uint8_t lowest = 255;
            std::uint8_t highest = 0;
            for (int y = y0; y < std::min(y0 + kToneTile, height); y += 2) {
                const std::uint8_t* line = gray + static_cast<std::size_t>(y) * stride;
                for (int x = x0; x < std::min(x0 + kToneTile, width); x += 2, ++pixels) {
                    const std::uint8_t level = line[x];
                    ++histogram[level];
                    lowest = std::min(lowest, level);
                    highest = std::max(highest, level);
                }
            }
            const std::size_t i = static_cast<std::size_t>(row) * static_cast<std::size_t>(tiles.columns) +
                                  static_cast<std::size_t>(column);
            tones[i] = tileTone(histogram.data(), pixels, pageInk, lowest);
            const InkTexture texture = inkTexture(mask, column, row);
            const bool screen = texture.busyRows >= kScreenLines && texture.busyColumns >= kScreenLines;
            const bool tonal = tones[i].tonal && !middleIsOneTint(histogram, pixels);
            tiles.picture[i] = tonal || screen ? 1 : 0;
            // Cleared where it was counted, so that it is zero for the next tile.
            std::fill(histogram.begin() + lowest, histogram.begin() + highest + 1, 0u);
        }
    // The dark, flat inside of a picture joins it: a flood from the tonal tiles through such tiles.
    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < count; ++i)
        if (tiles.picture[i] != 0) pending.push_back(i);
    while (!pending.empty()) {
        const std::size_t i = pending.back();
        pending.pop_back();
        const int row = static_cast<int>(i / static_cast<std::size_t>(tiles.columns));
        const int column = static_cast<int>(i % static_cast<std::size_t>(tiles.columns));
        for (int v = std::max(0, row - 1); v <= std::min(tiles.rows - 1, row + 1); ++v)
            for (int u = std::max(0, column - 1); u <= std::min(tiles.columns - 1, column + 1); ++u) {
                const std::size_t j = static_cast<std::size_t>(v) * static_cast<std::size_t>(tiles.columns) +
                                      static_cast<std::size_t>(u);
                if (tiles.picture[j] != 0 || !tones[j].flat || tones[j].median > paper - kPictureDepth)
                    continue;
                tiles.picture[j] = 1;
                pending.push_back(j);
            }
    }
    closeGaps(tiles);
    tiles.pictureTiles = std::count(tiles.picture.begin(), tiles.picture.end(), std::uint8_t{1});
    return tiles;
}

std::int64_t countScreenTiles(const BilevelImage& mask) {
    std::int64_t screens = 0;
    for (int row = 0; row * kToneTile < mask.height; ++row)
        for (int column = 0; column * kToneTile < mask.width; ++column) {
            const InkTexture texture = inkTexture(mask, column, row);
            screens += texture.busyRows >= kScreenLines && texture.busyColumns >= kScreenLines ? 1 : 0;
        }
    return screens;
}

void clearPictureInk(BilevelImage& mask, const PictureTiles& tiles) {
    static_assert(kToneTile % 8 == 0, "a tile spans whole bytes of a mask row");
    constexpr std::size_t kTileBytes = kToneTile / 8;
    for (int y = 0; y < mask.height; ++y) {
        const int row = y / kToneTile;
        std::uint8_t* bits = mask.row(y);
        for (int column = 0; column < tiles.columns; ++column) {
            if (!tiles.at(column, row)) continue;
            const std::size_t begin = static_cast<std::size_t>(column) * kTileBytes;
            const std::size_t end = std::min(begin + kTileBytes, mask.stride());
            std::fill(bits + begin, bits + end, std::uint8_t{0});
        }
    }
}

}  // namespace pagewash
