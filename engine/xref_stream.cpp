#include "engine/xref_stream.h"

#include <algorithm>

namespace pagewash {

namespace {

// A cross-reference stream of a large file holds a few megabytes at most; this limit only stops
// a hostile stream from inflating without end.
constexpr std::size_t kMaxDecodedBytes = std::size_t{512} << 20;

std::int64_t readField(const std::uint8_t* row, std::int64_t width) {
    std::int64_t value = 0;
    for (std::int64_t i = 0; i < width; ++i) value = (value << 8) | row[i];
    return value;
}

void writeField(std::uint8_t* row, std::int64_t width, std::int64_t value) {
    for (std::int64_t i = width; i-- > 0;) {
        row[i] = static_cast<std::uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

int bytesNeeded(std::int64_t value) {
    int bytes = 0;
    while (value > 0) {
        ++bytes;
        value >>= 8;
    }
    return bytes;
}

// Reads /Predictor, /Colors, /BitsPerComponent and /Columns of /DecodeParms (a dictionary or an array
// holding one).
bool readDecodeParameters(Bytes bytes, const DictionaryEntry& entry, XrefStreamSection& section,
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

bool readFilter(Bytes bytes, const DictionaryEntry& entry, XrefStreamSection& section, std::string& error) {
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

std::optional<XrefStreamSection> readXrefStreamSection(Bytes bytes, std::size_t offset, std::string& error) {
    XrefStreamSection section;
    section.objectOffset = offset;
    const std::string where = "the cross-reference stream at byte " + std::to_string(offset);
    const auto number = readUnsignedInteger(bytes, offset);
    const std::size_t generationPos = number ? skipWhiteSpaceAndComments(bytes, number->end) : 0;
    const auto generation = number ? readUnsignedInteger(bytes, generationPos) : std::nullopt;
    const std::size_t objPos = generation ? skipWhiteSpaceAndComments(bytes, generation->end) : 0;
    if (!generation || !matchesKeyword(bytes, objPos, "obj")) {
        error = "no cross-reference data begins at byte " + std::to_string(offset);
        return std::nullopt;
    }
    const std::size_t dictionaryPos = skipWhiteSpaceAndComments(bytes, objPos + 3);
    const auto dictionary = readDictionary(bytes, dictionaryPos);
    if (!dictionary) {
        error = where + " has no readable dictionary";
        return std::nullopt;
    }
    const DictionaryEntry* type = dictionary->find("Type");
    if (!type || valueText(bytes, *type) != "/XRef") {
        error = "the object at byte " + std::to_string(offset) + " is not a cross-reference stream";
        return std::nullopt;
    }
    const DictionaryEntry* length = dictionary->find("Length");
    const auto lengthValue = length ? integerValue(bytes, *length) : std::nullopt;
    if (!lengthValue) {
        error = where + " has no direct integer /Length";
        return std::nullopt;
    }
    section.lengthBegin = lengthValue->begin;
    section.lengthEnd = lengthValue->end;
    const DictionaryEntry* widths = dictionary->find("W");
    const auto widthValues = widths ? integerArrayValue(bytes, *widths) : std::nullopt;
    if (!widthValues || widthValues->size() != 3 ||
        std::any_of(widthValues->begin(), widthValues->end(), [](std::int64_t w) { return w > 8; }) ||
        (*widthValues)[0] + (*widthValues)[1] + (*widthValues)[2] == 0) {
        error = where + " has no usable /W";
        return std::nullopt;
    }
    section.widthsBegin = widths->valueBegin;
    section.widthsEnd = widths->valueEnd;
    std::copy(widthValues->begin(), widthValues->end(), section.widths);
    if (const DictionaryEntry* prev = dictionary->find("Prev")) {
        const auto value = integerValue(bytes, *prev);
        if (!value) {
            error = where + " has a /Prev that is not an integer";
            return std::nullopt;
        }
        section.prev = OffsetField{value->begin, value->end, value->value, false};
    }
    if (const DictionaryEntry* filter = dictionary->find("Filter")) {
        if (!readFilter(bytes, *filter, section, error)) {
            error = where + ": " + error;
            return std::nullopt;
        }
    }
    if (const DictionaryEntry* parameters = dictionary->find("DecodeParms")) {
        if (!readDecodeParameters(bytes, *parameters, section, error)) {
            error = where + ": " + error;
            return std::nullopt;
        }
    }
    // "stream" and one end of line (CR LF or LF; a CR alone is tolerated as readers do).
    std::size_t pos = skipWhiteSpaceAndComments(bytes, dictionary->end);
    if (!matchesKeyword(bytes, pos, "stream")) {
        error = where + " has no stream keyword";
        return std::nullopt;
    }
    pos += 6;
    if (pos < bytes.size() && bytes[pos] == '\r') ++pos;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    section.dataBegin = pos;
    if (lengthValue->value > static_cast<std::int64_t>(bytes.size() - pos)) {
        error = where + ": /Length runs past the end of the file";
        return std::nullopt;
    }
    section.dataEnd = pos + static_cast<std::size_t>(lengthValue->value);
    const std::size_t endstream = skipWhiteSpaceAndComments(bytes, section.dataEnd);
    section.objectEnd = matchesKeyword(bytes, endstream, "endstream") ? endstream + 9 : section.dataEnd;

    const Bytes data = bytes.subspan(section.dataBegin, section.dataEnd - section.dataBegin);
    std::vector<std::uint8_t> decoded;
    if (section.flate) {
        auto inflated = inflateZlib(data, kMaxDecodedBytes, error);
        if (!inflated) {
            error = where + ": " + error;
            return std::nullopt;
        }
        decoded = std::move(*inflated);
    } else {
        decoded.assign(data.begin(), data.end());
    }
    auto rows = removePredictor(decoded, section.predictor, error);
    if (!rows) {
        error = where + ": " + error;
        return std::nullopt;
    }
    const auto rowWidth = static_cast<std::size_t>(section.widths[0] + section.widths[1] + section.widths[2]);
    // Bytes after the last whole row (some writers pad) carry no entry and are dropped.
    rows->resize(rows->size() / rowWidth * rowWidth);
    section.rows = std::move(*rows);
    return section;
}

std::optional<EncodedXrefStream> encodeXrefStream(const XrefStreamSection& section,
                                                  const std::function<std::int64_t(std::int64_t)>& mapOffset) {
    const std::int64_t* w = section.widths;
    const auto rowWidth = static_cast<std::size_t>(w[0] + w[1] + w[2]);
    const std::size_t rowCount = section.rows.size() / rowWidth;
    std::vector<std::int64_t> newOffsets(rowCount, -1);
    int offsetBytes = static_cast<int>(w[1]);
    for (std::size_t r = 0; r < rowCount; ++r) {
        const std::uint8_t* row = section.rows.data() + r * rowWidth;
        const std::int64_t type = w[0] == 0 ? 1 : readField(row, w[0]);
        if (type != 1) continue;
        newOffsets[r] = mapOffset(readField(row + w[0], w[1]));
        offsetBytes = std::max(offsetBytes, bytesNeeded(newOffsets[r]));
    }
    if (offsetBytes > 8) return std::nullopt;
    EncodedXrefStream encoded;
    encoded.widths[0] = w[0];
    encoded.widths[1] = offsetBytes;
    encoded.widths[2] = w[2];
    const auto newRowWidth = static_cast<std::size_t>(w[0] + offsetBytes + w[2]);
    encoded.rows.assign(rowCount * newRowWidth, 0);
    for (std::size_t r = 0; r < rowCount; ++r) {
        const std::uint8_t* in = section.rows.data() + r * rowWidth;
        std::uint8_t* out = encoded.rows.data() + r * newRowWidth;
        std::copy(in, in + w[0], out);
        if (newOffsets[r] >= 0) {
            writeField(out + w[0], offsetBytes, newOffsets[r]);
        } else {
            // Other types keep their second field's value (an object stream number, the next free
            // object); it is copied right-aligned into the possibly wider field.
            writeField(out + w[0], offsetBytes, readField(in + w[0], w[1]));
        }
        std::copy(in + w[0] + w[1], in + rowWidth, out + w[0] + offsetBytes);
    }
    PredictorParameters predictor = section.predictor;
    if (predictor.predictor != 1) {
        // The predictor's rows must stay whole: a wider offset field widens /Columns only where one
        // predictor row is one entry (one 8-bit colour, /Columns = the sum of /W), as writers do.
        if (offsetBytes != w[1]) {
            if (predictor.colors * predictor.bitsPerComponent != 8 ||
                predictor.rowBytes() != static_cast<std::int64_t>(rowWidth)) {
                return std::nullopt;
            }
            predictor.columns += offsetBytes - w[1];
        }
        if (encoded.rows.size() % static_cast<std::size_t>(predictor.rowBytes()) != 0) return std::nullopt;
    }
    const std::vector<std::uint8_t> predicted = applyPredictor(encoded.rows, predictor);
    encoded.data = section.flate ? deflateZlib(predicted) : predicted;
    return encoded;
}

}  // namespace pagewash
