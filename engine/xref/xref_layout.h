#pragma once
// What the cross-reference data of a PDF consists of, as found in the input bytes: every number that
// holds a byte offset, with its place, and every cross-reference stream with its decoded rows.
// Plain data built by locateXrefLayout (xref_locator.h) and read by the correction planner.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/pdf/flate_predictor.h"

namespace pagewash {

// A decimal number in the input, [begin, end), whose value is an input byte offset.
struct OffsetField {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::int64_t value = 0;
    // Classic cross-reference entries hold exactly ten digits; other numbers may grow.
    bool fixedWidth = false;
};

// A classic "xref" section with its trailer.
struct ClassicXrefSection {
    std::size_t offset = 0;                 // the "x" of "xref"
    std::vector<OffsetField> entryOffsets;  // the ten digits of each in-use entry
    std::optional<OffsetField> prev;        // the trailer's /Prev
    std::optional<OffsetField> xrefStream;  // the trailer's /XRefStm (a hybrid file)
    std::size_t trailerEnd = 0;             // just after the trailer's ">>"
};

// A cross-reference stream (/Type /XRef) and what is needed to write it again.
struct XrefStreamSection {
    std::size_t objectOffset = 0;  // the first digit of "12 0 obj"
    std::size_t dataBegin = 0;     // the first byte of the stream data
    std::size_t dataEnd = 0;       // dataBegin + /Length
    std::size_t objectEnd = 0;     // just after "endstream" (or the data when it is missing)
    std::size_t lengthBegin = 0;   // the /Length value
    std::size_t lengthEnd = 0;
    std::size_t widthsBegin = 0;  // the /W array, "[" to "]"
    std::size_t widthsEnd = 0;
    std::optional<OffsetField> prev;
    bool flate = false;  // /Filter /FlateDecode; otherwise the data is stored plain
    PredictorParameters predictor;
    // The /Columns value of /DecodeParms, when a predictor is in use.
    std::size_t columnsBegin = 0;
    std::size_t columnsEnd = 0;
    std::int64_t widths[3] = {0, 0, 0};  // /W
    std::vector<std::uint8_t> rows;      // the decoded entries, widths[0]+[1]+[2] bytes each
};

// The linearization dictionary of the first object, when there is one.
struct LinearizationFields {
    std::optional<OffsetField> fileLength;  // /L (a length, not an offset)
    std::vector<OffsetField> offsets;       // /E, /T, and the hint stream offsets of /H
    std::optional<OffsetField> hintOffset;  // /H[0], also in `offsets`
    std::optional<OffsetField> hintLength;  // /H[1]
    bool overflowHints = false;             // /H names a second (overflow) hint stream
    std::int64_t pageCount = 0;             // /N
};

struct XrefLayout {
    std::vector<ClassicXrefSection> classicSections;
    std::vector<XrefStreamSection> streamSections;
    std::vector<OffsetField> startxrefValues;  // every startxref that follows a section, and the last
    std::optional<LinearizationFields> linearization;
};

}  // namespace pagewash
