// One row of the average blur with AVX-512 (F, BW, DQ, VL). Compiled for the baseline processor like the
// rest; only these functions carry the AVX-512 target, and they run only after processorVectorLevel() said
// so.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imaging/average_rows.h"

#if defined(__x86_64__)
// GCC 12 takes the deliberately undefined register behind several AVX-512 intrinsics for an uninitialised
// variable.
// Clang has no such warning, and would warn about the unknown name.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace pagewash::avx512 {

namespace {

// Running totals 16 at a time, by shifted additions within the register and the last totals carried over;
// the last samples of a row go under a mask.

[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline __mmask16 firstLanes(std::size_t count) {
    return count >= 16 ? __mmask16{0xFFFF} : static_cast<__mmask16>((1u << count) - 1);
}

// Lane j: the sum of the lanes j, j - Channels, j - 2 Channels, ... of v.
template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline __m512i localTotals(__m512i v) {
    const __m512i zero = _mm512_setzero_si512();
    // _mm512_alignr_epi32(v, zero, 16 - s): v moved up by s lanes, zeros below.
    if constexpr (Channels == 1) {
        v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 15));
        v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 14));
        v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 12));
        return _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 8));
    } else {
        static_assert(Channels == 3);
        v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 13));
        v = _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 10));
        return _mm512_add_epi32(v, _mm512_alignr_epi32(v, zero, 4));
    }
}

// Lane j: the last lane of `previous` holding the channel that lane j holds in the next 16 samples: lane
// 15 for one channel, lane 13 + j mod 3 for three (16 = 1 mod 3).
template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline __m512i carriedOver(__m512i previous) {
    if constexpr (Channels == 1) {
        return _mm512_permutexvar_epi32(_mm512_set1_epi32(15), previous);
    } else {
        return _mm512_permutexvar_epi32(
            _mm512_setr_epi32(13, 14, 15, 13, 14, 15, 13, 14, 15, 13, 14, 15, 13, 14, 15, 13), previous);
    }
}

// Samples i .. i + 31 (those in `mask`) of one row: the entering row is added to the column sums, the
// leaving row (saved in the ring) subtracted and the current row's input saved in its place. The column
// sums are 16-bit (a column of at most 257 samples sums to at most 65,535); the new ones are returned as
// two vectors of 16 32-bit sums.
template <bool Enter, bool Leave>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void newColumnSums32(
    const std::uint8_t* entering, std::uint8_t* saved, const std::uint8_t* row, std::uint16_t* columnSums,
    __mmask32 mask, __m512i& low, __m512i& high) {
    __m512i sums = _mm512_maskz_loadu_epi16(mask, columnSums);
    if constexpr (Enter) {
        sums = _mm512_add_epi16(sums, _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(mask, entering)));
    }
    if constexpr (Leave) {
        sums = _mm512_sub_epi16(sums, _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(mask, saved)));
    }
    _mm256_mask_storeu_epi8(saved, mask, _mm256_maskz_loadu_epi8(mask, row));
    _mm512_mask_storeu_epi16(columnSums, mask, sums);
    low = _mm512_cvtepu16_epi32(_mm512_castsi512_si256(sums));
    high = _mm512_cvtepu16_epi32(_mm512_extracti64x4_epi64(sums, 1));
}

// The column sums of samples [begin, end) of one row brought up to date, and their running totals per
// channel stored in `totals`. The totals go 64 samples (one channel) or 96 (three) at a time: within a
// block each 16 takes the last totals of the 16 before it, but from one block to the next only one
// addition carries over (`carry`, in lane j the total so far of the channel that lane j holds at the
// start of a block), so that blocks do not wait on each other's shuffles.
// REQUIRES: begin is a multiple of kTotalsBlock; end is one too, or the row's end.
template <std::size_t Channels>
inline constexpr std::size_t kTotalsBlock = Channels == 1 ? 64 : 96;  // a multiple of 32 and of Channels

// The carry in the lane order of the k-th 16 of a block: channel (16 k + j) mod 3 in lane j.
template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline __m512i carryAt(__m512i carry, std::size_t k) {
    if constexpr (Channels == 3) {
        if (k % 3 == 1) {
            return _mm512_permutexvar_epi32(_mm512_setr_epi32(1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1),
                                            carry);
        }
        if (k % 3 == 2) {
            return _mm512_permutexvar_epi32(_mm512_setr_epi32(2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2),
                                            carry);
        }
    }
    return carry;
}

// How far ahead the rows are prefetched, in bytes (measured on a colour page: 1 KiB too short, 4 KiB no
// better).
constexpr std::uintptr_t kPrefetchDistance = 2048;

