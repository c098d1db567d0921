#pragma once
// Reads one stream object ("12 0 obj << ... >> stream ... endstream") from untrusted bytes, with its
// data decoded: FlateDecode or no filter, and the predictor of /DecodeParms. Used for the streams
// that hold offsets (cross-reference streams, hint streams). Stateless; safe on any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pdf/flate_predictor.h"
#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"

namespace pagewash {

struct StreamObject {
    std::size_t objectOffset = 0;  // the first digit of "12 0 obj"
    Dictionary dictionary;
    std::size_t lengthBegin = 0;  // the direct /Length value
    std::size_t lengthEnd = 0;
    std::size_t dataBegin = 0;  // the first byte of the stream data
    std::size_t dataEnd = 0;    // dataBegin + /Length
    std::size_t objectEnd = 0;  // just after "endstream" (or the data when it is missing)
    bool flate = false;         // /Filter /FlateDecode; otherwise the data is stored plain
    PredictorParameters predictor;
    std::size_t columnsBegin = 0;  // the /Columns value of /DecodeParms, when there is one
    std::size_t columnsEnd = 0;
    std::vector<std::uint8_t> decoded;  // the data with filter and predictor undone
};

// Refuses an object that is not a stream that can be decoded. The reason does not name the offset
// (callers say which object in front of it, "it has no stream keyword"); the refusal's offset is
// the byte at fault, or the first byte of the data when the fault lies in data that was inflated.
Result<StreamObject> readStreamObject(ByteView bytes, std::size_t offset);

// A stream object's body as this program writes one: "<<" + entries + "/Length N>>stream" CR LF + data +
// CR LF + "endstream" (N: data's length).
std::string streamBody(std::string_view entries, std::string_view data);

}  // namespace pagewash
