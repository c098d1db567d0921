#pragma once
// Just enough PDF lexing to read cross-reference data from untrusted bytes: white space and comments,
// integers, keywords, and dictionaries read as a list of keys with the byte span of each value.
// Every function is bounds-checked against the span it is given and never reads outside it.
// Stateless; safe on any thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pdf/pdf_syntax.h"

namespace pagewash {

using ByteView = std::span<const std::uint8_t>;

// The first position at or after `pos` that is neither white space nor inside a comment.
std::size_t skipWhiteSpaceAndComments(ByteView bytes, std::size_t pos);

// True when `keyword` stands at `pos` and is not the beginning of a longer token.
bool matchesKeyword(ByteView bytes, std::size_t pos, std::string_view keyword);

// A non-negative integer token: its value and its byte span [begin, end).
struct IntegerToken {
    std::int64_t value = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
};
// Reads an unsigned integer that starts exactly at `pos` (no sign, no fraction, at most 18 digits).
std::optional<IntegerToken> readUnsignedInteger(ByteView bytes, std::size_t pos);

// The last occurrence of `needle` that begins before `limit`, or npos.
std::size_t findLast(ByteView bytes, std::string_view needle, std::size_t limit);
// The first occurrence of `needle` at or after `from` and before `limit`, or npos.
std::size_t findFirst(ByteView bytes, std::string_view needle, std::size_t from, std::size_t limit);

// One entry of a dictionary: the key without its slash (not unescaped) and the span of its value
// [valueBegin, valueEnd), where an indirect reference "12 0 R" is one value.
struct DictionaryEntry {
    std::string key;
    std::size_t valueBegin = 0;
    std::size_t valueEnd = 0;
};

struct Dictionary {
    std::size_t begin = 0;  // the first "<"
    std::size_t end = 0;    // just after the closing ">>"
    std::vector<DictionaryEntry> entries;

    const DictionaryEntry* find(std::string_view key) const;
};

// Reads the dictionary whose "<<" stands at `pos`. Nested dictionaries and arrays are skipped as
// values (their depth is limited); returns nothing for anything malformed.
std::optional<Dictionary> readDictionary(ByteView bytes, std::size_t pos);
// The same at a signed offset (an image record's, -1 when it has none): nothing for a negative one.
std::optional<Dictionary> readDictionaryAt(ByteView bytes, std::int64_t offset);

// The end of the object that starts at `pos` (after white space), or nothing when malformed.
std::optional<std::size_t> skipObject(ByteView bytes, std::size_t pos, int depth = 0);

// The value of an entry as a plain non-negative integer, when it is one.
std::optional<IntegerToken> integerValue(ByteView bytes, const DictionaryEntry& entry);

// The integers of an array value "[ 1 2 3 ]"; nothing when it holds anything else.
std::optional<std::vector<std::int64_t>> integerArrayValue(ByteView bytes, const DictionaryEntry& entry);

// The value's bytes as text, for comparing names ("/XRef") and for messages.
std::string valueText(ByteView bytes, const DictionaryEntry& entry);

}  // namespace pagewash
