#pragma once
// The colour measure's steps over colour pixels (color_content.h) in vectors: the luma levels and the sums
// of the bright pixels that give the paper's colour, and the chroma levels, the float steps in the same
// order as one pixel at a time, so every level and sum is the same. Internal to imaging/.

#include <array>
#include <cstddef>
#include <cstdint>

namespace pagewash {

// levels[i] = the Rec. 601 luma in 8 bits, (77 R + 150 G + 29 B) / 256 truncated, of pixel i of `count`
// RGB pixels. Returns how many it did: whole vectors only, the caller does the rest.
std::size_t lumaLevels(const std::uint8_t* rgb, std::size_t count, std::uint8_t* levels);

// The sums of R, G and B (sum) and the number (taken) of the pixels whose luma (as lumaLevels) is at least
// `from`, added to what they hold, over all `count` RGB pixels.
void addBrightPixels(const std::uint8_t* rgb, std::size_t count, unsigned from,
                     std::array<std::uint64_t, 3>& sum, std::uint64_t& taken);

// levels[i] = the chroma level (0..255, truncated) of pixel i of `count` RGB pixels: the distance from gray
// on the axes a = R - G and b = (R + G) / 2 - B, or, on a tinted paper (its hue the unit vector (ua, ub)),
// the larger of the chroma across that hue and against it. Returns how many it did: whole vectors only,
// the caller does the rest.
std::size_t chromaLevels(const std::uint8_t* rgb, std::size_t count, bool tinted, float ua, float ub,
                         std::uint8_t* levels);

}  // namespace pagewash
