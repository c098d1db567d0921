#include "ui/common/text_fit_rule.h"

#include <algorithm>

namespace pagewash {
namespace {

constexpr int kGap = 1;  // pixels kept free between a grown control and its neighbour

int right(const PlacedControl& control) { return control.left + control.width - 1; }
int bottom(const PlacedControl& control) { return control.top + control.height - 1; }

bool holds(const PlacedControl& outer, const PlacedControl& inner) {
    return outer.left <= inner.left && right(inner) <= right(outer) && outer.top <= inner.top &&
           bottom(inner) <= bottom(outer);
}

// The rightmost x that control `self` may reach without touching another control.
int freeRightEdge(std::span<const PlacedControl> controls, std::size_t self, int windowWidth) {
    const PlacedControl& rect = controls[self];
    int limit = windowWidth - kGap;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (i == self) continue;
        const PlacedControl& other = controls[i];
        if (other.groupBox && holds(other, rect)) {
            limit = std::min(limit, right(other) - 2 * kGap);  // inside the frame
            continue;
        }
        const bool sameRow = other.top <= bottom(rect) && bottom(other) >= rect.top;
        if (sameRow && other.left > rect.left) limit = std::min(limit, other.left - kGap);
    }
    return limit;
}

}  // namespace

std::vector<int> widthsForWholeTexts(std::span<const PlacedControl> controls, int windowWidth) {
    std::vector<int> widths;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const PlacedControl& control = controls[i];
        int width = control.width;
        if (control.wholeTextWidth > width) {
            const int available = freeRightEdge(controls, i, windowWidth) - control.left + 1;
            if (available > width) width = std::min(control.wholeTextWidth, available);
        }
        widths.push_back(width);
    }
    return widths;
}

}  // namespace pagewash
