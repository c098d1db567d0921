#include "engine/images/dictionary_tokens.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>

#include "engine/images/color_space_value.h"
#include "engine/images/dictionary_cut.h"
#include "engine/pdf/pdf_syntax.h"

namespace pagewash {

namespace {

// Length position where the /Length number starts: "/Length" and one separator come first.
constexpr int kLengthDigitsStart = 8;

bool isPair(std::span<const std::uint8_t> buffer, std::int64_t at, std::uint8_t byte) {
    const auto index = static_cast<std::size_t>(at);
    return buffer[index] == byte && buffer[index + 1] == byte;
}

// count is the index of the last slot in use; whatever a record went through, stay inside the table.
int lastSlot(const DictionaryTokens& tokens) {
    return std::clamp(tokens.count, 0, DictionaryTokens::kSlotCount - 1);
}

std::int32_t fail(DictionaryError reason, DictionaryError* error) {
    if (error != nullptr) *error = reason;
    return -1;
}

}  // namespace

const char* describe(DictionaryError error) {
    switch (error) {
        case DictionaryError::None:
            return "no error";
        case DictionaryError::NoClosingDelimiter:
            return "no \">>\" before the JPEG";
        case DictionaryError::NoOpeningDelimiter:
            return "no \"<<\" that opens the stream dictionary";
        case DictionaryError::TooManyNames:
            return "more than 31 names in the stream dictionary";
        case DictionaryError::TokenTooLong:
            return "an entry of more than 64 bytes in the stream dictionary";
    }
    return "unknown dictionary error";
}

void clearDictionaryTokens(DictionaryTokens& tokens) {
    for (auto& slot : tokens.slots) slot.fill(0);
    tokens.lengths.fill(0);
    tokens.count = 0;
}

std::int32_t parseImageDictionary(std::span<const std::uint8_t> buffer, std::int32_t jpegOffset,
                                  DictionaryTokens& tokens, DictionaryError* error) {
    clearDictionaryTokens(tokens);
    if (error != nullptr) *error = DictionaryError::None;
    const auto size = static_cast<std::int64_t>(buffer.size());
    if (jpegOffset < 0 || size < 2) return fail(DictionaryError::NoClosingDelimiter, error);

    // The last ">>" that begins at or before the JPEG; a pair needs its second byte inside the buffer.
    std::int64_t close = std::min<std::int64_t>(jpegOffset, size - 2);
    while (close >= 0 && !isPair(buffer, close, '>')) --close;
    if (close < 0) return fail(DictionaryError::NoClosingDelimiter, error);

    // Walk down pair by pair; a matched pair is consumed whole so ">>>" or "<<<" never count twice.
    int depth = 1;
    std::int64_t open = -1;
    for (std::int64_t s = close - 2; s >= 0;) {
        if (isPair(buffer, s, '>')) {
            ++depth;
            s -= 2;
        } else if (isPair(buffer, s, '<')) {
            if (--depth == 0) {
                open = s;
                break;
            }
            s -= 2;
        } else {
            --s;
        }
    }
    if (open < 0) return fail(DictionaryError::NoOpeningDelimiter, error);

    const auto innerBegin = static_cast<std::size_t>(open + 2);
    const auto innerLength = static_cast<std::size_t>(close - open - 2);
    const DictionaryError cut = cutDictionaryTokens(buffer.subspan(innerBegin, innerLength), tokens);
    if (cut != DictionaryError::None) return fail(cut, error);
    return static_cast<std::int32_t>(open);
}

DictionaryError cutDictionaryTokens(std::span<const std::uint8_t> inner, DictionaryTokens& tokens) {
    // count never passes the last slot, so a failed record can still be handed to the other
    // operations safely.
    for (const std::uint8_t byte : inner) {
        if (byte == '/') {
            if (tokens.count == DictionaryTokens::kSlotCount - 1) return DictionaryError::TooManyNames;
            ++tokens.count;
        }
        auto& length = tokens.lengths[static_cast<std::size_t>(tokens.count)];
        if (length == DictionaryTokens::kSlotSize) return DictionaryError::TokenTooLong;
        tokens.slots[static_cast<std::size_t>(tokens.count)][static_cast<std::size_t>(length)] = byte;
        ++length;
    }
    return DictionaryError::None;
}

int findToken(const DictionaryTokens& tokens, const char (&key)[5]) {
    const int last = lastSlot(tokens);
    for (int i = 0; i < last; ++i) {
        if (std::memcmp(tokens.slots[static_cast<std::size_t>(i)].data() + 1, key, 4) == 0) return i;
    }
    return last;
}

std::int32_t readStreamLength(const DictionaryTokens& tokens) {
    const auto& slot = tokens.slots[static_cast<std::size_t>(findToken(tokens, "Leng"))];
    std::int64_t value = 0;
    for (std::size_t at = kLengthDigitsStart; at < slot.size() && slot[at] != 0; ++at) {
        if (!isAsciiDigit(slot[at])) continue;
        value = value * 10 + (slot[at] - '0');
        // Joined digits that no longer fit an offset are no length at all.
        if (value > std::numeric_limits<std::int32_t>::max()) return -1;
    }
    return static_cast<std::int32_t>(value);
}

void writeStreamLength(DictionaryTokens& tokens, std::int32_t value) {
    char text[16] = {};
    const auto result = std::to_chars(text, text + sizeof text, value);
    const auto digits = static_cast<std::size_t>(result.ptr - text);

    const auto index = static_cast<std::size_t>(findToken(tokens, "Leng"));
    auto& slot = tokens.slots[index];
    std::fill(slot.begin() + kLengthDigitsStart, slot.end(), std::uint8_t{0});
    std::memcpy(slot.data() + kLengthDigitsStart, text, digits);
    tokens.lengths[index] = kLengthDigitsStart + static_cast<std::int32_t>(digits);
}

void makeDictionaryGray(DictionaryTokens& tokens) {
    // Every slot in use is examined, the last one too: a dictionary whose last token is not a device
    // name gets its /ColorSpace value replaced, never that last token by accident.
    const int last = lastSlot(tokens);
    for (int i = 0; i <= last; ++i) {
        if (std::memcmp(tokens.slots[static_cast<std::size_t>(i)].data() + 1, "Devi", 4) == 0) {
            replaceDeviceColorSpaceName(tokens, i);
            return;
        }
    }
    replaceColorSpaceValue(tokens);
}

}  // namespace pagewash
