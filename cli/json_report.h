#pragma once
// The report of one file as one line of JSON, for scripts (--json): what was read and written, what
// became of its images and why, its warnings and the reason of a refusal.
//
// {"input": "book.pdf", "outcome": "written" | "not_pdf" | "no_jpeg" | "refused",
//  "output": "book_edit.pdf" | null, "bytes_before": 20400000 | null, "bytes_after": 5100000 | null,
//  "images": {"found": 20, "bleached": 20, "kept_in_color": 0,
//             "left": {"mode_none": 0, "cmyk_or_other": 0, "failed": 0, "larger": 0, "over_memory_limit": 0},
//             "other_jpeg_left": 0},
//  "warnings": ["..."], "refused": "book.pdf: ..." | null}
// found = bleached + the "left" counts; other_jpeg_left counts the JPEG images without JFIF that were
// not taken up (without --any-jpeg). Texts are UTF-8 as the report holds them; a byte that is not UTF-8
// becomes U+FFFD, and a name that is not UTF-8 has its bytes in hexadecimal beside it:
// "input_bytes": "626f6f6bff2e706466" (and "output_bytes" for a written output), present only then.

#include <string>

#include "engine/batch/batch_front_end.h"

namespace pagewash {

// The object above on one line, without a line end.
std::string jsonReport(const FileReport& report);

}  // namespace pagewash
