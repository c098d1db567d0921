#include "engine/pdf/pdf_lexer.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_search.h"

namespace pagewash {

namespace {

constexpr int kMaxNesting = 32;

// The end of a token of regular characters (a name's body, a number, a keyword).
std::size_t skipRegular(ByteView bytes, std::size_t pos) {
    while (pos < bytes.size() && !isPdfWhitespace(bytes[pos]) && !isPdfDelimiter(bytes[pos])) ++pos;
    return pos;
}

std::optional<std::size_t> skipLiteralString(ByteView bytes, std::size_t pos) {
    int depth = 0;
    for (; pos < bytes.size(); ++pos) {
        const std::uint8_t c = bytes[pos];
        if (c == '\\') {
            ++pos;  // the escaped character, whatever it is
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return pos + 1;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> skipHexString(ByteView bytes, std::size_t pos) {
    for (++pos; pos < bytes.size(); ++pos) {
        if (bytes[pos] == '>') return pos + 1;
    }
    return std::nullopt;
}

// After an integer at [begin, end): when "<int> R" follows, the end of the reference.
std::size_t extendReference(ByteView bytes, std::size_t end) {
    const std::size_t generationPos = skipWhiteSpaceAndComments(bytes, end);
    if (generationPos == end) return end;
    const auto generation = readUnsignedInteger(bytes, generationPos);
    if (!generation) return end;
    const std::size_t rPos = skipWhiteSpaceAndComments(bytes, generation->end);
    if (rPos == generation->end || !matchesKeyword(bytes, rPos, "R")) return end;
    return rPos + 1;
}

}  // namespace

std::size_t skipWhiteSpaceAndComments(ByteView bytes, std::size_t pos) {
    while (pos < bytes.size()) {
        if (isPdfWhitespace(bytes[pos])) {
            ++pos;
        } else if (bytes[pos] == '%') {
            while (pos < bytes.size() && bytes[pos] != '\r' && bytes[pos] != '\n') ++pos;
        } else {
            break;
        }
    }
    return pos;
}

bool matchesKeyword(ByteView bytes, std::size_t pos, std::string_view keyword) {
    if (pos > bytes.size() || bytes.size() - pos < keyword.size()) return false;
    if (std::memcmp(bytes.data() + pos, keyword.data(), keyword.size()) != 0) return false;
    const std::size_t after = pos + keyword.size();
    return after == bytes.size() || isPdfWhitespace(bytes[after]) || isPdfDelimiter(bytes[after]);
}

std::optional<IntegerToken> readUnsignedInteger(ByteView bytes, std::size_t pos) {
    IntegerToken token;
    token.begin = pos;
    std::size_t end = pos;
    while (end < bytes.size() && isAsciiDigit(bytes[end])) ++end;
    // At most 18 digits keeps every sum of two values far from overflowing.
    if (end == pos || end - pos > 18) return std::nullopt;
    token.value = *parseUnsignedDecimal(bytes.subspan(pos, end - pos));
    // "12.5" or "12abc" is not an integer.
    if (end < bytes.size() && !isPdfWhitespace(bytes[end]) && !isPdfDelimiter(bytes[end])) {
        return std::nullopt;
    }
    token.end = end;
    return token;
}

std::size_t findLast(ByteView bytes, std::string_view needle, std::size_t limit) {
    limit = std::min(limit, bytes.size());
    if (needle.empty() || limit < needle.size()) return std::string_view::npos;
    for (std::size_t pos = limit - needle.size() + 1; pos-- > 0;) {
        if (std::memcmp(bytes.data() + pos, needle.data(), needle.size()) == 0) return pos;
    }
    return std::string_view::npos;
}

std::size_t findFirst(ByteView bytes, std::string_view needle, std::size_t from, std::size_t limit) {
    limit = std::min(limit, bytes.size());
    if (needle.empty() || from > limit) return std::string_view::npos;
    const void* found = platform::findBytes(bytes.data() + from, limit - from, needle.data(), needle.size());
    return found == nullptr
               ? std::string_view::npos
               : static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
}

const DictionaryEntry* Dictionary::find(std::string_view key) const {
    for (const DictionaryEntry& entry : entries) {
        if (entry.key == key) return &entry;
    }
    return nullptr;
}

std::optional<std::size_t> skipObject(ByteView bytes, std::size_t pos, int depth) {
    if (depth > kMaxNesting) return std::nullopt;
    pos = skipWhiteSpaceAndComments(bytes, pos);
    if (pos >= bytes.size()) return std::nullopt;
    const std::uint8_t c = bytes[pos];
    if (c == '<' && pos + 1 < bytes.size() && bytes[pos + 1] == '<') {
        const auto dictionary = readDictionary(bytes, pos);
        if (!dictionary) return std::nullopt;
        return dictionary->end;
    }
    if (c == '<') return skipHexString(bytes, pos);
    if (c == '(') return skipLiteralString(bytes, pos);
    if (c == '[') {
        ++pos;
        while (true) {
            pos = skipWhiteSpaceAndComments(bytes, pos);
            if (pos >= bytes.size()) return std::nullopt;
            if (bytes[pos] == ']') return pos + 1;
            const auto end = skipObject(bytes, pos, depth + 1);
            if (!end) return std::nullopt;
            pos = *end;
        }
    }
    if (c == '/') return skipRegular(bytes, pos + 1);
    if (isPdfDelimiter(c)) return std::nullopt;  // ")", ">", "]", "{", "}" cannot start a value
    const std::size_t end = skipRegular(bytes, pos);
    if (readUnsignedInteger(bytes, pos)) return extendReference(bytes, end);
    return end;
}

std::optional<Dictionary> readDictionaryAt(ByteView bytes, std::int64_t offset) {
    if (offset < 0) return std::nullopt;
    return readDictionary(bytes, static_cast<std::size_t>(offset));
}

std::optional<Dictionary> readDictionary(ByteView bytes, std::size_t pos) {
    if (pos + 1 >= bytes.size() || bytes[pos] != '<' || bytes[pos + 1] != '<') return std::nullopt;
    Dictionary dictionary;
    dictionary.begin = pos;
    pos += 2;
    while (true) {
        pos = skipWhiteSpaceAndComments(bytes, pos);
        if (pos + 1 < bytes.size() && bytes[pos] == '>' && bytes[pos + 1] == '>') {
            dictionary.end = pos + 2;
            return dictionary;
        }
        if (pos >= bytes.size() || bytes[pos] != '/') return std::nullopt;
        const std::size_t keyEnd = skipRegular(bytes, pos + 1);
        DictionaryEntry entry;
        entry.key.assign(reinterpret_cast<const char*>(bytes.data()) + pos + 1, keyEnd - pos - 1);
        entry.valueBegin = skipWhiteSpaceAndComments(bytes, keyEnd);
        const auto valueEnd = skipObject(bytes, entry.valueBegin, 1);
        if (!valueEnd) return std::nullopt;
        entry.valueEnd = *valueEnd;
        pos = entry.valueEnd;
        dictionary.entries.push_back(std::move(entry));
    }
}

std::optional<IntegerToken> integerValue(ByteView bytes, const DictionaryEntry& entry) {
    const auto token = readUnsignedInteger(bytes, entry.valueBegin);
    if (!token || token->end != entry.valueEnd) return std::nullopt;
    return token;
}

std::optional<std::vector<std::int64_t>> integerArrayValue(ByteView bytes, const DictionaryEntry& entry) {
    if (entry.valueBegin >= entry.valueEnd || bytes[entry.valueBegin] != '[') return std::nullopt;
    std::vector<std::int64_t> values;
    std::size_t pos = entry.valueBegin + 1;
    while (true) {
        pos = skipWhiteSpaceAndComments(bytes, pos);
        if (pos >= entry.valueEnd) return std::nullopt;
        if (bytes[pos] == ']') return values;
        const auto token = readUnsignedInteger(bytes, pos);
        if (!token) return std::nullopt;
        values.push_back(token->value);
        pos = token->end;
    }
}

std::string valueText(ByteView bytes, const DictionaryEntry& entry) {
    return std::string(reinterpret_cast<const char*>(bytes.data()) + entry.valueBegin,
                       entry.valueEnd - entry.valueBegin);
}

}  // namespace pagewash
