#include "ui/windows/pagewash_dialog.h"

#include <algorithm>

#include "engine/batch/batch_messages.h"
#include "platform/windows/wide_strings.h"
#include "platform/windows/win32_sdk.h"
#include "ui/common/control_ids.h"
#include "ui/common/dialog_bindings.h"
#include "ui/common/dialog_rules.h"
#include "ui/common/dialog_run.h"
#include "ui/common/dialog_template.h"
#include "ui/windows/dialog_font.h"
#include "ui/windows/dialog_front_end.h"
#include "ui/windows/preview_window.h"
#include "ui/windows/resource_ids.h"
#include "ui/windows/run_events.h"
#include "ui/windows/text_fit.h"

namespace pagewash::win32 {
namespace {

namespace c = control;
using platform::windows::toUtf8;
using platform::windows::toWide;

constexpr UINT_PTR kFileListSubclass = 1;
constexpr int kReferencePageSize = 20;
constexpr int kListTextPadding = 8;  // pixels right of a list line's text
constexpr int kReferenceTickSpacing = 10;
// The longest name a drop gives, with its terminating zero.
constexpr UINT kDropNameBuffer = kMaxDroppedNameLength + 1;

bool contains(std::span<const int> ids, int id) { return std::find(ids.begin(), ids.end(), id) != ids.end(); }

HICON loadIcon(int size) {
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kWindowIconId), IMAGE_ICON, size, size, 0));
}

}  // namespace

PagewashDialog::PagewashDialog()
    : m_resource(dialogFontFace()),
      m_icon(loadIcon(GetSystemMetrics(SM_CXICON))),
      m_smallIcon(loadIcon(GetSystemMetrics(SM_CXSMICON))) {}

PagewashDialog::~PagewashDialog() {
    if (m_run.active()) {
        // The run still asks the window for settings and error boxes: serve them until it ends.
        MSG message;
        while (!m_run.ended() && GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        m_run.join();
    }
    if (m_window != nullptr && !m_modal) DestroyWindow(m_window);
    if (m_icon != nullptr) DestroyIcon(m_icon);
    if (m_smallIcon != nullptr) DestroyIcon(m_smallIcon);
}

void PagewashDialog::runModal() {
    m_modal = true;
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), m_resource.get(), nullptr, dialogProc,
                            reinterpret_cast<LPARAM>(this));
}

HWND PagewashDialog::createModeless() {
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), m_resource.get(), nullptr, dialogProc,
                                      reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK PagewashDialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<PagewashDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_window = window;
    }
    auto* self = reinterpret_cast<PagewashDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return self == nullptr ? FALSE : self->handleMessage(message, wParam, lParam);
}

// Drops reach the list itself (only the list accepts files); it hands them to the dialog.
LRESULT CALLBACK PagewashDialog::fileListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                              DWORD_PTR self) {
    if (message == WM_DROPFILES) {
        reinterpret_cast<PagewashDialog*>(self)->handleDroppedFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    }
    if (reinterpret_cast<PagewashDialog*>(self)->handleFileListInput(message, wParam, lParam)) return 0;
    if (message == WM_NCDESTROY) RemoveWindowSubclass(list, fileListProc, kFileListSubclass);
    return DefSubclassProc(list, message, wParam, lParam);
}

INT_PTR PagewashDialog::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            initDialog();
            return FALSE;  // the focus is set
        case WM_COMMAND:
            handleCommand(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_HSCROLL:
            if (lParam != 0) handleSliderMove(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            return TRUE;
        case WM_CLOSE:
            handleClose();
            return TRUE;
        case WM_DESTROY:
            m_preview.reset();
            emptyFileList();
            return FALSE;
        case WM_NCDESTROY:
            m_window = nullptr;
            return FALSE;
        case kSliderMoved:
            handleSliderMove(static_cast<int>(wParam));
            return TRUE;
        case kRunStarted:
            for (int id : controlsLockedByRun()) enableControl(id, false);
            return TRUE;
        case kFileStarted:
            setProgressText(progressText(static_cast<int>(wParam), static_cast<int>(lParam)));
            return TRUE;
        case kFileRefused: {
            std::unique_ptr<RefusedFile> refused(reinterpret_cast<RefusedFile*>(lParam));
            m_refusedFiles.push_back(refused->reason.empty() ? refused->path : refused->reason);
            return TRUE;
        }
        case kRunEnded:
            for (int id : controlsUnlockedAfterRun(m_values)) enableControl(id, true);
            setProgressText({});
            return TRUE;
        case kSettingsWanted:
            reinterpret_cast<std::promise<CorrectionSettings>*>(lParam)->set_value(takeSettings(m_values));
            return TRUE;
        case kErrorBoxWanted: {
            auto* request = reinterpret_cast<ErrorBoxRequest*>(lParam);
            showErrorBox(request->text);
            request->closed.set_value();
            return TRUE;
        }
        case kRunThreadEnded:
            finishRun();
            return TRUE;
        default:
            return FALSE;
    }
}

