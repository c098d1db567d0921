// The median window filter. The 3 x 3 filter and the constant-time median are written once with Highway's
// operations; Highway compiles this file once per vector target (see foreach_target.h) and
// HWY_DYNAMIC_DISPATCH runs the widest form this processor has. The sliding histogram of one row, for the
// narrow windows and the border rows, is plain code.

#include "imaging/median_blur.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#ifndef PAGEWASH_IMAGING_MEDIAN_BLUR_PLAIN
#define PAGEWASH_IMAGING_MEDIAN_BLUR_PLAIN  // compiled once, not per target
namespace pagewash {
namespace {

// From this radius on, the constant-time median beats the sliding histogram of one row.
constexpr std::size_t kConstantTimeFromRadius = 2;

// Huang's sliding histogram along one row: moving one pixel right adds the column that enters the window
// and removes the one that leaves it. The wanted value is tracked incrementally: `median` with `below`, the
// number of samples smaller than it, moves only as far as the histogram's change requires.
// Position floor(m / 2) of the descending order is the k-th smallest sample with k = m - floor(m / 2).
void medianRow(const BlurImage& image, std::size_t y, std::size_t rx, std::size_t ry, std::uint8_t* out) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t y0 = y > ry ? y - ry : 0;
    const std::size_t y1 = std::min(y + ry, height - 1);
    const std::size_t windowHeight = y1 - y0 + 1;
    const std::uint8_t* const top = image.pixels + y0 * width;

    std::array<std::uint32_t, 256> hist{};
    unsigned median = 0;
    std::uint64_t below = 0;
    auto addColumn = [&](std::size_t x) {
        const std::uint8_t* p = top + x;
        for (std::size_t i = 0; i < windowHeight; ++i, p += width) {
            ++hist[*p];
            below += *p < median;
        }
    };
    auto removeColumn = [&](std::size_t x) {
        const std::uint8_t* p = top + x;
        for (std::size_t i = 0; i < windowHeight; ++i, p += width) {
            --hist[*p];
            below -= *p < median;
        }
    };

