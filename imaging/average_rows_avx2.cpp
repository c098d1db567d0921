// One row of the average blur with AVX2. Compiled for the baseline processor like the rest; only these
// functions carry the AVX2 target, and they run only after processorVectorLevel() said so.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "imaging/average_blur.h"
#include "imaging/average_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace pagewash::avx2 {

namespace {

// v moved up by Shift 32-bit lanes across the whole register, zeros below.
template <int Shift>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline __m256i lanesUp(__m256i v) {
    const __m256i lowHalfUp = _mm256_permute2x128_si256(v, v, 0x08);  // [zeros, low half of v]
    if constexpr (Shift < 4) {
        return _mm256_alignr_epi8(v, lowHalfUp, 16 - 4 * Shift);
    } else if constexpr (Shift == 4) {
        return lowHalfUp;
    } else {
        return _mm256_slli_si256(lowHalfUp, 4 * (Shift - 4));
    }
}

// Lane j: the sum of the lanes j, j - Channels, j - 2 Channels, ... of v.
template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline __m256i localTotals(__m256i v) {
    if constexpr (Channels == 1) {
        v = _mm256_add_epi32(v, lanesUp<1>(v));
        v = _mm256_add_epi32(v, lanesUp<2>(v));
        return _mm256_add_epi32(v, lanesUp<4>(v));
    } else {
        static_assert(Channels == 3);
        v = _mm256_add_epi32(v, lanesUp<3>(v));
        return _mm256_add_epi32(v, lanesUp<6>(v));
    }
}

// Lane j: the last lane of `previous` holding the channel that lane j holds in the next 8 samples: lane 7
// for one channel, lane 5 + j mod 3 for three (8 = 2 mod 3).
template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline __m256i carriedOver(__m256i previous) {
    if constexpr (Channels == 1) {
        return _mm256_permutevar8x32_epi32(previous, _mm256_set1_epi32(7));
    } else {
        return _mm256_permutevar8x32_epi32(previous, _mm256_setr_epi32(5, 6, 7, 5, 6, 7, 5, 6));
    }
}

// The carry (lane j: channel j mod 3) in the lane order of the k-th 8 of a block: channel (8 k + j) mod 3.
template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline __m256i carryAt(__m256i carry, std::size_t k) {
    if constexpr (Channels == 3) {
        if (k % 3 == 1) return _mm256_permutevar8x32_epi32(carry, _mm256_setr_epi32(2, 0, 1, 2, 0, 1, 2, 0));
        if (k % 3 == 2) return _mm256_permutevar8x32_epi32(carry, _mm256_setr_epi32(1, 2, 0, 1, 2, 0, 1, 2));
    }
    return carry;
}

// Samples i .. i + 15 of one row: the entering row added to the 16-bit column sums, the leaving one
// subtracted, the current row's input saved; the new sums come back as two vectors of 8 32-bit sums.
template <bool Enter, bool Leave>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline void newColumnSums16(const std::uint8_t* entering,
                                                                        std::uint8_t* saved,
                                                                        const std::uint8_t* row,
                                                                        std::uint16_t* columnSums,
                                                                        __m256i& low, __m256i& high) {
    auto* const sumsAt = reinterpret_cast<__m256i*>(columnSums);
    __m256i sums = _mm256_loadu_si256(sumsAt);
    if constexpr (Enter) {
        sums = _mm256_add_epi16(
            sums, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(entering))));
    }
    if constexpr (Leave) {
        sums = _mm256_sub_epi16(
            sums, _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(saved))));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(saved),
                     _mm_loadu_si128(reinterpret_cast<const __m128i*>(row)));
    _mm256_storeu_si256(sumsAt, sums);
    low = _mm256_cvtepu16_epi32(_mm256_castsi256_si128(sums));
    high = _mm256_cvtepu16_epi32(_mm256_extracti128_si256(sums, 1));
}

// How far ahead the rows are prefetched, in bytes (as with AVX-512).
constexpr std::uintptr_t kPrefetchDistance = 2048;

// The cache line kPrefetchDistance after p. A prefetch past the image's end is harmless; the address is
// formed in integers so that no pointer leaves its array.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline void prefetchAhead(const std::uint8_t* p) {
    const std::uintptr_t ahead = reinterpret_cast<std::uintptr_t>(p) + kPrefetchDistance;
    _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
}

// Blocks of 32 samples (one channel) or 48 (three): within a block each 8 takes the last totals of the 8
// before it; from one block to the next only one addition carries over (`carry`, in lane j the total so
// far of the channel that lane j holds at the start of a block).
template <std::size_t Channels>
inline constexpr std::size_t kTotalsBlock = Channels == 1 ? 32 : 48;  // a multiple of 16 and of Channels

