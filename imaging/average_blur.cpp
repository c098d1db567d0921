// The average window filter by running totals, written once with Highway's operations; Highway compiles
// this file once per vector target (see foreach_target.h) and HWY_DYNAMIC_DISPATCH runs the widest form this
// processor has.

#include "imaging/average_blur.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "imaging/average_blur.cpp"
#include <hwy/cache_control.h>
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace pagewash::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// For every row the column sums (over the window's rows) are brought up to date, the row's running totals
// of them per channel are formed, and every window sum is the difference of two totals. The totals wrap
// modulo 2^32; their differences, the window sums, stay far below it. The vector form needs one or three
// channels and 16-bit column sums (windows of at most 257 rows); the others go one sample at a time.
template <typename Sum>
struct AverageRows {
    std::size_t channels;
    std::size_t rowLength;      // samples per row
    std::size_t ahead;          // samples from a sample to the last column of its window (rx columns)
    std::size_t interiorBegin;  // samples [interiorBegin, interiorEnd) have unclipped windows along the row
    std::size_t interiorEnd;
    Sum* columnSums;                   // rowLength sums over the window's rows
    std::uint32_t* totals;             // rowLength running totals of the current row, with room before
                                       // (zeros) and `ahead` samples after it
    const std::uint32_t* last;         // the window of sample i sums to last[i] - beforeFirst[i]
    const std::uint32_t* beforeFirst;  //
    const float* inverse;              // 1 / m per sample of the current row
    float interiorInverse;             // 1 / m of the current row's unclipped windows
};

using D32 = hn::ScalableTag<std::uint32_t>;
using V32 = hn::Vec<D32>;

// The cache line 2048 bytes after p. A prefetch past the image's end is harmless; the address is formed in
// integers so that no pointer leaves its array.
HWY_INLINE void prefetchAhead(const std::uint8_t* p) {
    hwy::Prefetch(reinterpret_cast<const std::uint8_t*>(reinterpret_cast<std::uintptr_t>(p) + 2048));
}

// The lane moves of running totals over Channels interleaved channels (1 or 3) in vectors of 32-bit lanes;
// Channels 0: no vector form.
template <std::size_t Channels>
class TotalsMoves {
  public:
    static constexpr std::size_t kLanes = hn::MaxLanes(D32());
    static constexpr bool kVector = HWY_TARGET != HWY_SCALAR && Channels != 0;
    // Vectors per block: whole pairs (for the 16-bit column sums) and whole pixels.
    static constexpr std::size_t kParts = Channels == 1 ? 4 : 6;
    static constexpr std::size_t kBlock = kParts * kLanes;

    TotalsMoves() {
        if constexpr (kVector) {
            HWY_ALIGN std::int32_t index[kLanes];
            if constexpr (kLanes > 8) {
                for (std::size_t j = 0; j < kLanes; ++j)
                    index[j] = static_cast<std::int32_t>(j >= 4 ? j - 4 : 0);
                m_blockUp = hn::SetTableIndices(d, index);
                const hn::RebindToSigned<D32> di;
                m_blockKeep = hn::BitCast(d, hn::VecFromMask(di, hn::Gt(hn::Iota(di, 0), hn::Set(di, 3))));
            }
            for (std::size_t j = 0; j < kLanes; ++j)
                index[j] = static_cast<std::int32_t>(kLanes - Channels + j % Channels);
            m_lastOfChannel = hn::SetTableIndices(d, index);
            for (std::size_t k = 0; k < 3; ++k) {
                for (std::size_t j = 0; j < kLanes; ++j)
                    index[j] = static_cast<std::int32_t>((k * kLanes + j) % Channels);
                m_carryAt[k] = hn::SetTableIndices(d, index);
            }
        }
    }

    // Lane j: the sum of the lanes j, j - Channels, j - 2 Channels, ... of v.
    HWY_INLINE V32 localTotals(V32 v) const {
#if HWY_TARGET != HWY_SCALAR
        return totalsFrom<Channels>(v);
#else
        return v;
#endif
    }

    // Lane j: the last lane of v holding the channel that lane j holds in the vector after v.
    HWY_INLINE V32 carriedOver(V32 v) const { return hn::TableLookupLanes(v, m_lastOfChannel); }

    // The carry (lane j: the total of channel j mod Channels) in the lane order of the k-th vector of a
    // block.
    HWY_INLINE V32 carryAt(V32 carry, std::size_t k) const {
        if constexpr (Channels == 1) return carry;
        return hn::TableLookupLanes(carry, m_carryAt[k % 3]);
    }

