#include "tests/win32_dialog/dialog_driver.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "ui/common/control_ids.h"

namespace pagewash::testing {
namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(100);
constexpr int kScansBeforeCancel = 10;
// A message box's text stands in its static with the first of these ids (Windows, then Wine).
constexpr int kMessageBoxTextIds[] = {0xFFFF, 100};

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

struct Search {
    DWORD process;
    HWND ownWindow;
    std::vector<HWND> found;
};

BOOL CALLBACK noteBox(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == search->process && window != search->ownWindow && IsWindowVisible(window) &&
        std::wcscmp(className, L"#32770") == 0)
        search->found.push_back(window);
    return TRUE;
}

}  // namespace

BoxWatcher::BoxWatcher() : m_thread([this] { watch(); }) {}

BoxWatcher::~BoxWatcher() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_thread.join();
}

std::vector<SeenBox> BoxWatcher::takeBoxes() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_boxes, {});
}

void BoxWatcher::watch() {
    // The boxes being closed, with the scans they have outlived: a box that OK does not close (the file
    // dialog) gets Cancel, then a close.
    std::map<HWND, int> closing;
    for (;;) {
        std::this_thread::sleep_for(kWatchInterval);
        std::lock_guard lock(m_mutex);
        if (m_stop) return;
        Search search{GetCurrentProcessId(), m_ownWindow, {}};
        EnumWindows(noteBox, reinterpret_cast<LPARAM>(&search));
        std::erase_if(closing, [&](const auto& entry) {
            return std::find(search.found.begin(), search.found.end(), entry.first) == search.found.end();
        });
        for (HWND box : search.found) {
            if (auto seen = closing.find(box); seen != closing.end()) {
                ++seen->second;
                if (seen->second == kScansBeforeCancel) PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
                if (seen->second == 2 * kScansBeforeCancel) PostMessageW(box, WM_CLOSE, 0, 0);
                continue;
            }
            std::wstring text;
            for (int id : kMessageBoxTextIds) {
                if (HWND textControl = GetDlgItem(box, id); textControl != nullptr && text.empty())
                    text = windowText(textControl);
            }
            m_boxes.push_back({windowText(box), text});
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            closing[box] = 0;
        }
    }
}

DialogDriver::DialogDriver() {
    // The file dialog is a COM object of this thread.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
    m_dialog = std::make_unique<win32::PagewashDialog>();
    const HWND window = m_dialog->createModeless();
    m_watcher.ignore(window);
    ShowWindow(window, SW_SHOW);
    pump();
}

DialogDriver::~DialogDriver() {
    pump();
    m_dialog.reset();
    CoUninitialize();
}

std::wstring DialogDriver::text(int id) const { return windowText(control(id)); }

std::vector<std::wstring> DialogDriver::listLines() const {
    const HWND list = control(control::kFileList);
    std::vector<std::wstring> lines;
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int line = 0; line < count; ++line) {
        std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, line, 0)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            SendMessageW(list, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text.data()))));
        lines.push_back(text);
    }
    return lines;
}

void DialogDriver::drop(const std::vector<std::wstring>& names) {
    std::size_t characters = 1;
    for (const std::wstring& name : names) characters += name.size() + 1;
    const HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + characters * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& name : names) {
        std::memcpy(out, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
        out += name.size() + 1;
    }
    GlobalUnlock(memory);
    // The receiver frees the drop (DragFinish).
    SendMessageW(control(control::kFileList), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

void DialogDriver::doubleClickLine(int line) {
    const HWND list = control(control::kFileList);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    SendMessageW(m_dialog->window(), WM_COMMAND, MAKEWPARAM(control::kFileList, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
}

void DialogDriver::click(int buttonId) { SendMessageW(control(buttonId), BM_CLICK, 0, 0); }

void DialogDriver::moveSlider(int sliderId, int position) {
    const HWND slider = control(sliderId);
    SendMessageW(slider, TBM_SETPOS, TRUE, position);
    SendMessageW(m_dialog->window(), WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(slider));
    SendMessageW(m_dialog->window(), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                 reinterpret_cast<LPARAM>(slider));
    pump();
}

int DialogDriver::sliderPosition(int sliderId) const {
    return static_cast<int>(SendMessageW(control(sliderId), TBM_GETPOS, 0, 0));
}

void DialogDriver::pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageW(m_dialog->window(), &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

bool DialogDriver::pumpUntil(const std::function<bool()>& done, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        pump();
    }
    return true;
}

}  // namespace pagewash::testing
