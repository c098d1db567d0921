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
    tone.darkest = levelReaching(histogram, std::max<std::uint32_t>(1, pixels / 100), lowest);
    std::uint32_t middle = 0;
    for (int level = lo + spread / 4; level <= hi - spread / 4; ++level) middle += histogram[level];
    tone.fullMiddle = static_cast<double>(middle) >= kTonalMiddleShare * static_cast<double>(pixels);
    tone.tonal = tone.darkest >= pageInk + kInkMargin || tone.fullMiddle;
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

namespace {

// The guess: the level of twice the ink's share in every fourth pixel of every fourth row, a few levels on.
// Two partial counts, for every other sample.
struct InkGuess {
    std::array<std::uint64_t, 256> sample{};
    std::array<std::uint64_t, 256> oddSamples{};
    std::uint64_t sampled = 0;

    void add(const std::uint8_t* row, int width) {
        int x = 0;
        for (; x + 4 < width; x += 8) {
            ++sample[row[x]];
            ++oddSamples[row[x + 4]];
        }
        if (x < width) ++sample[row[x]];
        sampled += static_cast<std::uint64_t>((width + 3) / 4);
    }
    int bound() const {
        std::uint64_t seen = 0;
        int level = 0;
        const std::uint64_t sampleInk = sampled * 2 / 200 + 1;
        while (level < 256 && seen < sampleInk) {
            const auto l = static_cast<std::size_t>(level++);
            seen += sample[l] + oddSamples[l];
        }
        return std::min(256, level + 8);
    }
};

}  // namespace

// The page's ink: the darkest level with at least 0.5 % of the pixels of its whole tiles at or below it.
// Most of a page is lighter than its ink: a guess of a level `bound` above it (from every fourth pixel of
// every fourth row) lets the count skip the runs of 32 pixels that have none below it. If fewer pixels
// than that lie below the guess, every pixel is counted again.
struct ToneMeasurer::State {
    int usedWidth = 0;
    int usedHeight = 0;
    std::uint64_t inkCount = 0;
    InkGuess guess;
    int guessRows = 0;  // rows of it sampled
    int bound = 256;
    // Four partial counts of the runs with ink: paper repeats one level, and a single count would wait on
    // its previous increment.
    std::array<std::array<std::uint64_t, 256>, 4> runCounts{};
    // One tile's samples counted in two histograms (every other sample, for the same reason), merged and
    // cleared only between the tile's lowest and highest level, so that both stay zero between tiles.
    std::array<std::uint32_t, 256> histogram{};
    std::array<std::uint32_t, 256> oddSamples{};
    BandSamples samples;
    std::vector<TileTone> twoAbove;
    std::vector<TileTone> above;
    std::vector<TileTone> current;
    // Tiles tonal whatever the page's ink; the darkest levels of the others that are not flat, judged
    // against the ink once it is known.
    std::int64_t tonalTiles = 0;
    std::vector<std::uint8_t> darkestOfOthers;
};

namespace {

constexpr int kInkRun = 32;  // a whole tile's width

// The darkest level with at least `count` pixels at or below it, below `end`; -1 if none.
int levelReached(const std::array<std::uint64_t, 256>& counts, std::uint64_t count, int end) {
    std::uint64_t seen = 0;
    for (int level = 0; level < end; ++level) {
        seen += counts[static_cast<std::size_t>(level)];
        if (seen >= count) return level;
    }
    return -1;
}

// Adds every pixel of the runs of `rows` rows that hold one below `bound` to `counts`.
void countInkRuns(const std::uint8_t* gray, int width, int rows, std::size_t stride, int bound,
                  std::array<std::array<std::uint64_t, 256>, 4>& counts) {
    const auto runs = static_cast<std::size_t>(width / kInkRun);
    std::vector<std::uint8_t> hasDark(runs);
    for (int y = 0; y < rows; ++y) {
        const std::uint8_t* row = gray + static_cast<std::size_t>(y) * stride;
        findDarkRuns(row, runs, static_cast<std::uint8_t>(bound), hasDark.data());
        for (int x = 0; x < width; x += kInkRun) {
            if (hasDark[static_cast<std::size_t>(x / kInkRun)] == 0) continue;
            // Every pixel of the run, without a branch: ink and paper alternate along a run, and a branch
            // on each would be guessed wrong often. Only the levels below the guess are read.
            for (int i = 0; i < kInkRun; i += 4) {
                ++counts[0][row[x + i]];
                ++counts[1][row[x + i + 1]];
                ++counts[2][row[x + i + 2]];
                ++counts[3][row[x + i + 3]];
            }
        }
    }
}

std::array<std::uint64_t, 256> merged(const std::array<std::array<std::uint64_t, 256>, 4>& partial) {
    std::array<std::uint64_t, 256> counts{};
    for (std::size_t level = 0; level < 256; ++level)
        counts[level] = partial[0][level] + partial[1][level] + partial[2][level] + partial[3][level];
    return counts;
}

}  // namespace

