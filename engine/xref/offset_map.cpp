#include "engine/xref/offset_map.h"

#include <algorithm>

namespace pagewash {

OffsetMap::OffsetMap(std::vector<ReplacedRange> ranges) : m_ranges(std::move(ranges)) {
    m_shiftBefore.reserve(m_ranges.size() + 1);
    std::int64_t shift = 0;
    for (const ReplacedRange& range : m_ranges) {
        m_shiftBefore.push_back(shift);
        shift += range.outputLength - (range.inputEnd - range.inputBegin);
    }
    m_shiftBefore.push_back(shift);
}

std::size_t OffsetMap::firstRangeEndingAfter(std::int64_t inputOffset) const {
    const auto it = std::upper_bound(
        m_ranges.begin(), m_ranges.end(), inputOffset,
        [](std::int64_t offset, const ReplacedRange& range) { return offset < range.inputEnd; });
    return static_cast<std::size_t>(it - m_ranges.begin());
}

std::int64_t OffsetMap::map(std::int64_t inputOffset) const {
    const std::size_t i = firstRangeEndingAfter(inputOffset);
    if (i < m_ranges.size() && m_ranges[i].inputBegin < inputOffset) {
        // Inside range i: its bytes are gone, point at the start of what replaced them.
        return m_ranges[i].inputBegin + m_shiftBefore[i];
    }
    return inputOffset + m_shiftBefore[i];
}

bool OffsetMap::isInsideReplacement(std::int64_t inputOffset) const {
    const std::size_t i = firstRangeEndingAfter(inputOffset);
    return i < m_ranges.size() && m_ranges[i].inputBegin < inputOffset;
}

bool mergeRanges(std::span<const ReplacedRange> a, std::span<const ReplacedRange> b,
                 std::vector<ReplacedRange>& merged) {
    merged.clear();
    merged.reserve(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(merged),
               [](const ReplacedRange& x, const ReplacedRange& y) {
                   return x.inputBegin < y.inputBegin ||
                          (x.inputBegin == y.inputBegin && x.inputEnd < y.inputEnd);
               });
    for (std::size_t i = 1; i < merged.size(); ++i) {
        // Two insertions at one point, or a range starting before the previous one ends, overlap.
        const ReplacedRange& previous = merged[i - 1];
        const ReplacedRange& current = merged[i];
        if (current.inputBegin < previous.inputEnd ||
            (current.inputBegin == previous.inputBegin && previous.inputBegin == previous.inputEnd)) {
            merged.clear();
            return false;
        }
    }
    return true;
}

}  // namespace pagewash
