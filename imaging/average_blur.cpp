#include "imaging/average_blur.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/vector_level.h"

#if defined(__x86_64__)
// GCC 12 takes the deliberately undefined register behind several AVX-512 intrinsics for an uninitialised
// variable.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace pagewash {

namespace {

// Running sums: the sum over the window's rows of every column sample is kept up to date row by row (one
// row added, one removed), and each output row slides along those column sums (one column added, one
// removed). Both are exact integers, so the cost per pixel does not depend on the radius.
template <typename Sum>
void averageBlurWith(const BlurImage& image, int radiusX, int radiusY) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.components);
    const std::size_t rowLength = width * channels;
    const auto rx = static_cast<std::size_t>(radiusX);
    const auto ry = static_cast<std::size_t>(radiusY);
    std::uint8_t* const pixels = image.pixels;

    std::vector<Sum> columnSums(rowLength, 0);
    // The input of the last ry + 1 rows, which their results have already replaced in the image.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> ring(ringRows * rowLength);
    // 1 / m for the window widths of one row; the window's height is fixed along a row.
    std::vector<double> inverse(2 * rx + 2, 0.0);

    auto addRow = [&](const std::uint8_t* row) {
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] += row[i];
    };
    auto subtractRow = [&](const std::uint8_t* row) {
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] -= row[i];
    };

    for (std::size_t y = 0; y < ry; ++y) addRow(pixels + y * rowLength);

    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* const row = pixels + y * rowLength;
        std::uint8_t* const saved = ring.data() + (y % ringRows) * rowLength;
        if (y > ry) subtractRow(saved);  // the input of row y - ry - 1
        if (y + ry < height) addRow(pixels + (y + ry) * rowLength);
        std::memcpy(saved, row, rowLength);

        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        for (std::size_t w = 1; w <= 2 * rx + 1; ++w) {
            inverse[w] = 1.0 / static_cast<double>(w * windowHeight);
        }
        for (std::size_t c = 0; c < channels; ++c) {
            Sum sum = 0;
            for (std::size_t x = 0; x < rx; ++x) sum += columnSums[x * channels + c];
            for (std::size_t x = 0; x < width; ++x) {
                if (x + rx < width) sum += columnSums[(x + rx) * channels + c];
                if (x > rx) sum -= columnSums[(x - rx - 1) * channels + c];
                const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
                // floor(sum / m) = trunc((sum + 0.5) / m): the half keeps exact multiples clear of the
                // rounding of 1 / m, and no quotient comes within 0.5 / m of the next integer.
                row[x * channels + c] = static_cast<std::uint8_t>(
                    static_cast<std::uint32_t>((static_cast<double>(sum) + 0.5) * inverse[windowWidth]));
            }
        }
    }
}

// Window sums along one row, per channel, from the column sums: one column enters and one leaves per step.
// Where both happen, the differences are formed first (independent, so vectorised) and then accumulated in
// several independent running sums at once: the channels of a colour row, or four stretches of a gray row.
[[gnu::always_inline]] inline void horizontalSums(const std::uint32_t* columnSums, std::uint32_t* windowSums,
                                                  std::uint32_t* differences, std::size_t width,
                                                  std::size_t channels, std::size_t rx) {
    const std::size_t entersOnlyEnd = std::min(rx + 1, width);
    const std::size_t bothEnd = std::max(entersOnlyEnd, width > rx ? width - rx : 0);
    auto windowSum = [&](std::size_t x, std::size_t c) {  // directly, for the start of a stretch
        std::uint32_t sum = 0;
        const std::size_t x0 = x > rx ? x - rx : 0, x1 = std::min(x + rx, width - 1);
        for (std::size_t i = x0; i <= x1; ++i) sum += columnSums[i * channels + c];
        return sum;
    };
    // Borders: plain running sums per channel.
    for (std::size_t c = 0; c < channels; ++c) {
        std::uint32_t sum = 0;
        for (std::size_t x = 0; x < rx; ++x) sum += columnSums[x * channels + c];
        for (std::size_t x = 0; x < entersOnlyEnd; ++x) {
            if (x + rx < width) sum += columnSums[(x + rx) * channels + c];
            windowSums[x * channels + c] = sum;
        }
        if (bothEnd < width) {
            sum = windowSum(bothEnd, c);
            windowSums[bothEnd * channels + c] = sum;
            for (std::size_t x = bothEnd + 1; x < width; ++x) {
                sum -= columnSums[(x - rx - 1) * channels + c];
                windowSums[x * channels + c] = sum;
            }
        }
    }
    if (bothEnd <= entersOnlyEnd) return;
    const std::size_t first = entersOnlyEnd * channels, last = bothEnd * channels;
    const std::size_t ahead = rx * channels, behind = (rx + 1) * channels;  // columns x + rx and x - rx - 1
    for (std::size_t i = first; i < last; ++i)
        differences[i] = columnSums[i + ahead] - columnSums[i - behind];
    if (channels == 3) {
        std::uint32_t s0 = windowSums[first - 3], s1 = windowSums[first - 2], s2 = windowSums[first - 1];
        for (std::size_t i = first; i < last; i += 3) {
            s0 += differences[i];
            s1 += differences[i + 1];
            s2 += differences[i + 2];
            windowSums[i] = s0;
            windowSums[i + 1] = s1;
            windowSums[i + 2] = s2;
        }
    } else if (channels == 1 && last - first >= 64) {
        const std::size_t quarter = (last - first) / 4;
        const std::size_t b1 = first + quarter, b2 = b1 + quarter, b3 = b2 + quarter;
        std::uint32_t s0 = windowSums[first - 1], s1 = windowSum(b1 - 1, 0), s2 = windowSum(b2 - 1, 0),
                      s3 = windowSum(b3 - 1, 0);
        for (std::size_t j = 0; j < quarter; ++j) {
            s0 += differences[first + j];
            s1 += differences[b1 + j];
            s2 += differences[b2 + j];
            s3 += differences[b3 + j];
            windowSums[first + j] = s0;
            windowSums[b1 + j] = s1;
            windowSums[b2 + j] = s2;
            windowSums[b3 + j] = s3;
        }
        for (std::size_t i = b3 + quarter; i < last; ++i) {
            s3 += differences[i];
            windowSums[i] = s3;
        }
    } else {
        for (std::size_t i = first; i < last; ++i) windowSums[i] = windowSums[i - channels] + differences[i];
    }
}

