#pragma once
// The stream dictionary in front of one embedded JPEG, cut at every "/" into at most 32 slots of
// at most 64 bytes. Written one after the other, the slots give back the dictionary's inner bytes.
// Owned by its ImageRecord; touched only by the batch thread.

#include <array>
#include <cstdint>
#include <span>

namespace pagewash {

struct DictionaryTokens {
    static constexpr int kSlotCount = 32;
    static constexpr int kSlotSize = 64;

    // Slot i holds token i; bytes past lengths[i] are zero after a parse.
    std::array<std::array<std::uint8_t, kSlotSize>, kSlotCount> slots{};
    // Number of tokens that begin with "/" = index of the last slot in use (slots 0..count).
    std::int32_t count = 0;
    std::array<std::int32_t, kSlotCount> lengths{};
};

// Why parseImageDictionary gave -1.
enum class DictionaryError {
    None,
    NoClosingDelimiter,  // no ">>" at or before the JPEG
    NoOpeningDelimiter,  // no matching "<<"
    TooManyNames,        // a 32nd "/" between the delimiters
    TokenTooLong,        // a token of more than 64 bytes
};
const char* describe(DictionaryError error);

void clearDictionaryTokens(DictionaryTokens& tokens);

// Fills `tokens` from the dictionary whose ">>" is the last one at or before jpegOffset.
// Returns the offset of its opening "<<", or -1 (and sets *error when given): no ">>", no matching
// "<<", a 32nd "/" between them, or a token of more than 64 bytes. Never reads outside `buffer`,
// never writes past a slot; after a failure `count` is at most 31.
std::int32_t parseImageDictionary(std::span<const std::uint8_t> buffer, std::int32_t jpegOffset,
                                  DictionaryTokens& tokens, DictionaryError* error = nullptr);

// The slot chosen for a four-letter key: the first of slots 0..count-1 whose bytes 1..4 equal the key,
// else slot `count` without comparison.
int findToken(const DictionaryTokens& tokens, const char (&key)[5]);

// The digits of the /Length token from position 8 on, joined into one number (other bytes skipped;
// "12 0 R" gives 120). -1 when the joined digits exceed INT32_MAX.
std::int32_t readStreamLength(const DictionaryTokens& tokens);

// value (>= 0) becomes the /Length token's number; the token then ends with its last digit.
void writeStreamLength(DictionaryTokens& tokens, std::int32_t value);

// The first token whose name begins "/Devi" becomes "/DeviceGray" (blanks and line ends after the old
// name are dropped; other bytes after it, such as the "]" of "[/DeviceRGB]", stay). When no token
// begins "/Devi", the value of the /ColorSpace entry (an indirect reference, an array such as
// [/ICCBased 9 0 R], or another name) becomes "/DeviceGray", as a token of its own:
// "/ColorSpace 9 0 R /Length 5" reads "/ColorSpace /DeviceGray/Length 5". A value it cannot delimit,
// or a rewrite that would not fit the 32 slots of 64 bytes, leaves the tokens unchanged. Never
// touches another entry; applying it twice gives the same tokens as once.
void makeDictionaryGray(DictionaryTokens& tokens);

}  // namespace pagewash
