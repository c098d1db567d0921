#include "imaging/text_page_measure.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace pagewash {

namespace {

constexpr std::uint32_t kTileSamples = kToneTile * kToneTile / 4;

// The level below which at least `count` pixels lie: the first level whose running count reaches it.
int levelReaching(const std::uint32_t* histogram, std::uint32_t count) {
    std::uint32_t seen = 0;
    for (int level = 0; level < 256; ++level) {
        seen += histogram[level];
        if (seen >= count) return level;
    }
    return 255;
}

}  // namespace

TileTone tileTone(const std::uint32_t* histogram, std::uint32_t pixels, int pageInk) {
    TileTone tone;
    if (pixels == 0) return tone;
    const int lo = levelReaching(histogram, std::max<std::uint32_t>(1, pixels / 20));
    const int hi = levelReaching(histogram, pixels - pixels / 20);
    tone.median = levelReaching(histogram, (pixels + 1) / 2);
    const int spread = hi - lo;
    tone.flat = spread < kToneSpread;
    if (tone.flat) return tone;
    if (levelReaching(histogram, std::max<std::uint32_t>(1, pixels / 100)) >= pageInk + kInkMargin) {
        tone.tonal = true;
        return tone;
    }
    std::uint32_t middle = 0;
    for (int level = lo + spread / 4; level <= hi - spread / 4; ++level) middle += histogram[level];
    tone.tonal = static_cast<double>(middle) >= kTonalMiddleShare * static_cast<double>(pixels);
    return tone;
}

namespace {

// `tile` after `near` and `far` in a row or a column: a level stretch, then a clear step.
bool isFillStep(const TileTone& tile, const TileTone& near, const TileTone& far) {
    for (const TileTone* t : {&tile, &near, &far})
        if (!t->flat || t->median < kDarkLevel) return false;
    const int stretch = near.median - far.median;
    const int step = tile.median - near.median;
    return stretch >= -kPlateau && stretch <= kPlateau && (step >= kFlatStep || step <= -kFlatStep);
}

}  // namespace

ToneMeasure measureTone(const std::uint8_t* gray, int width, int height, std::size_t stride) {
    ToneMeasure measure;
    if (width < kToneTile || height < kToneTile) return measure;
    const int tileColumns = width / kToneTile;
    const int tileRows = height / kToneTile;
    // The page's ink, from the histogram of its whole tiles.
    std::array<std::uint64_t, 256> page{};
    for (int y = 0; y < tileRows * kToneTile; ++y) {
        const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < tileColumns * kToneTile; ++x) ++page[row[x]];
    }
    const std::uint64_t inkCount =
        std::max<std::uint64_t>(1, std::uint64_t{static_cast<std::uint32_t>(tileRows)} *
                                       static_cast<std::uint32_t>(tileColumns) * kToneTile * kToneTile / 200);
    int pageInk = 0;
    for (std::uint64_t seen = page[0]; seen < inkCount && pageInk < 255;
         seen += page[static_cast<std::size_t>(++pageInk)]) {
    }
    std::vector<std::uint32_t> histograms(static_cast<std::size_t>(tileColumns) * 256);
    std::vector<TileTone> twoAbove(static_cast<std::size_t>(tileColumns));
    std::vector<TileTone> above(static_cast<std::size_t>(tileColumns));
    std::vector<TileTone> current(static_cast<std::size_t>(tileColumns));
    for (int tileRow = 0; tileRow < tileRows; ++tileRow) {
        std::fill(histograms.begin(), histograms.end(), 0);
        // Every other pixel of every other row: 256 of a tile's pixels tell its spread as well.
        for (int y = tileRow * kToneTile; y < (tileRow + 1) * kToneTile; y += 2) {
            const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
            for (int t = 0; t < tileColumns; ++t) {
                std::uint32_t* histogram = histograms.data() + static_cast<std::size_t>(t) * 256;
                const std::uint8_t* tile = row + static_cast<std::size_t>(t) * kToneTile;
                for (int x = 0; x < kToneTile; x += 2) ++histogram[tile[x]];
            }
        }
        for (std::size_t t = 0; t < current.size(); ++t) {
            const TileTone tone = tileTone(histograms.data() + t * 256, kTileSamples, pageInk);
            current[t] = tone;
            const bool step = (t > 1 && isFillStep(tone, current[t - 1], current[t - 2])) ||
                              (tileRow > 1 && isFillStep(tone, above[t], twoAbove[t]));
            measure.tonalTiles += tone.tonal || step ? 1 : 0;
        }
        std::swap(twoAbove, above);
        std::swap(above, current);
    }
    measure.tiles = std::int64_t{tileColumns} * tileRows;
    return measure;
}

}  // namespace pagewash
