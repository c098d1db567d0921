#include "engine/xref/encryption.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagewash {

namespace {

// A dictionary nests other dictionaries; the one holding /Encrypt as its own key is found among the
// few "<<" closest before the key.
constexpr int kEnclosingCandidates = 16;
constexpr std::string_view kOpen = "<<";

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

// What the dictionary opened by one "<<" says, read once however many /Encrypt keys lie inside it:
// a file with thousands of them in deeply nested dictionaries would otherwise be read again for
// each key, for minutes.
struct Opening {
    std::size_t end = 0;  // 0 when no dictionary can be read there
    bool hasEncrypt = false;
    bool isTrailer = false;  // a trailer or cross-reference stream dictionary
};

class Openings {
  public:
    explicit Openings(ByteView bytes) : bytes_(bytes) {
        for (std::size_t at = findFirst(bytes, kOpen, 0, bytes.size()); at != std::string_view::npos;
             at = findFirst(bytes, kOpen, at + 1, bytes.size()))
            positions_.push_back(at);
    }

    // The last "<<" that ends at or before `limit`, or npos.
    std::size_t lastBefore(std::size_t limit) const {
        if (limit < kOpen.size()) return std::string_view::npos;
        const auto after = std::upper_bound(positions_.begin(), positions_.end(), limit - kOpen.size());
        return after == positions_.begin() ? std::string_view::npos : *std::prev(after);
    }

    const Opening& at(std::size_t open) {
        const auto known = read_.find(open);
        if (known != read_.end()) return known->second;
        Opening opening;
        if (const std::optional<Dictionary> dictionary = readDictionary(bytes_, open)) {
            opening.end = dictionary->end;
            opening.hasEncrypt = dictionary->find("Encrypt") != nullptr;
            opening.isTrailer = opening.hasEncrypt && (followsTrailerKeyword(bytes_, open) ||
                                                       isCrossReferenceStream(bytes_, *dictionary));
        }
        return read_.emplace(open, opening).first->second;
    }

  private:
    ByteView bytes_;
    std::vector<std::size_t> positions_;
    std::unordered_map<std::size_t, Opening> read_;
};

// The trailer or cross-reference stream dictionary that has the key at `keyAt` as one of its own keys.
bool keyOfTrailerDictionary(Openings& openings, std::size_t keyAt) {
    std::size_t limit = keyAt;
    for (int tries = 0; tries < kEnclosingCandidates; ++tries) {
        const std::size_t open = openings.lastBefore(limit);
        if (open == std::string_view::npos) return false;
        limit = open;  // the next candidate ends before this one begins
        const Opening& opening = openings.at(open);
        if (opening.end <= keyAt || !opening.hasEncrypt) continue;
        return opening.isTrailer;
    }
    return false;
}

}  // namespace

bool declaresEncryption(ByteView bytes) {
    constexpr std::string_view kKey = "/Encrypt";
    std::optional<Openings> openings;  // found only in files that name the key at all
    for (std::size_t at = findFirst(bytes, kKey, 0, bytes.size()); at != std::string_view::npos;
         at = findFirst(bytes, kKey, at + 1, bytes.size())) {
        if (!matchesKeyword(bytes, at, kKey)) continue;  // "/EncryptMetadata" and the like
        if (!openings) openings.emplace(bytes);
        if (keyOfTrailerDictionary(*openings, at)) return true;
    }
    return false;
}

}  // namespace pagewash
