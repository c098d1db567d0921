// The Windows entry: Windows passes the arguments in UTF-16, the command line reads UTF-8. Every argument
// is converted whole, so that a file named in Japanese, in Chinese or with an emoji arrives unchanged
// whatever the console's code page. The console shows the program's UTF-8 output as it is while it runs.

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/windows/wide_strings.h"

// cli/main.cpp's main, renamed for the Windows build.
int pagewashMain(int argc, char** argv);

namespace {

UINT g_consoleCodePage = 0;

void restoreConsoleCodePage() { ::SetConsoleOutputCP(g_consoleCodePage); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int index = 0; index < argc; ++index)
        arguments.push_back(pagewash::platform::windows::toUtf8(argv[index]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    g_consoleCodePage = ::GetConsoleOutputCP();
    if (g_consoleCodePage != 0 && g_consoleCodePage != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreConsoleCodePage);
    return pagewashMain(argc, pointers.data());
}
