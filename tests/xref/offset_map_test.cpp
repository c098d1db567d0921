#include "engine/xref/offset_map.h"

#include <gtest/gtest.h>

namespace pagewash {
namespace {

// Two ranges: [100, 200) becomes 150 bytes (+50), [300, 400) becomes 10 bytes (-90).
OffsetMap twoRanges() { return OffsetMap({{100, 200, 150}, {300, 400, 10}}); }

TEST(OffsetMap, OffsetsBeforeTheFirstRangeStay) {
    const OffsetMap map = twoRanges();
    EXPECT_EQ(map.map(0), 0);
    EXPECT_EQ(map.map(99), 99);
    EXPECT_EQ(map.map(100), 100);  // the start of a range is the start of its new bytes
}

TEST(OffsetMap, OffsetsBetweenRangesMoveByTheFirstDifference) {
    const OffsetMap map = twoRanges();
    EXPECT_EQ(map.map(200), 250);
    EXPECT_EQ(map.map(299), 349);
    EXPECT_EQ(map.map(300), 350);
}

TEST(OffsetMap, OffsetsAfterAllRangesMoveByTheSumOfDifferences) {
    const OffsetMap map = twoRanges();
    EXPECT_EQ(map.map(400), 400 + 50 - 90);
    EXPECT_EQ(map.map(5000), 5000 - 40);
    EXPECT_EQ(map.outputLength(6000), 5960);
}

TEST(OffsetMap, OffsetsInsideARangeGoToItsNewStartAndAreFlagged) {
    const OffsetMap map = twoRanges();
    EXPECT_EQ(map.map(150), 100);
    EXPECT_TRUE(map.isInsideReplacement(150));
    EXPECT_FALSE(map.isInsideReplacement(100));
    EXPECT_FALSE(map.isInsideReplacement(200));
    EXPECT_EQ(map.map(399), 350);
}

TEST(OffsetMap, EmptyMapIsTheIdentity) {
    const OffsetMap map;
    EXPECT_EQ(map.map(12345), 12345);
    EXPECT_FALSE(map.isInsideReplacement(7));
}

TEST(OffsetMap, MatchesAPlainSumOverManyRanges) {
    std::vector<ReplacedRange> ranges;
    for (std::int64_t i = 0; i < 50; ++i) ranges.push_back({i * 100 + 10, i * 100 + 10 + i, (i * 37) % 23});
    const OffsetMap map(ranges);
    for (std::int64_t offset = 0; offset < 5200; offset += 7) {
        if (map.isInsideReplacement(offset)) continue;
        std::int64_t expected = offset;
        for (const ReplacedRange& range : ranges) {
            if (range.inputEnd <= offset && range.inputBegin < offset) {
                expected += range.outputLength - (range.inputEnd - range.inputBegin);
            }
        }
        ASSERT_EQ(map.map(offset), expected) << "offset " << offset;
    }
}

TEST(MergeRanges, InterleavesSortedListsAndRejectsOverlaps) {
    const std::vector<ReplacedRange> images{{10, 20, 5}, {50, 60, 5}};
    const std::vector<ReplacedRange> own{{30, 31, 2}, {70, 72, 2}};
    std::vector<ReplacedRange> merged;
    ASSERT_TRUE(mergeRanges(images, own, merged));
    ASSERT_EQ(merged.size(), 4u);
    EXPECT_EQ(merged[1].inputBegin, 30);
    EXPECT_EQ(merged[3].inputBegin, 70);

    const std::vector<ReplacedRange> overlapping{{15, 25, 1}};
    EXPECT_FALSE(mergeRanges(images, overlapping, merged));
    EXPECT_TRUE(merged.empty());
}

}  // namespace
}  // namespace pagewash
