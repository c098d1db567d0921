#pragma once
// The options of pagewash-cli, read with CLI11. A usage error (an unknown option, a value out of range,
// no file) is found before any file is touched.

#include <optional>
#include <string>
#include <vector>

#include "settings/correction_settings.h"

namespace pagewash {

struct CommandLine {
    CorrectionSettings settings;  // the dialog's defaults unless an option says otherwise
    int jobs = 0;                 // images decoded at once; 0: the hardware threads
    bool quiet = false;
    std::vector<std::string> files;
};

// Reads the arguments. Returns the options to run with, or, when the program is to end at once, sets
// `exitStatus`: 0 after --help or --version (printed on standard output), 2 after a usage error (one
// line on standard error).
std::optional<CommandLine> parseCommandLine(int argc, const char* const* argv, int& exitStatus);

}  // namespace pagewash