  private:
    using Indices = decltype(hn::SetTableIndices(D32(), static_cast<const std::int32_t*>(nullptr)));

#if HWY_TARGET != HWY_SCALAR
    // v moved up by one 128-bit block, zeros in the first: one lane move on the wider targets.
    HWY_INLINE V32 blockUp(V32 v) const {
        if constexpr (kLanes <= 4) {
            return hn::Zero(d);
        } else if constexpr (kLanes == 8) {
            return hn::ConcatLowerLower(d, v, hn::Zero(d));
        } else {
            return hn::And(hn::TableLookupLanes(v, m_blockUp), m_blockKeep);
        }
    }

    // v moved up by Shift lanes, zeros below: the blocks' own byte shifts, fed from the block before
    // unless that is all zeros (v already moved up by Moved blocks).
    template <std::size_t Shift, std::size_t Moved = 0>
    HWY_INLINE V32 lanesUp(V32 v) const {
        if constexpr (Shift >= 4) {
            return lanesUp<Shift - 4, Moved + 1>(blockUp(v));
        } else if constexpr (Shift == 0) {
            return v;
        } else if constexpr (4 * (Moved + 1) >= kLanes) {
            return hn::ShiftLeftBytes<4 * Shift>(d, v);
        } else {
            return hn::CombineShiftRightBytes<16 - 4 * Shift>(d, v, blockUp(v));
        }
    }

    template <std::size_t Shift>
    HWY_INLINE V32 totalsFrom(V32 v) const {
        if constexpr (Shift < kLanes) {
            return totalsFrom<2 * Shift>(hn::Add(v, lanesUp<Shift>(v)));
        } else {
            return v;
        }
    }

#endif

    D32 d;
    Indices m_blockUp;
    V32 m_blockKeep;
    Indices m_lastOfChannel;
    Indices m_carryAt[3];
};

// The column sums of samples [begin, end) brought up to date, the input of `row` saved, and the running
// totals stored; a block of vectors at a time where the vector form applies, the rest one by one.
// REQUIRES: begin is a multiple of the block; end is one too, or the row's end.
template <std::size_t Channels, bool Enter, bool Leave, typename Sum>
HWY_INLINE void updateColumns(const AverageRows<Sum>& rows, const TotalsMoves<Channels>& moves,
                              const std::uint8_t* entering, std::uint8_t* saved, const std::uint8_t* row,
                              std::size_t begin, std::size_t end, V32& carry) {
    Sum* const columnSums = rows.columnSums;
    std::uint32_t* const totals = rows.totals;
    std::size_t i = begin;
#if HWY_TARGET != HWY_SCALAR
    if constexpr (TotalsMoves<Channels>::kVector) {
        using Moves = TotalsMoves<Channels>;
        constexpr std::size_t kLanes = Moves::kLanes, kParts = Moves::kParts, kBlock = Moves::kBlock;
        const D32 d;
        const hn::Repartition<std::uint16_t, D32> d16;
        const hn::Half<decltype(d16)> h16;
        const hn::Rebind<std::uint8_t, decltype(d16)> d8;
        for (; i + kBlock <= end; i += kBlock) {
            // The entering row comes from far caches or memory, the leaving one from the second level: ask
            // for both a little ahead.
            if constexpr (Enter) prefetchAhead(entering + i);
            if constexpr (Leave) prefetchAhead(saved + i);
            V32 local[kParts];
            for (std::size_t k = 0; k < kParts; k += 2) {
                const std::size_t at = i + k * kLanes;
                auto sums = hn::LoadU(d16, columnSums + at);
                if constexpr (Enter) sums = hn::Add(sums, hn::PromoteTo(d16, hn::LoadU(d8, entering + at)));
                if constexpr (Leave) sums = hn::Sub(sums, hn::PromoteTo(d16, hn::LoadU(d8, saved + at)));
                hn::StoreU(hn::LoadU(d8, row + at), d8, saved + at);
                hn::StoreU(sums, d16, columnSums + at);
                local[k] = hn::PromoteTo(d, hn::LowerHalf(h16, sums));
                local[k + 1] = hn::PromoteTo(d, hn::UpperHalf(h16, sums));
            }
            // Within a block each vector takes the last totals of the one before; from one block to the
            // next only the carry's addition is a chain.
            for (std::size_t k = 0; k < kParts; ++k) {
                local[k] = moves.localTotals(local[k]);
                if (k > 0) local[k] = hn::Add(local[k], moves.carriedOver(local[k - 1]));
            }
            for (std::size_t k = 0; k < kParts; ++k) {
                hn::StoreU(hn::Add(local[k], moves.carryAt(carry, k)), d, totals + i + k * kLanes);
            }
            carry = hn::Add(carry, moves.carriedOver(local[kParts - 1]));
        }
    }
#endif
    static_cast<void>(moves);
    static_cast<void>(carry);
    const std::size_t channels = rows.channels;
    for (; i < end; ++i) {
        std::uint32_t sum = columnSums[i];
        if constexpr (Enter) sum += entering[i];
        if constexpr (Leave) sum -= saved[i];
        saved[i] = row[i];
        columnSums[i] = static_cast<Sum>(sum);
        totals[i] = sum + (i >= channels ? totals[i - channels] : 0);
    }
}

