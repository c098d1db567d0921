#pragma once
// Counts the levels of gray values handed to it in pieces (a slice or a scanline at a time), so that the
// histogram can be taken while the values are still in the cache. Internal to imaging/. One object per
// image; not shared between threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace pagewash {

using Histogram = std::array<std::uint64_t, 256>;

class HistogramCounter {
  public:
    // expectedCount: about how many values will be added; it only picks the counting method. Never throws:
    // when the pair tables cannot be allocated, the values are counted one at a time.
    explicit HistogramCounter(std::size_t expectedCount);

    // Counts gray[0 .. count).
    void add(const std::uint8_t* gray, std::size_t count);

    // The counts of everything added so far.
    Histogram total() const;

  private:
    static constexpr std::size_t kPairTables = 2;
    static constexpr std::size_t kPairs = 65536;

    void addSingles(const std::uint8_t* gray, std::size_t count);
    void addPairs(const std::uint8_t* gray, std::size_t count);
    // Moves the 32-bit pair counts into m_single before they could overflow.
    void settle();

    // Counts of pairs of neighbouring values (a 16-bit word from the buffer). One increment per two values
    // halves the loads and stores, the work that bounds a histogram; two tables taken in turn keep runs of
    // one pair (blank paper) from making each increment wait for the one before it. 512 KiB, on the heap.
    std::unique_ptr<std::uint32_t[]> m_pairs;
    std::size_t m_unsettled = 0;  // values counted in m_pairs since the last settle()
    Histogram m_single{};         // values counted one at a time, and settled pair counts
};

}  // namespace pagewash
