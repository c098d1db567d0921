#include "engine/xref/hint_tables.h"

#include <gtest/gtest.h>

#include "engine/xref/hint_stream.h"

namespace pagewash {
namespace {

// Three pages and four shared object groups (two of the first page, two in the shared section).
// Fields in the order of the structs: the page table's 13 header items, then its per-page lists.
HintTables sampleTables() {
    HintTables tables;
    tables.pages = {2,
                    1000,
                    3,
                    0,
                    0,
                    0,
                    0,
                    0,
                    0,
                    2,
                    3,
                    1,
                    4,
                    {2, 5, 9},
                    {300, 5000, 120},
                    {2, 0, 1},
                    {{0, 1}, {}, {3}},
                    {{0, 1}, {}, {0}},
                    {0, 0, 0},
                    {0, 0, 0}};
    tables.shared = {40, 6420, 2, 4, 1, 0, 0, {100, 200, 50, 70}, {{}, {}, {}, {}}, {0, 0, 1, 0}};
    tables.generic.push_back({"O", 30, 6540, 3, 77});
    return tables;
}

TEST(HintTables, WrittenTablesReadBackTheSame) {
    std::vector<HintTablePlace> places;
    const std::vector<std::uint8_t> data = writeHintTables(sampleTables(), places);
    const auto back = readHintTables(data, 3, places);
    ASSERT_TRUE(back) << back.refusal().reason;
    EXPECT_EQ(back->pages.pageLengths, (std::vector<std::uint64_t>{300, 5000, 120}));
    EXPECT_EQ(back->pages.leastPageLength, 120u);
    EXPECT_EQ(back->pages.pageLengthBits, 13u);  // 5000 - 120 needs 13 bits
    EXPECT_EQ(back->pages.objectCounts, (std::vector<std::uint64_t>{2, 5, 9}));
    EXPECT_EQ(back->pages.sharedIdentifiers, sampleTables().pages.sharedIdentifiers);
    EXPECT_EQ(back->shared.groupLengths, (std::vector<std::uint64_t>{100, 200, 50, 70}));
    EXPECT_EQ(back->shared.objectCountsMinusOne, (std::vector<std::uint64_t>{0, 0, 1, 0}));
    ASSERT_EQ(back->generic.size(), 1u);
    EXPECT_EQ(back->generic[0].firstLocation, 6540u);
    EXPECT_EQ(back->generic[0].groupLength, 77u);
}

TEST(HintTables, DamagedOrUnknownTablesAreRefusedWhereTheyBegin) {
    std::vector<HintTablePlace> places;
    const std::vector<std::uint8_t> data = writeHintTables(sampleTables(), places);
    const std::int64_t shared = places[0].offset;
    const auto cut = readHintTables({data.data(), static_cast<std::size_t>(shared) + 10}, 3, places);
    EXPECT_EQ(cut.refusal().reason, "the shared object hint table is damaged");
    EXPECT_EQ(cut.refusal().offset, shared);
    const auto thumbnails = readHintTables(data, 3, {places[0], {"T", shared}});
    EXPECT_EQ(thumbnails.refusal().reason, "the hint table /T is of a kind that is not rewritten");
}

TEST(HintTables, MovedTablesFollowTheMapAndWidenTheirBits) {
    // An image inside page 2 (locations 1300..6300) grows by 70000 bytes; everything after moves.
    const auto map = [](std::int64_t location) { return location > 2000 ? location + 70000 : location; };
    const HintTables moved = movedHintTables(sampleTables(), map);
    EXPECT_EQ(moved.pages.firstPageLocation, 1000u);
    EXPECT_EQ(moved.pages.pageLengths, (std::vector<std::uint64_t>{300, 75000, 120}));
    EXPECT_EQ(moved.shared.groupLengths, (std::vector<std::uint64_t>{100, 200, 50, 70}));
    EXPECT_EQ(moved.shared.firstLocation, 76420u);
    EXPECT_EQ(moved.generic[0].firstLocation, 76540u);

    std::vector<HintTablePlace> places;
    const std::vector<std::uint8_t> data = writeHintTables(moved, places);
    const auto back = readHintTables(data, 3, places);
    ASSERT_TRUE(back) << back.refusal().reason;
    EXPECT_EQ(back->pages.pageLengthBits, 17u);  // 75000 - 120 needs 17 bits now
    EXPECT_EQ(back->pages.pageLengths, moved.pages.pageLengths);
}

TEST(HintStream, GroupsMustBeginAndEndAtObjects) {
    HintStreamSection hints;
    hints.offset = 500;  // the hint stream: 500..600, left out of the tables' locations
    hints.length = 100;
    hints.tables = sampleTables();
    // In the file every location at or after 500 lies 100 bytes further on: pages at 1100, 1400 and
    // 6400; shared groups at 1100, 1200, 6520 and 6570; the outline group at 6640, ending at 6717.
    std::set<std::int64_t> starts{1100, 1400, 6400, 6520, 6570, 6640, 6717};
    const std::set<std::int64_t> ends{6800};
    const auto sharedOpen = hintGroupsFollowObjects(hints, starts, ends);
    ASSERT_FALSE(sharedOpen);
    const std::string& sharedReason = sharedOpen.refusal().reason;
    EXPECT_NE(sharedReason.find("shared object group 0 of the hint tables does not end"), std::string::npos)
        << sharedReason;
    starts.insert(1200);
    const auto closed = hintGroupsFollowObjects(hints, starts, ends);
    EXPECT_TRUE(closed) << closed.refusal().reason;
    starts.erase(1400);
    const auto pageOpen = hintGroupsFollowObjects(hints, starts, ends);
    ASSERT_FALSE(pageOpen);
    const std::string& pageReason = pageOpen.refusal().reason;
    EXPECT_NE(pageReason.find("page 1 of the hint tables does not end"), std::string::npos) << pageReason;
}

}  // namespace
}  // namespace pagewash
