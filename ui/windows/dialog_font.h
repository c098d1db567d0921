#pragma once
// The dialog's font: the system's Japanese UI font, so that the dialog looks native on a Japanese
// Windows: "Yu Gothic UI", else "Meiryo UI", else the message font the system names.

#include <string>

namespace pagewash::win32 {

// The face name of the first of those fonts that the system has.
std::wstring dialogFontFace();

}  // namespace pagewash::win32
