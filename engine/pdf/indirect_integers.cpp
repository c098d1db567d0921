#include "engine/pdf/indirect_integers.h"

#include <cstring>
#include <limits>

#include "engine/pdf/pdf_syntax.h"
#include "platform/byte_search.h"

namespace pagewash {

namespace {

std::optional<std::int64_t> parseNumber(const std::uint8_t* begin, const std::uint8_t* end) {
    return parseUnsignedDecimal({begin, static_cast<std::size_t>(end - begin)});
}

}  // namespace

void IndirectIntegers::buildIndex() {
    m_indexed = true;
    const std::uint8_t* const base = m_buffer.data();
    const std::size_t size = m_buffer.size();
    for (std::size_t at = 0; at + 3 <= size;) {
        const void* found = platform::findBytes(base + at, size - at, "obj", 3);
        if (found == nullptr) break;
        const auto pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - base);
        at = pos + 1;
        if (pos + 3 < size && !endsPdfToken(base[pos + 3])) continue;  // "objstm" and the like

        // Backwards: white space, generation digits, white space, object number digits, a boundary.
        std::size_t cursor = pos;
        const std::size_t beforeKeyword = cursor;
        while (cursor > 0 && isPdfWhitespace(base[cursor - 1])) --cursor;
        if (cursor == beforeKeyword) continue;  // "endobj", "/Subj"...
        const std::size_t generationEnd = cursor;
        while (cursor > 0 && isAsciiDigit(base[cursor - 1])) --cursor;
        const std::size_t generationBegin = cursor;
        if (generationBegin == generationEnd) continue;
        while (cursor > 0 && isPdfWhitespace(base[cursor - 1])) --cursor;
        if (cursor == generationBegin) continue;
        const std::size_t numberEnd = cursor;
        while (cursor > 0 && isAsciiDigit(base[cursor - 1])) --cursor;
        const std::size_t numberBegin = cursor;
        if (numberBegin == numberEnd) continue;
        if (cursor > 0 && !endsPdfToken(base[cursor - 1])) continue;

        const auto number = parseNumber(base + numberBegin, base + numberEnd);
        const auto generation = parseNumber(base + generationBegin, base + generationEnd);
        if (!number || !generation) continue;
        m_objects[{*number, *generation}] = pos + 3;
    }
}

Result<std::int64_t> IndirectIntegers::resolve(std::int64_t number, std::int64_t generation) {
    if (!m_indexed) buildIndex();
    const auto found = m_objects.find({number, generation});
    if (found == m_objects.end()) return Refusal{-1, "which cannot be found"};

    const std::uint8_t* const base = m_buffer.data();
    const std::size_t size = m_buffer.size();
    std::size_t at = found->second;
    while (at < size && isPdfWhitespace(base[at])) ++at;
    if (at < size && base[at] == '+') ++at;
    const std::size_t digitsBegin = at;
    while (at < size && isAsciiDigit(base[at])) ++at;
    const std::size_t digitsEnd = at;
    if (digitsBegin == digitsEnd) return Refusal{-1, "which holds no integer"};
    while (at < size && isPdfWhitespace(base[at])) ++at;
    if (size - at < 6 || std::memcmp(base + at, "endobj", 6) != 0)
        return Refusal{-1, "which holds no integer"};

    const auto value = parseNumber(base + digitsBegin, base + digitsEnd);
    if (!value || *value > std::numeric_limits<std::int32_t>::max())
        return Refusal{-1, "which is larger than 2147483647"};
    return *value;
}

}  // namespace pagewash
