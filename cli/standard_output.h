#pragma once
// The end of what the command line writes to standard output (the --json lines, the preview's line,
// the help). Output that did not arrive (a full disk, a closed pipe) fails the run, since a script
// reading it would otherwise take silence for success.

#include <cstdio>

namespace pagewash {

// Flushes `out`. When that fails, or `out` already failed, or `earlierError` (an errno of a write that
// failed before) is set, prints one line to `err` ("pagewash-cli: standard output cannot be written
// (No space left on device)") and returns `status`, or 1 when `status` is 0; otherwise `status`.
int finishStandardOutput(int status, std::FILE* out, std::FILE* err, int earlierError = 0);

}  // namespace pagewash
