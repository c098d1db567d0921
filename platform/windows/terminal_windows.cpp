#include <io.h>
#include <windows.h>

#include "platform/terminal.h"

namespace pagewash::platform {

// A console answers GetConsoleMode; a file, a pipe and a MSYS terminal (a pipe too) do not.
bool isTerminal(std::FILE* stream) {
    const int descriptor = ::_fileno(stream);
    if (descriptor < 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != 0;
}

}  // namespace pagewash::platform
