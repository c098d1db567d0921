#pragma once
// The samples the text-page measure takes of a band of 32 x 32 tiles: every other pixel of every other
// row, 256 per tile, their lowest and highest level, and the median of a tile whose samples lie within a
// few levels (most of a text page: paper). Thread-safe: no shared state.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagewash {

inline constexpr int kSampledTile = 32;
inline constexpr std::size_t kTileSampleRows = kSampledTile / 2;
inline constexpr std::uint32_t kSamplesPerTile = kTileSampleRows * kTileSampleRows;

struct BandSamples {
    std::size_t tiles = 0;
    // kTileSampleRows rows of tiles * 16 samples: tile t's samples of its row r at sample(t, r).
    std::vector<std::uint8_t> plane;
    std::vector<std::uint8_t> lowest;
    std::vector<std::uint8_t> highest;
    // Where highest - lowest < the band's narrow spread: the 128th smallest sample (the median, as a
    // histogram's first level with half the samples at or below it finds it); else unset.
    std::vector<std::uint8_t> median;

    const std::uint8_t* row(std::size_t tile, std::size_t sampleRow) const {
        return plane.data() + sampleRow * tiles * kTileSampleRows + tile * kTileSampleRows;
    }
};

// Samples the `tiles` tiles of a band: 32 rows `stride` bytes apart, tile t from byte 32 t of each.
// Medians are found for tiles whose samples span fewer than `narrowSpread` levels.
void sampleBand(const std::uint8_t* band, std::size_t stride, std::size_t tiles, int narrowSpread,
                BandSamples& out);

// For each of `runs` runs of 32 pixels of `row`, whether one of its pixels lies below `level` (1) or none
// (0), to hasDark[run]: the runs the measure of the page's ink counts.
void findDarkRuns(const std::uint8_t* row, std::size_t runs, std::uint8_t level, std::uint8_t* hasDark);

}  // namespace pagewash
