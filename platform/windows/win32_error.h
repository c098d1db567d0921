#pragma once
// The error of a failed Win32 call as the errno value (std::generic_category) the POSIX half gives for
// the same failure, so that the messages stay those of Linux; a code without an equivalent stays a Win32
// code in std::system_category, which on Windows names Win32 codes.
// Windows-only.

#include <system_error>

namespace pagewash::platform::windows {

std::error_code lastWin32Error();
std::error_code win32Error(unsigned long code);

}  // namespace pagewash::platform::windows