ToneMeasurer::ToneMeasurer(const std::uint8_t* gray, int width, int height, std::size_t stride)
    : m_gray(gray), m_stride(stride), m_state(std::make_unique<State>()) {
    if (width < kToneTile || height < kToneTile) return;
    m_tileColumns = width / kToneTile;
    m_tileRows = height / kToneTile;
    State& state = *m_state;
    state.usedWidth = m_tileColumns * kToneTile;
    state.usedHeight = m_tileRows * kToneTile;
    state.inkCount = std::max<std::uint64_t>(1, std::uint64_t{static_cast<std::uint32_t>(m_tileRows)} *
                                                    static_cast<std::uint32_t>(m_tileColumns) * kToneTile *
                                                    kToneTile / 200);
    const auto columns = static_cast<std::size_t>(m_tileColumns);
    state.twoAbove.resize(columns);
    state.above.resize(columns);
    state.current.resize(columns);
}

ToneMeasurer::~ToneMeasurer() = default;

void ToneMeasurer::sampleGuessRow(int y) {
    State& state = *m_state;
    if (y != state.guessRows || y >= state.usedHeight) return;
    state.guess.add(m_gray + static_cast<std::size_t>(y) * m_stride, state.usedWidth);
    state.guessRows += 4;
}

void ToneMeasurer::measureNextBand() {
    State& state = *m_state;
    if (m_band == 0) {
        for (int y = state.guessRows; y < state.usedHeight; y += 4) sampleGuessRow(y);
        state.bound = state.guess.bound();
    }
    const std::uint8_t* band = m_gray + static_cast<std::size_t>(m_band) * kToneTile * m_stride;
    if (state.bound < 256)
        countInkRuns(band, state.usedWidth, kToneTile, m_stride, state.bound, state.runCounts);
    // Every other pixel of every other row: 256 of a tile's pixels tell its spread as well. Most tiles of
    // a text page are paper, their samples within less than kToneSpread levels: flat whatever their
    // percentiles, only their median is wanted (sampleBand finds it).
    sampleBand(band, m_stride, state.current.size(), kToneSpread, state.samples);
    for (std::size_t t = 0; t < state.current.size(); ++t) {
        const int lowest = state.samples.lowest[t];
        const int highest = state.samples.highest[t];
        TileTone tone;
        if (highest - lowest < kToneSpread) {
            tone.flat = true;
            tone.median = state.samples.median[t];
        } else {
            for (std::size_t r = 0; r < kTileSampleRows; ++r) {
                const std::uint8_t* row = state.samples.row(t, r);
                for (std::size_t i = 0; i < kTileSampleRows; i += 2) {
                    ++state.histogram[row[i]];
                    ++state.oddSamples[row[i + 1]];
                }
            }
            for (int level = lowest; level <= highest; ++level) {
                const auto l = static_cast<std::size_t>(level);
                state.histogram[l] += state.oddSamples[l];
                state.oddSamples[l] = 0;
            }
            // The page's ink is not known yet: its `darkest` is judged against it in finish().
            tone = tileTone(state.histogram.data(), kTileSamples, 0, lowest);
            std::fill(state.histogram.begin() + lowest, state.histogram.begin() + highest + 1, 0);
        }
        state.current[t] = tone;
        const bool step = (t > 1 && isFillStep(tone, state.current[t - 1], state.current[t - 2])) ||
                          (m_band > 1 && isFillStep(tone, state.above[t], state.twoAbove[t]));
        if (step || tone.fullMiddle)
            ++state.tonalTiles;
        else if (!tone.flat)
            state.darkestOfOthers.push_back(static_cast<std::uint8_t>(tone.darkest));
    }
    std::swap(state.twoAbove, state.above);
    std::swap(state.above, state.current);
    ++m_band;
}

bool ToneMeasurer::knownNoTextPage() const {
    ToneMeasure known;
    known.tiles = std::int64_t{m_tileColumns} * m_tileRows;
    known.tonalTiles = m_state->tonalTiles;
    return !known.isTextPage();
}

ToneMeasure ToneMeasurer::finish() {
    ToneMeasure measure;
    if (m_tileRows == 0) return measure;
    State& state = *m_state;
    int pageInk = -1;
    if (state.bound < 256) pageInk = levelReached(merged(state.runCounts), state.inkCount, state.bound);
    if (pageInk < 0) {
        // Fewer pixels below the guess than the ink's count: every pixel counted.
        std::array<std::array<std::uint64_t, 256>, 4> partial{};
        for (int y = 0; y < state.usedHeight; ++y) {
            const std::uint8_t* row = m_gray + static_cast<std::size_t>(y) * m_stride;
            for (int x = 0; x < state.usedWidth; x += 4) {
                ++partial[0][row[x]];
                ++partial[1][row[x + 1]];
                ++partial[2][row[x + 2]];
                ++partial[3][row[x + 3]];
            }
        }
        pageInk = levelReached(merged(partial), state.inkCount, 256);
        if (pageInk < 0) pageInk = 255;
    }
    measure.tiles = std::int64_t{m_tileColumns} * m_tileRows;
    measure.tonalTiles = state.tonalTiles;
    for (const std::uint8_t darkest : state.darkestOfOthers)
        measure.tonalTiles += darkest >= pageInk + kInkMargin ? 1 : 0;
    return measure;
}

ToneMeasure measureTone(const std::uint8_t* gray, int width, int height, std::size_t stride) {
    ToneMeasurer measurer(gray, width, height, stride);
    while (measurer.bandsMeasured() < measurer.bands()) measurer.measureNextBand();
    return measurer.finish();
}

}  // namespace pagewash
