#pragma once
// An update appended after a PDF's last byte: new objects, then a cross-reference section in the file's
// own style (a classic table with its trailer, or a cross-reference stream) whose /Prev leads to the
// file's last section, then startxref and %%EOF. Every object of the file keeps its number and its
// place; the new ones take numbers from the last /Size up. Stateless; safe on any thread.

#include <cstdint>
#include <span>
#include <string>

#include "engine/pdf/pdf_lexer.h"
#include "engine/pdf/refusal.h"

namespace pagewash {

// What the last cross-reference section of a file (the one its last startxref names) gives an update.
struct LastXrefSection {
    // A cross-reference stream; otherwise a classic table, of a hybrid file too.
    bool stream = false;
    std::int64_t offset = 0;  // in the input: the "x" of "xref", or the stream object's first digit
    std::int64_t size = 0;    // /Size: the first free object number
    // The values as written ("3 0 R", "[<ab...><ab...>]"); info and id empty when the section has none.
    std::string root;
    std::string info;
    std::string id;
};

// Refuses a file whose last startxref leads to no readable section, or whose section has no /Size or
// no /Root, at the byte at fault.
Result<LastXrefSection> readLastXrefSection(ByteView input);

// The bytes to append to an output of `outputLength` bytes that ends with `lastByte`: a line end when
// that is no line end (a closing %%EOF comment would swallow the first object), then objects numbered
// last.size, last.size + 1, ... each "N 0 obj" + line end + bodies[i] + line end + "endobj", the section
// listing exactly them (and the cross-reference stream itself, numbered after them), "startxref", its
// offset and "%%EOF". previousOffset: where the last section stands in the output (`last.offset` moved
// as the output moved it).
std::string updateSection(const LastXrefSection& last, std::int64_t previousOffset, std::int64_t outputLength,
                          std::uint8_t lastByte, std::span<const std::string> bodies);

}  // namespace pagewash
