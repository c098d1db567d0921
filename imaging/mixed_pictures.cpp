#include "imaging/mixed_pictures.h"

#include <algorithm>
#include <limits>

#include "imaging/text_page_measure.h"

namespace pagewash {

namespace {

constexpr int kMarginTiles = 1;

// A box of tiles, its ends exclusive.
struct TileBox {
    int left = 0, top = 0, right = 0, bottom = 0;

    std::int64_t area() const { return std::int64_t{right - left} * (bottom - top); }
};

TileBox unionOf(const TileBox& a, const TileBox& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// Overlapping, or sharing an edge or a corner.
bool touch(const TileBox& a, const TileBox& b) {
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

// The bounding box of each 8-connected group of picture tiles.
std::vector<TileBox> groupBoxes(const PictureTiles& tiles) {
    std::vector<TileBox> boxes;
    std::vector<std::uint8_t> seen(tiles.picture.size(), 0);
    std::vector<int> stack;
    const auto index = [&](int column, int row) { return row * tiles.columns + column; };
    for (int row = 0; row < tiles.rows; ++row)
        for (int column = 0; column < tiles.columns; ++column) {
            if (!tiles.at(column, row) || seen[static_cast<std::size_t>(index(column, row))]) continue;
            TileBox box{column, row, column + 1, row + 1};
            seen[static_cast<std::size_t>(index(column, row))] = 1;
            stack.push_back(index(column, row));
            while (!stack.empty()) {
                const int at = stack.back();
                stack.pop_back();
                const int c = at % tiles.columns, r = at / tiles.columns;
                box = unionOf(box, {c, r, c + 1, r + 1});
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc) {
                        const int nc = c + dc, nr = r + dr;
                        if (nc < 0 || nr < 0 || nc >= tiles.columns || nr >= tiles.rows) continue;
                        const auto n = static_cast<std::size_t>(index(nc, nr));
                        if (seen[n] || !tiles.at(nc, nr)) continue;
                        seen[n] = 1;
                        stack.push_back(index(nc, nr));
                    }
            }
            boxes.push_back(box);
        }
    return boxes;
}

// Merges boxes that touch until none do, then the cheapest pairs until at most kMaxPictures remain.
void mergeBoxes(std::vector<TileBox>& boxes) {
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < boxes.size() && !merged; ++i)
            for (std::size_t j = i + 1; j < boxes.size() && !merged; ++j)
                if (touch(boxes[i], boxes[j])) {
                    boxes[i] = unionOf(boxes[i], boxes[j]);
                    boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
        if (merged || boxes.size() <= static_cast<std::size_t>(kMaxPictures)) continue;
        std::size_t bestI = 0, bestJ = 1;
        std::int64_t bestCost = std::numeric_limits<std::int64_t>::max();
        for (std::size_t i = 0; i < boxes.size(); ++i)
            for (std::size_t j = i + 1; j < boxes.size(); ++j) {
                const std::int64_t cost =
                    unionOf(boxes[i], boxes[j]).area() - boxes[i].area() - boxes[j].area();
                if (cost < bestCost) bestCost = cost, bestI = i, bestJ = j;
            }
        boxes[bestI] = unionOf(boxes[bestI], boxes[bestJ]);
        boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(bestJ));
        merged = true;  // the union may now touch another box
    }
}

}  // namespace

std::vector<PixelRect> pictureRects(const PictureTiles& tiles, int width, int height) {
    std::vector<TileBox> boxes = groupBoxes(tiles);
    // A picture's edge rows and columns share their tiles with the paper or the text beside it, and are
    // often not found tonal: a tile's margin takes them in (the text there is coded as the page's own).
    for (TileBox& box : boxes)
        box = {std::max(box.left - kMarginTiles, 0), std::max(box.top - kMarginTiles, 0),
               std::min(box.right + kMarginTiles, tiles.columns),
               std::min(box.bottom + kMarginTiles, tiles.rows)};
    mergeBoxes(boxes);
    std::sort(boxes.begin(), boxes.end(), [](const TileBox& a, const TileBox& b) {
        return a.top != b.top ? a.top < b.top : a.left < b.left;
    });
    std::vector<PixelRect> rects;
    for (const TileBox& box : boxes) {
        const int x = box.left * kToneTile, y = box.top * kToneTile;
        rects.push_back(
            {x, y, std::min(box.right * kToneTile, width) - x, std::min(box.bottom * kToneTile, height) - y});
    }
    return rects;
}

}  // namespace pagewash
