#pragma once
// The few byte classes of PDF syntax that the byte-level code needs. Pure functions, any thread.

#include <cstdint>

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

}  // namespace pagewash
