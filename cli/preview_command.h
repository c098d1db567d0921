#pragma once
// pagewash-cli --preview N: a PNG of image N of the one file named, as the bleach will leave it, and one
// line that says so. Writes no PDF and leaves no temporary file.

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/command_line.h"

namespace pagewash {

// Runs the preview that `line` asks for (REQUIRES: line.preview > 0, one file). The line goes to `out`,
// a failure to `err` as one line. Returns the exit status: 0 written; 1 the file cannot be read or has
// no JPEG image, or the image or the PNG fails; 2 N is beyond the file's images.
int runPreview(const CommandLine& line, std::FILE* out, std::FILE* err);

// The input path less its last four characters (as the edited PDF's name) + "_preview_N.png".
std::string previewPngPath(const std::string& inputPath, int imageNumber);

// "1,204,311": decimal with a comma between groups of three digits.
std::string groupedDigits(std::uint64_t value);

}  // namespace pagewash
