#pragma once
// A colour image reduced four times in each direction while its full decoding goes by, each pixel the
// rounded mean of a 4 x 4 block (the blocks at the right and bottom edges cut by the image): the colour
// measure of --bilevel taken from the one decoding the page needs, instead of a second, reduced one.
// Internal to imaging/; one object per image and thread.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pagewash {

class QuarterColorImage {
  public:
    // Sized for a width x height RGB image. Throws std::bad_alloc.
    void begin(int width, int height);
    // Row y of the full image (width RGB pixels), the rows in order from 0.
    void addRow(const std::uint8_t* rgb, int y);

    // The reduced pixels (RGB), complete once the last row was added.
    const std::uint8_t* pixels() const { return m_pixels.get(); }
    std::size_t count() const { return m_width * m_height; }

    // The memory it holds for a width x height image.
    static std::uint64_t memoryNeed(int width, int height);

  private:
    void flushBand(int y);

    std::unique_ptr<std::uint8_t[]> m_pixels;
    std::unique_ptr<std::uint32_t[]> m_sums;  // the band's sums per block: all R, then all G, then all B
    std::unique_ptr<std::uint8_t[]> m_tail;   // a row's last pixels, padded with zeros to a vector
    std::size_t m_fullWidth = 0;
    int m_fullHeight = 0;
    std::size_t m_width = 0;
    std::size_t m_height = 0;
};

}  // namespace pagewash
