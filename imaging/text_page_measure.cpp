#include "imaging/text_page_measure.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "imaging/tile_samples.h"

namespace pagewash {

namespace {

constexpr std::uint32_t kTileSamples = kToneTile * kToneTile / 4;
static_assert(kSampledTile == kToneTile && kSamplesPerTile == kTileSamples);

// The level below which at least `count` pixels lie: the first level whose running count reaches it.
int levelReaching(const std::uint32_t* histogram, std::uint32_t count, int lowest) {
    std::uint32_t seen = 0;
    for (int level = lowest; level < 256; ++level) {
        seen += histogram[level];
        if (seen >= count) return level;
    }
    return 255;
}

// The darkest level `level` of the `width` x `height` pixels with at least `inkCount` pixels at or below
// it, or 255. Most of a page is lighter than its ink: a guess of a level `bound` above the ink (from every
// fourth pixel of every fourth row) lets the count skip the runs of 32 pixels that have none below it;
// if fewer than `inkCount` pixels are, every pixel is counted.
int levelOfInk(const std::uint8_t* gray, int width, int height, std::size_t stride, std::uint64_t inkCount) {
    const auto levelReached = [inkCount](const std::array<std::uint64_t, 256>& counts, int end) {
        std::uint64_t seen = 0;
        for (int level = 0; level < end; ++level) {
            seen += counts[static_cast<std::size_t>(level)];
            if (seen >= inkCount) return level;
        }
        return -1;
    };
    // The guess: the level of twice the ink's share in the sample, a few levels on.
    // Two partial counts, for every other sample: paper repeats one level, and a single count would wait
    // on its previous increment.
    std::array<std::uint64_t, 256> sample{};
    std::array<std::uint64_t, 256> oddSamples{};
    std::uint64_t sampled = 0;
    for (int y = 0; y < height; y += 4) {
        const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
        int x = 0;
        for (; x + 4 < width; x += 8) {
            ++sample[row[x]];
            ++oddSamples[row[x + 4]];
        }
        if (x < width) ++sample[row[x]];
        sampled += static_cast<std::uint64_t>((width + 3) / 4);
    }
    for (std::size_t level = 0; level < 256; ++level) sample[level] += oddSamples[level];
    std::uint64_t seen = 0;
    int bound = 0;
    const std::uint64_t sampleInk = sampled * 2 / 200 + 1;
    while (bound < 256 && seen < sampleInk) seen += sample[static_cast<std::size_t>(bound++)];
    bound = std::min(256, bound + 8);

    std::array<std::uint64_t, 256> counts{};
    if (bound < 256) {
        constexpr int kRun = 32;  // width is a multiple of it (whole tiles)
        std::array<std::array<std::uint64_t, 256>, 4> runCounts{};
        const auto limit = static_cast<std::uint8_t>(bound);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width; x += kRun) {
                std::uint8_t darkest = 255;
                for (int i = 0; i < kRun; ++i) darkest = std::min(darkest, row[x + i]);
                if (darkest >= limit) continue;
                // Every pixel of the run counted, without a branch (ink and paper alternate along a run,
                // and a branch on each would be guessed wrong often), in four partial counts: paper
                // repeats one level. Only the levels below the guess are read.
                for (int i = 0; i < kRun; i += 4) {
                    ++runCounts[0][row[x + i]];
                    ++runCounts[1][row[x + i + 1]];
                    ++runCounts[2][row[x + i + 2]];
                    ++runCounts[3][row[x + i + 3]];
                }
            }
        }
        for (std::size_t level = 0; level < static_cast<std::size_t>(bound); ++level)
            counts[level] =
                runCounts[0][level] + runCounts[1][level] + runCounts[2][level] + runCounts[3][level];
        const int level = levelReached(counts, bound);
        if (level >= 0) return level;
        counts.fill(0);
    }
    // Four partial histograms, for pixels x mod 4: paper repeats one level, and counting every pixel in
    // one histogram would wait on the previous increment of the same count.
    std::array<std::array<std::uint64_t, 256>, 4> partial{};
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < width; x += 4) {
            ++partial[0][row[x]];
            ++partial[1][row[x + 1]];
            ++partial[2][row[x + 2]];
            ++partial[3][row[x + 3]];
        }
    }
    for (std::size_t level = 0; level < 256; ++level)
        counts[level] = partial[0][level] + partial[1][level] + partial[2][level] + partial[3][level];
    const int level = levelReached(counts, 256);
    return level >= 0 ? level : 255;
}

}  // namespace

