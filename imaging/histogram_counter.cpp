#include "imaging/histogram_counter.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace pagewash {

namespace {
// Below this many values, zeroing and summing the pair tables would cost more than they save.
constexpr std::size_t kPairsFrom = std::size_t{1} << 16;
// Each pair counter sees at most one value in two, so 2^32 - 1 cannot be passed while fewer than 2^32
// values are unsettled.
constexpr std::size_t kSettleAfter = std::size_t{1} << 31;
}  // namespace

HistogramCounter::HistogramCounter(std::size_t expectedCount) {
    if (expectedCount < kPairsFrom) return;
    try {
        m_pairs = std::make_unique<std::uint32_t[]>(kPairTables * kPairs);  // zeroed
    } catch (const std::bad_alloc&) {
        // Counting one value at a time needs no table: slower, same counts.
    }
}

void HistogramCounter::add(const std::uint8_t* gray, std::size_t count) {
    if (m_pairs) {
        addPairs(gray, count);
    } else {
        addSingles(gray, count);
    }
}

void HistogramCounter::addSingles(const std::uint8_t* gray, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) ++m_single[gray[i]];
}

void HistogramCounter::addPairs(const std::uint8_t* gray, std::size_t count) {
    std::uint32_t* const even = m_pairs.get();
    std::uint32_t* const odd = m_pairs.get() + kPairs;
    while (count >= 8) {
        if (m_unsettled >= kSettleAfter) settle();
        const std::size_t n = std::min(count, kSettleAfter - m_unsettled) & ~std::size_t{7};
        for (std::size_t i = 0; i < n; i += 8) {
            // Which byte of a word is the first value does not matter: total() counts both bytes alike.
            std::uint64_t eight;
            std::memcpy(&eight, gray + i, sizeof eight);
            ++even[eight & 0xFFFF];
            ++odd[(eight >> 16) & 0xFFFF];
            ++even[(eight >> 32) & 0xFFFF];
            ++odd[eight >> 48];
        }
        m_unsettled += n;
        gray += n;
        count -= n;
    }
    addSingles(gray, count);
}

void HistogramCounter::settle() {
    m_single = total();
    std::fill_n(m_pairs.get(), kPairTables * kPairs, 0u);
    m_unsettled = 0;
}

Histogram HistogramCounter::total() const {
    Histogram sum = m_single;
    if (!m_pairs) return sum;
    // Pair (a, b) at a * 256 + b holds one a and one b: row sums count the a, column sums the b.
    std::array<std::uint64_t, 256> columns{};
    for (std::size_t t = 0; t < kPairTables; ++t) {
        const std::uint32_t* table = m_pairs.get() + t * kPairs;
        for (std::size_t a = 0; a < 256; ++a) {
            std::uint64_t rowSum = 0;
            for (std::size_t b = 0; b < 256; ++b) {
                rowSum += table[a * 256 + b];
                columns[b] += table[a * 256 + b];
            }
            sum[a] += rowSum;
        }
    }
    for (std::size_t b = 0; b < 256; ++b) sum[b] += columns[b];
    return sum;
}

}  // namespace pagewash
