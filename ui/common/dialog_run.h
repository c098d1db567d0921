#pragma once
// The dialog's batch run on a thread of its own: BatchRun with the dialog's worker start pause, what
// ended it by an exception kept as text, then `postEnd`, which hands the end over to the dialog's
// thread (a queued call, a posted message) without touching a window.
//
// Threads: start(), active(), join() and failure() belong to the dialog's thread; ended() may be read
// there while the run's thread still calls into the dialog.
// Lifetime: the destructor waits for the run; a dialog whose front end blocks on its own thread serves
// its events until ended() before it lets the run go.

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/batch/batch_front_end.h"

namespace pagewash {

class DialogRun {
  public:
    DialogRun() = default;
    ~DialogRun();
    DialogRun(const DialogRun&) = delete;
    DialogRun& operator=(const DialogRun&) = delete;

    // Only while not active(). `files` are taken once: files listed later are not part of the run.
    void start(BatchFrontEnd& frontEnd, std::vector<std::string> files, std::function<void()> postEnd);
    bool active() const { return m_thread.joinable(); }
    bool ended() const { return m_ended.load(); }
    // Waits for the run's thread; failure() is then safe to read.
    void join() { m_thread.join(); }
    // What ended the last run by an exception; empty when it ran to its end.
    const std::string& failure() const { return m_failure; }

  private:
    std::thread m_thread;
    std::atomic<bool> m_ended{false};
    std::string m_failure;  // written by the run's thread, guarded by the join
};

}  // namespace pagewash