TileTone tileTone(const std::uint32_t* histogram, std::uint32_t pixels, int pageInk, int lowest) {
    TileTone tone;
    if (pixels == 0) return tone;
    const int lo = levelReaching(histogram, std::max<std::uint32_t>(1, pixels / 20), lowest);
    const int hi = levelReaching(histogram, pixels - pixels / 20, lowest);
    tone.median = levelReaching(histogram, (pixels + 1) / 2, lowest);
    const int spread = hi - lo;
    tone.flat = spread < kToneSpread;
    if (tone.flat) return tone;
    if (levelReaching(histogram, std::max<std::uint32_t>(1, pixels / 100), lowest) >= pageInk + kInkMargin) {
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
    const int usedWidth = tileColumns * kToneTile;
    const int usedHeight = tileRows * kToneTile;
    const std::uint64_t inkCount =
        std::max<std::uint64_t>(1, std::uint64_t{static_cast<std::uint32_t>(tileRows)} *
                                       static_cast<std::uint32_t>(tileColumns) * kToneTile * kToneTile / 200);
    const int pageInk = levelOfInk(gray, usedWidth, usedHeight, stride, inkCount);
    // A band of tiles at a time. Most tiles of a text page are paper, their samples within less than
    // kToneSpread levels: flat whatever their percentiles, only their median is wanted (sampleBand finds
    // it). The others' samples are counted in two histograms (every other sample: paper repeats one
    // level, and a single count would wait on its previous increment), merged and cleared only between
    // the tile's lowest and highest level, so that both stay zero between tiles.
    std::array<std::uint32_t, 256> histogram{};
    std::array<std::uint32_t, 256> oddSamples{};
    BandSamples samples;
    std::vector<TileTone> twoAbove(static_cast<std::size_t>(tileColumns));
    std::vector<TileTone> above(static_cast<std::size_t>(tileColumns));
    std::vector<TileTone> current(static_cast<std::size_t>(tileColumns));
    for (int tileRow = 0; tileRow < tileRows; ++tileRow) {
        const std::uint8_t* band = gray + static_cast<std::size_t>(tileRow) * kToneTile * stride;
        // Every other pixel of every other row: 256 of a tile's pixels tell its spread as well.
        sampleBand(band, stride, current.size(), kToneSpread, samples);
        for (std::size_t t = 0; t < current.size(); ++t) {
            const int lowest = samples.lowest[t];
            const int highest = samples.highest[t];
            TileTone tone;
            if (highest - lowest < kToneSpread) {
                tone.flat = true;
                tone.median = samples.median[t];
            } else {
                for (std::size_t r = 0; r < kTileSampleRows; ++r) {
                    const std::uint8_t* row = samples.row(t, r);
                    for (std::size_t i = 0; i < kTileSampleRows; i += 2) {
                        ++histogram[row[i]];
                        ++oddSamples[row[i + 1]];
                    }
                }
                for (int level = lowest; level <= highest; ++level) {
                    histogram[static_cast<std::size_t>(level)] += oddSamples[static_cast<std::size_t>(level)];
                    oddSamples[static_cast<std::size_t>(level)] = 0;
                }
                tone = tileTone(histogram.data(), kTileSamples, pageInk, lowest);
                std::fill(histogram.begin() + lowest, histogram.begin() + highest + 1, 0);
            }
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
