#include "engine/xref/xref_locator.h"

#include <set>

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

std::optional<XrefLayout> locateXrefLayout(ByteView bytes, std::string& error) {
    XrefLayout layout;
    const std::size_t last = findLast(bytes, "startxref", bytes.size());
    if (last == std::string_view::npos) {
        error = "the file has no startxref";
        return std::nullopt;
    }
    const auto lastValue = startxrefValue(bytes, last);
    if (!lastValue) {
        error = "the startxref at byte " + std::to_string(last) + " is not followed by an offset";
        return std::nullopt;
    }
    std::set<std::size_t> startxrefPlaces{lastValue->begin};
    layout.startxrefValues.push_back(*lastValue);

    struct Pending {
        std::int64_t offset;
        std::string from;  // where the offset was read, for the message
        bool streamOnly;   // /XRefStm names a cross-reference stream
    };
    std::vector<Pending> pending{{lastValue->value, "the startxref at byte " + std::to_string(last), false}};
    std::set<std::int64_t> visited;
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (!visited.insert(next.offset).second) continue;
        if (visited.size() > kMaxSections) {
            error = "the cross-reference chain has more than " + std::to_string(kMaxSections) + " sections";
            return std::nullopt;
        }
        if (next.offset < 0 || next.offset >= static_cast<std::int64_t>(bytes.size())) {
            error = next.from + " points past the end of the file";
            return std::nullopt;
        }
        const auto offset = static_cast<std::size_t>(next.offset);
        std::size_t sectionEnd = 0;
        if (!next.streamOnly && matchesKeyword(bytes, offset, "xref")) {
            auto section = readClassicXrefSection(bytes, offset, error);
            if (!section) return std::nullopt;
            if (section->prev) {
                pending.push_back({section->prev->value, "the /Prev at byte " + std::to_string(section->prev->begin), false});
            }
            if (section->xrefStream) {
                pending.push_back({section->xrefStream->value,
                                   "the /XRefStm at byte " + std::to_string(section->xrefStream->begin), true});
            }
            sectionEnd = section->trailerEnd;
            layout.classicSections.push_back(std::move(*section));
        } else {
            std::string why;
            auto section = readXrefStreamSection(bytes, offset, why);
            if (!section) {
                error = next.from + " points at byte " + std::to_string(offset) +
                        ", where no readable cross-reference data begins (" + why + ")";
                return std::nullopt;
            }
            if (section->prev) {
                pending.push_back({section->prev->value, "the /Prev at byte " + std::to_string(section->prev->begin), false});
            }
            sectionEnd = section->objectEnd;
            layout.streamSections.push_back(std::move(*section));
        }
        if (const auto following = followingStartxref(bytes, sectionEnd)) {
            if (startxrefPlaces.insert(following->begin).second) layout.startxrefValues.push_back(*following);
        }
    }

    layout.linearization = readLinearization(bytes, error);
    if (!error.empty()) return std::nullopt;
    return layout;
}

}  // namespace pagewash