// The same running sums for windows of at most kFloatQuotientWindowLimit samples, in three passes over each
// row that the compiler can vectorise apart from the running sum itself: column sums, window sums, and the
// division as a multiplication by 1 / m in single precision.
[[gnu::always_inline]] inline void averageBlurSmallWindow(const BlurImage& image, std::size_t rx, std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto channels = static_cast<std::size_t>(image.components);
    const std::size_t rowLength = width * channels;
    std::uint8_t* const pixels = image.pixels;

    std::vector<std::uint32_t> columnSums(rowLength, 0);
    std::vector<std::uint32_t> windowSums(rowLength);
    std::vector<std::uint32_t> differences(rowLength);
    std::vector<float> inverse(rowLength);  // 1 / m per sample of a row with windows of inverseHeight rows
    std::size_t inverseHeight = 0;
    const std::size_t ringRows =
        ry + 1;  // the input of the last ry + 1 rows, already replaced by their results
    std::vector<std::uint8_t> ring(ringRows * rowLength);

    for (std::size_t y = 0; y < ry; ++y) {
        const std::uint8_t* in = pixels + y * rowLength;
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] += in[i];
    }
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* const row = pixels + y * rowLength;
        std::uint8_t* const saved = ring.data() + (y % ringRows) * rowLength;
        // Row y + ry enters the column sums and row y - ry - 1 (kept in the ring) leaves; row y's input takes
        // its place in the ring. One pass where all three happen.
        std::uint32_t* const sums = columnSums.data();
        if (y > ry && y + ry < height) {
            const std::uint8_t* in = pixels + (y + ry) * rowLength;
            for (std::size_t i = 0; i < rowLength; ++i) {
                sums[i] += std::uint32_t{in[i]} - saved[i];
                saved[i] = row[i];
            }
        } else {
            if (y > ry) {
                for (std::size_t i = 0; i < rowLength; ++i) sums[i] -= saved[i];
            }
            if (y + ry < height) {
                const std::uint8_t* in = pixels + (y + ry) * rowLength;
                for (std::size_t i = 0; i < rowLength; ++i) sums[i] += in[i];
            }
            std::memcpy(saved, row, rowLength);
        }

        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        if (windowHeight != inverseHeight) {
            for (std::size_t x = 0; x < width; ++x) {
                const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
                const float value = 1.0f / static_cast<float>(windowWidth * windowHeight);
                for (std::size_t c = 0; c < channels; ++c) inverse[x * channels + c] = value;
            }
            inverseHeight = windowHeight;
        }
        horizontalSums(columnSums.data(), windowSums.data(), differences.data(), width, channels, rx);
        for (std::size_t i = 0; i < rowLength; ++i) row[i] = windowQuotient(windowSums[i], inverse[i]);
    }
}

void averageSmallWindowBaseline(const BlurImage& image, std::size_t rx, std::size_t ry) {
    averageBlurSmallWindow(image, rx, ry);
}

