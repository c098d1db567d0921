#pragma once
// Where a mixed page holds pictures (photos, halftones, shaded areas): those belong to the background, not
// to the text mask, which would turn them into blotches of ink. The page is cut into the tone measure's
// tiles (text_page_measure.h). A tile is a picture tile when it is tonal by that measure and its middle
// tones are not one tint (kTintShare of them within kTintWidth levels: the edge of a tinted panel), or
// when its ink is a screen (a halftone's dots: in kScreenLines of its rows and of its columns the ink
// changes at least kScreenChanges times; lines of text leave the rows between them empty, and a tile's
// columns cross a line or two). From those tiles the picture spreads to the tiles around them that are
// flat and darker than the paper by kPictureDepth (the even inside of a photo). Last, gaps of up to
// 2 kGapTiles tiles inside a picture are closed (its parts that look like text after the levels crushed
// its darks to black and its lights to paper). Thread-safe: no shared state.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bilevel_image.h"

namespace pagewash {

inline constexpr int kPictureDepth = 48;
inline constexpr int kScreenChanges = 6;
inline constexpr int kScreenLines = 26;  // of a tile's 32 rows, and of its 32 columns
inline constexpr int kGapTiles = 2;
inline constexpr int kTintWidth = 16;
inline constexpr double kTintShare = 0.8;

struct PictureTiles {
    int columns = 0;  // tiles of kToneTile pixels, the last column and row cut by the image's edges
    int rows = 0;
    std::vector<std::uint8_t> picture;  // columns * rows, 1 for a picture tile
    std::int64_t pictureTiles = 0;

    bool at(int column, int row) const {
        return picture[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                       static_cast<std::size_t>(column)] != 0;
    }
};

// The picture tiles of `height` rows of `width` gray pixels, `stride` bytes apart, whose binarization is
// `mask`.
PictureTiles findPictureTiles(const std::uint8_t* gray, int width, int height, std::size_t stride,
                              const BilevelImage& mask);

// The tiles of `mask` whose ink is a screen (as above), of all its tiles, whole or cut by the edges.
std::int64_t countScreenTiles(const BilevelImage& mask);

// Clears the ink of `mask` (the same page) inside picture tiles.
void clearPictureInk(BilevelImage& mask, const PictureTiles& tiles);

}  // namespace pagewash
