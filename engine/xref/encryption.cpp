#include "engine/xref/encryption.h"

#include <string_view>

namespace pagewash {

namespace {

// A dictionary nests other dictionaries; the one holding /Encrypt as its own key is found among the
// few "<<" closest before the key.
constexpr int kEnclosingCandidates = 16;

bool followsTrailerKeyword(ByteView bytes, std::size_t dictionaryBegin) {
    std::size_t at = dictionaryBegin;
    while (at > 0 && isPdfWhitespace(bytes[at - 1])) --at;
    constexpr std::string_view kTrailer = "trailer";
    return at >= kTrailer.size() && matchesKeyword(bytes, at - kTrailer.size(), kTrailer);
}

bool isCrossReferenceStream(ByteView bytes, const Dictionary& dictionary) {
    const DictionaryEntry* type = dictionary.find("Type");
    return type != nullptr && valueText(bytes, *type) == "/XRef";
}

// The trailer or cross-reference stream dictionary that has the key at `keyAt` as one of its own keys.
bool keyOfTrailerDictionary(ByteView bytes, std::size_t keyAt) {
    std::size_t limit = keyAt;
    for (int tries = 0; tries < kEnclosingCandidates; ++tries) {
        const std::size_t open = findLast(bytes, "<<", limit);
        if (open == std::string_view::npos) return false;
        limit = open;  // the next candidate begins before this one
        const auto dictionary = readDictionary(bytes, open);
        if (!dictionary || dictionary->end <= keyAt) continue;
        if (dictionary->find("Encrypt") == nullptr) continue;
        return followsTrailerKeyword(bytes, open) || isCrossReferenceStream(bytes, *dictionary);
    }
    return false;
}

}  // namespace

bool declaresEncryption(ByteView bytes) {
    constexpr std::string_view kKey = "/Encrypt";
    for (std::size_t at = findFirst(bytes, kKey, 0, bytes.size()); at != std::string_view::npos;
         at = findFirst(bytes, kKey, at + 1, bytes.size())) {
        if (!matchesKeyword(bytes, at, kKey)) continue;  // "/EncryptMetadata" and the like
        if (keyOfTrailerDictionary(bytes, at)) return true;
    }
    return false;
}

}  // namespace pagewash
