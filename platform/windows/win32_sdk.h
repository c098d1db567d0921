#pragma once
// The one way code above the platform library reaches the Windows SDK: the native dialog builds on
// Win32's window manager, common controls and shell dialogs as the Qt dialog builds on Qt. Every file
// that includes it sees the SDK with the same settings: UTF-16 ("W") functions, no min and max macros,
// the lean windows.h. Windows only.

#ifndef _WIN32
#error "the Windows SDK exists on Windows only"
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// windows.h first: the others need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>
// clang-format on
