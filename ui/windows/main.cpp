// pagewash.exe: registers the common controls, shows the dialog modally and ends when it ends. Files
// named on the command line (a PDF dropped on the program's icon) are not looked at.

#include "platform/windows/win32_sdk.h"
#include "ui/windows/pagewash_dialog.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
    // The file-open dialog is a COM object of this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    {
        pagewash::win32::PagewashDialog dialog;
        dialog.runModal();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}
