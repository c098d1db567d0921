#pragma once
// Sauvola's adaptive threshold: a pixel is black when it is at or below
//     T = m * (1 + k * (s / R - 1)),
// m and s the mean and standard deviation of the gray values in a window x window square centred on it
// (cut by the image's edges), R = 128 the dynamic range of s. On plain paper s is small and T stays well
// below the paper (a shadow, a yellowed margin stay white); across a stroke s is large and T rises to
// the middle between ink and paper. Thread-safe: no shared state.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bilevel_image.h"

namespace pagewash {

struct SauvolaParameters {
    int window = 61;  // odd, 3..kMaxSauvolaWindow
    double k = 0.34;
};

// The sums of a window fit 32 bits up to this size: 255 * 255 pixels of 255 squared is below 2^32.
inline constexpr int kMaxSauvolaWindow = 255;

// The resolution a page image was scanned at, from its size alone (a PDF does not say it reliably): its
// short side taken as that of an A4 or Letter page (8.27 and 8.5 inches; 8.4 is within 2 % of both).
// A cropped or smaller page reads as a lower resolution, which only makes the window smaller.
int estimatedDpi(int width, int height);

// The window and k for a resolution: the window spans about a fifth of an inch (61 pixels at 300 dpi,
// 31 at 150, 121 at 600): twice the height of body text, so a window on a letter always holds paper
// and the inside of a bold stroke is not taken for paper; small enough to follow a shadow's edge.
SauvolaParameters sauvolaParametersForDpi(int dpi);

// The decision for one pixel from the exact sums of its window: `count` pixels, their `sum` and the
// sum of their squares. Both the fast binarization and its reference in the tests call it, so that they
// agree bit for bit. REQUIRES: count >= 1, sums as those of `count` values 0..255.
inline bool sauvolaBlack(std::uint8_t pixel, std::uint32_t sum, std::uint32_t squareSum, std::uint32_t count,
                         double k) {
    // A standard deviation of values 0..255 is at most 127.5, below R: the threshold never exceeds the
    // mean, and a pixel above the mean is white. Most of a page's paper is decided here.
    const std::uint64_t n = count;
    if (std::uint64_t{pixel} * n > sum) return false;
    // pixel <= m * (1 - k) + m * k * s / R, both sides times n: pixel * n - sum * (1 - k) <= sum * k * s / R,
    // and with n * n * variance = n * squareSum - sum * sum (exact in 64 bits) both sides squared, as
    // the right side is never negative: no square root per pixel.
    const double excess =
        static_cast<double>(std::uint64_t{pixel} * n) - static_cast<double>(sum) * (1.0 - k);
    if (excess <= 0.0) return true;
    constexpr double kRange = 128.0;
    const double spread = static_cast<double>(n * squareSum - std::uint64_t{sum} * sum);
    const double scaled = excess * static_cast<double>(n) * kRange;
    const double bound = static_cast<double>(sum) * k;
    return scaled * scaled <= bound * bound * spread;
}

// Binarizes `height` rows of `width` gray pixels (`stride` bytes apart) into `out` (resized). Working
// memory besides `out`: about 20 bytes per column and 8 per column of the window. REQUIRES: params.window
// odd, 1..kMaxSauvolaWindow.
void binarizeSauvola(const std::uint8_t* gray, int width, int height, std::size_t stride,
                     const SauvolaParameters& params, BilevelImage& out);

// The same binarization a few rows at a time, for a caller that works through the page band by band
// while its rows are in the cache: row y is decided once the rows up to y + window / 2 are in place.
class SauvolaBinarizer {
  public:
    // Resizes `out`, all white; it and the pixels must outlive the binarizer. Reads no pixel yet.
    SauvolaBinarizer(const std::uint8_t* gray, int width, int height, std::size_t stride,
                     const SauvolaParameters& params, BilevelImage& out);
    SauvolaBinarizer(const SauvolaBinarizer&) = delete;
    SauvolaBinarizer& operator=(const SauvolaBinarizer&) = delete;

    // The rows a row's window reaches below it.
    int half() const { return m_half; }
    // Decides the rows before `end` not decided yet, reading the rows before end + half().
    void binarizeRowsBefore(int end);

    // Pixels decided at a time: two bytes of a 1-bit row.
    static constexpr std::size_t kUnit = 16;

  private:
    const std::uint8_t* rowAt(int y) const { return m_gray + static_cast<std::size_t>(y) * m_stride; }
    void moveColumns(const std::uint8_t* entering, const std::uint8_t* leaving);

    const std::uint8_t* m_gray;
    std::size_t m_stride;
    int m_width;
    int m_height;
    int m_half;
    double m_k;
    BilevelImage& m_out;
    int m_rowsDone = 0;
    // The sums of each column over the window's rows, kept for the current row: the row entering below is
    // added and the row leaving above taken off, so no sum over the whole page is ever formed.
    std::vector<std::uint32_t> m_columnSum;
    std::vector<std::uint32_t> m_columnSquares;
    // The running sums of the column sums along the row, modulo 2^32: a window's sum is the difference
    // of two, exact as long as the window's own sum fits 32 bits (kMaxSauvolaWindow).
    std::vector<std::uint32_t> m_runningSum;
    std::vector<std::uint32_t> m_runningSquares;
    std::vector<std::uint32_t> m_columns;
};

}  // namespace pagewash
