#include "imaging/median_blur.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "imaging/vector_level.h"

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
#endif

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

// 32 bytes in vector registers (two SSE2 registers on the baseline processor, one with AVX2).
using Bytes32 = std::uint8_t __attribute__((vector_size(32)));

// The helpers that take or return vectors are always inlined: no call passes a 32-byte vector, whose calling
// convention differs with and without AVX.
[[gnu::always_inline]] inline Bytes32 load32(const std::uint8_t* p) {
    Bytes32 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
[[gnu::always_inline]] inline T minimum(T a, T b) {
    return a < b ? a : b;
}
template <typename T>
[[gnu::always_inline]] inline T maximum(T a, T b) {
    return a < b ? b : a;
}
template <typename T>
[[gnu::always_inline]] inline T median3(T a, T b, T c) {
    return maximum(minimum(a, b), minimum(maximum(a, b), c));
}

// 3 x 3 median of the interior of row y (1 <= y < height - 1): each column's three samples are sorted once,
// then the median of nine is med3(max of the low ones, med3 of the middle ones, min of the high ones).
[[gnu::always_inline]] inline void median3x3Row(const std::uint8_t* above, const std::uint8_t* row,
                                                const std::uint8_t* below, std::uint8_t* low,
                                                std::uint8_t* middle, std::uint8_t* high, std::uint8_t* out,
                                                std::size_t width) {
    std::size_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const Bytes32 a = load32(above + x), b = load32(row + x), c = load32(below + x);
        const Bytes32 lo = minimum(a, b), hi = maximum(a, b);
        const Bytes32 l = minimum(lo, c), h = maximum(hi, c), m = maximum(lo, minimum(hi, c));
        std::memcpy(low + x, &l, 32);
        std::memcpy(high + x, &h, 32);
        std::memcpy(middle + x, &m, 32);
    }
    for (; x < width; ++x) {
        const std::uint8_t a = above[x], b = row[x], c = below[x];
        low[x] = minimum(minimum(a, b), c);
        high[x] = maximum(maximum(a, b), c);
        middle[x] = median3(a, b, c);
    }
    x = 1;
    for (; x + 33 <= width; x += 32) {
        const Bytes32 maxLow = maximum(maximum(load32(low + x - 1), load32(low + x)), load32(low + x + 1));
        const Bytes32 minHigh =
            minimum(minimum(load32(high + x - 1), load32(high + x)), load32(high + x + 1));
        const Bytes32 medMiddle = median3(load32(middle + x - 1), load32(middle + x), load32(middle + x + 1));
        const Bytes32 result = median3(maxLow, medMiddle, minHigh);
        std::memcpy(out + x, &result, 32);
    }
    for (; x + 1 < width; ++x) {
        const std::uint8_t maxLow = maximum(maximum(low[x - 1], low[x]), low[x + 1]);
        const std::uint8_t minHigh = minimum(minimum(high[x - 1], high[x]), high[x + 1]);
        out[x] = median3(maxLow, median3(middle[x - 1], middle[x], middle[x + 1]), minHigh);
    }
}

void median3x3RowBaseline(const std::uint8_t* above, const std::uint8_t* row, const std::uint8_t* below,
                          std::uint8_t* scratch, std::uint8_t* out, std::size_t width) {
    median3x3Row(above, row, below, scratch, scratch + width, scratch + 2 * width, out, width);
}

#if defined(__x86_64__)
PAGEWASH_TARGET_AVX2 void median3x3RowAvx2(const std::uint8_t* above, const std::uint8_t* row,
                                           const std::uint8_t* below, std::uint8_t* scratch,
                                           std::uint8_t* out, std::size_t width) {
    median3x3Row(above, row, below, scratch, scratch + width, scratch + 2 * width, out, width);
}
#endif

void median3x3(const BlurImage& image, std::size_t y, std::vector<std::uint8_t>& scratch, std::uint8_t* out,
               VectorLevel level) {
    const auto width = static_cast<std::size_t>(image.width);
    const std::uint8_t* row = image.pixels + y * width;
#if defined(__x86_64__)
    if (level >= VectorLevel::Avx2) {
        median3x3RowAvx2(row - width, row, row + width, scratch.data(), out, width);
    } else {
        median3x3RowBaseline(row - width, row, row + width, scratch.data(), out, width);
    }
#else
    static_cast<void>(level);
    median3x3RowBaseline(row - width, row, row + width, scratch.data(), out, width);
#endif
    out[0] = windowRank(image, 0, y, 1, 1);
    out[width - 1] = windowRank(image, width - 1, y, 1, 1);
}

