#pragma once
// The lines the command line shows a user for a finished file: the size report of a written file and
// the line of a file passed over. Pure functions of the report.

#include <cstdint>
#include <string>

#include "engine/batch/batch_front_end.h"

namespace pagewash {

// "book.pdf → book_edit.pdf: 20.4 MB → 5.1 MB (−75 %), 20 of 20 images bleached", followed by what was
// left as it is and why ("; left as they are: 2 larger, 1 CMYK or other"), the images kept in colour
// and the JPEG images without JFIF that were not taken up. REQUIRES: report.outcome == Written.
std::string sizeReportLine(const FileReport& report);

// "book.pdf: not a PDF; nothing written", "book.pdf: no JPEG image found; nothing written", or, when
// the file has JPEG images without JFIF only, "book.pdf: no JFIF JPEG image; 81 other JPEG images left
// as they are (--any-jpeg bleaches them); nothing written". REQUIRES: NotPdf or NoJpeg.
std::string passedOverLine(const FileReport& report);

// "book.pdf: no JFIF JPEG image; 81 other JPEG images left as they are (--any-jpeg bleaches them)": a file
// whose JPEG images all lack JFIF, without --any-jpeg. REQUIRES: otherJpegs > 0.
std::string noJfifJpegLine(const std::string& path, int otherJpegs);

}  // namespace pagewash