// The column sums of samples [begin, end) brought up to date and their running totals stored. The samples
// after the last whole block go one by one.
// REQUIRES: begin is a multiple of kTotalsBlock; end is one too, or the row's end.
template <std::size_t Channels, bool Enter, bool Leave>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline void updateColumns(
    const AverageRows& rows, const std::uint8_t* entering, std::uint8_t* saved, const std::uint8_t* row,
    std::size_t begin, std::size_t end, __m256i& carry) {
    constexpr std::size_t kBlock = kTotalsBlock<Channels>, kParts = kBlock / 8;
    std::uint16_t* const columnSums = rows.columnSums;
    std::uint32_t* const totals = rows.totals;
    std::size_t i = begin;
    for (; i + kBlock <= end; i += kBlock) {
        // The entering row comes from far caches or memory, the leaving one from the second level: ask for
        // both a little ahead.
        if constexpr (Enter) prefetchAhead(entering + i);
        if constexpr (Leave) prefetchAhead(saved + i);
        __m256i local[kParts];
        for (std::size_t k = 0; k < kParts; k += 2) {
            const std::size_t at = i + 8 * k;
            newColumnSums16<Enter, Leave>(Enter ? entering + at : nullptr, saved + at, row + at,
                                          columnSums + at, local[k], local[k + 1]);
        }
        for (std::size_t k = 0; k < kParts; ++k) {
            local[k] = localTotals<Channels>(local[k]);
            if (k > 0) local[k] = _mm256_add_epi32(local[k], carriedOver<Channels>(local[k - 1]));
        }
        for (std::size_t k = 0; k < kParts; ++k) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(totals + i + 8 * k),
                                _mm256_add_epi32(local[k], carryAt<Channels>(carry, k)));
        }
        carry = _mm256_add_epi32(carry, carriedOver<Channels>(local[kParts - 1]));
    }
    for (; i < end; ++i) {
        std::uint32_t sum = columnSums[i];
        if constexpr (Enter) sum += entering[i];
        if constexpr (Leave) sum -= saved[i];
        saved[i] = row[i];
        columnSums[i] = static_cast<std::uint16_t>(sum);
        totals[i] = sum + (i >= Channels ? totals[i - Channels] : 0);
    }
}

// The results of samples [done, end): unclipped windows 32 at a time (packed to bytes), the others one by
// one with their own inverses. Returns the new done.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX2 inline std::size_t results(const AverageRows& rows,
                                                                       std::uint8_t* row, std::size_t done,
                                                                       std::size_t end) {
    const std::uint32_t* const last = rows.last;
    const std::uint32_t* const beforeFirst = rows.beforeFirst;
    for (; done < rows.interiorBegin && done < end; ++done) {
        row[done] = windowQuotient(last[done] - beforeFirst[done], rows.inverse[done]);
    }
    // windowQuotient, 8 at a time.
    const __m256 inverse = _mm256_set1_ps(rows.interiorInverse);
    const __m256 half = _mm256_set1_ps(0.5f);
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; done + 32 <= end && done + 32 <= rows.interiorEnd; done += 32) {
        __m256i q[4];
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t at = done + 8 * k;
            const __m256i sums =
                _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(last + at)),
                                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(beforeFirst + at)));
            q[k] = _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(sums), half), inverse));
        }
        // Per 128-bit half H the packs give the bytes of q0, q1, q2, q3 at H; the permute puts them in order.
        const __m256i bytes =
            _mm256_packus_epi16(_mm256_packus_epi32(q[0], q[1]), _mm256_packus_epi32(q[2], q[3]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + done),
                            _mm256_permutevar8x32_epi32(bytes, inOrder));
    }
    for (; done < end; ++done) {
        const float inverseHere = done < rows.interiorEnd ? rows.interiorInverse : rows.inverse[done];
        row[done] = windowQuotient(last[done] - beforeFirst[done], inverseHere);
    }
    return done;
}

// One row a stretch at a time: the results of each stretch follow as soon as the totals they need are
// there, while those are still in the first-level cache.
template <std::size_t Channels, bool Enter, bool Leave>
PAGEWASH_TARGET_AVX2 void averageRowBy(const AverageRows& shared, const std::uint8_t* entering,
                                       std::uint8_t* saved, std::uint8_t* row) {
    // A copy of its own: the stores below cannot change it, so its fields stay in registers.
    const AverageRows rows = shared;
    constexpr std::size_t kStretch = 32 * kTotalsBlock<Channels>;
    const std::size_t rowLength = rows.rowLength;
    __m256i carry = _mm256_setzero_si256();
    std::size_t done = 0;  // results written for samples [0, done)
    for (std::size_t begin = 0; begin < rowLength; begin += kStretch) {
        const std::size_t end = std::min(begin + kStretch, rowLength);
        updateColumns<Channels, Enter, Leave>(rows, entering, saved, row, begin, end, carry);
        if (end < rowLength) {
            if (end >= rows.ahead) done = results(rows, row, done, end - rows.ahead);
        } else {
            std::uint32_t* const totals = rows.totals;
            for (std::size_t i = 0; i < rows.ahead; ++i) {
                totals[rowLength + i] = totals[rowLength - Channels + i % Channels];
            }
            results(rows, row, done, rowLength);
        }
    }
}

template <std::size_t Channels>
void averageRowWith(const AverageRows& rows, const std::uint8_t* entering, std::uint8_t* saved, bool leave,
                    std::uint8_t* row) {
    if (entering != nullptr && leave) {
        averageRowBy<Channels, true, true>(rows, entering, saved, row);
    } else if (entering != nullptr) {
        averageRowBy<Channels, true, false>(rows, entering, saved, row);
    } else if (leave) {
        averageRowBy<Channels, false, true>(rows, entering, saved, row);
    } else {
        averageRowBy<Channels, false, false>(rows, entering, saved, row);
    }
}

}  // namespace

void averageRow(const AverageRows& rows, const std::uint8_t* entering, std::uint8_t* saved, bool leave,
                std::uint8_t* row) {
    if (rows.channels == 1) {
        averageRowWith<1>(rows, entering, saved, leave, row);
    } else {
        averageRowWith<3>(rows, entering, saved, leave, row);
    }
}

}  // namespace pagewash::avx2

#endif
