#pragma once
// Counts the levels of gray values handed to it in pieces (a slice or a scanline at a time), so that the
// histogram can be taken while the values are still in the cache. Internal to imaging/. One object per
// image; not shared between threads.

#include <array>
#include <cstddef>
#include <cstdint>

namespace pagewash {

using Histogram = std::array<std::uint64_t, 256>;

class HistogramCounter {
public:
    HistogramCounter();

    // Counts gray[0 .. count).
    void add(const std::uint8_t* gray, std::size_t count);

    // The counts of everything added so far.
    Histogram total() const;

private:
    static constexpr std::size_t kParts = 8;
    // Moves the 32-bit partial counts into m_settled before they could overflow.
    void settle();

    // Eight partial histograms: on a page, long runs of one level would otherwise make every increment wait
    // for the one before it to the same counter. 32-bit counters keep the eight within 8 KiB of cache.
    std::array<std::array<std::uint32_t, 256>, kParts> m_partial;
    std::size_t m_unsettled = 0;  // values counted in m_partial since the last settle()
    Histogram m_settled{};
};

}  // namespace pagewash