void PagewashDialog::handleCommand(int id, int code) {
    if (id == IDCANCEL) {
        handleClose();
    } else if (id == c::kBleachButton || id == IDOK) {
        if (code == BN_CLICKED) handleBleachClick();
    } else if (id == c::kFileList) {
        if (code == LBN_DBLCLK) handleListDoubleClick();
    } else if (code == EN_CHANGE) {
        const std::span<const Binding> bindings = dialogBindings();
        const bool isBox = std::any_of(bindings.begin(), bindings.end(), [id](const Binding& binding) {
            return binding.controlId == id && binding.kind == BindingKind::NumberBox;
        });
        if (isBox && !m_exchange.isExchanging()) handleValueBoxChange();
    } else if (code == BN_CLICKED) {
        if (contains(c::kColorModeRadios, id)) handleColorModeClick();
        if (contains(c::kGrayModeRadios, id)) handleGrayModeClick();
        followSettingsInPreview();
    }
}

void PagewashDialog::initDialog() {
    m_frontEnd = std::make_unique<DialogFrontEnd>(m_window);
    widenTextControlsIntoFreeSpace(m_window);
    for (const ControlTemplate& entry : mainDialogTemplate()) {
        if (entry.kind != ControlKind::Slider) continue;
        const HWND slider = GetDlgItem(m_window, entry.id);
        const bool blur = entry.id == c::kBlurStrengthSlider;
        SendMessageW(
            slider, TBM_SETRANGE, FALSE,
            blur ? MAKELPARAM(kBlurStrengthMin, kBlurStrengthMax) : MAKELPARAM(kReferenceMin, kReferenceMax));
        SendMessageW(slider, TBM_SETPAGESIZE, 0, blur ? 1 : kReferencePageSize);
        SendMessageW(slider, TBM_SETTICFREQ, blur ? 1 : kReferenceTickSpacing, 0);
    }
    writeExchange();
    if (m_icon != nullptr) SendMessageW(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    if (m_smallIcon != nullptr)
        SendMessageW(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
    const HWND list = GetDlgItem(m_window, c::kFileList);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(toWide(kHintItemText).c_str()));
    SetWindowSubclass(list, fileListProc, kFileListSubclass, reinterpret_cast<DWORD_PTR>(this));
    DragAcceptFiles(list, TRUE);
    SendMessageW(m_window, DM_SETDEFID, c::kBleachButton, 0);
    SetFocus(list);
}

bool PagewashDialog::readExchange() {
    int failedControlId = 0;
    if (m_exchange.read(m_window, m_values, &failedControlId)) return true;
    MessageBoxW(m_window, toWide(kNotAnIntegerText).c_str(), toWide(kDialogTitle).c_str(),
                MB_OK | MB_ICONWARNING);
    SetFocus(GetDlgItem(m_window, failedControlId));
    return false;
}

void PagewashDialog::writeExchange() {
    // A trackbar reports only the user's moves: the moves of an exchange are followed as the user's are.
    for (int sliderId : m_exchange.write(m_window, m_values))
        PostMessageW(m_window, kSliderMoved, static_cast<WPARAM>(sliderId), 0);
}

void PagewashDialog::appendIfListable(const std::wstring& name) {
    if (!isListableName(std::wstring_view(name))) return;
    const HWND list = GetDlgItem(m_window, c::kFileList);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    // A long path can be scrolled to: the list's width for scrolling grows with its widest line.
    HDC context = GetDC(list);
    const HGDIOBJ previous =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(context, name.c_str(), static_cast<int>(name.size()), &size);
    SelectObject(context, previous);
    ReleaseDC(list, context);
    const auto extent = static_cast<LONG>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
    if (size.cx + kListTextPadding > extent)
        SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(size.cx + kListTextPadding), 0);
}

void PagewashDialog::handleDroppedFiles(HDROP drop) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        wchar_t name[kDropNameBuffer] = {};
        // A longer name is cut to the buffer, as the drop delivers it.
        if (DragQueryFileW(drop, i, name, kDropNameBuffer) > 0) appendIfListable(name);
    }
    DragFinish(drop);
}

void PagewashDialog::handleListDoubleClick() {
    const HWND list = GetDlgItem(m_window, c::kFileList);
    const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected == 0) {
        for (const std::wstring& path : m_fileChooser(m_window)) appendIfListable(path);
    } else if (selected > 0) {
        SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    }
}

void PagewashDialog::handleBleachClick() {
    // A press that arrives before the run has disabled the button starts nothing.
    if (isRunning()) return;
    if (SendDlgItemMessageW(m_window, c::kFileList, LB_GETCOUNT, 0, 0) <= 1) {
        MessageBoxW(m_window, toWide(kEmptyListText).c_str(), toWide(kEmptyListCaption).c_str(), MB_OK);
        return;
    }
    readExchange();
    m_refusedFiles.clear();
    m_run.start(*m_frontEnd, listedPaths(),
                [window = m_window] { PostMessageW(window, kRunThreadEnded, 0, 0); });
}

