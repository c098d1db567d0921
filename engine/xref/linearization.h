#pragma once
// The linearization dictionary ("Fast Web View") of a PDF: the first object of the file, holding the
// file's length (/L) and byte offsets (/E end of the first page, /T the main cross-reference table,
// /H the hint streams). Stateless; safe on any thread.

#include <optional>

#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

// Nothing when the file's first object is not a linearization dictionary. A linearization
// dictionary whose numbers cannot be read is refused, at the number that cannot be read.
Result<std::optional<LinearizationFields>> readLinearization(ByteView bytes);

// True when readers take the file as linearized: its first object is a linearization dictionary whose
// /L is the file's length.
bool linearizedAsWritten(ByteView bytes);

}  // namespace pagewash
