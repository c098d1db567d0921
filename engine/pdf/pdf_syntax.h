#pragma once
// The few byte classes of PDF syntax that the byte-level code needs. Pure functions, any thread.

#include <charconv>
#include <cstdint>
#include <optional>
#include <span>

namespace pagewash {

// NUL, TAB, LF, FF, CR and SP.
constexpr bool isPdfWhitespace(std::uint8_t byte) {
    return byte == 0x00 || byte == 0x09 || byte == 0x0A || byte == 0x0C || byte == 0x0D || byte == 0x20;
}

// ( ) < > [ ] { } / %
constexpr bool isPdfDelimiter(std::uint8_t byte) {
    return byte == '(' || byte == ')' || byte == '<' || byte == '>' || byte == '[' || byte == ']' ||
           byte == '{' || byte == '}' || byte == '/' || byte == '%';
}

// A byte that ends a name, a number or a keyword.
constexpr bool endsPdfToken(std::uint8_t byte) { return isPdfWhitespace(byte) || isPdfDelimiter(byte); }

constexpr bool isAsciiDigit(std::uint8_t byte) { return byte >= '0' && byte <= '9'; }

// The one reader of decimal integers in file bytes: the value of `digits`, which must be one or more
// ASCII digits and nothing else; nothing when it is empty, holds another byte, or exceeds INT64_MAX.
inline std::optional<std::int64_t> parseUnsignedDecimal(std::span<const std::uint8_t> digits) {
    if (digits.empty() || !isAsciiDigit(digits.front())) return std::nullopt;
    std::int64_t value = 0;
    const auto* first = reinterpret_cast<const char*>(digits.data());
    const auto* last = first + digits.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc{} || end != last) return std::nullopt;
    return value;
}

}  // namespace pagewash
