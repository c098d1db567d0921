#pragma once
// The two-way exchange between the dialog's controls and its DialogValues: one binding table walked
// in a fixed order, with three kinds of binding.
//
//   radio group  the zero-based position of the checked button in its group (-1: none checked);
//                writing checks the button at that position and unchecks the others
//   slider       the thumb position; writing moves the thumb, limited to the slider's range
//   number box   the box text as a signed decimal integer; writing shows the value as decimal text
//                and leaves the box alone when it already shows exactly that text
//
// While an exchange runs, isExchanging() is true: the dialog ignores the change notifications that
// the exchange's own writes raise. UI thread only.

#include "settings/dialog_values.h"
#include "ui/common/dialog_bindings.h"
#include "ui/control_table.h"

namespace pagewash {

class DialogExchange {
  public:
    // Controls to values, binding by binding. Stops at the first number box whose text is not an
    // integer and returns false with that box's id in `failedControlId` (the values of the earlier
    // bindings are already taken).
    bool read(const ControlTable& controls, DialogValues& values, int* failedControlId = nullptr);

    // Values to controls.
    void write(const ControlTable& controls, const DialogValues& values);

    bool isExchanging() const { return m_exchanging; }

  private:
    bool m_exchanging = false;
};

}  // namespace pagewash
