#pragma once
// The platform interface speaks UTF-8; Windows names files in UTF-16. Every call converts at the border,
// so that a Japanese name, a Chinese one or an emoji reach the system as they are, whatever the code page.
// Windows-only, included by the Windows half alone.

#include <string>

namespace pagewash::platform::windows {

std::wstring toWide(const std::string& utf8);
std::string toUtf8(const std::wstring& wide);

}  // namespace pagewash::platform::windows
