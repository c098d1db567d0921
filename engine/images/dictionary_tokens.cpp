#include "engine/images/dictionary_tokens.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>

#include "engine/pdf/pdf_syntax.h"

namespace pagewash {

namespace {

// Length position where the /Length number starts: "/Length" and one separator come first.
constexpr int kLengthDigitsStart = 8;
// The most bytes between "<<" and ">>" that cutDictionaryTokens can take.
constexpr std::int64_t kLongestInner =
    std::int64_t{DictionaryTokens::kSlotCount} * DictionaryTokens::kSlotSize;

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

// Slot 0 takes the bytes before the first "/", each later slot one "/"-led piece. Stops with
// TooManyNames at a 32nd "/" (count stays 31) and with TokenTooLong before a 65th byte would enter a
// slot; never writes past a slot. REQUIRES: `tokens` cleared.
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
    // No longer dictionary than the slots hold can be cut, so below that the walk could only tell which
    // failure it is: a caller who does not ask stops there, and a file full of unmatched ">>stream"
    // costs a bounded walk per JPEG start instead of one to the beginning of the file.
    const std::int64_t lowest = error == nullptr ? std::max<std::int64_t>(0, close - 2 - kLongestInner) : 0;
    int depth = 1;
    std::int64_t open = -1;
    for (std::int64_t s = close - 2; s >= lowest;) {
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

// ---- the gray rewrite of the colour space ------------------------------------------------------

namespace {

constexpr char kDeviceGray[] = "/DeviceGray";
constexpr std::size_t kDeviceGrayLength = sizeof kDeviceGray - 1;
constexpr char kColorSpaceKey[] = "/ColorSpace";
constexpr std::size_t kColorSpaceKeyLength = sizeof kColorSpaceKey - 1;

// The whole dictionary fits 32 slots of 64 bytes; the rewrite adds at most "/DeviceGray".
constexpr std::size_t kInnerCapacity =
    DictionaryTokens::kSlotCount * DictionaryTokens::kSlotSize + kDeviceGrayLength;

struct InnerBytes {
    std::array<std::uint8_t, kInnerCapacity> bytes{};
    std::size_t size = 0;

    void append(std::span<const std::uint8_t> more) {
        std::copy(more.begin(), more.end(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        size += more.size();
    }
};

std::span<const std::uint8_t> slotBytes(const DictionaryTokens& tokens, int index) {
    const auto i = static_cast<std::size_t>(index);
    const auto length =
        static_cast<std::size_t>(std::clamp(tokens.lengths[i], 0, DictionaryTokens::kSlotSize));
    return {tokens.slots[i].data(), length};
}

bool isColorSpaceKey(std::span<const std::uint8_t> token) {
    if (token.size() < kColorSpaceKeyLength) return false;
    if (std::memcmp(token.data(), kColorSpaceKey, kColorSpaceKeyLength) != 0) return false;
    return token.size() == kColorSpaceKeyLength || endsPdfToken(token[kColorSpaceKeyLength]);
}

// End (one past) of the colour-space value that begins at `begin`: a name, an array of names and
// references, or an indirect reference "n g R". nullopt for anything this rewrite does not understand.
std::optional<std::size_t> valueEnd(const InnerBytes& inner, std::size_t begin) {
    const auto& b = inner.bytes;
    const std::size_t n = inner.size;
    std::size_t at = begin;
    if (b[at] == '/') {
        ++at;
        while (at < n && !endsPdfToken(b[at])) ++at;
        return at;
    }
    if (b[at] == '[') {
        int depth = 0;
        for (; at < n; ++at) {
            if (b[at] == '(' || b[at] == '<' || b[at] == '>' || b[at] == ')') return std::nullopt;
            if (b[at] == '[') ++depth;
            if (b[at] == ']' && --depth == 0) return at + 1;
        }
        return std::nullopt;
    }
    // n g R
    for (int number = 0; number < 2; ++number) {
        const std::size_t digits = at;
        while (at < n && isAsciiDigit(b[at])) ++at;
        if (at == digits || at == n || !isPdfWhitespace(b[at])) return std::nullopt;
        while (at < n && isPdfWhitespace(b[at])) ++at;
    }
    if (at == n || b[at] != 'R') return std::nullopt;
    ++at;
    if (at < n && !endsPdfToken(b[at])) return std::nullopt;
    return at;
}

// No name begins "/Devi": the value of the /ColorSpace entry becomes "/DeviceGray", written as the
// device-name rewrite writes it (a token of its own, nothing after it), so that a second gray rewrite
// finds "/DeviceGray" and changes nothing. Values it cannot delimit safely stay as they are.
void replaceColorSpaceValue(DictionaryTokens& tokens) {
    InnerBytes inner;
    const int last = lastSlot(tokens);
    std::optional<std::size_t> keyEnd;
    for (int i = 0; i <= last; ++i) {
        const auto token = slotBytes(tokens, i);
        if (i > 0 && !keyEnd && isColorSpaceKey(token)) keyEnd = inner.size + kColorSpaceKeyLength;
        inner.append(token);
    }
    if (!keyEnd) return;

    std::size_t begin = *keyEnd;
    while (begin < inner.size && isPdfWhitespace(inner.bytes[begin])) ++begin;
    if (begin == inner.size) return;
    const auto end = valueEnd(inner, begin);
    if (!end) return;
    std::size_t rest = *end;
    while (rest < inner.size && isPdfWhitespace(inner.bytes[rest])) ++rest;
    if (rest < inner.size && inner.bytes[rest] != '/') return;

    InnerBytes rewritten;
    rewritten.append({inner.bytes.data(), begin});
    rewritten.append({reinterpret_cast<const std::uint8_t*>(kDeviceGray), kDeviceGrayLength});
    rewritten.append({inner.bytes.data() + rest, inner.size - rest});

    DictionaryTokens cut;
    if (cutDictionaryTokens({rewritten.bytes.data(), rewritten.size}, cut) != DictionaryError::None) return;
    tokens = cut;
}

// The token becomes "/DeviceGray"; blanks and line ends after the old name go with it. Anything else
// after the name inside the token ("]" of an array, ">>" of a nested dictionary) is syntax that the
// dictionary needs, so it stays, and the token then keeps its bytes after the name as they were.
void replaceDeviceColorSpaceName(DictionaryTokens& tokens, int index) {
    const auto i = static_cast<std::size_t>(index);
    auto& slot = tokens.slots[i];
    const auto length =
        static_cast<std::size_t>(std::clamp(tokens.lengths[i], 0, DictionaryTokens::kSlotSize));
    std::size_t nameEnd = 1;
    while (nameEnd < length && !endsPdfToken(slot[nameEnd])) ++nameEnd;
    std::size_t rest = nameEnd;
    while (rest < length && isPdfWhitespace(slot[rest])) ++rest;
    const std::size_t kept = rest == length ? 0 : length - nameEnd;
    if (kDeviceGrayLength + kept > DictionaryTokens::kSlotSize) return;  // would not fit: leave it

    std::array<std::uint8_t, DictionaryTokens::kSlotSize> rewritten{};
    std::memcpy(rewritten.data(), kDeviceGray, kDeviceGrayLength);
    std::memcpy(rewritten.data() + kDeviceGrayLength, slot.data() + nameEnd, kept);
    slot = rewritten;
    tokens.lengths[i] = static_cast<std::int32_t>(kDeviceGrayLength + kept);
}

}  // namespace

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
