#include "engine/images/image_uses.h"

#include <array>
#include <optional>
#include <set>
#include <string_view>

#include "engine/pdf/pdf_lexer.h"

namespace pagewash {

namespace {

constexpr std::array<std::string_view, 4> kSampleKeys = {"/SMask", "/Mask", "/Thumb", "/Image"};

// The digits that end just before `end` (after white space is skipped backwards), or nothing.
std::optional<std::int64_t> numberBefore(ByteView bytes, std::size_t& end) {
    while (end > 0 && isPdfWhitespace(bytes[end - 1])) --end;
    std::size_t begin = end;
    while (begin > 0 && isAsciiDigit(bytes[begin - 1])) --begin;
    if (begin == end || (begin > 0 && !endsPdfToken(bytes[begin - 1]))) return std::nullopt;
    const std::optional<std::int64_t> value = parseUnsignedDecimal(bytes.subspan(begin, end - begin));
    end = begin;
    return value;
}

// The number of the object "N G obj" whose dictionary opens at `dictionaryOffset`.
std::optional<std::int64_t> objectNumber(ByteView bytes, std::int64_t dictionaryOffset) {
    if (dictionaryOffset < 0 || static_cast<std::uint64_t>(dictionaryOffset) > bytes.size())
        return std::nullopt;
    std::size_t end = static_cast<std::size_t>(dictionaryOffset);
    while (end > 0 && isPdfWhitespace(bytes[end - 1])) --end;
    if (end < 3 || std::string_view(reinterpret_cast<const char*>(bytes.data()) + end - 3, 3) != "obj")
        return std::nullopt;
    end -= 3;
    if (end == 0 || !isPdfWhitespace(bytes[end - 1])) return std::nullopt;
    if (!numberBefore(bytes, end)) return std::nullopt;  // the generation
    return numberBefore(bytes, end);
}

// Every N of "/Key N G R" in the file, for the keys above.
std::set<std::int64_t> referencedAsSamples(ByteView bytes) {
    std::set<std::int64_t> numbers;
    for (const std::string_view key : kSampleKeys) {
        for (std::size_t at = findFirst(bytes, key, 0, bytes.size()); at != std::string_view::npos;
             at = findFirst(bytes, key, at + 1, bytes.size())) {
            const std::size_t after = at + key.size();
            if (after >= bytes.size() || !endsPdfToken(bytes[after])) continue;  // a longer name
            const auto number = readUnsignedInteger(bytes, skipWhiteSpaceAndComments(bytes, after));
            if (!number) continue;
            const auto generation = readUnsignedInteger(bytes, skipWhiteSpaceAndComments(bytes, number->end));
            if (!generation) continue;
            if (matchesKeyword(bytes, skipWhiteSpaceAndComments(bytes, generation->end), "R"))
                numbers.insert(number->value);
        }
    }
    return numbers;
}

}  // namespace

std::vector<bool> imagesUsedAsSamples(std::span<const std::uint8_t> buffer,
                                      const std::vector<ImageRecord>& records) {
    const std::set<std::int64_t> referenced = referencedAsSamples(buffer);
    std::vector<bool> used(records.size(), true);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const std::optional<std::int64_t> number = objectNumber(buffer, records[r].dictionaryOffset);
        used[r] = !number || referenced.contains(*number);
    }
    return used;
}

}  // namespace pagewash
