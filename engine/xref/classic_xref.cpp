#include "engine/xref/classic_xref.h"

#include <optional>
#include <string>

namespace pagewash {

namespace {

constexpr std::size_t kOffsetDigits = 10;
constexpr std::size_t kGenerationDigits = 5;

bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

bool allDigits(ByteView bytes, std::size_t pos, std::size_t count) {
    if (pos > bytes.size() || bytes.size() - pos < count) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!isDigit(bytes[pos + i])) return false;
    }
    return true;
}

// The trailer's entry `key` when it has one; refused when it is not an integer.
Result<std::optional<OffsetField>> offsetEntry(ByteView bytes, const Dictionary& trailer,
                                               std::string_view key) {
    const DictionaryEntry* entry = trailer.find(key);
    if (!entry) return std::optional<OffsetField>{};
    const auto value = integerValue(bytes, *entry);
    if (!value) {
        return Refusal{static_cast<std::int64_t>(entry->valueBegin),
                       "the trailer's /" + std::string(key) + " at byte " +
                           std::to_string(entry->valueBegin) + " is not an integer"};
    }
    return std::optional<OffsetField>{OffsetField{value->begin, value->end, value->value, false}};
}

}  // namespace

Result<ClassicXrefSection> readClassicXrefSection(ByteView bytes, std::size_t offset) {
    ClassicXrefSection section;
    section.offset = offset;
    std::size_t pos = skipWhiteSpaceAndComments(bytes, offset + 4);
    const std::string where = "the cross-reference table at byte " + std::to_string(offset);
    while (!matchesKeyword(bytes, pos, "trailer")) {
        const auto first = readUnsignedInteger(bytes, pos);
        if (!first) {
            return Refusal{static_cast<std::int64_t>(pos),
                           where + " has neither a subsection nor a trailer at byte " + std::to_string(pos)};
        }
        std::size_t countPos = first->end;
        while (countPos < bytes.size() && (bytes[countPos] == ' ' || bytes[countPos] == '\t')) ++countPos;
        const auto count = readUnsignedInteger(bytes, countPos);
        if (!count) {
            return Refusal{static_cast<std::int64_t>(pos),
                           where + " has a subsection without an entry count at byte " + std::to_string(pos)};
        }
        pos = skipWhiteSpaceAndComments(bytes, count->end);
        for (std::int64_t i = 0; i < count->value; ++i) {
            // "nnnnnnnnnn ggggg n" and an end of line; some writers put one byte too few or too many
            // of white space after the type, so the entry is read by its fields.
            const std::size_t entry = pos;
            if (!allDigits(bytes, entry, kOffsetDigits) || bytes.size() - entry < 18 ||
                bytes[entry + 10] != ' ' || !allDigits(bytes, entry + 11, kGenerationDigits) ||
                bytes[entry + 16] != ' ' || (bytes[entry + 17] != 'n' && bytes[entry + 17] != 'f')) {
                return Refusal{static_cast<std::int64_t>(entry),
                               where + " has a malformed entry at byte " + std::to_string(entry)};
            }
            if (bytes[entry + 17] == 'n') {
                std::int64_t value = 0;
                for (std::size_t d = 0; d < kOffsetDigits; ++d) value = value * 10 + (bytes[entry + d] - '0');
                section.entryOffsets.push_back({entry, entry + kOffsetDigits, value, true});
            }
            pos = entry + 18;
            std::size_t white = 0;
            while (pos < bytes.size() && white < 3 && isPdfWhitespace(bytes[pos])) {
                ++pos;
                ++white;
            }
        }
        pos = skipWhiteSpaceAndComments(bytes, pos);
    }
    pos = skipWhiteSpaceAndComments(bytes, pos + 7);
    const auto trailer = readDictionary(bytes, pos);
    if (!trailer) {
        return Refusal{static_cast<std::int64_t>(pos),
                       where + " has no readable trailer dictionary at byte " + std::to_string(pos)};
    }
    section.trailerEnd = trailer->end;
    auto prev = offsetEntry(bytes, *trailer, "Prev");
    if (!prev) return prev.refusal();
    section.prev = *prev;
    auto xrefStream = offsetEntry(bytes, *trailer, "XRefStm");
    if (!xrefStream) return xrefStream.refusal();
    section.xrefStream = *xrefStream;
    return section;
}

}  // namespace pagewash
