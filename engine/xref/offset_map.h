#pragma once
// Where an input byte lands in the edited PDF. The output is the input with a sorted list of
// non-overlapping ranges replaced by new bytes of other lengths (the images and the cross-reference
// corrections); every other byte is copied in its place and order, so the map is a monotone shift.
// A value type: cheap to build, immutable, safe to share between threads once built.

#include <cstdint>
#include <span>
#include <vector>

#include "engine/pdf/byte_splice.h"

namespace pagewash {

class OffsetMap {
  public:
    OffsetMap() : OffsetMap(std::vector<ReplacedRange>{}) {}
    // REQUIRES: ranges sorted by inputBegin, non-overlapping, each inputBegin <= inputEnd.
    explicit OffsetMap(std::vector<ReplacedRange> ranges);

    // The output offset of the input byte at `inputOffset`. An offset at the start of a replaced
    // range maps to the start of its new bytes; an offset strictly inside one maps there as well
    // (it has no place of its own in the output: see isInsideReplacement).
    std::int64_t map(std::int64_t inputOffset) const;

    // True when the input byte at `inputOffset` lies strictly inside a replaced range, so it does
    // not survive into the output.
    bool isInsideReplacement(std::int64_t inputOffset) const;

    // The output length of an input of `inputLength` bytes (the map of its end).
    std::int64_t outputLength(std::int64_t inputLength) const { return map(inputLength); }

    std::span<const ReplacedRange> ranges() const { return m_ranges; }

  private:
    // Index of the first range whose inputEnd is greater than `inputOffset`.
    std::size_t firstRangeEndingAfter(std::int64_t inputOffset) const;

    std::vector<ReplacedRange> m_ranges;
    // m_shiftBefore[i]: the sum of (outputLength - input length) over the ranges before range i.
    std::vector<std::int64_t> m_shiftBefore;
};

// Merges two sorted lists of ranges into one sorted list. Returns false (and leaves `merged` empty)
// when any two ranges overlap.
bool mergeRanges(std::span<const ReplacedRange> a, std::span<const ReplacedRange> b,
                 std::vector<ReplacedRange>& merged);

}  // namespace pagewash
