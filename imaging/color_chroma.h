#pragma once
// The chroma of colour pixels as the colour measure counts it (color_content.h), in vectors: the same
// float steps in the same order as one pixel at a time, so the levels are the same. Internal to imaging/.

#include <cstddef>
#include <cstdint>

namespace pagewash {

// levels[i] = the chroma level (0..255, truncated) of pixel i of `count` RGB pixels: the distance from gray
// on the axes a = R - G and b = (R + G) / 2 - B, or, on a tinted paper (its hue the unit vector (ua, ub)),
// the larger of the chroma across that hue and against it. Returns how many it did: whole vectors only,
// the caller does the rest.
std::size_t chromaLevels(const std::uint8_t* rgb, std::size_t count, bool tinted, float ua, float ub,
                         std::uint8_t* levels);

}  // namespace pagewash
