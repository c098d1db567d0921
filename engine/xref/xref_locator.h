#pragma once
// Finds all cross-reference data of a PDF: the last startxref, then every section reachable from it
// through /Prev and /XRefStm (classic tables, cross-reference streams, hybrid files), the startxref
// that follows each section (incremental updates), and the linearization dictionary.
// Stateless; safe on any thread.

#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

// Refuses a file when any link of the chain cannot be read; the reason says what is wrong and
// where, the offset is the byte at fault (-1 when the file has no startxref at all).
Result<XrefLayout> locateXrefLayout(ByteView bytes);

}  // namespace pagewash
