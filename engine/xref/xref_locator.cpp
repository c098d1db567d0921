#include "engine/xref/xref_locator.h"

#include <optional>
#include <set>
#include <string>

#include "engine/xref/classic_xref.h"
#include "engine/xref/linearization.h"
#include "engine/xref/xref_stream.h"

namespace pagewash {

namespace {

// More sections than this in one chain means a loop or a hostile file.
constexpr std::size_t kMaxSections = 100000;

// The number after the keyword "startxref" at `pos`.
std::optional<OffsetField> startxrefValue(ByteView bytes, std::size_t pos) {
    const auto value = readUnsignedInteger(bytes, skipWhiteSpaceAndComments(bytes, pos + 9));
    if (!value) return std::nullopt;
    return OffsetField{value->begin, value->end, value->value, false};
}

// A "startxref" that directly follows a section (only white space and comments between).
std::optional<OffsetField> followingStartxref(ByteView bytes, std::size_t pos) {
    pos = skipWhiteSpaceAndComments(bytes, pos);
    if (matchesKeyword(bytes, pos, "endobj")) pos = skipWhiteSpaceAndComments(bytes, pos + 6);
    if (!matchesKeyword(bytes, pos, "startxref")) return std::nullopt;
    return startxrefValue(bytes, pos);
}

}  // namespace

Result<XrefLayout> locateXrefLayout(ByteView bytes) {
    XrefLayout layout;
    const std::size_t last = findLast(bytes, "startxref", bytes.size());
    if (last == std::string_view::npos) return Refusal{-1, "the file has no startxref"};
    const auto lastValue = startxrefValue(bytes, last);
    if (!lastValue) {
        return Refusal{static_cast<std::int64_t>(last),
                       "the startxref at byte " + std::to_string(last) + " is not followed by an offset"};
    }
    std::set<std::size_t> startxrefPlaces{lastValue->begin};
    layout.startxrefValues.push_back(*lastValue);

    struct Pending {
        std::int64_t offset;
        std::string from;    // where the offset was read, for the message
        bool streamOnly;     // /XRefStm names a cross-reference stream
        std::size_t number;  // the first digit of the offset, for the refusal
    };
    std::vector<Pending> pending{
        {lastValue->value, "the startxref at byte " + std::to_string(last), false, lastValue->begin}};
    std::set<std::int64_t> visited;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (!visited.insert(next.offset).second) continue;
        if (visited.size() > kMaxSections) {
            return Refusal{
                static_cast<std::int64_t>(next.number),
                "the cross-reference chain has more than " + std::to_string(kMaxSections) + " sections"};
        }
        if (next.offset < 0 || next.offset >= static_cast<std::int64_t>(bytes.size())) {
            return Refusal{static_cast<std::int64_t>(next.number),
                           next.from + " points past the end of the file"};
        }
        const auto offset = static_cast<std::size_t>(next.offset);
        std::size_t sectionEnd = 0;
        if (!next.streamOnly && matchesKeyword(bytes, offset, "xref")) {
            auto section = readClassicXrefSection(bytes, offset);
            if (!section) return section.refusal();
            if (section->prev) {
                pending.push_back({section->prev->value,
                                   "the /Prev at byte " + std::to_string(section->prev->begin), false,
                                   section->prev->begin});
            }
            if (section->xrefStream) {
                pending.push_back({section->xrefStream->value,
                                   "the /XRefStm at byte " + std::to_string(section->xrefStream->begin), true,
                                   section->xrefStream->begin});
            }
            sectionEnd = section->trailerEnd;
            layout.classicSections.push_back(std::move(*section));
        } else {
            auto section = readXrefStreamSection(bytes, offset);
            if (!section) {
                // The byte at fault is the one the stream's own refusal names, within the object.
                const std::int64_t at = section.refusal().offset >= 0 ? section.refusal().offset
                                                                      : static_cast<std::int64_t>(offset);
                return Refusal{at, next.from + " points at byte " + std::to_string(offset) +
                                       ", where no readable cross-reference data begins (" +
                                       section.refusal().reason + ")"};
            }
            if (section->prev) {
                pending.push_back({section->prev->value,
                                   "the /Prev at byte " + std::to_string(section->prev->begin), false,
                                   section->prev->begin});
            }
            sectionEnd = section->objectEnd;
            layout.streamSections.push_back(std::move(*section));
        }
        if (const auto following = followingStartxref(bytes, sectionEnd)) {
            if (startxrefPlaces.insert(following->begin).second) layout.startxrefValues.push_back(*following);
        }
    }

    auto linearization = readLinearization(bytes);
    if (!linearization) return linearization.refusal();
    layout.linearization = std::move(*linearization);
    return layout;
}

}  // namespace pagewash