// The results of samples [done, end): unclipped windows a vector at a time, the others one by one with
// their own inverses. Returns the new done.
template <typename Sum>
HWY_INLINE std::size_t results(const AverageRows<Sum>& rows, std::uint8_t* row, std::size_t done,
                               std::size_t end) {
    const std::uint32_t* const last = rows.last;
    const std::uint32_t* const beforeFirst = rows.beforeFirst;
    for (; done < rows.interiorBegin && done < end; ++done) {
        row[done] = windowQuotient(last[done] - beforeFirst[done], rows.inverse[done]);
    }
#if HWY_TARGET != HWY_SCALAR
    // windowQuotient a vector at a time. The quotient is below 256 and positive, so the truncation is the
    // floor, and adding 2^23 to it leaves it in the low byte of the float's bits.
    const D32 d;
    const hn::RebindToSigned<D32> di;
    const hn::Rebind<float, D32> df;
    const hn::Rebind<std::uint8_t, D32> d8;
    const hn::Repartition<std::uint16_t, D32> d16;
    const hn::Repartition<std::uint8_t, D32> dBytes;
    const std::size_t lanes = hn::Lanes(d);
    const auto inverse = hn::Set(df, rows.interiorInverse);
    const auto half = hn::Set(df, 0.5f);
    const auto lowByte = hn::Set(df, 8388608.0f);
    auto quotients = [&](std::size_t at) {  // the bits 0x4B0000qq
        const auto sums = hn::Sub(hn::LoadU(d, last + at), hn::LoadU(d, beforeFirst + at));
        const auto exact = hn::Add(hn::ConvertTo(df, hn::BitCast(di, sums)), half);
        return hn::BitCast(d, hn::Add(hn::Floor(hn::Mul(exact, inverse)), lowByte));
    };
    // Four vectors give a vector of bytes: the low halves of the 32-bit lanes, then their low bytes.
    for (; done + 4 * lanes <= end && done + 4 * lanes <= rows.interiorEnd; done += 4 * lanes) {
        const auto low =
            hn::ConcatEven(d16, hn::BitCast(d16, quotients(done + lanes)), hn::BitCast(d16, quotients(done)));
        const auto high = hn::ConcatEven(d16, hn::BitCast(d16, quotients(done + 3 * lanes)),
                                         hn::BitCast(d16, quotients(done + 2 * lanes)));
        hn::StoreU(hn::ConcatEven(dBytes, hn::BitCast(dBytes, high), hn::BitCast(dBytes, low)), dBytes,
                   row + done);
    }
    // The low bytes by a saturating narrowing of the masked lanes: Highway 1.0.3's TruncateTo from 32 to 8
    // bits permutes whole lanes instead of bytes on AVX3_DL and stores wrong bytes there.
    const auto byteMask = hn::Set(d, 0xFFu);
    for (; done + lanes <= end && done + lanes <= rows.interiorEnd; done += lanes) {
        hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di, hn::And(quotients(done), byteMask))), d8, row + done);
    }
#endif
    for (; done < end; ++done) {
        const float inverseHere = done < rows.interiorEnd ? rows.interiorInverse : rows.inverse[done];
        row[done] = windowQuotient(last[done] - beforeFirst[done], inverseHere);
    }
    return done;
}

// One row a stretch at a time: the results of each stretch follow as soon as the totals they need are
// there, while those are still in the first-level cache.
template <std::size_t Channels, bool Enter, bool Leave, typename Sum>
HWY_NOINLINE void averageRowBy(const AverageRows<Sum>& shared, const TotalsMoves<Channels>& sharedMoves,
                               const std::uint8_t* entering, std::uint8_t* saved, std::uint8_t* row) {
    // Copies of its own: the stores below cannot change them, so their fields stay in registers.
    const AverageRows<Sum> rows = shared;
    const TotalsMoves<Channels> moves = sharedMoves;
    const std::size_t kStretch = 32 * TotalsMoves<Channels>::kBlock;
    const std::size_t rowLength = rows.rowLength;
    V32 carry = hn::Zero(D32());
    std::size_t done = 0;  // results written for samples [0, done)
    for (std::size_t begin = 0; begin < rowLength; begin += kStretch) {
        const std::size_t end = std::min(begin + kStretch, rowLength);
        updateColumns<Channels, Enter, Leave>(rows, moves, entering, saved, row, begin, end, carry);
        if (end < rowLength) {
            if (end >= rows.ahead) done = results(rows, row, done, end - rows.ahead);
        } else {
            std::uint32_t* const totals = rows.totals;
            for (std::size_t i = 0; i < rows.ahead; ++i) {
                totals[rowLength + i] = totals[rowLength - rows.channels + i % rows.channels];
            }
            results(rows, row, done, rowLength);
        }
    }
}

