#include "engine/images/other_jpeg_search.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "engine/images/dictionary_tokens.h"
#include "engine/images/jpeg_stream_search.h"
#include "engine/pdf/pdf_syntax.h"
#include "platform/byte_search.h"

namespace pagewash {

namespace {

constexpr std::uint8_t kJpegStart[] = {0xFF, 0xD8, 0xFF};
// The tail that findJpegStreams leaves unsearched.
constexpr std::int64_t kUnsearchedTail = 128;

// One "/Name rest" slot of a dictionary: the name without its slash, and the bytes after it.
struct Entry {
    std::string_view name;
    std::string_view rest;
};

Entry entryOf(const DictionaryTokens& tokens, int slot) {
    const auto& bytes = tokens.slots[static_cast<std::size_t>(slot)];
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<std::size_t>(tokens.lengths[static_cast<std::size_t>(slot)]));
    std::size_t end = 1;
    while (end < text.size() && !endsPdfToken(static_cast<std::uint8_t>(text[end]))) ++end;
    return {text.substr(1, end - 1), text.substr(end)};
}

// `text` with its PDF white space removed from both ends.
std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isPdfWhitespace(static_cast<std::uint8_t>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && isPdfWhitespace(static_cast<std::uint8_t>(text.back()))) text.remove_suffix(1);
    return text;
}

// How far "<<" and ">>" in `text` take the nesting of dictionaries.
int nestingChange(std::string_view text) {
    int change = 0;
    for (std::size_t at = 0; at + 1 < text.size(); ++at) {
        if (text[at] == text[at + 1] && (text[at] == '<' || text[at] == '>')) {
            change += text[at] == '<' ? 1 : -1;
            ++at;
        }
    }
    return change;
}

}  // namespace

bool isDctImageDictionary(std::span<const std::uint8_t> buffer, std::int32_t jpegOffset) {
    DictionaryTokens tokens;
    if (parseImageDictionary(buffer, jpegOffset, tokens) < 0) return false;
    bool image = false;
    bool dctOnly = false;
    int depth = 0;
    for (int slot = 1; slot <= tokens.count; ++slot) {
        const Entry key = entryOf(tokens, slot);
        const bool topLevel = depth == 0;
        depth += nestingChange(key.rest);
        if (!topLevel || slot == tokens.count) continue;
        const Entry value = entryOf(tokens, slot + 1);
        const std::string_view keyRest = trimmed(key.rest);
        const std::string_view valueRest = trimmed(value.rest);
        if (key.name == "Subtype") {
            image = keyRest.empty() && value.name == "Image" && valueRest.empty();
        } else if (key.name == "Filter") {
            // /Filter /DCTDecode, or /Filter [ /DCTDecode ]
            const bool array = keyRest == "[";
            dctOnly =
                (keyRest.empty() || array) && value.name == "DCTDecode" && valueRest == (array ? "]" : "");
        }
    }
    return image && dctOnly;
}

std::vector<ImageRecord> findOtherJpegStreams(std::span<const std::uint8_t> buffer,
                                              const std::vector<ImageRecord>& jfif) {
    std::vector<ImageRecord> records;
    const auto size = std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()),
                                             std::numeric_limits<std::int32_t>::max());
    if (size - kUnsearchedTail <= 0) return records;
    const auto searchEnd = static_cast<std::size_t>(size - kUnsearchedTail);
    std::vector<std::int32_t> known;
    for (const ImageRecord& record : jfif) known.push_back(record.jpegOffset);
    std::sort(known.begin(), known.end());

    const std::uint8_t* const base = buffer.data();
    for (std::size_t at = 0; at < searchEnd;) {
        const void* found = platform::findBytes(base + at, searchEnd + sizeof kJpegStart - 1 - at, kJpegStart,
                                                sizeof kJpegStart);
        if (found == nullptr) break;
        const auto pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - base);
        if (pos >= searchEnd) break;
        at = pos + 1;
        const auto offset = static_cast<std::int32_t>(pos);
        if (std::binary_search(known.begin(), known.end(), offset) || !startsStreamData(buffer, pos) ||
            !isDctImageDictionary(buffer, offset))
            continue;
        ImageRecord record;
        record.jpegOffset = offset;
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace pagewash
