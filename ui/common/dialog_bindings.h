#pragma once
// The binding table of the dialog's two-way exchange: which control holds which of the DialogValues,
// and in which order the exchange walks them. Every front end exchanges through this one table.
//
//   radio group  the zero-based position of the checked button in its group (-1: none checked)
//   slider       the thumb position
//   number box   the box text as a signed decimal integer

#include <cstdint>
#include <span>

#include "settings/dialog_values.h"

namespace pagewash {

enum class BindingKind { RadioGroup, Slider, NumberBox };

struct Binding {
    int controlId;  // a radio group is named by the id of its first button
    BindingKind kind;
    std::int32_t DialogValues::*value;
};

// The fifteen bindings in exchange order.
std::span<const Binding> dialogBindings();

}  // namespace pagewash