template <std::size_t Channels, typename Sum>
void averageRow(const AverageRows<Sum>& rows, const TotalsMoves<Channels>& moves,
                const std::uint8_t* entering, std::uint8_t* saved, bool leave, std::uint8_t* row) {
    if (entering != nullptr && leave) {
        averageRowBy<Channels, true, true>(rows, moves, entering, saved, row);
    } else if (entering != nullptr) {
        averageRowBy<Channels, true, false>(rows, moves, entering, saved, row);
    } else if (leave) {
        averageRowBy<Channels, false, true>(rows, moves, entering, saved, row);
    } else {
        averageRowBy<Channels, false, false>(rows, moves, entering, saved, row);
    }
}

// 1 / m in single precision for every sample of a row whose windows are windowHeight rows high; m is the
// number of samples of the clipped window.
void fillInverses(std::vector<float>& inverse, std::size_t width, std::size_t channels, std::size_t rx,
                  std::size_t windowHeight) {
    for (std::size_t x = 0; x < width; ++x) {
        const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
        const float value = 1.0f / static_cast<float>(windowWidth * windowHeight);
        for (std::size_t c = 0; c < channels; ++c) inverse[x * channels + c] = value;
    }
}

// Running totals, a row at a time. The cost per pixel does not depend on the radius.
template <std::size_t Channels, typename Sum>
void averageByRunningTotals(const BlurImage& image, std::size_t rx, std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.components);
    const std::size_t rowLength = width * channels;
    std::uint8_t* const pixels = image.pixels;

    std::vector<Sum> columnSums(rowLength, 0);
    // Running totals of one row, with rx + 1 columns of zeros before the row and rx copies of its last column
    // after it: the window of sample i then sums to last[i] - beforeFirst[i] for every column, clipped or
    // not.
    const std::size_t behind = (rx + 1) * channels, ahead = rx * channels;
    std::vector<std::uint32_t> totalsBuffer(behind + rowLength + ahead, 0);
    std::vector<float> inverse(rowLength);  // for windows of inverseHeight rows
    std::size_t inverseHeight = 0;
    const std::size_t interiorBegin = std::min(rx, width) * channels;
    AverageRows<Sum> rows{channels,
                          rowLength,
                          ahead,
                          interiorBegin,
                          std::max(interiorBegin, (width - std::min(rx, width)) * channels),
                          columnSums.data(),
                          totalsBuffer.data() + behind,
                          totalsBuffer.data() + behind + ahead,
                          totalsBuffer.data(),
                          inverse.data(),
                          0.0f};
    const TotalsMoves<Channels> moves;
    // The input of the last ry + 1 rows, which their results have already replaced in the image.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> ring(ringRows * rowLength);

    for (std::size_t y = 0; y < ry; ++y) {
        const std::uint8_t* in = pixels + y * rowLength;
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] = static_cast<Sum>(columnSums[i] + in[i]);
    }
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        if (windowHeight != inverseHeight) {
            fillInverses(inverse, width, channels, rx, windowHeight);
            inverseHeight = windowHeight;
            rows.interiorInverse = 1.0f / static_cast<float>((2 * rx + 1) * windowHeight);
        }
        const bool enter = y + ry < height;
        averageRow(rows, moves, enter ? pixels + (y + ry) * rowLength : nullptr,
                   ring.data() + (y % ringRows) * rowLength, y > ry, pixels + y * rowLength);
    }
}

void averageBlurOn(const BlurImage& image, std::size_t rx, std::size_t ry) {
    if (2 * ry + 1 > 257) return averageByRunningTotals<0, std::uint32_t>(image, rx, ry);
    if (image.components == 1) return averageByRunningTotals<1, std::uint16_t>(image, rx, ry);
    if (image.components == 3) return averageByRunningTotals<3, std::uint16_t>(image, rx, ry);
    averageByRunningTotals<0, std::uint16_t>(image, rx, ry);
}

}  // namespace pagewash::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace pagewash {

HWY_EXPORT(averageBlurOn);

void averageBlur(const BlurImage& image, int radiusX, int radiusY) {
    if (radiusX == 0 && radiusY == 0) return;
    HWY_DYNAMIC_DISPATCH(averageBlurOn)
    (image, static_cast<std::size_t>(radiusX), static_cast<std::size_t>(radiusY));
}

}  // namespace pagewash
#endif  // HWY_ONCE
