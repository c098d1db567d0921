#include <windows.h>

#include <cstdlib>

#include "platform/interruption.h"
#include "platform/windows/console_code_page.h"

namespace pagewash::platform {

namespace {

// The statuses a POSIX shell reports for the matching signals: Ctrl-C and Ctrl-Break as SIGINT (130), a
// closed console as SIGHUP (129), a log-off or shut-down as SIGTERM (143).
int exitStatusOf(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return 128 + 2;
        case CTRL_CLOSE_EVENT:
            return 128 + 1;
        default:
            return 128 + 15;
    }
}

// Windows runs the handler on a thread of its own, where the cleanup may run at once.
BOOL WINAPI endOnConsoleEvent(DWORD event) {
    noteInterruption();
    windows::restoreConsoleCodePage();  // no exit handler runs after the cleanup
    cleanUpAndEnd(exitStatusOf(event));
}

// At exit: a normal end racing a cleanup under way waits for the cleanup, which ends the process.
void waitForCleanupUnderWay() {
    if (!interruptionUnderWay()) return;
    for (;;) ::Sleep(INFINITE);
}

}  // namespace

void endOnInterruption() {
    if (!::SetConsoleCtrlHandler(endOnConsoleEvent, TRUE)) return;
    std::atexit(waitForCleanupUnderWay);
}

}  // namespace pagewash::platform
