#include "engine/xref/hint_stream.h"

#include <algorithm>
#include <cstdint>

namespace pagewash {

namespace {

// A group of the tables: where it begins and how long it is, as locations without the hint stream.
struct Group {
    std::string what;
    std::int64_t begin = 0;
    std::int64_t length = 0;
};

// The pages follow each other from the first page's page object; the shared object groups follow
// each other from the first page's objects and again from the shared objects section.
std::vector<Group> groupsOf(const HintTables& tables) {
    std::vector<Group> groups;
    std::int64_t at = tables.pages.firstPageLocation;
    for (std::size_t page = 0; page < tables.pages.pageLengths.size(); ++page) {
        const auto length = static_cast<std::int64_t>(tables.pages.pageLengths[page]);
        groups.push_back({"page " + std::to_string(page + 1), at, length});
        at += length;
    }
    const SharedObjectHints& shared = tables.shared;
    at = tables.pages.firstPageLocation;
    for (std::size_t i = 0; i < shared.groupLengths.size(); ++i) {
        if (i == shared.firstPageEntries) at = shared.firstLocation;
        const auto length = static_cast<std::int64_t>(shared.groupLengths[i]);
        groups.push_back({"shared object group " + std::to_string(i), at, length});
        at += length;
    }
    for (const GenericHints& generic : tables.generic) {
        groups.push_back({"the /" + generic.key + " hint group", generic.firstLocation, generic.groupLength});
    }
    return groups;
}

// Table fields are 32 bits wide; a location or length outside that range cannot come from tables
// that passed hintGroupsFollowObjects, and is pinned rather than wrapped.
std::uint32_t field32(std::int64_t value) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, UINT32_MAX));
}

// A refusal of readHintTables with its offset within the decoded data made a file offset. Inflated
// bytes have no place of their own in the file: the first byte of the data stands for them.
Refusal inHintData(const StreamObject& stream, Refusal refusal) {
    if (refusal.offset < 0) return refusal;
    const auto stored = static_cast<std::int64_t>(stream.dataEnd - stream.dataBegin);
    if (stream.flate || refusal.offset >= stored) refusal.offset = 0;
    refusal.offset += static_cast<std::int64_t>(stream.dataBegin);
    return refusal;
}

}  // namespace

Result<HintStreamSection> readHintStream(ByteView bytes, const LinearizationFields& linearization) {
    // The linearization fields keep no place for a missing /H.
    if (!linearization.hintOffset || !linearization.hintLength) {
        return Refusal{-1, "the linearization dictionary has no /H"};
    }
    if (linearization.overflowHints) {
        return Refusal{static_cast<std::int64_t>(linearization.hintOffset->begin),
                       "the file has an overflow hint stream"};
    }
    HintStreamSection hints;
    hints.offset = linearization.hintOffset->value;
    hints.length = linearization.hintLength->value;
    if (hints.offset <= 0 || hints.offset >= static_cast<std::int64_t>(bytes.size())) {
        return Refusal{static_cast<std::int64_t>(linearization.hintOffset->begin),
                       "/H points outside the file"};
    }
    auto stream = readStreamObject(bytes, static_cast<std::size_t>(hints.offset));
    if (!stream) return stream.refusal();
    if (stream->predictor.predictor != 1) return Refusal{hints.offset, "the hint stream uses a predictor"};
    std::vector<HintTablePlace> places;
    for (const DictionaryEntry& entry : stream->dictionary.entries) {
        if (entry.key == "Length" || entry.key == "Filter" || entry.key == "DecodeParms" ||
            entry.key == "Type") {
            continue;
        }
        const auto value = integerValue(bytes, entry);
        if (!value) {
            return Refusal{static_cast<std::int64_t>(entry.valueBegin),
                           "the hint stream's /" + entry.key + " is not a direct integer"};
        }
        places.push_back({entry.key, value->value});
        hints.placeFields.push_back({entry.key, {value->begin, value->end, value->value, false}});
    }
    std::sort(places.begin(), places.end(),
              [](const HintTablePlace& a, const HintTablePlace& b) { return a.offset < b.offset; });
    auto tables = readHintTables(stream->decoded, linearization.pageCount, places);
    if (!tables) return inHintData(*stream, tables.refusal());
    hints.tables = std::move(*tables);
    hints.stream = std::move(*stream);
    return hints;
}

Result<Done> hintGroupsFollowObjects(const HintStreamSection& hints,
                                     const std::set<std::int64_t>& objectStarts,
                                     const std::set<std::int64_t>& otherEnds) {
    // Locations leave the hint stream out: one at or after its offset lies its length further on.
    const auto inFile = [&](std::int64_t location) {
        return location >= hints.offset ? location + hints.length : location;
    };
    for (const Group& group : groupsOf(hints.tables)) {
        const std::int64_t begin = inFile(group.begin);
        const std::int64_t end = inFile(group.begin + group.length);
        if (objectStarts.count(begin) == 0) {
            return Refusal{begin, group.what + " of the hint tables does not begin where an object begins"};
        }
        // The hint stream itself may follow a group directly.
        if (objectStarts.count(end) == 0 && otherEnds.count(end) == 0 && end != hints.offset + hints.length &&
            group.begin + group.length != hints.offset) {
            return Refusal{end, group.what + " of the hint tables does not end where an object begins"};
        }
    }
    return Done{};
}

HintTables movedHintTables(const HintTables& tables,
                           const std::function<std::int64_t(std::int64_t)>& mapLocation) {
    HintTables moved = tables;
    PageOffsetHints& pages = moved.pages;
    std::int64_t at = tables.pages.firstPageLocation;
    pages.firstPageLocation = field32(mapLocation(at));
    for (std::size_t page = 0; page < pages.pageLengths.size(); ++page) {
        const auto length = static_cast<std::int64_t>(tables.pages.pageLengths[page]);
        const std::int64_t newBegin = mapLocation(at);
        pages.pageLengths[page] = field32(mapLocation(at + length) - newBegin);
        // Writers that do not fill in the content streams leave both at zero.
        const auto contentOffset = static_cast<std::int64_t>(tables.pages.contentOffsets[page]);
        const auto contentLength = static_cast<std::int64_t>(tables.pages.contentLengths[page]);
        if (contentOffset != 0 || contentLength != 0) {
            const std::int64_t contentBegin = mapLocation(at + contentOffset);
            pages.contentOffsets[page] = field32(contentBegin - newBegin);
            pages.contentLengths[page] =
                field32(mapLocation(at + contentOffset + contentLength) - contentBegin);
        }
        at += length;
    }
    SharedObjectHints& shared = moved.shared;
    shared.firstLocation = field32(mapLocation(tables.shared.firstLocation));
    at = tables.pages.firstPageLocation;
    for (std::size_t i = 0; i < shared.groupLengths.size(); ++i) {
        if (i == shared.firstPageEntries) at = tables.shared.firstLocation;
        const auto length = static_cast<std::int64_t>(tables.shared.groupLengths[i]);
        shared.groupLengths[i] = field32(mapLocation(at + length) - mapLocation(at));
        at += length;
    }
    for (std::size_t g = 0; g < moved.generic.size(); ++g) {
        const GenericHints& before = tables.generic[g];
        GenericHints& after = moved.generic[g];
        after.firstLocation = field32(mapLocation(before.firstLocation));
        after.groupLength = field32(mapLocation(std::int64_t{before.firstLocation} + before.groupLength) -
                                    std::int64_t{after.firstLocation});
    }
    return moved;
}

}  // namespace pagewash