// The two cache lines kPrefetchDistance after p. A prefetch past the image's end is harmless; the address
// is formed in integers so that no pointer leaves its array.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void prefetchAhead(const std::uint8_t* p) {
    const std::uintptr_t ahead = reinterpret_cast<std::uintptr_t>(p) + kPrefetchDistance;
    _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(ahead + 64), _MM_HINT_T0);
}

template <std::size_t Channels, bool Enter, bool Leave>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void updateColumns(
    const std::uint8_t* entering, std::uint8_t* saved, const std::uint8_t* row, std::uint16_t* columnSums,
    std::uint32_t* totals, std::size_t begin, std::size_t end, __m512i& carry) {
    constexpr std::size_t kBlock = kTotalsBlock<Channels>, kParts = kBlock / 16;
    constexpr __mmask32 kAll = 0xFFFFFFFF;
    std::size_t i = begin;
    for (; i + kBlock <= end; i += kBlock) {
        __m512i local[kParts];  // totals within the block
        // The entering row comes from far caches or memory, the leaving one from the second level: ask for
        // both a little ahead.
        if constexpr (Enter) prefetchAhead(entering + i);
        if constexpr (Leave) prefetchAhead(saved + i);
        for (std::size_t k = 0; k < kParts; k += 2) {
            const std::size_t at = i + 16 * k;
            newColumnSums32<Enter, Leave>(Enter ? entering + at : nullptr, saved + at, row + at,
                                          columnSums + at, kAll, local[k], local[k + 1]);
        }
        for (std::size_t k = 0; k < kParts; ++k) {
            local[k] = localTotals<Channels>(local[k]);
            if (k > 0) local[k] = _mm512_add_epi32(local[k], carriedOver<Channels>(local[k - 1]));
        }
        for (std::size_t k = 0; k < kParts; ++k) {
            _mm512_storeu_si512(totals + i + 16 * k, _mm512_add_epi32(local[k], carryAt<Channels>(carry, k)));
        }
        // The block's last 16 end with every channel: their totals, in block order, join the carry.
        carry = _mm512_add_epi32(carry, carriedOver<Channels>(local[kParts - 1]));
    }
    if (i == end) return;
    // The last samples of the row 32 at a time, each 16 taking the totals of the 16 before; `previous`
    // starts as a vector whose last lanes hold the carry in the order carriedOver reads them.
    __m512i previous = carry;
    if constexpr (Channels == 3) {
        previous = _mm512_permutexvar_epi32(_mm512_setr_epi32(2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2),
                                            carry);
    }
    for (; i < end; i += 32) {
        const std::size_t count = std::min<std::size_t>(end - i, 32);
        const auto mask = static_cast<__mmask32>(count == 32 ? 0xFFFFFFFFu : (1u << count) - 1);
        __m512i low, high;
        newColumnSums32<Enter, Leave>(Enter ? entering + i : nullptr, saved + i, row + i, columnSums + i,
                                      mask, low, high);
        previous = _mm512_add_epi32(localTotals<Channels>(low), carriedOver<Channels>(previous));
        _mm512_mask_storeu_epi32(totals + i, firstLanes(count), previous);
        if (count > 16) {
            previous = _mm512_add_epi32(localTotals<Channels>(high), carriedOver<Channels>(previous));
            _mm512_mask_storeu_epi32(totals + i + 16, firstLanes(count - 16), previous);
        }
    }
}

// windowQuotient of 16 window sums last - beforeFirst with 16 inverses. windowQuotient rounds (sum + 0.5) *
// inverse once, sum + 0.5 being exact in single precision (sum < 2^23); a fused multiply-add of sum *
// inverse + inverse / 2 (exact: a power of two apart) rounds the same exact value once, so it gives the
// same bits with one instruction less.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void quotients16(const std::uint32_t* last,
                                                                      const std::uint32_t* beforeFirst,
                                                                      __m512 inverse, std::uint8_t* out,
                                                                      __mmask16 mask) {
    const __m512i sums =
        _mm512_sub_epi32(_mm512_maskz_loadu_epi32(mask, last), _mm512_maskz_loadu_epi32(mask, beforeFirst));
    const __m512 quotient =
        _mm512_fmadd_ps(_mm512_cvtepi32_ps(sums), inverse, _mm512_mul_ps(inverse, _mm512_set1_ps(0.5f)));
    _mm_mask_storeu_epi8(out, mask, _mm512_cvtepi32_epi8(_mm512_cvttps_epi32(quotient)));
}

