#include "engine/xref/classic_xref.h"

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

std::optional<OffsetField> offsetEntry(ByteView bytes, const Dictionary& trailer, std::string_view key,
                                       std::string& error) {
    const DictionaryEntry* entry = trailer.find(key);
    if (!entry) return std::nullopt;
    const auto value = integerValue(bytes, *entry);
    if (!value) {
        error = "the trailer's /" + std::string(key) + " at byte " + std::to_string(entry->valueBegin) +
                " is not an integer";
        return std::nullopt;
    }
    return OffsetField{value->begin, value->end, value->value, false};
}

}  // namespace

std::optional<ClassicXrefSection> readClassicXrefSection(ByteView bytes, std::size_t offset, std::string& error) {
    ClassicXrefSection section;
    section.offset = offset;
    std::size_t pos = skipWhiteSpaceAndComments(bytes, offset + 4);
    const std::string where = "the cross-reference table at byte " + std::to_string(offset);
    while (!matchesKeyword(bytes, pos, "trailer")) {
        const auto first = readUnsignedInteger(bytes, pos);
        if (!first) {
            error = where + " has neither a subsection nor a trailer at byte " + std::to_string(pos);
            return std::nullopt;
        }
        std::size_t countPos = first->end;
        while (countPos < bytes.size() && (bytes[countPos] == ' ' || bytes[countPos] == '\t')) ++countPos;
        const auto count = readUnsignedInteger(bytes, countPos);
        if (!count) {
            error = where + " has a subsection without an entry count at byte " + std::to_string(pos);
            return std::nullopt;
        }
        pos = skipWhiteSpaceAndComments(bytes, count->end);
        for (std::int64_t i = 0; i < count->value; ++i) {
            // "nnnnnnnnnn ggggg n" and an end of line; some writers put one byte too few or too many
            // of white space after the type, so the entry is read by its fields.
            const std::size_t entry = pos;
            if (!allDigits(bytes, entry, kOffsetDigits) || bytes.size() - entry < 18 ||
                bytes[entry + 10] != ' ' || !allDigits(bytes, entry + 11, kGenerationDigits) ||
                bytes[entry + 16] != ' ' || (bytes[entry + 17] != 'n' && bytes[entry + 17] != 'f')) {
                error = where + " has a malformed entry at byte " + std::to_string(entry);
                return std::nullopt;
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
        error = where + " has no readable trailer dictionary at byte " + std::to_string(pos);
        return std::nullopt;
    }
    section.trailerEnd = trailer->end;
    section.prev = offsetEntry(bytes, *trailer, "Prev", error);
    if (!error.empty()) return std::nullopt;
    section.xrefStream = offsetEntry(bytes, *trailer, "XRefStm", error);
    if (!error.empty()) return std::nullopt;
    return section;
}

}  // namespace pagewash
