#pragma once
// Whether a colour page image holds real colour (a red stamp, a coloured plate, a photo) or only the
// tint of its paper (a yellowed or gray-tinted page of text), for --keep-color-pages.
//
// The measure: the image is decoded at a quarter of its size; the paper's colour is the mean colour of
// the brightest tenth of its pixels. Each pixel's chroma is taken on two opponent axes, a = R - G and
// b = (R + G) / 2 - B. When the paper is tinted (its own (a, b) at least 4 from gray), the part of a
// pixel's chroma along the paper's hue is taken out: yellowed paper, a darker yellowed margin, brown
// ink and a shadow share that hue. What is left is the chroma across it, or against it (a blue on a
// yellowed page). The image has real colour when more than kColorPixelShare of its pixels have a chroma
// above kColorChroma.
// Measured with these values (share of pixels above chroma 40): yellowed or gray-tinted pages of text
// 0 to 0.007 % (a yellowed book photographed on its table, a gray-lit thesis page, a yellowed printed
// page); a small red stamp on such a page 0.66 %, a line of small red type 0.096 %, notes in red and
// blue pen 4.9 to 7.5 %, a colour photo 17 %. Thread-safe: no shared state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace pagewash {

// The chroma above which a pixel counts as coloured (0..255), and the share of such pixels
// above which an image has real colour.
inline constexpr int kColorChroma = 40;
inline constexpr double kColorPixelShare = 0.0005;

struct ColorContent {
    std::array<std::uint64_t, 256> chroma{};  // pixels by chroma (0..255)
    std::uint64_t pixels = 0;
    std::array<int, 3> paper{};  // the paper's mean R, G, B

    // The share of the pixels whose chroma is above `level`; 0 for an empty image.
    double shareAbove(int level) const;
    bool hasRealColor() const { return shareAbove(kColorChroma) > kColorPixelShare; }
};

// Decodes the JPEG of `file` (from its current position) at a quarter of its size and measures it.
// False after a fatal libjpeg error or when it does not decode to 3 components; `content` is then
// unspecified.
bool measureColorContent(std::FILE* file, ColorContent& content);

// The same measure of `count` RGB pixels of an image already reduced four times (QuarterColorImage).
void measureColorContent(const std::uint8_t* rgb, std::size_t count, ColorContent& content);

}  // namespace pagewash
