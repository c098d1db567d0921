#pragma once
// Reads one classic cross-reference section ("xref", subsections of 20-byte entries, "trailer" and its
// dictionary) from untrusted bytes. Stateless; safe on any thread.

#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

// REQUIRES: "xref" stands at `offset`. Refuses a section or trailer that cannot be read, at the
// byte that cannot be read.
Result<ClassicXrefSection> readClassicXrefSection(ByteView bytes, std::size_t offset);

}  // namespace pagewash
