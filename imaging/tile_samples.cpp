// The tiles' samples in vectors. Highway compiles the band's pass once per vector target (see
// foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this processor has; every form counts
// the same samples, so the levels found are the same.

#include "imaging/tile_samples.h"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/tile_samples.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::tiles::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The samples of one row of tiles, `count` of them: the even bytes of `row` (the low byte of each
// little-endian pair) to `samples`.
void takeEvenBytes(const std::uint8_t* row, std::size_t count, std::uint8_t* samples) {
    std::size_t i = 0;
#if HWY_TARGET != HWY_SCALAR
    const hn::ScalableTag<std::uint16_t> d16;
    const hn::Rebind<std::uint8_t, decltype(d16)> d8;
    const hn::Repartition<std::uint8_t, decltype(d16)> dBytes;
    const std::size_t lanes = hn::Lanes(d16);
    for (; i + lanes <= count; i += lanes)
        hn::StoreU(hn::TruncateTo(d8, hn::BitCast(d16, hn::LoadU(dBytes, row + 2 * i))), d8, samples + i);
#endif
    for (; i < count; ++i) samples[i] = row[2 * i];
}

void sampleBandOn(const std::uint8_t* band, std::size_t stride, std::size_t tiles, int narrowSpread,
                  BandSamples& out) {
    const std::size_t pitch = tiles * kTileSampleRows;
    for (std::size_t r = 0; r < kTileSampleRows; ++r)
        takeEvenBytes(band + 2 * r * stride, pitch, out.plane.data() + r * pitch);
    // A tile's row of samples is one vector of 16 bytes.
    const hn::CappedTag<std::uint8_t, kTileSampleRows> d;
    static_assert(kTileSampleRows == 16);
    for (std::size_t t = 0; t < tiles; ++t) {
        const std::size_t lanes = hn::Lanes(d);
        auto low = hn::Set(d, 255);
        auto high = hn::Zero(d);
        for (std::size_t r = 0; r < kTileSampleRows; ++r)
            for (std::size_t x = 0; x < kTileSampleRows; x += lanes) {
                const auto v = hn::LoadU(d, out.row(t, r) + x);
                low = hn::Min(low, v);
                high = hn::Max(high, v);
            }
        const int lowest = hn::GetLane(hn::MinOfLanes(d, low));
        const int highest = hn::GetLane(hn::MaxOfLanes(d, high));
        out.lowest[t] = static_cast<std::uint8_t>(lowest);
        out.highest[t] = static_cast<std::uint8_t>(highest);
        if (highest - lowest >= narrowSpread) continue;
        // The first level with half the samples at or below it, searched by halves within
        // [lowest, highest]; each lane counts at most 16 samples, in bytes.
        constexpr std::uint64_t kHalf = (kSamplesPerTile + 1) / 2;
        int from = lowest;
        int to = highest;
        while (from < to) {
            const int middle = (from + to) / 2;
            const auto level = hn::Set(d, static_cast<std::uint8_t>(middle));
            auto counts = hn::Zero(d);
            for (std::size_t r = 0; r < kTileSampleRows; ++r)
                for (std::size_t x = 0; x < kTileSampleRows; x += lanes) {
                    const auto v = hn::LoadU(d, out.row(t, r) + x);
                    // v <= level, as 0 or 0xFF: taking it off adds 1.
                    counts = hn::Sub(counts, hn::VecFromMask(d, hn::Eq(hn::Min(v, level), v)));
                }
            std::uint8_t laneCounts[kTileSampleRows];
            hn::StoreU(counts, d, laneCounts);
            std::uint64_t atOrBelow = 0;
            for (std::size_t lane = 0; lane < lanes; ++lane) atOrBelow += laneCounts[lane];
            if (atOrBelow >= kHalf)
                to = middle;
            else
                from = middle + 1;
        }
        out.median[t] = static_cast<std::uint8_t>(from);
    }
}

void findDarkRunsOn(const std::uint8_t* row, std::size_t runs, std::uint8_t level, std::uint8_t* hasDark) {
    constexpr std::size_t kRun = kSampledTile;
    const hn::CappedTag<std::uint8_t, kRun> d;
    const std::size_t lanes = hn::Lanes(d);
    if (level == 0) {
        std::fill_n(hasDark, runs, std::uint8_t{0});
        return;
    }
    // v < level as v <= level - 1: the minimum of the two is v.
    const auto below = hn::Set(d, static_cast<std::uint8_t>(level - 1));
    for (std::size_t run = 0; run < runs; ++run) {
        const std::uint8_t* pixels = row + run * kRun;
        auto dark = hn::Eq(hn::Min(hn::LoadU(d, pixels), below), hn::LoadU(d, pixels));
        for (std::size_t i = lanes; i < kRun; i += lanes) {
            const auto v = hn::LoadU(d, pixels + i);
            dark = hn::Or(dark, hn::Eq(hn::Min(v, below), v));
        }
        hasDark[run] = hn::AllFalse(d, dark) ? 0 : 1;
    }
}

}  // namespace pagewash::tiles::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

namespace tiles {
namespace {
HWY_EXPORT(sampleBandOn);
HWY_EXPORT(findDarkRunsOn);
}  // namespace
}  // namespace tiles

void sampleBand(const std::uint8_t* band, std::size_t stride, std::size_t tiles, int narrowSpread,
                BandSamples& out) {
    out.tiles = tiles;
    out.plane.resize(tiles * kSamplesPerTile);
    out.lowest.resize(tiles);
    out.highest.resize(tiles);
    out.median.resize(tiles);
    HWY_DYNAMIC_DISPATCH(tiles::sampleBandOn)(band, stride, tiles, narrowSpread, out);
}

void findDarkRuns(const std::uint8_t* row, std::size_t runs, std::uint8_t level, std::uint8_t* hasDark) {
    HWY_DYNAMIC_DISPATCH(tiles::findDarkRunsOn)(row, runs, level, hasDark);
}

}  // namespace pagewash
#endif  // HWY_ONCE
