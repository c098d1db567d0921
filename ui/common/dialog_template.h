#pragma once
// The dialog's window and its controls, in dialog order, as data: the order is also the tab order
// and decides the radio groups. Positions and sizes are in dialog units (see dialog_units.h).

#include <span>
#include <vector>

namespace pagewash {

enum class ControlKind { Static, GroupBox, ListBox, RadioButton, NumberBox, Slider, ProgressBox, PushButton };

struct ControlTemplate {
    int id;  // 0 for a control without an id of its own (static texts, group boxes)
    ControlKind kind;
    const char* text;  // UTF-8; empty for controls without text
    bool startsGroup;  // a radio group ends before the next control that starts a group
    bool tabStop;
    bool enabled;     // state when the dialog is shown
    bool ticksAbove;  // sliders: marks above the track; false: no tick marks
    bool digitsOnly;  // number boxes
    int x, y, width, height;
};

inline constexpr int kDialogWidthDlu = 283;
inline constexpr int kDialogHeightDlu = 276;
inline constexpr const char* kDialogTitle = "Pagewash";
inline constexpr int kDialogFontPoints = 9;

// The controls of the main dialog in dialog order. Static storage; valid for the whole program.
std::span<const ControlTemplate> mainDialogTemplate();

// The ids of the radio buttons of the group that the control `firstId` starts, in dialog order: the
// radio buttons from that control up to, not including, the next control that starts a group.
std::vector<int> radioGroupIds(int firstId);

}  // namespace pagewash
