#pragma once
// What the system knows of its fonts, for the native dialog's choice of face. Windows only; thread-safe.

#include <string>

namespace pagewash::platform {

// Whether a font family of that name is installed.
bool fontFamilyInstalled(const std::wstring& face);

// The face of the system's message font (the one message boxes use); empty when it cannot be read.
std::wstring messageFontFace();

}  // namespace pagewash::platform