// Perreault and Hebert's constant-time median: a histogram per column over the window's rows, updated by
// one sample in and one out per row, and the window's histogram updated by adding the entering column's
// histogram and subtracting the leaving one's. Two tiers: 16 coarse bins (levels 16b .. 16b + 15), kept
// exact at every pixel, and 16 fine bins per coarse bin, brought up to date only for the coarse bin that
// holds the wanted sample. Counts are 16-bit: the caller makes sure that a window holds at most 65,535.
// All histograms are kept cumulative (entry j counts the samples of bins 0 .. j), which sums as well as
// plain counts do and lets the search compare without adding up first; a sample entering a column adds
// one to every entry from its bin on.
using Segment = std::uint16_t __attribute__((vector_size(32)));  // 16 cumulative counts

// The number n of leading entries of the nondecreasing counts that are below `need`, and the entry before
// them (0 when n = 0). REQUIRES: 1 <= need <= the last entry, so that n <= 15.
inline unsigned leadingBelow(const Segment& cumulative, unsigned need, unsigned& entryBefore) {
#if defined(__x86_64__)
    // SSE2, part of every x86-64: an entry is below `need` when subtracting need - 1 saturates to 0.
    __m128i low, high;
    std::memcpy(&low, &cumulative, 16);
    std::memcpy(&high, reinterpret_cast<const char*>(&cumulative) + 16, 16);
    const __m128i limit = _mm_set1_epi16(static_cast<short>(need - 1));
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowBelow = _mm_cmpeq_epi16(_mm_subs_epu16(low, limit), zero);
    const __m128i highBelow = _mm_cmpeq_epi16(_mm_subs_epu16(high, limit), zero);
    const auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(lowBelow, highBelow)));
    const auto n = static_cast<unsigned>(__builtin_ctz(~mask));
#else
    unsigned n = 0;
    while (cumulative[n] < need) ++n;
#endif
    entryBefore = n == 0 ? 0 : cumulative[n - 1];
    return n;
}

// The column histograms count at most 2 ry + 1 samples: bytes while that fits (half the memory, so that a
// page's columns stay in the second-level cache), 16 bits otherwise.
using ByteSegment = std::uint8_t __attribute__((vector_size(16)));  // 16 counts of at most 255

template <typename Count>
struct SegmentOf;
template <>
struct SegmentOf<std::uint8_t> {
    using type = ByteSegment;
};
template <>
struct SegmentOf<std::uint16_t> {
    using type = Segment;
};

// The column counts live in plain arrays (16 per segment) and pass through vector registers by copies, which
// need no particular alignment of the heap blocks.
template <typename Count>
class ColumnCounts {
  public:
    using Vector = typename SegmentOf<Count>::type;
    explicit ColumnCounts(std::size_t segments) : m_counts(16 * segments, 0) {}
    [[gnu::always_inline]] Vector operator[](std::size_t segment) const {
        Vector v;
        std::memcpy(&v, m_counts.data() + 16 * segment, sizeof v);
        return v;
    }
    [[gnu::always_inline]] void add(std::size_t segment, const Vector& change) {
        store(segment, (*this)[segment] + change);
    }
    [[gnu::always_inline]] void subtract(std::size_t segment, const Vector& change) {
        store(segment, (*this)[segment] - change);
    }

  private:
    [[gnu::always_inline]] void store(std::size_t segment, const Vector& v) {
        std::memcpy(m_counts.data() + 16 * segment, &v, sizeof v);
    }
    std::vector<Count> m_counts;
};

template <typename Vector>
[[gnu::always_inline]] inline Segment widen(const Vector& counts) {
    return __builtin_convertvector(counts, Segment);
}

