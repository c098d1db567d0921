#pragma once
// The background layer of a mixed page: the corrected page reduced by a whole factor, each cell the mean
// of the page's pixels in it that are not ink nor next to ink, the cells with none of those (under text)
// filled from the paper around them, so that no dark halo of the text stays behind it. Thread-safe: no
// shared state.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/bilevel_image.h"

namespace pagewash {

// The cell of `cells` that a reader scaling them over `size` pixels draws at pixel `position`: the one
// under the pixel's centre. The layers are built and rendered with the same mapping.
inline int cellAt(int position, int size, int cells) {
    return static_cast<int>((2 * static_cast<std::uint64_t>(position) + 1) *
                            static_cast<std::uint64_t>(cells) / (2 * static_cast<std::uint64_t>(size)));
}

// The number of cells for `size` pixels reduced `factor` times (at least one).
inline int reducedSize(int size, int factor) { return size <= 0 ? 0 : (size + factor - 1) / factor; }

// The reduction for a page of that many pixels: 3 from about 225 dpi on an A4 or Letter page (a short side
// of 1900 pixels), 2 below.
int backgroundFactor(int width, int height);

struct ReducedImage {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::uint8_t> pixels;  // width * height * components, rows packed
};

// Fills the cells whose `weight` is 0 from the cells around them: each is given the mean of the filled
// cells of the same place at the coarsest halving of the image that has any (a pull-push fill: each
// hole takes the paper of its nearest surroundings, at any size, in time linear in the cells). With no
// filled cell at all, every cell becomes white.
void fillHoles(ReducedImage& image, std::vector<std::uint8_t>& filled);

// The background of `height` rows of `width` x `components` corrected pixels (`corrected`, rows packed):
// reduced `factor` times, ink (`mask`, the page's size) and the pixels touching it left out and filled.
ReducedImage reduceAroundInk(const std::uint8_t* corrected, int width, int height, int components,
                             const BilevelImage& mask, int factor);

}  // namespace pagewash
