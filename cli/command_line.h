#pragma once
// The options of pagewash-cli, read with CLI11. A usage error (an unknown option, a value out of range,
// a black reference at or above the white one, no file) is found before any file is touched.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/bilevel_despeckle.h"
#include "settings/correction_settings.h"

namespace pagewash {

struct CommandLine {
    CorrectionSettings settings;        // the dialog's defaults unless an option says otherwise
    int jobs = 0;                       // images decoded at once; 0: the hardware threads
    std::uint64_t memoryLimit = 0;      // bytes for the images decoded at once; 0: half the physical memory
    bool optimize = false;              // optimized Huffman tables
    bool progressive = false;           // progressive JPEG
    bool anyJpeg = false;               // also the JPEG images without JFIF
    bool keepSmaller = false;           // no image made larger
    bool keepColorPages = false;        // images with real colour stay in colour in the gray modes
    bool bilevel = false;               // text pages as 1-bit Group 4 images
    int despeckle = kDefaultDespeckle;  // with bilevel: specks of at most this many pixels removed
    bool mrc = false;                   // text over other content as a text mask over a small background
    bool json = false;                  // one JSON object per file on standard output
    bool quiet = false;
    std::vector<std::string> files;
    // --preview N: write a PNG of image N (1-based) of the one file instead of bleaching; 0: no preview.
    int preview = 0;
    std::string previewOut;   // empty: FILE less its last four characters + "_preview_N.png"
    bool sideBySide = false;  // the original on the left, the result on the right
    // --check-options (not in the help; for scripts such as bleach-library.sh): the options are read and
    // checked, no FILE is needed and nothing is done.
    bool checkOnly = false;
};

// Reads the arguments. Returns the options to run with, or, when the program is to end at once, sets
// `exitStatus`: 0 after --help or --version (printed on standard output), 2 after a usage error (one
// line on standard error).
std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, int& exitStatus);

// "800M", "2g", "1500000": a byte count, the suffixes K, M, G, T (either case) meaning powers of 1000;
// nothing for anything else, 0 or an overflow.
std::optional<std::uint64_t> parseByteSize(const std::string& text);

}  // namespace pagewash
