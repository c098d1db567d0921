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

// A /Decode of one gray component ("[1 0]") still fits the 1-bit gray image; one of three (an RGB
// image's six numbers) would not, and is dropped: readers then take the default [0 1].
bool fitsOneComponent(const std::string& decode) {
    int numbers = 0;
    bool inNumber = false;
    for (const char c : decode) {
        const bool part = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+';
        if (part && !inNumber) ++numbers;
        inNumber = part;
    }
    return numbers == 2;
}

}  // namespace

std::optional<std::string> bilevelEntries(std::span<const std::uint8_t> buffer, std::int64_t dictionaryOffset,
                                          int columns, int rows) {
    const std::optional<Dictionary> dictionary = readDictionaryAt(buffer, dictionaryOffset);
    if (!dictionary) return std::nullopt;
    std::string entries;
    for (const DictionaryEntry& entry : dictionary->entries) {
        if (isCodingKey(entry.key)) continue;
        const std::string value = valueText(buffer, entry);
        if (entry.key == "Decode" && !fitsOneComponent(value)) continue;
        entries += "/" + entry.key + " " + value;
    }
    entries +=
        "/ColorSpace /DeviceGray/BitsPerComponent 1/Filter /CCITTFaxDecode/DecodeParms <</K -1/Columns " +
        std::to_string(columns) + "/Rows " + std::to_string(rows) + "/BlackIs1 false>>";
    return entries;
}

}  // namespace pagewash
