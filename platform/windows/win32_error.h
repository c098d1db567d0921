#pragma once
// The error of a failed Win32 call as the errno value the POSIX half gives for the same failure, so that
// the messages and retryCannotHelp stay those of Linux; a code without an equivalent stays a Win32 code.
// Windows-only.

#include <system_error>

namespace pagewash::platform::windows {

std::error_code lastWin32Error();
std::error_code win32Error(unsigned long code);

}  // namespace pagewash::platform::windows
