#include "engine/xref/xref_stream.h"

#include <algorithm>

#include "engine/pdf/stream_object.h"

namespace pagewash {

namespace {

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

}  // namespace

Result<XrefStreamSection> readXrefStreamSection(ByteView bytes, std::size_t offset) {
    const std::string where = "the cross-reference stream at byte " + std::to_string(offset);
    auto stream = readStreamObject(bytes, offset);
    if (!stream) return Refusal{stream.refusal().offset, where + ": " + stream.refusal().reason};
    const Dictionary& dictionary = stream->dictionary;
    const DictionaryEntry* type = dictionary.find("Type");
    if (!type || valueText(bytes, *type) != "/XRef") {
        return Refusal{static_cast<std::int64_t>(offset),
                       "the object at byte " + std::to_string(offset) + " is not a cross-reference stream"};
    }
    XrefStreamSection section;
    section.objectOffset = offset;
    section.dataBegin = stream->dataBegin;
    section.dataEnd = stream->dataEnd;
    section.objectEnd = stream->objectEnd;
    section.lengthBegin = stream->lengthBegin;
    section.lengthEnd = stream->lengthEnd;
    section.flate = stream->flate;
    section.predictor = stream->predictor;
    section.columnsBegin = stream->columnsBegin;
    section.columnsEnd = stream->columnsEnd;
    const DictionaryEntry* widths = dictionary.find("W");
    const auto widthValues = widths ? integerArrayValue(bytes, *widths) : std::nullopt;
    if (!widthValues || widthValues->size() != 3 ||
        std::any_of(widthValues->begin(), widthValues->end(), [](std::int64_t w) { return w > 8; }) ||
        (*widthValues)[0] + (*widthValues)[1] + (*widthValues)[2] == 0) {
        const std::size_t at = widths ? widths->valueBegin : offset;
        return Refusal{static_cast<std::int64_t>(at), where + " has no usable /W"};
    }
    section.widthsBegin = widths->valueBegin;
    section.widthsEnd = widths->valueEnd;
    std::copy(widthValues->begin(), widthValues->end(), section.widths);
    if (const DictionaryEntry* prev = dictionary.find("Prev")) {
        const auto value = integerValue(bytes, *prev);
        if (!value) {
            return Refusal{static_cast<std::int64_t>(prev->valueBegin),
                           where + " has a /Prev that is not an integer"};
        }
        section.prev = OffsetField{value->begin, value->end, value->value, false};
    }
    const auto rowWidth = static_cast<std::size_t>(section.widths[0] + section.widths[1] + section.widths[2]);
    // ByteView after the last whole row (some writers pad) carry no entry and are dropped.
    section.rows = std::move(stream->decoded);
    section.rows.resize(section.rows.size() / rowWidth * rowWidth);
    return section;
}

std::vector<std::int64_t> inUseOffsets(const XrefStreamSection& section) {
    const std::int64_t* w = section.widths;
    const auto rowWidth = static_cast<std::size_t>(w[0] + w[1] + w[2]);
    std::vector<std::int64_t> offsets;
    for (std::size_t at = 0; at + rowWidth <= section.rows.size(); at += rowWidth) {
        const std::uint8_t* row = section.rows.data() + at;
        if ((w[0] == 0 ? 1 : readField(row, w[0])) == 1) offsets.push_back(readField(row + w[0], w[1]));
    }
    return offsets;
}

std::optional<EncodedXrefStream> encodeXrefStream(
    const XrefStreamSection& section, const std::function<std::int64_t(std::int64_t)>& mapOffset) {
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
