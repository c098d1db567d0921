#include "engine/xref/offset_map.h"

#include <gtest/gtest.h>

namespace pagewash {
namespace {

// Against a plain sum: ranges that grow, shrink or vanish, and insertions (every fifth range is empty). An
// offset maps by the ranges ending at or before it; one strictly inside a range maps to the start of its new
// bytes. Only offsets outside the ranges need to keep their order.
TEST(OffsetMap, MatchesAPlainSumAndIsMonotoneOverManyRanges) {
    std::vector<ReplacedRange> ranges;
    for (std::int64_t i = 0; i < 50; ++i)
        ranges.push_back({i * 100 + 10, i * 100 + 10 + (i % 5 ? i : 0), (i * 37) % 23});
    const OffsetMap map(ranges);
    std::int64_t previous = -1;
    for (std::int64_t offset = 0; offset < 5200; ++offset) {
        std::int64_t at = offset;
        for (const ReplacedRange& r : ranges)
            if (r.inputBegin < offset && offset < r.inputEnd) at = r.inputBegin;
        std::int64_t expected = at;
        for (const ReplacedRange& r : ranges)
            if (r.inputEnd <= at) expected += r.outputLength - (r.inputEnd - r.inputBegin);
        ASSERT_EQ(map.isInsideReplacement(offset), at != offset) << "offset " << offset;
        ASSERT_EQ(map.map(offset), expected) << "offset " << offset;
        if (at != offset) continue;
        ASSERT_GE(map.map(offset), previous) << "offset " << offset;
        previous = map.map(offset);
    }
    EXPECT_EQ(map.outputLength(5200), previous + 1);
}

TEST(MergeRanges, InterleavesSortedListsAndRefusesOverlaps) {
    const std::vector<ReplacedRange> images{{10, 20, 5}, {50, 60, 5}};
    std::vector<ReplacedRange> merged;
    ASSERT_TRUE(mergeRanges(images, std::vector<ReplacedRange>{{30, 31, 2}, {60, 62, 2}}, merged));
    EXPECT_EQ(merged, (std::vector<ReplacedRange>{{10, 20, 5}, {30, 31, 2}, {50, 60, 5}, {60, 62, 2}}));
    for (const ReplacedRange overlapping : {ReplacedRange{15, 25, 1}, {5, 11, 1}, {59, 59, 1}}) {
        EXPECT_FALSE(mergeRanges(images, std::span(&overlapping, 1), merged)) << overlapping.inputBegin;
        EXPECT_TRUE(merged.empty());
    }
    const std::vector<ReplacedRange> twoInsertions{{40, 40, 1}};
    EXPECT_FALSE(mergeRanges(twoInsertions, twoInsertions, merged));
}

}  // namespace
}  // namespace pagewash