// The results of the samples from `done` on, 16 at a time, as far as `end`. Returns the new done.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline std::size_t results(const AverageRows& rows,
                                                                         std::uint8_t* row, std::size_t done,
                                                                         std::size_t end, __m512 interior) {
    // Clipped windows take their inverses per sample. Unclipped ones go 64 at a time, narrowed to bytes by
    // packing (cheaper than four narrowing stores).
    const __m512 half = _mm512_mul_ps(interior, _mm512_set1_ps(0.5f));
    const __m512i inOrder = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    for (; done < rows.interiorBegin && done + 16 <= end; done += 16) {
        quotients16(rows.last + done, rows.beforeFirst + done, _mm512_loadu_ps(rows.inverse + done),
                    row + done, 0xFFFF);
    }
    for (; done + 64 <= end && done + 64 <= rows.interiorEnd; done += 64) {
        __m512i q[4];
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t at = done + 16 * k;
            const __m512i sums = _mm512_sub_epi32(_mm512_loadu_si512(rows.last + at),
                                                  _mm512_loadu_si512(rows.beforeFirst + at));
            q[k] = _mm512_cvttps_epi32(_mm512_fmadd_ps(_mm512_cvtepi32_ps(sums), interior, half));
        }
        // Per 128-bit lane L the packs give the bytes of q0, q1, q2, q3 at L; the permute puts them in order.
        const __m512i bytes =
            _mm512_packus_epi16(_mm512_packus_epi32(q[0], q[1]), _mm512_packus_epi32(q[2], q[3]));
        _mm512_storeu_si512(row + done, _mm512_permutexvar_epi32(inOrder, bytes));
    }
    for (; done + 16 <= end; done += 16) {
        const bool clipped = done < rows.interiorBegin || done + 16 > rows.interiorEnd;
        quotients16(rows.last + done, rows.beforeFirst + done,
                    clipped ? _mm512_loadu_ps(rows.inverse + done) : interior, row + done, 0xFFFF);
    }
    return done;
}

// One row: its column sums and running totals a stretch at a time, and the results of each stretch as soon
// as the totals they need are there, while those are still in the first-level cache.
template <std::size_t Channels, bool Enter, bool Leave>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void averageRowBy(const AverageRows& shared,
                                                                       const std::uint8_t* entering,
                                                                       std::uint8_t* saved, std::uint8_t* row,
                                                                       __m512 interior) {
    // A copy of its own: the stores below cannot change it, so its fields stay in registers.
    const AverageRows rows = shared;
    constexpr std::size_t kStretch = 16 * kTotalsBlock<Channels>;
    const std::size_t rowLength = rows.rowLength;
    __m512i carry = _mm512_setzero_si512();
    std::size_t done = 0;  // results written for samples [0, done)
    for (std::size_t begin = 0; begin < rowLength; begin += kStretch) {
        const std::size_t end = std::min(begin + kStretch, rowLength);
        updateColumns<Channels, Enter, Leave>(entering, saved, row, rows.columnSums, rows.totals, begin, end,
                                              carry);
        if (end < rowLength) {
            if (end >= rows.ahead) done = results(rows, row, done, end - rows.ahead, interior);
        } else {
            std::uint32_t* const totals = rows.totals;
            for (std::size_t i = 0; i < rows.ahead; ++i) {
                totals[rowLength + i] = totals[rowLength - Channels + i % Channels];
            }
            done = results(rows, row, done, rowLength, interior);
            if (done < rowLength) {
                const __mmask16 mask = firstLanes(rowLength - done);
                quotients16(rows.last + done, rows.beforeFirst + done,
                            _mm512_maskz_loadu_ps(mask, rows.inverse + done), row + done, mask);
            }
        }
    }
}

}  // namespace

template <std::size_t Channels>
PAGEWASH_TARGET_AVX512 void averageRowWith(const AverageRows& rows, const std::uint8_t* entering,
                                           std::uint8_t* saved, bool leave, std::uint8_t* row) {
    const __m512 interior = _mm512_set1_ps(rows.interiorInverse);
    if (entering != nullptr && leave) {
        averageRowBy<Channels, true, true>(rows, entering, saved, row, interior);
    } else if (entering != nullptr) {
        averageRowBy<Channels, true, false>(rows, entering, saved, row, interior);
    } else if (leave) {
        averageRowBy<Channels, false, true>(rows, entering, saved, row, interior);
    } else {
        averageRowBy<Channels, false, false>(rows, entering, saved, row, interior);
    }
}

void averageRow(const AverageRows& rows, const std::uint8_t* entering, std::uint8_t* saved, bool leave,
                std::uint8_t* row) {
    if (rows.channels == 1) {
        averageRowWith<1>(rows, entering, saved, leave, row);
    } else {
        averageRowWith<3>(rows, entering, saved, leave, row);
    }
}

}  // namespace pagewash::avx512

#endif
