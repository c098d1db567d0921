#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "platform/program_arguments.h"
#include "platform/windows/console_code_page.h"
#include "platform/windows/wide_strings.h"

namespace pagewash::platform {

namespace {

std::atomic<UINT> g_consoleCodePage{0};  // the code page to give back, 0 when it was not changed

void restoreAtExit() { windows::restoreConsoleCodePage(); }

}  // namespace

void windows::restoreConsoleCodePage() noexcept {
    const UINT codePage = g_consoleCodePage.exchange(0);
    if (codePage != 0) ::SetConsoleOutputCP(codePage);
}

std::vector<std::string> argumentsInUtf8(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int index = 0; index < argc; ++index) arguments.push_back(windows::toUtf8(argv[index]));
    return arguments;
}

void showUtf8OnConsole() {
    const UINT codePage = ::GetConsoleOutputCP();
    if (codePage == 0 || codePage == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) return;
    g_consoleCodePage = codePage;
    std::atexit(restoreAtExit);
}

}  // namespace pagewash::platform
