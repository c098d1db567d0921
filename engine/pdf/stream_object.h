#pragma once
// Reads one stream object ("12 0 obj << ... >> stream ... endstream") from untrusted bytes, with its
// data decoded: FlateDecode or no filter, and the predictor of /DecodeParms. Used for the streams
// that hold offsets (cross-reference streams, hint streams). Stateless; safe on any thread.

#include <optional>
#include <string>
#include <vector>

#include "engine/pdf/flate_predictor.h"
#include "engine/pdf/pdf_lexer.h"

namespace pagewash {

struct StreamObject {
    std::size_t objectOffset = 0;  // the first digit of "12 0 obj"
    Dictionary dictionary;
    std::size_t lengthBegin = 0;   // the direct /Length value
    std::size_t lengthEnd = 0;
    std::size_t dataBegin = 0;     // the first byte of the stream data
    std::size_t dataEnd = 0;       // dataBegin + /Length
    std::size_t objectEnd = 0;     // just after "endstream" (or the data when it is missing)
    bool flate = false;            // /Filter /FlateDecode; otherwise the data is stored plain
    PredictorParameters predictor;
    std::size_t columnsBegin = 0;  // the /Columns value of /DecodeParms, when there is one
    std::size_t columnsEnd = 0;
    std::vector<std::uint8_t> decoded;  // the data with filter and predictor undone
};

// Returns nothing and says why in `error` (without naming the offset) when the object is not a
// stream that can be decoded.
std::optional<StreamObject> readStreamObject(ByteView bytes, std::size_t offset, std::string& error);

}  // namespace pagewash
