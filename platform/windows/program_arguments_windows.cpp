#include <windows.h>

#include <cstdlib>

#include "platform/program_arguments.h"
#include "platform/windows/wide_strings.h"

namespace pagewash::platform {

namespace {

UINT g_consoleCodePage = 0;  // the code page to give back at exit

void restoreConsoleCodePage() { ::SetConsoleOutputCP(g_consoleCodePage); }

}  // namespace

std::vector<std::string> argumentsInUtf8(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int index = 0; index < argc; ++index) arguments.push_back(windows::toUtf8(argv[index]));
    return arguments;
}

void showUtf8OnConsole() {
    g_consoleCodePage = ::GetConsoleOutputCP();
    if (g_consoleCodePage != 0 && g_consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreConsoleCodePage);
}

}  // namespace pagewash::platform
