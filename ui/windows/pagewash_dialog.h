#pragma once
// The program's only window on Windows, made by the dialog manager from the shared layout table: the
// file list, the correction settings, the progress box and the bleach button, with the rules of
// ui/common/dialog_rules.h. Pressing the button starts one batch run on a thread of its own, which
// reaches the dialog only through posted messages (dialog_front_end.h).
//
// Threads: every member function runs on the thread that made the window.
// Lifetime: a run never outlives the dialog: closing is refused while a run is under way, and the
// destructor waits for a run that is still going.

#include <memory>
#include <string>
#include <vector>

#include "platform/windows/win32_sdk.h"
#include "settings/dialog_values.h"
#include "ui/common/dialog_run.h"
#include "ui/windows/dialog_exchange.h"
#include "ui/windows/dialog_resource.h"
#include "ui/windows/file_open_dialog.h"

namespace pagewash::win32 {

class DialogFrontEnd;
class PreviewWindow;

class PagewashDialog {
  public:
    PagewashDialog();
    ~PagewashDialog();
    PagewashDialog(const PagewashDialog&) = delete;
    PagewashDialog& operator=(const PagewashDialog&) = delete;

    // The program: shows the dialog modally until the user closes it.
    void runModal();
    // Tests: makes the window without a modal loop of its own; the caller's loop passes messages
    // through IsDialogMessageW. nullptr when the window cannot be made.
    HWND createModeless();

    HWND window() const { return m_window; }
    bool isRunning() const { return m_run.active(); }
    // Runs that have ended and been joined since the dialog was made.
    int finishedRuns() const { return m_finishedRuns; }
    const DialogValues& values() const { return m_values; }
    void setFileChooser(FileChooser chooser) { m_fileChooser = std::move(chooser); }
    // Opens the preview window (one per dialog) on file line `line` with the settings the controls show.
    void openPreview(int line);
    // nullptr until the first preview.
    PreviewWindow* previewWindow() const { return m_preview.get(); }

  private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK fileListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self);
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void handleCommand(int id, int code);

    void initDialog();
    void handleDroppedFiles(HDROP drop);
    void handleListDoubleClick();
    void handleBleachClick();
    void handleValueBoxChange();
    void handleSliderMove(int sliderId);
    void handleColorModeClick();
    void handleGrayModeClick();
    void handleClose();
    void finishRun();

    bool readExchange();
    void writeExchange();
    void appendIfListable(const std::wstring& name);
    std::vector<std::string> listedPaths() const;
    void enableControl(int id, bool enabled);
    void setProgressText(const std::string& text);
    void showErrorBox(const std::string& text);
    void emptyFileList();
    // The list's own keys and menu: Space and the right button's "プレビュー" open the preview.
    bool handleFileListInput(UINT message, WPARAM wParam, LPARAM lParam);
    // The settings the controls show, read without changing the dialog's values.
    CorrectionSettings shownSettings() const;
    void followSettingsInPreview();

    DialogResource m_resource;
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;
    HWND m_window = nullptr;
    bool m_modal = false;
    FileChooser m_fileChooser = chooseFilesToOpen;
    DialogExchange m_exchange;
    DialogValues m_values;

    std::unique_ptr<DialogFrontEnd> m_frontEnd;
    DialogRun m_run;
    std::vector<std::string> m_refusedFiles;
    int m_finishedRuns = 0;
    std::unique_ptr<PreviewWindow> m_preview;
};

}  // namespace pagewash::win32
