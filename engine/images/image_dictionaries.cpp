#include "engine/images/image_dictionaries.h"

#include <cstring>
#include <limits>

#include "engine/pdf/indirect_integers.h"
#include "engine/pdf/pdf_syntax.h"

namespace pagewash {

namespace {

constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr char kLengthKey[] = "/Length";
constexpr std::size_t kLengthKeyLength = sizeof kLengthKey - 1;

Refusal refusal(std::int64_t offset, std::string reason) { return {offset, std::move(reason)}; }

std::string dictionaryFailure(DictionaryError error) {
    switch (error) {
        case DictionaryError::NoClosingDelimiter:
            return "JPEG has no stream dictionary before it";
        case DictionaryError::NoOpeningDelimiter:
            return "JPEG has a stream dictionary with no opening \"<<\"";
        case DictionaryError::TooManyNames:
            return "JPEG has a stream dictionary with more than 31 names";
        case DictionaryError::TokenTooLong:
            return "JPEG has a stream dictionary with an entry longer than 64 bytes";
        case DictionaryError::None:
            break;
    }
    return "JPEG has a stream dictionary that cannot be read";
}

// The /Length value as the token holds it: "n" directly or "n g R".
struct LengthValue {
    enum class Kind { Direct, Indirect, Malformed } kind = Kind::Malformed;
    std::int64_t number = 0;  // the length, or the object number
    std::int64_t generation = 0;
    bool tooLarge = false;
};

std::size_t skipWhitespace(std::span<const std::uint8_t> text, std::size_t at) {
    while (at < text.size() && isPdfWhitespace(text[at])) ++at;
    return at;
}

// Digits at `at`; advances past them. nullopt when there are none.
std::optional<std::int64_t> takeDigits(std::span<const std::uint8_t> text, std::size_t& at, bool& tooLarge) {
    const std::size_t begin = at;
    while (at < text.size() && isAsciiDigit(text[at])) ++at;
    if (at == begin) return std::nullopt;
    const auto value = parseUnsignedDecimal(text.subspan(begin, at - begin));
    if (!value) {
        tooLarge = true;
        return kInt32Max + 1;
    }
    return value;
}

LengthValue parseLengthToken(std::span<const std::uint8_t> token) {
    LengthValue result;
    std::size_t at = skipWhitespace(token, kLengthKeyLength);
    const auto first = takeDigits(token, at, result.tooLarge);
    if (!first) return result;
    const std::size_t afterFirst = at;
    at = skipWhitespace(token, at);
    if (at == token.size()) {
        result.kind = LengthValue::Kind::Direct;
        result.number = *first;
        return result;
    }
    if (at == afterFirst) return result;
    const auto second = takeDigits(token, at, result.tooLarge);
    if (!second || at == token.size() || !isPdfWhitespace(token[at])) return result;
    at = skipWhitespace(token, at);
    if (at == token.size() || token[at] != 'R') return result;
    if (skipWhitespace(token, at + 1) != token.size()) return result;
    result.kind = LengthValue::Kind::Indirect;
    result.number = *first;
    result.generation = *second;
    return result;
}

std::span<const std::uint8_t> slotBytes(const DictionaryTokens& tokens, int index) {
    const auto i = static_cast<std::size_t>(index);
    return {tokens.slots[i].data(), static_cast<std::size_t>(tokens.lengths[i])};
}

bool isLengthKey(std::span<const std::uint8_t> token) {
    return token.size() >= kLengthKeyLength && std::memcmp(token.data(), kLengthKey, kLengthKeyLength) == 0 &&
           (token.size() == kLengthKeyLength || endsPdfToken(token[kLengthKeyLength]));
}

Result<Done> readOneDictionary(std::span<const std::uint8_t> buffer, ImageRecord& record,
                               IndirectIntegers& objects) {
    record.tokens = std::make_unique<DictionaryTokens>();
    DictionaryTokens& tokens = *record.tokens;
    DictionaryError error = DictionaryError::None;
    record.dictionaryOffset = parseImageDictionary(buffer, record.jpegOffset, tokens, &error);
    if (record.dictionaryOffset < 0) return refusal(record.jpegOffset, dictionaryFailure(error));

    // The slot the /Length rewrite will use must really be the /Length entry: the lookup falls on the
    // last token when no token matches.
    const int slot = findToken(tokens, "Leng");
    const auto token = slotBytes(tokens, slot);
    if (!isLengthKey(token)) return refusal(record.dictionaryOffset, "dictionary has no /Length entry");
    std::int64_t tokenOffset = std::int64_t{record.dictionaryOffset} + 2;
    for (int i = 0; i < slot; ++i) tokenOffset += tokens.lengths[static_cast<std::size_t>(i)];

    const LengthValue value = parseLengthToken(token);
    std::int64_t length = 0;
    switch (value.kind) {
        case LengthValue::Kind::Malformed:
            if (value.tooLarge) return refusal(tokenOffset, "/Length is larger than 2147483647");
            return refusal(tokenOffset, "/Length is neither a number nor a reference to one");
        case LengthValue::Kind::Direct:
            if (value.tooLarge || value.number > kInt32Max)
                return refusal(tokenOffset, "/Length is larger than 2147483647");
            length = value.number;
            break;
        case LengthValue::Kind::Indirect: {
            const std::string object = std::to_string(value.number) + " " + std::to_string(value.generation);
            if (value.tooLarge)
                return refusal(tokenOffset, "/Length refers to object " + object + ", which cannot be found");
            const auto resolved = objects.resolve(value.number, value.generation);
            if (!resolved)
                return refusal(tokenOffset,
                               "/Length refers to object " + object + ", " + resolved.refusal().reason);
            length = *resolved;
            // From here on the dictionary carries the length itself.
            writeStreamLength(tokens, static_cast<std::int32_t>(length));
            break;
        }
    }
    const auto size = static_cast<std::int64_t>(buffer.size());
    if (length > size - record.jpegOffset)
        return refusal(tokenOffset, "/Length runs past the end of the file");
    record.jpegLength = static_cast<std::int32_t>(length);
    record.jpegEnd = static_cast<std::int32_t>(record.jpegOffset + length);
    return Done{};
}

}  // namespace

Result<Done> readImageDictionaries(std::span<const std::uint8_t> buffer, std::vector<ImageRecord>& records) {
    if (auto size = checkFileSize(static_cast<std::int64_t>(buffer.size())); !size) return size;
    IndirectIntegers objects(buffer);
    for (ImageRecord& record : records) {
        if (auto read = readOneDictionary(buffer, record, objects); !read) return read;
    }
    return Done{};
}

}  // namespace pagewash
