#include "engine/xref/update_section.h"

#include <cstdio>
#include <optional>

#include "engine/pdf/stream_object.h"

namespace pagewash {

namespace {

std::optional<std::string> entryText(ByteView bytes, const Dictionary& dictionary, std::string_view key) {
    const DictionaryEntry* entry = dictionary.find(key);
    if (entry == nullptr) return std::nullopt;
    return valueText(bytes, *entry);
}

// The "<<" of the trailer that follows the classic table at `offset`, or npos.
std::size_t trailerDictionary(ByteView bytes, std::size_t offset) {
    const std::size_t keyword = findFirst(bytes, "trailer", offset, bytes.size());
    if (keyword == std::string_view::npos) return keyword;
    return skipWhiteSpaceAndComments(bytes, keyword + 7);
}

// The "<<" of the object "N G obj <<" at `offset`, or npos.
std::size_t objectDictionary(ByteView bytes, std::size_t offset) {
    const auto number = readUnsignedInteger(bytes, offset);
    if (!number) return std::string_view::npos;
    const auto generation = readUnsignedInteger(bytes, skipWhiteSpaceAndComments(bytes, number->end));
    if (!generation) return std::string_view::npos;
    const std::size_t keyword = skipWhiteSpaceAndComments(bytes, generation->end);
    if (!matchesKeyword(bytes, keyword, "obj")) return std::string_view::npos;
    return skipWhiteSpaceAndComments(bytes, keyword + 3);
}

// The fewest bytes that hold `value` (at least one).
int byteWidth(std::int64_t value) {
    int width = 1;
    while (width < 8 && (value >> (8 * width)) != 0) ++width;
    return width;
}

std::string classicSection(const LastXrefSection& last, const std::vector<std::int64_t>& offsets,
                           const std::string& trailerEntries) {
    std::string section = "xref\n" + std::to_string(last.size) + " " + std::to_string(offsets.size()) + "\n";
    for (const std::int64_t offset : offsets) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010lld 00000 n\r\n", static_cast<long long>(offset));
        section += entry;
    }
    return section + "trailer\n<<" + trailerEntries + ">>\n";
}

// The cross-reference stream object, numbered after the new objects and listing itself too.
std::string streamSection(const LastXrefSection& last, std::vector<std::int64_t> offsets,
                          std::int64_t sectionOffset, const std::string& trailerEntries) {
    offsets.push_back(sectionOffset);
    const int width = byteWidth(sectionOffset);
    std::string rows;
    for (const std::int64_t offset : offsets) {
        rows += '\1';
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
            rows += static_cast<char>((offset >> shift) & 0xFF);
        rows += '\0';
    }
    const std::int64_t number = last.size + static_cast<std::int64_t>(offsets.size()) - 1;
    const std::string entries = "/Type /XRef/Index [" + std::to_string(last.size) + " " +
                                std::to_string(offsets.size()) + "]/W [1 " + std::to_string(width) + " 1]" +
                                trailerEntries;
    return std::to_string(number) + " 0 obj\n" + streamBody(entries, rows) + "\nendobj\n";
}

}  // namespace

Result<LastXrefSection> readLastXrefSection(ByteView input) {
    const std::size_t startxref = findLast(input, "startxref", input.size());
    if (startxref == std::string_view::npos) return Refusal{-1, "the file has no startxref"};
    const auto value = readUnsignedInteger(input, skipWhiteSpaceAndComments(input, startxref + 9));
    if (!value || value->value >= static_cast<std::int64_t>(input.size())) {
        return Refusal{static_cast<std::int64_t>(startxref),
                       "startxref is not followed by an offset within the file"};
    }
    LastXrefSection last;
    last.offset = value->value;
    const auto offset = static_cast<std::size_t>(value->value);
    last.stream = !matchesKeyword(input, offset, "xref");
    const std::size_t dictionaryAt =
        last.stream ? objectDictionary(input, offset) : trailerDictionary(input, offset);
    const std::optional<Dictionary> dictionary =
        dictionaryAt == std::string_view::npos ? std::nullopt : readDictionary(input, dictionaryAt);
    if (!dictionary) {
        return Refusal{value->value, std::string(last.stream ? "the cross-reference stream" : "the trailer") +
                                         " of the last section cannot be read"};
    }
    const DictionaryEntry* size = dictionary->find("Size");
    const std::optional<IntegerToken> sizeValue = size ? integerValue(input, *size) : std::nullopt;
    std::optional<std::string> root = entryText(input, *dictionary, "Root");
    if (!sizeValue || !root) {
        return Refusal{
            static_cast<std::int64_t>(dictionary->begin),
            "the dictionary of the last section has no " + std::string(sizeValue ? "/Root" : "/Size")};
    }
    last.size = sizeValue->value;
    last.root = std::move(*root);
    last.info = entryText(input, *dictionary, "Info").value_or("");
    last.id = entryText(input, *dictionary, "ID").value_or("");
    return last;
}

std::string updateSection(const LastXrefSection& last, std::int64_t previousOffset, std::int64_t outputLength,
                          std::uint8_t lastByte, std::span<const std::string> bodies) {
    std::string update = lastByte == '\n' || lastByte == '\r' ? "" : "\n";
    std::vector<std::int64_t> offsets;
    offsets.reserve(bodies.size() + 1);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(outputLength + static_cast<std::int64_t>(update.size()));
        update += std::to_string(last.size + static_cast<std::int64_t>(i)) + " 0 obj\n";
        update += bodies[i];
        update += "\nendobj\n";
    }
    const std::int64_t sectionOffset = outputLength + static_cast<std::int64_t>(update.size());
    // The stream lists itself: one more object than the table.
    const std::int64_t newSize = last.size + static_cast<std::int64_t>(bodies.size()) + (last.stream ? 1 : 0);
    std::string trailerEntries =
        "/Size " + std::to_string(newSize) + "/Prev " + std::to_string(previousOffset) + "/Root " + last.root;
    if (!last.info.empty()) trailerEntries += "/Info " + last.info;
    if (!last.id.empty()) trailerEntries += "/ID " + last.id;
    update += last.stream ? streamSection(last, offsets, sectionOffset, trailerEntries)
                          : classicSection(last, offsets, trailerEntries);
    return update + "startxref\n" + std::to_string(sectionOffset) + "\n%%EOF\n";
}

}  // namespace pagewash
