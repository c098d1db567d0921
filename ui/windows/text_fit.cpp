#include "ui/windows/text_fit.h"

#include <string>
#include <vector>

#include "platform/windows/wide_strings.h"
#include "ui/common/dialog_template.h"
#include "ui/common/text_fit_rule.h"

namespace pagewash::win32 {
namespace {

// Between a radio button's circle and its text.
constexpr int kRadioTextGap = 4;

int textWidth(HWND control, const std::wstring& text) {
    HDC context = GetDC(control);
    const HGDIOBJ previous =
        SelectObject(context, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(context, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(context, previous);
    ReleaseDC(control, context);
    return size.cx;
}

// The width that shows the whole text: a radio button's circle, gap and text; a static's text without
// its mnemonic marker. 0 for the other controls.
int widthForWholeText(const ControlTemplate& entry, HWND control) {
    std::wstring text = platform::windows::toWide(entry.text);
    if (entry.kind == ControlKind::RadioButton)
        return GetSystemMetrics(SM_CXMENUCHECK) + kRadioTextGap + textWidth(control, text) + 1;
    if (entry.kind == ControlKind::Static) {
        std::erase(text, L'&');
        return textWidth(control, text) + 1;
    }
    return 0;
}

}  // namespace

void widenTextControlsIntoFreeSpace(HWND dialog) {
    std::vector<HWND> windows;
    std::vector<PlacedControl> placed;
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ControlTemplate& entry : mainDialogTemplate()) {
        // The children stand in template order; the id-less statics are found only that way.
        if (child == nullptr) return;
        RECT area = {};
        GetWindowRect(child, &area);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
        windows.push_back(child);
        placed.push_back({area.left, area.top, area.right - area.left, area.bottom - area.top,
                          widthForWholeText(entry, child), entry.kind == ControlKind::GroupBox});
        child = GetWindow(child, GW_HWNDNEXT);
    }
    RECT client = {};
    GetClientRect(dialog, &client);
    const std::vector<int> widths = widthsForWholeTexts(placed, client.right);
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (widths[i] != placed[i].width)
            SetWindowPos(windows[i], nullptr, 0, 0, widths[i], placed[i].height, SWP_NOMOVE | SWP_NOZORDER);
    }
}

}  // namespace pagewash::win32
