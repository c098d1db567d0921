#pragma once
// Texts in another font than the one the layout was drawn for can be wider than their controls. A
// static text or a radio button whose text does not fit grows to the right into free space: up to
// the next control on its row or the inner edge of the group box around it, never over another
// control. Positions stay as laid out. Each front end measures the texts in its own font; the rule
// works on pixels alone.

#include <span>
#include <vector>

namespace pagewash {

struct PlacedControl {
    int left, top, width, height;  // pixels in the window's client area
    int wholeTextWidth;            // the width that shows the whole text; 0: a control that never grows
    bool groupBox;                 // its frame holds the controls inside it
};

// The width of each control after growing, in the order given (`controls`: every control of one window).
std::vector<int> widthsForWholeTexts(std::span<const PlacedControl> controls, int windowWidth);

}  // namespace pagewash
