#pragma once
// Finds all cross-reference data of a PDF: the last startxref, then every section reachable from it
// through /Prev and /XRefStm (classic tables, cross-reference streams, hybrid files), the startxref
// that follows each section (incremental updates), and the linearization dictionary.
// Stateless; safe on any thread.

#include <optional>
#include <string>

#include "engine/pdf/pdf_lexer.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

// Returns nothing and says what is wrong in `error` when any part of the chain cannot be read.
std::optional<XrefLayout> locateXrefLayout(ByteView bytes, std::string& error);

}  // namespace pagewash
