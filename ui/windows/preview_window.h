#pragma once
// The Win32 preview window: one image of one listed PDF before and after the bleach, side by side, drawn
// with StretchDIBits, with previous / next, fit-to-window and 1 : 1 (scrolled), and the image's size in
// bytes before and after. The work is ui/common/preview_worker.h's; each change of the settings bleaches
// the image again in the background and the newest settings win. Not modal; closing only hides it.
//
// Threads: every member function on the thread that made the window; the worker hands a result over
// through a slot guarded by a mutex and a posted message.
// Lifetime: owned by the dialog; the worker is stopped before the window goes.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/win32_sdk.h"
#include "settings/correction_settings.h"
#include "ui/common/preview_navigation.h"
#include "ui/common/preview_worker.h"

namespace pagewash::win32 {

class PreviewWindow {
  public:
    explicit PreviewWindow(HWND owner);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Shows image 1 of `path` (UTF-8) with `settings`, reading the file again, and brings the window up.
    void showFile(const std::string& path, const CorrectionSettings& settings);
    // Bleaches the image shown again with `settings` (nothing when they are the ones shown).
    void setSettings(const CorrectionSettings& settings);
    void showPrevious();
    void showNext();

    HWND window() const { return m_window; }
    bool isVisible() const { return IsWindowVisible(m_window) != FALSE; }
    // ---- what is shown, for tests
    const CorrectionSettings& settings() const { return m_navigation.settings(); }
    bool isComputing() const { return m_navigation.isComputing(); }
    int imageIndex() const { return m_navigation.index(); }
    int imageCount() const { return m_navigation.count(); }
    std::wstring imageText() const;
    std::wstring sizeText() const;
    std::wstring stateText() const;

  private:
    // An image as a top-down 32-bit DIB.
    struct Picture {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    void layOut();
    void paint();
    void scroll(int bar, int request, int wheelDelta = 0);
    void updateScrollBars();
    void requestPreview(const PreviewRequest& request);
    void showResult(PreviewResult result);
    RECT paneRect(int pane) const;

    HWND m_window = nullptr;
    HFONT m_font = nullptr;
    HWND m_previousButton = nullptr;
    HWND m_nextButton = nullptr;
    HWND m_fitButton = nullptr;
    HWND m_actualButton = nullptr;
    HWND m_imageLabel = nullptr;
    HWND m_sizeLabel = nullptr;
    HWND m_stateLabel = nullptr;
    HWND m_beforeCaption = nullptr;
    HWND m_afterCaption = nullptr;
    int m_rowHeight = 0;

    PreviewNavigation m_navigation;
    std::shared_ptr<const DecodedImage> m_beforeSource;  // what m_before was made from
    Picture m_before;
    Picture m_after;
    bool m_actualSize = false;
    int m_scrollX = 0;
    int m_scrollY = 0;

    std::mutex m_deliveredMutex;
    std::optional<PreviewResult> m_delivered;  // guarded by m_deliveredMutex
    std::unique_ptr<PreviewWorker> m_worker;   // reset first in the destructor
};

}  // namespace pagewash::win32
