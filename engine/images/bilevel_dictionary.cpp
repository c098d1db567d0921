#include "engine/images/bilevel_dictionary.h"

#include <array>
#include <string_view>

#include "engine/pdf/pdf_lexer.h"

namespace pagewash {

namespace {

// The entries that describe how the JPEG was coded; the Group 4 image states its own.
constexpr std::array<std::string_view, 6> kCodingKeys = {"Filter",     "DecodeParms", "BitsPerComponent",
                                                         "ColorSpace", "Length",      "DL"};

bool isCodingKey(std::string_view key) {
    for (const std::string_view coding : kCodingKeys)
        if (key == coding) return true;
    return false;
}

}  // namespace

std::optional<std::string> bilevelEntries(std::span<const std::uint8_t> buffer, std::int64_t dictionaryOffset,
                                          int columns, int rows) {
    if (dictionaryOffset < 0 || static_cast<std::uint64_t>(dictionaryOffset) >= buffer.size())
        return std::nullopt;
    const std::optional<Dictionary> dictionary =
        readDictionary(buffer, static_cast<std::size_t>(dictionaryOffset));
    if (!dictionary) return std::nullopt;
    std::string entries;
    for (const DictionaryEntry& entry : dictionary->entries) {
        if (isCodingKey(entry.key)) continue;
        entries += "/" + entry.key + " " + valueText(buffer, entry);
    }
    entries +=
        "/ColorSpace /DeviceGray/BitsPerComponent 1/Filter /CCITTFaxDecode/DecodeParms <</K -1/Columns " +
        std::to_string(columns) + "/Rows " + std::to_string(rows) + "/BlackIs1 false>>";
    return entries;
}

}  // namespace pagewash
