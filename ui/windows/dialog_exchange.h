#pragma once
// The two-way exchange of the Win32 dialog: the shared binding table (ui/common/dialog_bindings.h)
// walked over the dialog's controls, found by id.
//
//   radio group  BM_GETCHECK / BM_SETCHECK over the group's buttons (ui/common/dialog_template.h)
//   slider       TBM_GETPOS / TBM_SETPOS; the trackbar limits the position to its range
//   number box   the window text as a signed decimal integer; written only when it differs
//
// While an exchange runs, isExchanging() is true: the dialog ignores the EN_CHANGE notifications that
// the exchange's own writes raise. UI thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows/win32_sdk.h"
#include "settings/dialog_values.h"

namespace pagewash::win32 {

class DialogExchange {
  public:
    // Controls to values. Stops at the first number box whose text is not an integer and returns false
    // with that box's id in `failedControlId`.
    bool read(HWND dialog, DialogValues& values, int* failedControlId = nullptr);

    // Values to controls. Returns the sliders whose position the write changed: a trackbar does not
    // notify a move that its owner makes, so the dialog follows them itself.
    std::vector<int> write(HWND dialog, const DialogValues& values);

    bool isExchanging() const { return m_exchanging; }

  private:
    bool m_exchanging = false;
};

// The text of a number box as a decimal int32 (spaces around it allowed); false when it is not one.
bool parseBoxInteger(const std::wstring& text, std::int32_t& value);

}  // namespace pagewash::win32
