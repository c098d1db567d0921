#include "engine/images/jpeg_stream_search.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/pdf/pdf_syntax.h"
#include "platform/byte_search.h"

namespace pagewash {

namespace {

constexpr std::uint8_t kJfif[] = {'J', 'F', 'I', 'F'};
// "FF D8" stands this far before "JFIF": FF D8 FF E0, two length bytes, then the signature.
constexpr std::size_t kSignatureDistance = 6;
// The file's last bytes are never searched (the word search stops a whole tail short).
constexpr std::int64_t kUnsearchedTail = 128;

}  // namespace

// Anything else (a thumbnail inside another JPEG, an inline image in a content stream) is not the start
// of a stream's data.
bool startsStreamData(std::span<const std::uint8_t> buffer, std::size_t jpegOffset) {
    std::size_t at = jpegOffset;  // one past the byte to look at next
    if (at >= 1 && buffer[at - 1] == '\n') {
        --at;
        if (at >= 1 && buffer[at - 1] == '\r') --at;
    } else if (at >= 1 && buffer[at - 1] == '\r') {
        --at;
    } else {
        return false;
    }
    static constexpr char kKeyword[] = "stream";
    constexpr std::size_t kKeywordLength = sizeof kKeyword - 1;
    if (at < kKeywordLength || std::memcmp(&buffer[at - kKeywordLength], kKeyword, kKeywordLength) != 0)
        return false;
    at -= kKeywordLength;
    while (at >= 1 && isPdfWhitespace(buffer[at - 1])) --at;
    return at >= 2 && buffer[at - 1] == '>' && buffer[at - 2] == '>';
}

bool isPdf(std::span<const std::uint8_t> buffer) {
    return buffer.size() >= 4 && std::memcmp(buffer.data(), "%PDF", 4) == 0;
}

std::vector<ImageRecord> findJpegStreams(std::span<const std::uint8_t> buffer) {
    std::vector<ImageRecord> records;
    // Offsets are 32-bit: a larger file is refused by readImageDictionaries, and nothing past the
    // 32-bit range is searched.
    const auto size = std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()),
                                             std::numeric_limits<std::int32_t>::max());
    const std::int64_t words = (size - kUnsearchedTail) / 4;
    if (words <= 0) return records;
    // The four byte phases together examine every position below 4 * words once.
    const auto searchEnd = static_cast<std::size_t>(4 * words);

    std::vector<std::size_t> hits;
    const std::uint8_t* const base = buffer.data();
    // A signature starts below searchEnd; its last byte may lie past it (still inside the buffer).
    const std::size_t haystack = searchEnd + sizeof kJfif - 1;
    for (std::size_t at = 0; at < searchEnd;) {
        const void* found = platform::findBytes(base + at, haystack - at, kJfif, sizeof kJfif);
        if (found == nullptr) break;
        const auto pos = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - base);
        if (pos >= searchEnd) break;
        if (pos >= kSignatureDistance && base[pos - 6] == 0xFF && base[pos - 5] == 0xD8 &&
            startsStreamData(buffer, pos - kSignatureDistance))
            hits.push_back(pos);
        at = pos + 1;
    }
    // Phase 0 hits by ascending position, then phase 1, 2 and 3.
    std::stable_sort(hits.begin(), hits.end(), [](std::size_t a, std::size_t b) { return a % 4 < b % 4; });

    records.reserve(hits.size());
    for (const std::size_t pos : hits) {
        ImageRecord record;
        record.jpegOffset = static_cast<std::int32_t>(pos - kSignatureDistance);
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace pagewash