template <typename Count>
[[gnu::always_inline]] inline void medianPerreaultHebertWith(const BlurImage& image, std::size_t rx,
                                                             std::size_t ry) {
    using ColumnSegment = typename SegmentOf<Count>::type;
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    std::uint8_t* const pixels = image.pixels;
    // Fine counts by coarse bin, then column: the window moves along one bin's columns, side by side in
    // memory.
    ColumnCounts<Count> columnFine(16 * width);
    ColumnCounts<Count> columnCoarse(width);
    // Results wait in a ring of ry + 1 rows until no later row reads their input (row y is read up to row
    // y + ry, and leaves the column histograms at row y + ry + 1).
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> pending(ringRows * width);

    // from[t]: 1 in entries t .. 15, the change of a cumulative histogram by one sample of bin t.
    ColumnSegment from[16];
    for (unsigned t = 0; t < 16; ++t) {
        for (unsigned j = 0; j < 16; ++j) from[t][j] = j >= t ? 1 : 0;
    }
    auto addRow = [&](std::size_t row) {
        const std::uint8_t* p = pixels + row * width;
        for (std::size_t x = 0; x < width; ++x) {
            columnFine.add((p[x] >> 4) * width + x, from[p[x] & 15]);
            columnCoarse.add(x, from[p[x] >> 4]);
        }
    };
    auto removeRow = [&](std::size_t row) {
        const std::uint8_t* p = pixels + row * width;
        for (std::size_t x = 0; x < width; ++x) {
            columnFine.subtract((p[x] >> 4) * width + x, from[p[x] & 15]);
            columnCoarse.subtract(x, from[p[x] >> 4]);
        }
    };

    for (std::size_t row = 0; row < ry; ++row) addRow(row);
    Segment fine[16];
    std::ptrdiff_t fineAt[16];  // the x at which fine[b] was last brought up to date, -1: never in this row
    for (std::size_t y = 0; y < height; ++y) {
        if (y > ry) {
            const std::size_t leaving = y - ry - 1;
            removeRow(leaving);
            std::memcpy(pixels + leaving * width, pending.data() + (leaving % ringRows) * width, width);
        }
        if (y + ry < height) addRow(y + ry);
        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        std::uint8_t* const out = pending.data() + (y % ringRows) * width;

        Segment coarse{};
        for (std::size_t x = 0; x < rx; ++x) coarse += widen(columnCoarse[x]);
        for (auto& at : fineAt) at = -1;
        unsigned currentBin = 16;  // none yet in this row
        Segment current{};
        for (std::size_t x = 0; x < width; ++x) {
            if (x + rx < width) coarse += widen(columnCoarse[x + rx]);
            if (x > rx) coarse -= widen(columnCoarse[x - rx - 1]);
            const std::size_t x0 = x > rx ? x - rx : 0;
            const std::size_t x1 = std::min(x + rx, width - 1);
            const unsigned m = static_cast<unsigned>((x1 - x0 + 1) * windowHeight);
            const unsigned k = m - m / 2;  // the k-th smallest sample is wanted

            // The coarse bin holding it: fewer than k samples lie below 16 bin, at least k below 16 (bin +
            // 1).
            unsigned below = 0;
            const unsigned bin = leadingBelow(coarse, k, below);

            // The fine counts of that bin for the window of x. The bin of the last pixel is kept in `current`
            // and moves along with one step; another bin is caught up step by step from where it was left,
            // or summed anew when that is cheaper.
            const auto here = static_cast<std::ptrdiff_t>(x);
            if (bin == currentBin) {
                if (x + rx < width) current += widen(columnFine[bin * width + x + rx]);
                if (x > rx) current -= widen(columnFine[bin * width + x - rx - 1]);
            } else {
                if (currentBin < 16) {
                    fine[currentBin] = current;
                    fineAt[currentBin] = here - 1;
                }
                const std::ptrdiff_t at = fineAt[bin];
                if (at < 0 || static_cast<std::size_t>(here - at) * 2 > x1 - x0 + 1) {
                    current = Segment{};
                    for (std::size_t c = x0; c <= x1; ++c) current += widen(columnFine[bin * width + c]);
                } else {
                    current = fine[bin];
                    for (auto step = static_cast<std::size_t>(at) + 1; step <= x; ++step) {
                        if (step + rx < width) current += widen(columnFine[bin * width + step + rx]);
                        if (step > rx) current -= widen(columnFine[bin * width + step - rx - 1]);
                    }
                }
                currentBin = bin;
            }
            const Segment& segment = current;

            unsigned belowLevel = 0;
            const unsigned level = leadingBelow(segment, k - below, belowLevel);
            out[x] = static_cast<std::uint8_t>(16 * bin + level);
        }
    }
    const std::size_t firstUnwritten = height > ry + 1 ? height - ry - 1 : 0;
    for (std::size_t row = firstUnwritten; row < height; ++row) {
        std::memcpy(pixels + row * width, pending.data() + (row % ringRows) * width, width);
    }
}

