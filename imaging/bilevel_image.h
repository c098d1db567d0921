#pragma once
// A 1-bit image as CCITT coding and PDF's 1-bit images lay it out: rows top to bottom, each padded to a
// whole byte, the leftmost pixel in the most significant bit, 1 for black. A plain value; no shared state.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagewash {

struct BilevelImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bits;  // height * stride() bytes

    BilevelImage() = default;
    // All white. REQUIRES: width, height >= 0.
    BilevelImage(int w, int h)
        : width(w), height(h), bits(stride() * static_cast<std::size_t>(h > 0 ? h : 0), 0) {}

    std::size_t stride() const { return (static_cast<std::size_t>(width > 0 ? width : 0) + 7) / 8; }
    std::uint8_t* row(int y) { return bits.data() + static_cast<std::size_t>(y) * stride(); }
    const std::uint8_t* row(int y) const { return bits.data() + static_cast<std::size_t>(y) * stride(); }
    bool black(int x, int y) const { return ((row(y)[x >> 3] >> (7 - (x & 7))) & 1) != 0; }
    void setBlack(int x, int y) { row(y)[x >> 3] |= static_cast<std::uint8_t>(0x80 >> (x & 7)); }
    void setWhite(int x, int y) { row(y)[x >> 3] &= static_cast<std::uint8_t>(~(0x80 >> (x & 7))); }
};

}  // namespace pagewash