    for (std::size_t x = 0; x < rx; ++x) addColumn(x);
    for (std::size_t x = 0; x < width; ++x) {
        if (x + rx < width) addColumn(x + rx);
        if (x > rx) removeColumn(x - rx - 1);
        const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
        const std::uint64_t m = std::uint64_t{windowWidth} * windowHeight;
        const std::uint64_t k = m - m / 2;
        while (below >= k) {
            --median;
            below -= hist[median];
        }
        while (below + hist[median] < k) {
            below += hist[median];
            ++median;
        }
        out[x] = static_cast<std::uint8_t>(median);
    }
}

// The k-th smallest sample (1-based) of the window of (x, y), clipped. For the few border pixels of the
// 3 x 3 filter.
std::uint8_t windowRank(const BlurImage& image, std::size_t x, std::size_t y, std::size_t rx,
                        std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t x0 = x > rx ? x - rx : 0, x1 = std::min(x + rx, width - 1);
    const std::size_t y0 = y > ry ? y - ry : 0, y1 = std::min(y + ry, height - 1);
    std::array<std::uint8_t, 9> samples{};
    std::size_t m = 0;
    for (std::size_t yy = y0; yy <= y1; ++yy) {
        for (std::size_t xx = x0; xx <= x1; ++xx) samples[m++] = image.pixels[yy * width + xx];
    }
    const std::size_t k = m - m / 2;
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(k - 1),
                     samples.begin() + static_cast<std::ptrdiff_t>(m));
    return samples[k - 1];
}

}  // namespace
}  // namespace pagewash
#endif  // PAGEWASH_IMAGING_MEDIAN_BLUR_PLAIN

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/median_blur.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The lowest, middle and highest of three samples, in vectors of any width (the row's tail goes one sample
// at a time).
template <class D>
HWY_INLINE void sortColumns(D d, const std::uint8_t* above, const std::uint8_t* row,
                            const std::uint8_t* below, std::uint8_t* low, std::uint8_t* middle,
                            std::uint8_t* high) {
    const auto a = hn::LoadU(d, above), b = hn::LoadU(d, row), c = hn::LoadU(d, below);
    const auto lo = hn::Min(a, b), hi = hn::Max(a, b);
    hn::StoreU(hn::Min(lo, c), d, low);
    hn::StoreU(hn::Max(hi, c), d, high);
    hn::StoreU(hn::Max(lo, hn::Min(hi, c)), d, middle);
}

template <class V>
HWY_INLINE V median3(V a, V b, V c) {
    return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

// The median of the nine samples around each of `at`'s samples from the sorted columns:
// med3(max of the low ones, med3 of the middle ones, min of the high ones).
template <class D>
HWY_INLINE void medianOfSorted(D d, const std::uint8_t* low, const std::uint8_t* middle,
                               const std::uint8_t* high, std::uint8_t* out) {
    const auto maxLow = hn::Max(hn::Max(hn::LoadU(d, low - 1), hn::LoadU(d, low)), hn::LoadU(d, low + 1));
    const auto minHigh = hn::Min(hn::Min(hn::LoadU(d, high - 1), hn::LoadU(d, high)), hn::LoadU(d, high + 1));
    const auto medMiddle = median3(hn::LoadU(d, middle - 1), hn::LoadU(d, middle), hn::LoadU(d, middle + 1));
    hn::StoreU(median3(maxLow, medMiddle, minHigh), d, out);
}

// 3 x 3 median of the interior samples 1 .. width - 2 of a row: each column's three samples are sorted
// once into scratch (3 width bytes).
void median3x3RowOn(const std::uint8_t* above, const std::uint8_t* row, const std::uint8_t* below,
                    std::uint8_t* scratch, std::uint8_t* out, std::size_t width) {
    const hn::ScalableTag<std::uint8_t> d;
    const hn::CappedTag<std::uint8_t, 1> one;
    const std::size_t lanes = hn::Lanes(d);
    std::uint8_t* const low = scratch;
    std::uint8_t* const middle = scratch + width;
    std::uint8_t* const high = scratch + 2 * width;
    std::size_t x = 0;
    for (; x + lanes <= width; x += lanes) {
        sortColumns(d, above + x, row + x, below + x, low + x, middle + x, high + x);
    }
    for (; x < width; ++x) sortColumns(one, above + x, row + x, below + x, low + x, middle + x, high + x);
    x = 1;
    for (; x + lanes + 1 <= width; x += lanes) medianOfSorted(d, low + x, middle + x, high + x, out + x);
    for (; x + 1 < width; ++x) medianOfSorted(one, low + x, middle + x, high + x, out + x);
}

// Perreault and Hebert's constant-time median: a histogram per column over the window's rows, updated by
// one sample in and one out per row, and the window's histogram updated by adding the entering column's
// histogram and subtracting the leaving one's. Two tiers: 16 coarse bins (levels 16b .. 16b + 15), kept
// exact at every pixel, and 16 fine bins per coarse bin, brought up to date only for the coarse bin that
// holds the wanted sample. All histograms are kept cumulative (entry j counts the samples of bins 0 .. j),
// which sums as well as plain counts do and lets the search count the entries below the wanted rank; a
// sample entering a column adds one to every entry from its bin on.
//
// A column counts at most 2 ry + 1 <= 255 samples, in bytes (so that a page's columns stay in the
// second-level cache); a window at most 32,767, in signed 16-bit lanes.
using CountTag = hn::CappedTag<std::int16_t, 16>;
using ColumnTag = hn::Rebind<std::uint8_t, CountTag>;
constexpr std::size_t kLanes = hn::MaxLanes(CountTag());
constexpr std::size_t kParts = 16 / kLanes;
using CountVector = hn::Vec<CountTag>;

// 16 cumulative counts of a window, in kParts vectors.
struct Counts {
    CountVector part[kParts];
};

HWY_INLINE Counts zeroCounts() {
    Counts c;
    for (auto& p : c.part) p = hn::Zero(CountTag());
    return c;
}

// The 16 byte counts of a column added to (or subtracted from) a window's counts.
template <bool kAdd>
HWY_INLINE void accumulate(Counts& counts, const std::uint8_t* column) {
    for (std::size_t p = 0; p < kParts; ++p) {
        const CountVector v = hn::PromoteTo(CountTag(), hn::LoadU(ColumnTag(), column + p * kLanes));
        counts.part[p] = kAdd ? hn::Add(counts.part[p], v) : hn::Sub(counts.part[p], v);
    }
}

// The number of entries below `need`: the nondecreasing entries below it come first.
HWY_INLINE unsigned entriesBelow(const Counts& counts, std::int16_t need) {
    const CountVector limit = hn::Set(CountTag(), need);
    std::size_t n = 0;
    for (const auto& p : counts.part) n += hn::CountTrue(CountTag(), hn::Lt(p, limit));
    return static_cast<unsigned>(n);
}

// Column counts: 16 bytes per column segment; the byte changes of one sample added or subtracted.
template <bool kAdd>
HWY_INLINE void changeColumn(std::uint8_t* counts, const std::uint8_t* change) {
    const hn::CappedTag<std::uint8_t, 16> d;
    const std::size_t lanes = hn::Lanes(d);
    for (std::size_t p = 0; p < 16; p += lanes) {
        const auto c = hn::LoadU(d, counts + p), v = hn::LoadU(d, change + p);
        hn::StoreU(kAdd ? hn::Add(c, v) : hn::Sub(c, v), d, counts + p);
    }
}

// REQUIRES: 2 ry + 1 <= 255, (2 rx + 1) (2 ry + 1) <= 32767.
void medianConstantTimeOn(const BlurImage& image, std::size_t rx, std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    std::uint8_t* const pixels = image.pixels;
    // Fine counts by coarse bin, then column: the window moves along one bin's columns, side by side in
    // memory.
    std::vector<std::uint8_t> columnFine(16 * 16 * width, 0);
    std::vector<std::uint8_t> columnCoarse(16 * width, 0);
    auto fineAt = [&](std::size_t bin, std::size_t x) { return columnFine.data() + 16 * (bin * width + x); };
    auto coarseAt = [&](std::size_t x) { return columnCoarse.data() + 16 * x; };
    // Results wait in a ring of ry + 1 rows until no later row reads their input (row y is read up to row
    // y + ry, and leaves the column histograms at row y + ry + 1).
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> pending(ringRows * width);

    // from[t]: 1 in entries t .. 15, the change of a cumulative histogram by one sample of bin t.
    std::uint8_t from[16][16];
    for (unsigned t = 0; t < 16; ++t) {
        for (unsigned j = 0; j < 16; ++j) from[t][j] = j >= t ? 1 : 0;
    }
    auto changeRow = [&](std::size_t row, auto add) {
        const std::uint8_t* p = pixels + row * width;
        for (std::size_t x = 0; x < width; ++x) {
            changeColumn<decltype(add)::value>(fineAt(p[x] >> 4, x), from[p[x] & 15]);
            changeColumn<decltype(add)::value>(coarseAt(x), from[p[x] >> 4]);
        }
    };

    for (std::size_t row = 0; row < ry; ++row) changeRow(row, std::true_type{});
    Counts fine[16];
    std::ptrdiff_t fineX[16];  // the x at which fine[b] was last brought up to date, -1: never in this row
    for (std::size_t y = 0; y < height; ++y) {
        if (y > ry) {
            const std::size_t leaving = y - ry - 1;
            changeRow(leaving, std::false_type{});
            std::memcpy(pixels + leaving * width, pending.data() + (leaving % ringRows) * width, width);
        }
        if (y + ry < height) changeRow(y + ry, std::true_type{});
        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        std::uint8_t* const out = pending.data() + (y % ringRows) * width;

        Counts coarse = zeroCounts();
        for (std::size_t x = 0; x < rx; ++x) accumulate<true>(coarse, coarseAt(x));
        for (auto& at : fineX) at = -1;
        unsigned currentBin = 16;  // none yet in this row
        Counts current = zeroCounts();
        for (std::size_t x = 0; x < width; ++x) {
            if (x + rx < width) accumulate<true>(coarse, coarseAt(x + rx));
            if (x > rx) accumulate<false>(coarse, coarseAt(x - rx - 1));
            const std::size_t x0 = x > rx ? x - rx : 0;
            const std::size_t x1 = std::min(x + rx, width - 1);
            const auto m = static_cast<unsigned>((x1 - x0 + 1) * windowHeight);
            const unsigned k = m - m / 2;  // the k-th smallest sample is wanted

            // The coarse bin holding it: fewer than k samples lie below 16 bin, at least k below 16 (bin +
            // 1).
            const unsigned bin = entriesBelow(coarse, static_cast<std::int16_t>(k));
            unsigned below = 0;
            if (bin > 0) {
                std::int16_t entries[16];
                for (std::size_t p = 0; p < kParts; ++p)
                    hn::StoreU(coarse.part[p], CountTag(), entries + p * kLanes);
                below = static_cast<unsigned>(entries[bin - 1]);
            }

            // The fine counts of that bin for the window of x. The bin of the last pixel is kept in `current`
            // and moves along with one step; another bin is caught up step by step from where it was left,
            // or summed anew when that is cheaper.
            const auto here = static_cast<std::ptrdiff_t>(x);
            if (bin == currentBin) {
                if (x + rx < width) accumulate<true>(current, fineAt(bin, x + rx));
                if (x > rx) accumulate<false>(current, fineAt(bin, x - rx - 1));
            } else {
                if (currentBin < 16) {
                    fine[currentBin] = current;
                    fineX[currentBin] = here - 1;
                }
                const std::ptrdiff_t at = fineX[bin];
                if (at < 0 || static_cast<std::size_t>(here - at) * 2 > x1 - x0 + 1) {
                    current = zeroCounts();
                    for (std::size_t c = x0; c <= x1; ++c) accumulate<true>(current, fineAt(bin, c));
                } else {
                    current = fine[bin];
                    for (auto step = static_cast<std::size_t>(at) + 1; step <= x; ++step) {
                        if (step + rx < width) accumulate<true>(current, fineAt(bin, step + rx));
                        if (step > rx) accumulate<false>(current, fineAt(bin, step - rx - 1));
                    }
                }
                currentBin = bin;
            }
            const unsigned level = entriesBelow(current, static_cast<std::int16_t>(k - below));
            out[x] = static_cast<std::uint8_t>(16 * bin + level);
        }
    }
    const std::size_t firstUnwritten = height > ry + 1 ? height - ry - 1 : 0;
    for (std::size_t row = firstUnwritten; row < height; ++row) {
        std::memcpy(pixels + row * width, pending.data() + (row % ringRows) * width, width);
    }
}

}  // namespace pagewash::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

HWY_EXPORT(median3x3RowOn);
HWY_EXPORT(medianConstantTimeOn);

void medianBlurGray(const BlurImage& image, int radiusX, int radiusY) {
    if (radiusX == 0 && radiusY == 0) return;
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto rx = static_cast<std::size_t>(radiusX);
    const auto ry = static_cast<std::size_t>(radiusY);

    if (rx == 1 && ry == 1) {
        // Rows 0 and height - 1 are clipped windows: the sliding histogram takes them, and the first and
        // last sample of the rows between.
        std::vector<std::uint8_t> scratch(3 * width);
        std::vector<std::uint8_t> previous(width), current(width);
        medianRow(image, 0, rx, ry, previous.data());
        for (std::size_t y = 1; y + 1 < height; ++y) {
            const std::uint8_t* row = image.pixels + y * width;
            HWY_DYNAMIC_DISPATCH(median3x3RowOn)
            (row - width, row, row + width, scratch.data(), current.data(), width);
            current[0] = windowRank(image, 0, y, 1, 1);
            current[width - 1] = windowRank(image, width - 1, y, 1, 1);
            std::memcpy(image.pixels + (y - 1) * width, previous.data(), width);
            std::swap(previous, current);
        }
        medianRow(image, height - 1, rx, ry, current.data());
        std::memcpy(image.pixels + (height - 2) * width, previous.data(), width);
        std::memcpy(image.pixels + (height - 1) * width, current.data(), width);
        return;
    }
    if (rx >= kConstantTimeFromRadius && 2 * ry + 1 <= 255 && (2 * rx + 1) * (2 * ry + 1) <= 32767) {
        HWY_DYNAMIC_DISPATCH(medianConstantTimeOn)(image, rx, ry);
        return;
    }

    // A result row may replace its input only when no later row reads that input any more: row y is read
    // up to row y + ry. Results wait in a ring of ry + 1 rows.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> pending(ringRows * width);
    auto flush = [&](std::size_t row) {
        std::memcpy(image.pixels + row * width, pending.data() + (row % ringRows) * width, width);
    };
    for (std::size_t y = 0; y < height; ++y) {
        if (y > ry) flush(y - ry - 1);
        medianRow(image, y, rx, ry, pending.data() + (y % ringRows) * width);
    }
    for (std::size_t row = height > ry + 1 ? height - ry - 1 : 0; row < height; ++row) flush(row);
}

}  // namespace pagewash
#endif  // HWY_ONCE
