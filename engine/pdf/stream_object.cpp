#include "engine/pdf/stream_object.h"

#include <algorithm>
#include <string>

namespace pagewash {

namespace {

// A cross-reference stream of a large file holds a few megabytes at most; this limit only stops
// a hostile stream from inflating without end.
constexpr std::size_t kMaxDecodedBytes = std::size_t{512} << 20;

// Reads /Predictor, /Colors, /BitsPerComponent and /Columns of /DecodeParms (a dictionary or an array
// holding one).
Result<Done> readDecodeParameters(ByteView bytes, const DictionaryEntry& entry, StreamObject& section) {
    std::size_t pos = entry.valueBegin;
    if (bytes[pos] == '[') {
        pos = skipWhiteSpaceAndComments(bytes, pos + 1);
        if (matchesKeyword(bytes, pos, "null")) return Done{};
    }
    const auto parameters = readDictionary(bytes, pos);
    if (!parameters)
        return Refusal{static_cast<std::int64_t>(pos), "/DecodeParms is not a direct dictionary"};
    std::size_t badValue = 0;  // the value that is not a direct integer
    const auto number = [&](std::string_view key, std::int64_t& out) {
        const DictionaryEntry* found = parameters->find(key);
        if (!found) return true;
        const auto value = integerValue(bytes, *found);
        if (!value) {
            badValue = found->valueBegin;
            return false;
        }
        out = value->value;
        if (key == "Columns") {
            section.columnsBegin = value->begin;
            section.columnsEnd = value->end;
        }
        return true;
    };
    PredictorParameters& predictor = section.predictor;
    if (!number("Predictor", predictor.predictor) || !number("Colors", predictor.colors) ||
        !number("BitsPerComponent", predictor.bitsPerComponent) || !number("Columns", predictor.columns)) {
        return Refusal{static_cast<std::int64_t>(badValue),
                       "/DecodeParms holds a value that is not a direct integer"};
    }
    if (!predictor.isSupported()) {
        return Refusal{static_cast<std::int64_t>(pos), "predictor " + std::to_string(predictor.predictor) +
                                                           " with these parameters is not supported"};
    }
    return Done{};
}

Result<Done> readFilter(ByteView bytes, const DictionaryEntry& entry, StreamObject& section) {
    std::string text = valueText(bytes, entry);
    text.erase(
        std::remove_if(
            text.begin(), text.end(),
            [](char c) { return isPdfWhitespace(static_cast<std::uint8_t>(c)) || c == '[' || c == ']'; }),
        text.end());
    if (text == "/FlateDecode") {
        section.flate = true;
        return Done{};
    }
    if (text.empty()) return Done{};
    return Refusal{static_cast<std::int64_t>(entry.valueBegin),
                   "the filter " + valueText(bytes, entry) + " is not supported"};
}

// A refusal whose offset counts from the start of the stream data, with the offset made a file
// offset; -1 stays -1.
Refusal inStreamData(const StreamObject& section, Refusal refusal) {
    if (refusal.offset >= 0) refusal.offset += static_cast<std::int64_t>(section.dataBegin);
    return refusal;
}

}  // namespace

Result<StreamObject> readStreamObject(ByteView bytes, std::size_t offset) {
    StreamObject section;
    section.objectOffset = offset;
    const auto number = readUnsignedInteger(bytes, offset);
    const std::size_t generationPos = number ? skipWhiteSpaceAndComments(bytes, number->end) : 0;
    const auto generation = number ? readUnsignedInteger(bytes, generationPos) : std::nullopt;
    const std::size_t objPos = generation ? skipWhiteSpaceAndComments(bytes, generation->end) : 0;
    if (!generation || !matchesKeyword(bytes, objPos, "obj")) {
        return Refusal{static_cast<std::int64_t>(offset), "no object begins there"};
    }
    const std::size_t dictionaryPos = skipWhiteSpaceAndComments(bytes, objPos + 3);
    auto dictionary = readDictionary(bytes, dictionaryPos);
    if (!dictionary)
        return Refusal{static_cast<std::int64_t>(dictionaryPos), "it has no readable dictionary"};
    section.dictionary = std::move(*dictionary);
    const DictionaryEntry* length = section.dictionary.find("Length");
    const auto lengthValue = length ? integerValue(bytes, *length) : std::nullopt;
    if (!lengthValue) {
        const std::size_t at = length ? length->valueBegin : dictionaryPos;
        return Refusal{static_cast<std::int64_t>(at), "it has no direct integer /Length"};
    }
    section.lengthBegin = lengthValue->begin;
    section.lengthEnd = lengthValue->end;
    if (const DictionaryEntry* filter = section.dictionary.find("Filter")) {
        if (auto read = readFilter(bytes, *filter, section); !read) return read.refusal();
    }
    if (const DictionaryEntry* parameters = section.dictionary.find("DecodeParms")) {
        if (auto read = readDecodeParameters(bytes, *parameters, section); !read) return read.refusal();
    }
    // "stream" and one end of line (CR LF or LF; a CR alone is tolerated as readers do).
    std::size_t pos = skipWhiteSpaceAndComments(bytes, section.dictionary.end);
    if (!matchesKeyword(bytes, pos, "stream")) {
        return Refusal{static_cast<std::int64_t>(pos), "it has no stream keyword"};
    }
    pos += 6;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    section.dataBegin = pos;
    if (lengthValue->value > static_cast<std::int64_t>(bytes.size() - pos)) {
        return Refusal{static_cast<std::int64_t>(lengthValue->begin),
                       "its /Length runs past the end of the file"};
    }
    section.dataEnd = pos + static_cast<std::size_t>(lengthValue->value);
    const std::size_t endstream = skipWhiteSpaceAndComments(bytes, section.dataEnd);
    section.objectEnd = matchesKeyword(bytes, endstream, "endstream") ? endstream + 9 : section.dataEnd;

    const ByteView data = bytes.subspan(section.dataBegin, section.dataEnd - section.dataBegin);
    std::vector<std::uint8_t> decoded;
    if (section.flate) {
        auto inflated = inflateZlib(data, kMaxDecodedBytes);
        if (!inflated) return inStreamData(section, inflated.refusal());
        decoded = std::move(*inflated);
    } else {
        decoded.assign(data.begin(), data.end());
    }
    auto plain = removePredictor(decoded, section.predictor);
    if (!plain) {
        Refusal refusal = plain.refusal();
        // An inflated byte has no place of its own in the file: the data's first byte stands for it.
        if (section.flate && refusal.offset > 0) refusal.offset = 0;
        return inStreamData(section, std::move(refusal));
    }
    section.decoded = std::move(*plain);
    return section;
}

std::string streamBody(std::string_view entries, std::string_view data) {
    std::string body = "<<";
    body += entries;
    body += "/Length " + std::to_string(data.size()) + ">>stream\r\n";
    body += data;
    body += "\r\nendstream";
    return body;
}

}  // namespace pagewash
