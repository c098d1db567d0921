#include "engine/xref/linearization.h"

namespace pagewash {

namespace {

// Readers look for the linearization dictionary within the first kilobyte.
constexpr std::size_t kSearchLimit = 1024;

}  // namespace

Result<std::optional<LinearizationFields>> readLinearization(ByteView bytes) {
    const std::size_t objPos = findFirst(bytes, "obj", 0, kSearchLimit);
    if (objPos == std::string_view::npos || !matchesKeyword(bytes, objPos, "obj")) {
        return std::optional<LinearizationFields>{};
    }
    const std::size_t dictionaryPos = skipWhiteSpaceAndComments(bytes, objPos + 3);
    const auto dictionary = readDictionary(bytes, dictionaryPos);
    if (!dictionary || !dictionary->find("Linearized")) return std::optional<LinearizationFields>{};

    LinearizationFields fields;
    const std::string where = "the linearization dictionary at byte " + std::to_string(dictionaryPos);
    for (const char* key : {"L", "E", "T"}) {
        const DictionaryEntry* entry = dictionary->find(key);
        if (!entry) continue;
        const auto value = integerValue(bytes, *entry);
        if (!value) {
            return Refusal{static_cast<std::int64_t>(entry->valueBegin),
                           where + " has a /" + key + " that is not an integer"};
        }
        const OffsetField field{value->begin, value->end, value->value, false};
        if (key[0] == 'L') {
            fields.fileLength = field;
        } else {
            fields.offsets.push_back(field);
        }
    }
    if (const DictionaryEntry* pages = dictionary->find("N")) {
        if (const auto value = integerValue(bytes, *pages)) fields.pageCount = value->value;
    }
    if (const DictionaryEntry* hints = dictionary->find("H")) {
        // [offset length] or [offset length offset length]: the offsets are the even elements.
        std::size_t pos = hints->valueBegin + 1;
        for (int index = 0; index < 4; ++index) {
            pos = skipWhiteSpaceAndComments(bytes, pos);
            if (pos < hints->valueEnd && bytes[pos] == ']') break;
            const auto value = readUnsignedInteger(bytes, pos);
            if (bytes[hints->valueBegin] != '[' || !value || value->end > hints->valueEnd) {
                const std::size_t at = bytes[hints->valueBegin] != '[' ? hints->valueBegin : pos;
                return Refusal{static_cast<std::int64_t>(at),
                               where + " has an /H that is not an array of integers"};
            }
            const OffsetField field{value->begin, value->end, value->value, false};
            if (index % 2 == 0) fields.offsets.push_back(field);
            if (index == 0) fields.hintOffset = field;
            if (index == 1) fields.hintLength = field;
            if (index == 2) fields.overflowHints = true;
            pos = value->end;
        }
    }
    return std::optional<LinearizationFields>{std::move(fields)};
}

bool linearizedAsWritten(ByteView bytes) {
    const auto linearization = readLinearization(bytes);
    return linearization && *linearization && (*linearization)->fileLength &&
           (*linearization)->fileLength->value == static_cast<std::int64_t>(bytes.size());
}

}  // namespace pagewash
