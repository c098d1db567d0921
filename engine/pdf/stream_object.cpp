#include "engine/pdf/stream_object.h"

#include <algorithm>

namespace pagewash {

namespace {

// A cross-reference stream of a large file holds a few megabytes at most; this limit only stops
// a hostile stream from inflating without end.
constexpr std::size_t kMaxDecodedBytes = std::size_t{512} << 20;

// Reads /Predictor, /Colors, /BitsPerComponent and /Columns of /DecodeParms (a dictionary or an array
// holding one).
bool readDecodeParameters(ByteView bytes, const DictionaryEntry& entry, StreamObject& section,
                          std::string& error) {
    std::size_t pos = entry.valueBegin;
    if (bytes[pos] == '[') {
        pos = skipWhiteSpaceAndComments(bytes, pos + 1);
        if (matchesKeyword(bytes, pos, "null")) return true;
    }
    const auto parameters = readDictionary(bytes, pos);
    if (!parameters) {
        error = "/DecodeParms is not a direct dictionary";
        return false;
    }
    const auto number = [&](std::string_view key, std::int64_t& out) {
        const DictionaryEntry* found = parameters->find(key);
        if (!found) return true;
        const auto value = integerValue(bytes, *found);
        if (!value) return false;
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
        error = "/DecodeParms holds a value that is not a direct integer";
        return false;
    }
    if (!predictor.isSupported()) {
        error = "predictor " + std::to_string(predictor.predictor) + " with these parameters is not supported";
        return false;
    }
    return true;
}

bool readFilter(ByteView bytes, const DictionaryEntry& entry, StreamObject& section, std::string& error) {
    std::string text = valueText(bytes, entry);
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) {
                   return isPdfWhitespace(static_cast<std::uint8_t>(c)) || c == '[' || c == ']';
               }),
               text.end());
    if (text == "/FlateDecode") {
        section.flate = true;
        return true;
    }
    if (text.empty()) return true;
    error = "the filter " + valueText(bytes, entry) + " is not supported";
    return false;
}

}  // namespace

std::optional<StreamObject> readStreamObject(ByteView bytes, std::size_t offset, std::string& error) {
    StreamObject section;
    section.objectOffset = offset;
    const auto number = readUnsignedInteger(bytes, offset);
    const std::size_t generationPos = number ? skipWhiteSpaceAndComments(bytes, number->end) : 0;
    const auto generation = number ? readUnsignedInteger(bytes, generationPos) : std::nullopt;
    const std::size_t objPos = generation ? skipWhiteSpaceAndComments(bytes, generation->end) : 0;
    if (!generation || !matchesKeyword(bytes, objPos, "obj")) {
        error = "no object begins there";
        return std::nullopt;
    }
    const std::size_t dictionaryPos = skipWhiteSpaceAndComments(bytes, objPos + 3);
    auto dictionary = readDictionary(bytes, dictionaryPos);
    if (!dictionary) {
        error = "it has no readable dictionary";
        return std::nullopt;
    }
    section.dictionary = std::move(*dictionary);
    const DictionaryEntry* length = section.dictionary.find("Length");
    const auto lengthValue = length ? integerValue(bytes, *length) : std::nullopt;
    if (!lengthValue) {
        error = "it has no direct integer /Length";
        return std::nullopt;
    }
    section.lengthBegin = lengthValue->begin;
    section.lengthEnd = lengthValue->end;
    if (const DictionaryEntry* filter = section.dictionary.find("Filter")) {
        if (!readFilter(bytes, *filter, section, error)) return std::nullopt;
    }
    if (const DictionaryEntry* parameters = section.dictionary.find("DecodeParms")) {
        if (!readDecodeParameters(bytes, *parameters, section, error)) return std::nullopt;
    }
    // "stream" and one end of line (CR LF or LF; a CR alone is tolerated as readers do).
    std::size_t pos = skipWhiteSpaceAndComments(bytes, section.dictionary.end);
    if (!matchesKeyword(bytes, pos, "stream")) {
        error = "it has no stream keyword";
        return std::nullopt;
    }
    pos += 6;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    section.dataBegin = pos;
    if (lengthValue->value > static_cast<std::int64_t>(bytes.size() - pos)) {
        error = "its /Length runs past the end of the file";
        return std::nullopt;
    }
    section.dataEnd = pos + static_cast<std::size_t>(lengthValue->value);
    const std::size_t endstream = skipWhiteSpaceAndComments(bytes, section.dataEnd);
    section.objectEnd = matchesKeyword(bytes, endstream, "endstream") ? endstream + 9 : section.dataEnd;

    const ByteView data = bytes.subspan(section.dataBegin, section.dataEnd - section.dataBegin);
    std::vector<std::uint8_t> decoded;
    if (section.flate) {
        auto inflated = inflateZlib(data, kMaxDecodedBytes, error);
        if (!inflated) return std::nullopt;
        decoded = std::move(*inflated);
    } else {
        decoded.assign(data.begin(), data.end());
    }
    auto plain = removePredictor(decoded, section.predictor, error);
    if (!plain) return std::nullopt;
    section.decoded = std::move(*plain);
    return section;
}

}  // namespace pagewash
