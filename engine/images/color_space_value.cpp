#include "engine/images/color_space_value.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "engine/images/dictionary_cut.h"
#include "engine/pdf/pdf_syntax.h"

namespace pagewash {

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

int lastSlot(const DictionaryTokens& tokens) {
    return std::clamp(tokens.count, 0, DictionaryTokens::kSlotCount - 1);
}

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

}  // namespace

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

}  // namespace pagewash
