#pragma once
// The pictures of a mixed page as rectangles kept at full resolution: the picture tiles
// (mixed_picture_tiles.h) grouped by 8-connection, each group's bounding box grown by a tile on each side,
// boxes that overlap or touch merged, at most kMaxPictures of them (the pair whose union adds the least area
// merged first). Their pixels are coded as the page would be without --mrc, so a picture loses nothing to the
// background's reduction and low quality. Thread-safe: no shared state.

#include <cstdint>
#include <vector>

#include "imaging/mixed_layout.h"
#include "imaging/mixed_picture_tiles.h"

namespace pagewash {

struct PixelRect {
    int x = 0;  // from the image's top left corner, in pixels
    int y = 0;
    int width = 0;
    int height = 0;

    std::int64_t area() const { return std::int64_t{width} * height; }
};

// The rectangles of the picture tiles of a `width` x `height` page, in pixels (the last column and row of
// tiles cut by the page's edges), ordered top to bottom, then left to right. At most kMaxPictures; none
// overlap or touch.
std::vector<PixelRect> pictureRects(const PictureTiles& tiles, int width, int height);

}  // namespace pagewash
