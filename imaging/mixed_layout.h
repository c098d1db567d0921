#pragma once
// Where the layers of a page stored as mixed raster content (--mrc) lie in its temporary file, and what
// the PDF objects that hold them must state. The worker writes the layers one after another (the text
// mask's Group 4 data, the background JPEG, the ink JPEG when there is one, the pictures' JPEGs) and fills
// this in; the writer cuts the file back into streams. A plain value.

#include <array>
#include <cstdint>

namespace pagewash {

// The most pictures a mixed page keeps at full resolution, each its own image.
inline constexpr int kMaxPictures = 8;

struct MixedPictureLayout {
    int x = 0;  // its rectangle in the image's pixels, from the top left corner
    int y = 0;
    int width = 0;
    int height = 0;
    int components = 0;
    std::int64_t length = 0;  // its JPEG's bytes
};

struct MixedLayout {
    int width = 0;  // the image's size, which is the mask's size
    int height = 0;
    std::int64_t maskLength = 0;  // the Group 4 data, first in the file; 1 = ink as coded
    std::int64_t backgroundLength = 0;
    int backgroundWidth = 0;
    int backgroundHeight = 0;
    int backgroundComponents = 0;
    int inkComponents = 0;  // 1 or 3
    // The one ink colour (its first inkComponents values) when there is no ink image.
    std::array<std::uint8_t, 3> inkColor{};
    std::int64_t inkLength = 0;  // 0: no ink image
    int inkWidth = 0;
    int inkHeight = 0;
    int pictureCount = 0;  // the first pictureCount of `pictures`, after the ink in the file
    std::array<MixedPictureLayout, kMaxPictures> pictures{};

    std::int64_t pictureOffset(int index) const {
        std::int64_t offset = maskLength + backgroundLength + inkLength;
        for (int i = 0; i < index; ++i) offset += pictures[static_cast<std::size_t>(i)].length;
        return offset;
    }
    std::int64_t fileLength() const { return pictureOffset(pictureCount); }
};

}  // namespace pagewash
