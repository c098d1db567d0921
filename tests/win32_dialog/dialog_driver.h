#pragma once
// Drives the real Win32 dialog as its user would, with window messages, and keeps every message box
// from blocking a test: a watcher thread closes each box it finds and records its caption and text.

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/windows/pagewash_dialog.h"

namespace pagewash::testing {

struct SeenBox {
    std::wstring caption;
    std::wstring text;
};

// Closes every message box of this process (any dialog window but `ownWindow`) a moment after it
// appeared, and records it.
class BoxWatcher {
  public:
    BoxWatcher();
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;
    void ignore(HWND ownWindow) { m_ownWindow = ownWindow; }
    // The boxes closed since the last call.
    std::vector<SeenBox> takeBoxes();

  private:
    void watch();
    std::mutex m_mutex;
    std::vector<SeenBox> m_boxes;
    HWND m_ownWindow = nullptr;
    bool m_stop = false;
    std::thread m_thread;
};

class DialogDriver {
  public:
    DialogDriver();
    ~DialogDriver();

    win32::PagewashDialog& dialog() { return *m_dialog; }
    HWND control(int id) const { return GetDlgItem(m_dialog->window(), id); }
    std::wstring text(int id) const;
    bool enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
    std::vector<std::wstring> listLines() const;

    // The names as Explorer delivers them: an HDROP sent to the list.
    void drop(const std::vector<std::wstring>& names);
    void doubleClickLine(int line);
    void click(int buttonId);
    // Moves a trackbar as the user does: the new position, then its WM_HSCROLL.
    void moveSlider(int sliderId, int position);
    int sliderPosition(int sliderId) const;

    // Serves the dialog's messages until `done` holds; false after `seconds`.
    bool pumpUntil(const std::function<bool()>& done, int seconds = 20);
    // Serves the messages that are waiting.
    void pump();

    BoxWatcher& boxes() { return m_watcher; }

  private:
    BoxWatcher m_watcher;
    std::unique_ptr<win32::PagewashDialog> m_dialog;
};

}  // namespace pagewash::testing
