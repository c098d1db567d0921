#include "imaging/histogram_counter.h"

#include <algorithm>
#include <cstring>

namespace pagewash {

namespace {
// Each partial counter sees at most one value in kParts, so 2^32 - 1 per part cannot be passed while
// fewer than 2^32 values are unsettled.
constexpr std::size_t kSettleAfter = std::size_t{1} << 31;
}  // namespace

HistogramCounter::HistogramCounter() {
    for (auto& part : m_partial) part.fill(0);
}

void HistogramCounter::add(const std::uint8_t* gray, std::size_t count) {
    while (count > 0) {
        if (m_unsettled >= kSettleAfter) settle();
        const std::size_t n = std::min(count, kSettleAfter - m_unsettled);
        std::size_t i = 0;
        for (; i + kParts <= n; i += kParts) {
            std::uint64_t eight;
            std::memcpy(&eight, gray + i, sizeof eight);
            for (std::size_t k = 0; k < kParts; ++k) ++m_partial[k][(eight >> (8 * k)) & 0xFF];
        }
        for (; i < n; ++i) ++m_partial[i % kParts][gray[i]];
        m_unsettled += n;
        gray += n;
        count -= n;
    }
}

void HistogramCounter::settle() {
    m_settled = total();
    for (auto& part : m_partial) part.fill(0);
    m_unsettled = 0;
}

Histogram HistogramCounter::total() const {
    Histogram sum = m_settled;
    for (std::size_t v = 0; v < 256; ++v) {
        for (const auto& part : m_partial) sum[v] += part[v];
    }
    return sum;
}

}  // namespace pagewash