#if defined(__x86_64__)
PAGEWASH_TARGET_AVX2 void averageSmallWindowAvx2(const BlurImage& image, std::size_t rx, std::size_t ry) {
    averageBlurSmallWindow(image, rx, ry);
}

// With AVX-512 the running sum along a row vectorises as well: each row's column sums are turned into
// running totals per channel (16 at a time, by shifted additions within the register and the last totals
// carried over), and every window sum is the difference of two totals. Two passes per row, both 16 samples
// at a time, the last 16 under a mask. The totals wrap modulo 2^32; their differences, the window sums, stay
// far below it.

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
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void newColumnSums32(const std::uint8_t* entering,
                                                                         std::uint8_t* saved,
                                                                         const std::uint8_t* row,
                                                                         std::uint16_t* columnSums,
                                                                         __mmask32 mask, __m512i& low,
                                                                         __m512i& high) {
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
            return _mm512_permutexvar_epi32(_mm512_setr_epi32(1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1), carry);
        }
        if (k % 3 == 2) {
            return _mm512_permutexvar_epi32(_mm512_setr_epi32(2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2), carry);
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
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void updateColumns(const std::uint8_t* entering,
                                                                        std::uint8_t* saved,
                                                                        const std::uint8_t* row,
                                                                        std::uint16_t* columnSums,
                                                                        std::uint32_t* totals, std::size_t begin,
                                                                        std::size_t end, __m512i& carry) {
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
            newColumnSums32<Enter, Leave>(Enter ? entering + at : nullptr, saved + at, row + at, columnSums + at, kAll,
                                          local[k], local[k + 1]);
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
        previous =
            _mm512_permutexvar_epi32(_mm512_setr_epi32(2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2), carry);
    }
    for (; i < end; i += 32) {
        const std::size_t count = std::min<std::size_t>(end - i, 32);
        const auto mask = static_cast<__mmask32>(count == 32 ? 0xFFFFFFFFu : (1u << count) - 1);
        __m512i low, high;
        newColumnSums32<Enter, Leave>(Enter ? entering + i : nullptr, saved + i, row + i, columnSums + i, mask, low,
                                      high);
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

// The working state of the filter, shared by its rows.
struct AverageRows {
    std::size_t rowLength;
    std::size_t ahead;          // samples from a sample to the last column of its window (rx columns)
    std::size_t interiorBegin;  // samples [interiorBegin, interiorEnd) have unclipped windows along the row
    std::size_t interiorEnd;
    std::uint16_t* columnSums;
    std::uint32_t* totals;             // running totals of the current row, padded on both sides
    const std::uint32_t* last;         // the window of sample i sums to last[i] - beforeFirst[i]
    const std::uint32_t* beforeFirst;  //
    const float* inverse;              // 1 / m per sample of the current row
};

// The results of the samples from `done` on, 16 at a time, as far as `end`. Returns the new done.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline std::size_t results(const AverageRows& rows, std::uint8_t* row,
                                                                        std::size_t done, std::size_t end,
                                                                        __m512 interior) {
    // Clipped windows take their inverses per sample. Unclipped ones go 64 at a time, narrowed to bytes by
    // packing (cheaper than four narrowing stores).
    const __m512 half = _mm512_mul_ps(interior, _mm512_set1_ps(0.5f));
    const __m512i inOrder = _mm512_setr_epi32(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15);
    for (; done < rows.interiorBegin && done + 16 <= end; done += 16) {
        quotients16(rows.last + done, rows.beforeFirst + done, _mm512_loadu_ps(rows.inverse + done), row + done,
                    0xFFFF);
    }
    for (; done + 64 <= end && done + 64 <= rows.interiorEnd; done += 64) {
        __m512i q[4];
        for (std::size_t k = 0; k < 4; ++k) {
            const std::size_t at = done + 16 * k;
            const __m512i sums =
                _mm512_sub_epi32(_mm512_loadu_si512(rows.last + at), _mm512_loadu_si512(rows.beforeFirst + at));
            q[k] = _mm512_cvttps_epi32(_mm512_fmadd_ps(_mm512_cvtepi32_ps(sums), interior, half));
        }
        // Per 128-bit lane L the packs give the bytes of q0, q1, q2, q3 at L; the permute puts them in order.
        const __m512i bytes = _mm512_packus_epi16(_mm512_packus_epi32(q[0], q[1]), _mm512_packus_epi32(q[2], q[3]));
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
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void averageRow(const AverageRows& rows,
                                                                    const std::uint8_t* entering,
                                                                    std::uint8_t* saved, std::uint8_t* row,
                                                                    __m512 interior) {
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

template <std::size_t Channels>
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline void averageSmallWindowAvx512(const BlurImage& image,
                                                                                  std::size_t rx,
                                                                                  std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t rowLength = width * Channels;
    std::uint8_t* const pixels = image.pixels;

    std::vector<std::uint16_t> columnSums(rowLength, 0);
    // Running totals of one row, with rx + 1 columns of zeros before the row and rx copies of its last column
    // after it: the window of sample i then sums to last[i] - beforeFirst[i] for every column, clipped or not.
    const std::size_t behind = (rx + 1) * Channels, ahead = rx * Channels;
    std::vector<std::uint32_t> totalsBuffer(behind + rowLength + ahead, 0);
    std::vector<float> inverse(rowLength);  // for windows of inverseHeight rows
    std::size_t inverseHeight = 0;
    const std::size_t interiorBegin = std::min(rx, width) * Channels;
    const AverageRows rows{rowLength,
                           ahead,
                           interiorBegin,
                           std::max(interiorBegin, (width - std::min(rx, width)) * Channels),
                           columnSums.data(),
                           totalsBuffer.data() + behind,
                           totalsBuffer.data() + behind + ahead,
                           totalsBuffer.data(),
                           inverse.data()};
    // The input of the last ry + 1 rows, which their results have already replaced in the image.
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> ring(ringRows * rowLength);

    for (std::size_t y = 0; y < ry; ++y) {
        const std::uint8_t* in = pixels + y * rowLength;
        for (std::size_t i = 0; i < rowLength; ++i) columnSums[i] = static_cast<std::uint16_t>(columnSums[i] + in[i]);
    }
    for (std::size_t y = 0; y < height; ++y) {
        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        if (windowHeight != inverseHeight) {
            for (std::size_t x = 0; x < width; ++x) {
                const std::size_t windowWidth = std::min(x + rx, width - 1) - (x > rx ? x - rx : 0) + 1;
                const float value = 1.0f / static_cast<float>(windowWidth * windowHeight);
                for (std::size_t c = 0; c < Channels; ++c) inverse[x * Channels + c] = value;
            }
            inverseHeight = windowHeight;
        }
        const __m512 interior = _mm512_set1_ps(1.0f / static_cast<float>((2 * rx + 1) * windowHeight));
        std::uint8_t* const row = pixels + y * rowLength;
        std::uint8_t* const saved = ring.data() + (y % ringRows) * rowLength;
        const bool enter = y + ry < height, leave = y > ry;
        const std::uint8_t* const entering = enter ? pixels + (y + ry) * rowLength : nullptr;
        if (enter && leave) {
            averageRow<Channels, true, true>(rows, entering, saved, row, interior);
        } else if (enter) {
            averageRow<Channels, true, false>(rows, entering, saved, row, interior);
        } else if (leave) {
            averageRow<Channels, false, true>(rows, entering, saved, row, interior);
        } else {
            averageRow<Channels, false, false>(rows, entering, saved, row, interior);
        }
    }
}

PAGEWASH_TARGET_AVX512 void averageSmallWindowAvx512(const BlurImage& image, std::size_t rx, std::size_t ry) {
    if (2 * ry + 1 > 257) return averageBlurSmallWindow(image, rx, ry);  // columns beyond 16-bit sums
    switch (image.components) {
        case 1:
            return averageSmallWindowAvx512<1>(image, rx, ry);
        case 3:
            return averageSmallWindowAvx512<3>(image, rx, ry);
        default:
            return averageBlurSmallWindow(image, rx, ry);
    }
}
#endif

}  // namespace

void averageBlur(const BlurImage& image, int radiusX, int radiusY) {
    averageBlur(image, radiusX, radiusY, processorVectorLevel());
}

void averageBlur(const BlurImage& image, int radiusX, int radiusY, VectorLevel level) {
    if (radiusX == 0 && radiusY == 0) return;
    const std::uint64_t maxWindow =
        (2 * static_cast<std::uint64_t>(radiusX) + 1) * (2 * static_cast<std::uint64_t>(radiusY) + 1);
    if (maxWindow <= kFloatQuotientWindowLimit) {
        const auto rx = static_cast<std::size_t>(radiusX), ry = static_cast<std::size_t>(radiusY);
#if defined(__x86_64__)
        if (level == VectorLevel::Avx512) return averageSmallWindowAvx512(image, rx, ry);
        if (level == VectorLevel::Avx2) return averageSmallWindowAvx2(image, rx, ry);
#endif
        static_cast<void>(level);
        averageSmallWindowBaseline(image, rx, ry);
    } else if (maxWindow * 255 <= std::numeric_limits<std::uint32_t>::max()) {
        averageBlurWith<std::uint32_t>(image, radiusX, radiusY);
    } else {
        averageBlurWith<std::uint64_t>(image, radiusX, radiusY);
    }
}

}  // namespace pagewash
