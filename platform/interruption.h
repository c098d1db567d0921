#pragma once
// What an interrupted program leaves behind: nothing. The temporary files and folders a run makes are
// registered here while they exist; once endOnInterruption() is set up, SIGINT, SIGTERM, SIGHUP and
// SIGPIPE (Ctrl-C and a closed console on Windows) remove every registered path and end the process with
// 128 + the signal's number. A program that never sets it up (the dialog) only keeps the list.
//
// Thread-safety: every function may be called from any thread. A path is created and registered, or
// renamed and unregistered, under one CleanupHold, so that the cleanup finds each path either registered
// or not there: a cleanup that has begun makes every later CleanupHold wait until the process ends.

#include <cstdint>
#include <mutex>
#include <string>

namespace pagewash::platform {

// Keeps the cleanup from beginning while it lives. Holds may nest on one thread. Once an interruption has
// been caught, a new hold never returns: nothing is created or renamed into place any more (an earlier
// output stays as it was), and the cleanup ends the process.
class CleanupHold {
  public:
    CleanupHold();
    ~CleanupHold();
    CleanupHold(const CleanupHold&) = delete;
    CleanupHold& operator=(const CleanupHold&) = delete;

  private:
    std::unique_lock<std::recursive_mutex> m_lock;
};

// One registered path, removed on interruption while this object lives; unregistered when it dies.
class RemovedOnInterruption {
  public:
    enum class Kind { File, Folder };
    RemovedOnInterruption() = default;
    // Registers `path`. Create it under `hold` (the hold is what makes the two one step).
    RemovedOnInterruption(const CleanupHold& hold, const std::string& path, Kind kind);
    RemovedOnInterruption(RemovedOnInterruption&& other) noexcept;
    RemovedOnInterruption& operator=(RemovedOnInterruption&& other) noexcept;
    ~RemovedOnInterruption();

    // Unregisters now (after the path was renamed into place or removed).
    void release() noexcept;

  private:
    std::uint64_t m_id = 0;  // 0: nothing registered
};

// Installs the handling of the four signals and the thread that cleans up after them. Call once, early in
// main, before any other thread starts. Never returns an error: without it the program runs as before.
void endOnInterruption();

// The system half's handler tells the interruption here (async-signal-safe); from then on an interruption
// is under way.
void noteInterruption() noexcept;
bool interruptionUnderWay() noexcept;

// Removes every registered path and ends the process with `exitStatus`, without running destructors or
// flushing streams (other threads still run). Called by the interruption's thread; never returns.
[[noreturn]] void cleanUpAndEnd(int exitStatus);

}  // namespace pagewash::platform