template <typename Count>
void medianPerreaultHebertBaseline(const BlurImage& image, std::size_t rx, std::size_t ry) {
    medianPerreaultHebertWith<Count>(image, rx, ry);
}

#if defined(__x86_64__)
template <typename Count>
PAGEWASH_TARGET_AVX2 void medianPerreaultHebertAvx2(const BlurImage& image, std::size_t rx, std::size_t ry) {
    medianPerreaultHebertWith<Count>(image, rx, ry);
}

// 16 byte counts widened to 16 bits.
[[gnu::always_inline]] PAGEWASH_TARGET_AVX512 inline __m256i widened(const ByteSegment& counts) {
    __m128i bytes;
    std::memcpy(&bytes, &counts, sizeof bytes);
    return _mm256_cvtepu8_epi16(bytes);
}

// The same constant-time median with AVX-512 (BW and VL) on 256-bit registers: the coarse and fine counts of
// the window stay in registers, and the search compares all 16 entries at once into a mask whose population
// is the bin. The number of samples below a bin is broadcast from its neighbour entry, never read back
// through memory. Column counts are bytes (REQUIRES: 2 ry + 1 <= 255).
PAGEWASH_TARGET_AVX512 void medianPerreaultHebertAvx512(const BlurImage& image, std::size_t rx,
                                                        std::size_t ry) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    std::uint8_t* const pixels = image.pixels;
    ColumnCounts<std::uint8_t> columnFine(16 * width);
    ColumnCounts<std::uint8_t> columnCoarse(width);
    const std::size_t ringRows = ry + 1;
    std::vector<std::uint8_t> pending(ringRows * width);

    ByteSegment from[16];
    for (unsigned t = 0; t < 16; ++t) {
        for (unsigned j = 0; j < 16; ++j) from[t][j] = j >= t ? 1 : 0;
    }
    for (std::size_t row = 0; row < ry; ++row) {
        const std::uint8_t* p = pixels + row * width;
        for (std::size_t x = 0; x < width; ++x) {
            columnFine.add((p[x] >> 4) * width + x, from[p[x] & 15]);
            columnCoarse.add(x, from[p[x] >> 4]);
        }
    }
    __m256i fine[16];
    std::ptrdiff_t fineAt[16];
    for (std::size_t y = 0; y < height; ++y) {
        if (y > ry) {
            const std::size_t leaving = y - ry - 1;
            const std::uint8_t* p = pixels + leaving * width;
            for (std::size_t x = 0; x < width; ++x) {
                columnFine.subtract((p[x] >> 4) * width + x, from[p[x] & 15]);
                columnCoarse.subtract(x, from[p[x] >> 4]);
            }
            std::memcpy(pixels + leaving * width, pending.data() + (leaving % ringRows) * width, width);
        }
        if (y + ry < height) {
            const std::uint8_t* p = pixels + (y + ry) * width;
            for (std::size_t x = 0; x < width; ++x) {
                columnFine.add((p[x] >> 4) * width + x, from[p[x] & 15]);
                columnCoarse.add(x, from[p[x] >> 4]);
            }
        }
        const std::size_t windowHeight = std::min(y + ry, height - 1) - (y > ry ? y - ry : 0) + 1;
        std::uint8_t* const out = pending.data() + (y % ringRows) * width;

        __m256i coarse = _mm256_setzero_si256();
        for (std::size_t x = 0; x < rx; ++x) coarse = _mm256_add_epi16(coarse, widened(columnCoarse[x]));
        for (auto& at : fineAt) at = -1;
        unsigned currentBin = 16;
        __m256i current = _mm256_setzero_si256();
        for (std::size_t x = 0; x < width; ++x) {
            if (x + rx < width) coarse = _mm256_add_epi16(coarse, widened(columnCoarse[x + rx]));
            if (x > rx) coarse = _mm256_sub_epi16(coarse, widened(columnCoarse[x - rx - 1]));
            const std::size_t x0 = x > rx ? x - rx : 0;
            const std::size_t x1 = std::min(x + rx, width - 1);
            const unsigned m = static_cast<unsigned>((x1 - x0 + 1) * windowHeight);
            const __m256i need = _mm256_set1_epi16(static_cast<short>(m - m / 2));  // the k-th smallest

            // Entries below need: the bins wholly below the wanted sample; their number is the bin holding
            // it.
            const auto bin = static_cast<unsigned>(__builtin_popcount(_mm256_cmplt_epu16_mask(coarse, need)));
            const __m256i below =
                _mm256_maskz_permutexvar_epi16(static_cast<__mmask16>(bin == 0 ? 0 : 0xFFFF),
                                               _mm256_set1_epi16(static_cast<short>(bin - 1)), coarse);

            const auto here = static_cast<std::ptrdiff_t>(x);
            if (bin == currentBin) {
                if (x + rx < width)
                    current = _mm256_add_epi16(current, widened(columnFine[bin * width + x + rx]));
                if (x > rx)
                    current = _mm256_sub_epi16(current, widened(columnFine[bin * width + x - rx - 1]));
            } else {
                if (currentBin < 16) {
                    fine[currentBin] = current;
                    fineAt[currentBin] = here - 1;
                }
                const std::ptrdiff_t at = fineAt[bin];
                if (at < 0 || static_cast<std::size_t>(here - at) * 2 > x1 - x0 + 1) {
                    current = _mm256_setzero_si256();
                    for (std::size_t c = x0; c <= x1; ++c) {
                        current = _mm256_add_epi16(current, widened(columnFine[bin * width + c]));
                    }
                } else {
                    current = fine[bin];
                    for (auto step = static_cast<std::size_t>(at) + 1; step <= x; ++step) {
                        if (step + rx < width) {
                            current = _mm256_add_epi16(current, widened(columnFine[bin * width + step + rx]));
                        }
                        if (step > rx)
                            current =
                                _mm256_sub_epi16(current, widened(columnFine[bin * width + step - rx - 1]));
                    }
                }
                currentBin = bin;
            }
            const auto level = static_cast<unsigned>(
                __builtin_popcount(_mm256_cmplt_epu16_mask(_mm256_add_epi16(current, below), need)));
            out[x] = static_cast<std::uint8_t>(16 * bin + level);
        }
    }
    const std::size_t firstUnwritten = height > ry + 1 ? height - ry - 1 : 0;
    for (std::size_t row = firstUnwritten; row < height; ++row) {
        std::memcpy(pixels + row * width, pending.data() + (row % ringRows) * width, width);
    }
}
#endif

