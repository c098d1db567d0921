#pragma once
// Cross-reference streams (/Type /XRef): reading one from untrusted bytes with its decoded entries,
// and writing its entries again with every in-use offset (type 1) moved. Stateless; any thread.

#include <functional>
#include <optional>

#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

// Reads the cross-reference stream object that begins at `offset` ("12 0 obj << /Type /XRef ...").
// Refuses an object that is not one or cannot be decoded, at the byte at fault.
Result<XrefStreamSection> readXrefStreamSection(ByteView bytes, std::size_t offset);

// The offset of every in-use (type 1) entry of the section.
std::vector<std::int64_t> inUseOffsets(const XrefStreamSection& section);

struct EncodedXrefStream {
    std::int64_t widths[3] = {0, 0, 0};  // the /W to write (the offset field widened when needed)
    std::vector<std::uint8_t> rows;      // the plain entries with the new offsets
    std::vector<std::uint8_t> data;      // the stream data to write (predictor and zlib applied)
};

// The section's entries with each type-1 offset replaced by mapOffset(offset). The offset field keeps
// its width unless a new offset needs more bytes. Returns nothing when an offset does not fit in
// 8 bytes. `mapOffset` is called for every type-1 entry.
std::optional<EncodedXrefStream> encodeXrefStream(const XrefStreamSection& section,
                                                  const std::function<std::int64_t(std::int64_t)>& mapOffset);

}  // namespace pagewash
