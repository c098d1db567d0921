#include "ui/windows/dialog_font.h"

#include "platform/windows/system_fonts.h"

namespace pagewash::win32 {

std::wstring dialogFontFace() {
    for (const wchar_t* face : {L"Yu Gothic UI", L"Meiryo UI"}) {
        if (platform::fontFamilyInstalled(face)) return face;
    }
    const std::wstring message = platform::messageFontFace();
    return message.empty() ? L"MS Shell Dlg 2" : message;
}

}  // namespace pagewash::win32
