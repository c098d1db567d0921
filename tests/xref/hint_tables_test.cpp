#include "engine/xref/hint_tables.h"

#include <gtest/gtest.h>

#include "engine/xref/hint_stream.h"

namespace pagewash {
namespace {

constexpr std::size_t npos = std::string::npos;

// Three pages and four shared object groups (two of the first page, two in the shared section).
HintTables sampleTables() {
    HintTables tables;
    PageOffsetHints& p = tables.pages;
    p.leastObjectCount = 2, p.firstPageLocation = 1000, p.objectCountBits = 3;
    p.sharedCountBits = 2, p.sharedIdentifierBits = 3, p.sharedNumeratorBits = 1, p.sharedDenominator = 4;
    p.objectCounts = {2, 5, 9}, p.pageLengths = {300, 5000, 120}, p.sharedCounts = {2, 0, 1};
    p.sharedIdentifiers = {{0, 1}, {}, {3}}, p.sharedNumerators = {{0, 1}, {}, {0}};
    p.contentOffsets = p.contentLengths = {0, 0, 0};
    tables.shared = {40, 6420, 2, 4, 1, 0, 0, {100, 200, 50, 70}, {{}, {}, {}, {}}, {0, 0, 1, 0}};
    tables.generic.push_back({"O", 30, 6540, 3, 77});
    return tables;
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

// An image inside page 2 (locations 1300..6300) grows by 70000 bytes; everything after it moves. Both the
// tables and the moved ones read back as written, with the page length bits recomputed.
TEST(HintTables, MovedTablesFollowTheMapAndReadBackWithWiderBits) {
    const HintTables moved =
        movedHintTables(sampleTables(), [](std::int64_t at) { return at > 2000 ? at + 70000 : at; });
    EXPECT_EQ(moved.pages.firstPageLocation, 1000u);
    EXPECT_EQ(moved.pages.pageLengths, (std::vector<std::uint64_t>{300, 75000, 120}));
    EXPECT_EQ(moved.shared.groupLengths, (std::vector<std::uint64_t>{100, 200, 50, 70}));
    EXPECT_EQ(moved.shared.firstLocation, 76420u);
    EXPECT_EQ(moved.generic[0].firstLocation, 76540u);
    for (const auto& [tables, bits] : {std::pair{sampleTables(), 13u}, {moved, 17u}}) {  // 4880, 74880
        std::vector<HintTablePlace> places;
        const auto back = readHintTables(writeHintTables(tables, places), 3, places);
        ASSERT_TRUE(back) << back.refusal().reason;
        EXPECT_EQ(back->pages.pageLengthBits, bits);
        EXPECT_EQ(back->pages.leastPageLength, 120u);
        EXPECT_EQ(back->pages.pageLengths, tables.pages.pageLengths);
        EXPECT_EQ(back->pages.objectCounts, tables.pages.objectCounts);
        EXPECT_EQ(back->pages.sharedIdentifiers, tables.pages.sharedIdentifiers);
        EXPECT_EQ(back->shared.firstLocation, tables.shared.firstLocation);
        EXPECT_EQ(back->shared.groupLengths, tables.shared.groupLengths);
        EXPECT_EQ(back->shared.objectCountsMinusOne, tables.shared.objectCountsMinusOne);
        ASSERT_EQ(back->generic.size(), 1u);
        EXPECT_EQ(back->generic[0].firstLocation, tables.generic[0].firstLocation);
        EXPECT_EQ(back->generic[0].groupLength, tables.generic[0].groupLength);
    }
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
    const auto reason = [&] {
        const auto result = hintGroupsFollowObjects(hints, starts, ends);
        return result ? std::string("none") : result.refusal().reason;
    };
    EXPECT_NE(reason().find("shared object group 0 of the hint tables does not end"), npos) << reason();
    starts.insert(1200);
    EXPECT_EQ(reason(), "none");
    starts.erase(1400);
    EXPECT_NE(reason().find("page 1 of the hint tables does not end"), npos) << reason();
}

}  // namespace
}  // namespace pagewash
