#include "engine/xref/offset_map.h"

#include <gtest/gtest.h>

namespace pagewash {
namespace {

TEST(OffsetMap, ShiftsEachOffsetByTheRangesBeforeIt) {
    // [100, 200) becomes 150 bytes (+50), [300, 400) becomes 10 bytes (-90), [500, 500) gets 7 (+7).
    const OffsetMap map({{100, 200, 150}, {300, 400, 10}, {500, 500, 7}});
    const struct {
        std::int64_t input, output;
        bool inside;
    } cases[] = {
        {0, 0, false},     {99, 99, false},   {100, 100, false}, {150, 100, true},
        {199, 100, true},  {200, 250, false}, {300, 350, false}, {399, 350, true},
        {400, 360, false}, {500, 467, false}, {501, 468, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(map.map(c.input), c.output) << "offset " << c.input;
        EXPECT_EQ(map.isInsideReplacement(c.input), c.inside) << "offset " << c.input;
    }
    EXPECT_EQ(map.outputLength(6000), 5967);
}

TEST(OffsetMap, MatchesAPlainSumAndIsMonotoneOverManyRanges) {
    std::vector<ReplacedRange> ranges;
    for (std::int64_t i = 0; i < 50; ++i) ranges.push_back({i * 100 + 10, i * 100 + 10 + i, (i * 37) % 23});
    const OffsetMap map(ranges);
    std::int64_t previous = -1;
    for (std::int64_t offset = 0; offset < 5200; ++offset) {
        std::int64_t expected = offset;
        bool inside = false;
        for (const ReplacedRange& r : ranges) {
            if (r.inputEnd <= offset) expected += r.outputLength - (r.inputEnd - r.inputBegin);
            inside = inside || (r.inputBegin < offset && offset < r.inputEnd);
        }
        ASSERT_EQ(map.isInsideReplacement(offset), inside) << "offset " << offset;
        if (inside) continue;
        ASSERT_EQ(map.map(offset), expected) << "offset " << offset;
        ASSERT_GE(map.map(offset), previous) << "offset " << offset;
        previous = map.map(offset);
    }
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
