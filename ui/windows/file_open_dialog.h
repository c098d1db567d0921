#pragma once
// The file chooser of the list's hint line: the system's file-open dialog (IFileOpenDialog) with the
// dialog's three filters, the PDF filter in force, several files at once.

#include <functional>
#include <string>
#include <vector>

#include "platform/windows/win32_sdk.h"

namespace pagewash::win32 {

// The full paths the user chose, in the dialog's order; empty when cancelled. Needs COM on this thread.
std::vector<std::wstring> chooseFilesToOpen(HWND owner);

// Stands in for the user in tests.
using FileChooser = std::function<std::vector<std::wstring>(HWND owner)>;

}  // namespace pagewash::win32