void medianPerreaultHebert(const BlurImage& image, std::size_t rx, std::size_t ry, VectorLevel level) {
    const bool byteColumns = 2 * ry + 1 <= 255;
#if defined(__x86_64__)
    if (level == VectorLevel::Avx512 && byteColumns) return medianPerreaultHebertAvx512(image, rx, ry);
    if (level >= VectorLevel::Avx2) {
        return byteColumns ? medianPerreaultHebertAvx2<std::uint8_t>(image, rx, ry)
                           : medianPerreaultHebertAvx2<std::uint16_t>(image, rx, ry);
    }
#endif
    static_cast<void>(level);
    if (byteColumns) {
        medianPerreaultHebertBaseline<std::uint8_t>(image, rx, ry);
    } else {
        medianPerreaultHebertBaseline<std::uint16_t>(image, rx, ry);
    }
}

}  // namespace

void medianBlurGray(const BlurImage& image, int radiusX, int radiusY) {
    medianBlurGray(image, radiusX, radiusY, processorVectorLevel());
}

void medianBlurGray(const BlurImage& image, int radiusX, int radiusY, VectorLevel level) {
    if (radiusX == 0 && radiusY == 0) return;
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const auto rx = static_cast<std::size_t>(radiusX);
    const auto ry = static_cast<std::size_t>(radiusY);
    const std::size_t largestWindow = (2 * rx + 1) * (2 * ry + 1);

    if (rx == 1 && ry == 1) {
        // Rows 0 and height - 1 are clipped windows: the sliding histogram takes them.
        std::vector<std::uint8_t> scratch(3 * width);
        std::vector<std::uint8_t> previous(width), current(width);
        medianRow(image, 0, rx, ry, previous.data());
        for (std::size_t y = 1; y + 1 < height; ++y) {
            median3x3(image, y, scratch, current.data(), level);
            std::memcpy(image.pixels + (y - 1) * width, previous.data(), width);
            std::swap(previous, current);
        }
        medianRow(image, height - 1, rx, ry, current.data());
        std::memcpy(image.pixels + (height - 2) * width, previous.data(), width);
        std::memcpy(image.pixels + (height - 1) * width, current.data(), width);
        return;
    }
    if (largestWindow <= 65535 && rx >= kConstantTimeFromRadius) {
        medianPerreaultHebert(image, rx, ry, level);
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
