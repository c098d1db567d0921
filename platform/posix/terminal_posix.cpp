#include <unistd.h>

#include "platform/terminal.h"

namespace pagewash::platform {

bool isTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

}  // namespace pagewash::platform
