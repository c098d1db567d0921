#pragma once
// The hint tables of a linearized PDF's primary hint stream, as bit-packed by the writer: the page
// offset hint table, the shared object hint table, and the generic tables (outlines and the like)
// that /O, /A, /E, /V, /I, /C, /L, /R and /B of the stream's dictionary point at. Read from the
// decoded stream data, rewritten with new offsets and lengths, packed again. Stateless; any thread.
//
// Locations and lengths in these tables count the file as if the hint stream were not in it.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/pdf/refusal.h"

namespace pagewash {

struct PageOffsetHints {
    // Header items 1 to 13, in their order.
    std::uint32_t leastObjectCount = 0;
    std::uint32_t firstPageLocation = 0;
    std::uint32_t objectCountBits = 0;
    std::uint32_t leastPageLength = 0;
    std::uint32_t pageLengthBits = 0;
    std::uint32_t leastContentOffset = 0;
    std::uint32_t contentOffsetBits = 0;
    std::uint32_t leastContentLength = 0;
    std::uint32_t contentLengthBits = 0;
    std::uint32_t sharedCountBits = 0;
    std::uint32_t sharedIdentifierBits = 0;
    std::uint32_t sharedNumeratorBits = 0;
    std::uint32_t sharedDenominator = 0;
    // Per page: the header's least value plus the page's delta.
    std::vector<std::uint64_t> objectCounts;
    std::vector<std::uint64_t> pageLengths;
    std::vector<std::uint64_t> sharedCounts;
    std::vector<std::vector<std::uint64_t>> sharedIdentifiers;
    std::vector<std::vector<std::uint64_t>> sharedNumerators;
    std::vector<std::uint64_t> contentOffsets;  // from the start of the page
    std::vector<std::uint64_t> contentLengths;
};

struct SharedObjectHints {
    std::uint32_t firstObjectNumber = 0;
    std::uint32_t firstLocation = 0;  // of the shared objects section
    std::uint32_t firstPageEntries = 0;
    std::uint32_t totalEntries = 0;
    std::uint32_t objectCountBits = 0;
    std::uint32_t leastGroupLength = 0;
    std::uint32_t groupLengthBits = 0;
    std::vector<std::uint64_t> groupLengths;            // least plus delta
    std::vector<std::vector<std::uint8_t>> signatures;  // empty, or the 16 bytes of an MD5
    std::vector<std::uint64_t> objectCountsMinusOne;
};

// A generic hint table: one group of objects.
struct GenericHints {
    std::string key;  // the key of the hint stream dictionary that gives its place, "O" for outlines
    std::uint32_t firstObjectNumber = 0;
    std::uint32_t firstLocation = 0;
    std::uint32_t objectCount = 0;
    std::uint32_t groupLength = 0;
};

struct HintTables {
    PageOffsetHints pages;
    SharedObjectHints shared;
    std::vector<GenericHints> generic;  // in the order they follow in the stream
};

struct HintTablePlace {
    std::string key;  // "S" or a generic table's key
    std::int64_t offset = 0;
};

// Reads the tables. `pageCount` is the linearization dictionary's /N; `places` the offsets into
// `data` of the shared table ("S") and of the generic tables. Refuses a table that runs past the
// data, bit counts over 32, or a table kind it does not know. The refusal's offset is where the
// table at fault begins, counted from the start of `data`; -1 for a /N out of range.
Result<HintTables> readHintTables(std::span<const std::uint8_t> data, std::int64_t pageCount,
                                  const std::vector<HintTablePlace>& places);

// Packs the tables: the page table first, then the shared table, then the generic ones. The least
// values and bit counts of lengths and content offsets are recomputed from the per-page values.
// `places` receives where each table other than the page table begins.
std::vector<std::uint8_t> writeHintTables(HintTables tables, std::vector<HintTablePlace>& places);

}  // namespace pagewash
