#pragma once
// Resource ids of pagewash.exe, shared by the resource script and the code.

#define PAGEWASH_WINDOW_ICON 128

#ifndef RC_INVOKED
namespace pagewash::win32 {
inline constexpr int kWindowIconId = PAGEWASH_WINDOW_ICON;
}
#endif