void PagewashDialog::finishRun() {
    if (!m_run.active()) return;
    m_run.join();
    if (!m_run.failure().empty()) {
        // The run left early: give the controls back as its own end would have.
        for (int id : controlsUnlockedAfterRun(m_values)) enableControl(id, true);
        setProgressText({});
        showErrorBox(m_run.failure());
    }
    if (!m_refusedFiles.empty()) {
        std::string text = kRefusedFilesText;
        for (std::size_t i = 0; i < m_refusedFiles.size(); ++i)
            text += (i > 0 ? "\n" : "") + m_refusedFiles[i];
        m_refusedFiles.clear();
        showErrorBox(text);
    }
    ++m_finishedRuns;
}

void PagewashDialog::handleValueBoxChange() {
    readExchange();
    copyBoxesToSliders(m_values);
    writeExchange();
}

void PagewashDialog::handleSliderMove(int sliderId) {
    readExchange();
    applySliderMove(m_values, sliderId);
    writeExchange();
    followSettingsInPreview();
}

bool PagewashDialog::handleFileListInput(UINT message, WPARAM wParam, LPARAM lParam) {
    const HWND list = GetDlgItem(m_window, c::kFileList);
    if (message == WM_KEYDOWN && wParam == VK_SPACE && GetKeyState(VK_CONTROL) >= 0 &&
        GetKeyState(VK_SHIFT) >= 0) {
        const auto selected = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
        if (selected < 1) return false;
        openPreview(selected);
        return true;
    }
    if (message != WM_CONTEXTMENU) return false;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    int line = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
    if (lParam == -1) {  // from the keyboard: the selected line
        RECT item = {};
        SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(std::max(line, 0)),
                     reinterpret_cast<LPARAM>(&item));
        at = {item.left, item.bottom};
        ClientToScreen(list, &at);
    } else {
        POINT inList = at;
        ScreenToClient(list, &inList);
        const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(inList.x, inList.y));
        line = HIWORD(hit) != 0 ? -1 : LOWORD(hit);
        if (line >= 0) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(line), 0);
    }
    if (line < 1) return true;
    HMENU menu = CreatePopupMenu();
    constexpr UINT kPreviewCommand = 1;
    AppendMenuW(menu, MF_STRING, kPreviewCommand, toWide(kPreviewCommandText).c_str());
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_window, nullptr));
    DestroyMenu(menu);
    if (chosen == kPreviewCommand) openPreview(line);
    return true;
}

void PagewashDialog::openPreview(int line) {
    const std::vector<std::string> paths = listedPaths();
    if (line < 1 || line > static_cast<int>(paths.size())) return;
    if (m_preview == nullptr) m_preview = std::make_unique<PreviewWindow>(m_window);
    m_preview->showFile(paths[static_cast<std::size_t>(line - 1)], shownSettings());
}

CorrectionSettings PagewashDialog::shownSettings() const {
    DialogValues shown = m_values;
    DialogExchange exchange;
    exchange.read(m_window, shown);
    return takeSettings(shown);
}

void PagewashDialog::followSettingsInPreview() {
    if (m_preview != nullptr && m_preview->isVisible()) m_preview->setSettings(shownSettings());
}

void PagewashDialog::handleColorModeClick() {
    readExchange();
    for (const ControlEnabling& change : colorModeEnabling(m_values.colorMode))
        enableControl(change.controlId, change.enabled);
}

void PagewashDialog::handleGrayModeClick() {
    readExchange();
    for (const ControlEnabling& change : grayModeEnabling(m_values.grayMode))
        enableControl(change.controlId, change.enabled);
}

void PagewashDialog::handleClose() {
    // The run uses this dialog until its end: closing waits until then (the user may try again).
    if (isRunning()) {
        MessageBeep(MB_OK);
        return;
    }
    if (m_modal) {
        EndDialog(m_window, IDCANCEL);
    } else {
        DestroyWindow(m_window);
    }
}

std::vector<std::string> PagewashDialog::listedPaths() const {
    const HWND list = GetDlgItem(m_window, c::kFileList);
    const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    std::vector<std::string> paths;
    for (int row = 1; row < count; ++row) {
        std::wstring path(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, row, 0)) + 1, L'\0');
        path.resize(static_cast<std::size_t>(
            SendMessageW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(path.data()))));
        paths.push_back(toUtf8(path));
    }
    return paths;
}

void PagewashDialog::enableControl(int id, bool enabled) { EnableWindow(GetDlgItem(m_window, id), enabled); }

void PagewashDialog::setProgressText(const std::string& text) {
    SetDlgItemTextW(m_window, c::kProgressBox, toWide(text).c_str());
}

void PagewashDialog::showErrorBox(const std::string& text) {
    MessageBoxW(m_window, toWide(text).c_str(), toWide(kErrorCaption).c_str(), MB_OK | MB_ICONERROR);
}

void PagewashDialog::emptyFileList() {
    const HWND list = GetDlgItem(m_window, c::kFileList);
    while (SendMessageW(list, LB_DELETESTRING, 0, 0) != LB_ERR) {
    }
}

}  // namespace pagewash::win32
