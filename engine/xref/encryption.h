#pragma once
// Whether a PDF is encrypted: its streams, the JPEG images among them, are then ciphertext that no byte
// search can find or correct. Stateless; any thread.

#include "engine/pdf/pdf_lexer.h"

namespace pagewash {

// True when a trailer dictionary ("trailer << ... >>") or a cross-reference stream dictionary
// (/Type /XRef) of the file has an /Encrypt entry. Reads only inside `bytes`.
bool declaresEncryption(ByteView bytes);

}  // namespace pagewash
