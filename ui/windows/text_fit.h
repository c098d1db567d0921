#pragma once
// The Win32 dialog's statics and radio buttons grow into free space when the dialog font makes their
// texts wider than the layout drew them (ui/common/text_fit_rule.h), measured in the font they show.

#include "platform/windows/win32_sdk.h"

namespace pagewash::win32 {

// `dialog`: the dialog made from the shared layout table, every control in place.
void widenTextControlsIntoFreeSpace(HWND dialog);

}  // namespace pagewash::win32
