#pragma once
// The terminal a stream may be. Reentrant.

#include <cstdio>

namespace pagewash::platform {

// True when `stream` is a terminal (a console on Windows), where a progress line may be redrawn.
bool isTerminal(std::FILE* stream);

}  // namespace pagewash::platform
