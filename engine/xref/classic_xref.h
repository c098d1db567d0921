#pragma once
// Reads one classic cross-reference section ("xref", subsections of 20-byte entries, "trailer" and its
// dictionary) from untrusted bytes. Stateless; safe on any thread.

#include <optional>
#include <string>

#include "engine/pdf/pdf_lexer.h"
#include "engine/xref/xref_layout.h"

namespace pagewash {

// REQUIRES: "xref" stands at `offset`. Returns nothing and says why in `error` when the section
// or its trailer cannot be read.
std::optional<ClassicXrefSection> readClassicXrefSection(ByteView bytes, std::size_t offset, std::string& error);

}  // namespace pagewash
