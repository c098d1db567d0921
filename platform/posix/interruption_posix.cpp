#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/interruption.h"

namespace pagewash::platform {

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The write end of the pipe that hands a caught signal to the cleanup thread. Written only by the
// handler, after the thread exists.
int g_signalPipe = -1;

// A signal handler may do little: it passes the number on. SIGPIPE arrives on the thread whose write
// failed, which is why the handlers pass every signal to one thread rather than that thread waiting for
// blocked signals (sigwait never sees a signal meant for another thread).
extern "C" void passSignalOn(int number) {
    const int saved = errno;
    noteInterruption();
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe, &byte, 1);
    errno = saved;
}

void waitForSignal(int readEnd) {
    unsigned char number = 0;
    while (::read(readEnd, &number, 1) != 1) {
        if (errno != EINTR) return;  // cannot happen while the write end is open: no cleanup then
    }
    cleanUpAndEnd(128 + number);
}

// At exit: a normal end racing a cleanup under way (the main thread returning while the cleanup thread
// removes the files) waits for the cleanup, which ends the process with the signal's status.
void waitForCleanupUnderWay() {
    if (!interruptionUnderWay()) return;
    for (;;) ::pause();
}

}  // namespace

void endOnInterruption() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    try {
        std::thread(waitForSignal, ends[0]).detach();
    } catch (const std::system_error&) {
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    g_signalPipe = ends[1];
    std::atexit(waitForCleanupUnderWay);
    struct sigaction action {};
    action.sa_handler = passSignalOn;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals) {
        struct sigaction previous {};
        // A signal ignored by whoever started the program (nohup's SIGHUP) stays ignored.
        if (::sigaction(number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        ::sigaction(number, &action, nullptr);
    }
}

}  // namespace pagewash::platform
