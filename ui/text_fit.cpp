#include "ui/text_fit.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>

namespace pagewash {
namespace {

constexpr int kGap = 1;  // pixels kept free between a grown control and its neighbour

// The width the control needs to show its whole text: for a radio button its circle, the gap and the
// text; for a static its text, the mnemonic marker left out. 0 for other controls.
int widthForWholeText(const QWidget* widget) {
    if (const auto* button = qobject_cast<const QRadioButton*>(widget)) {
        const QStyle* style = button->style();
        return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) +
               style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button) +
               button->fontMetrics().horizontalAdvance(button->text()) + 1;
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        QString text = label->text();
        if (label->buddy() != nullptr) text.remove(QLatin1Char('&'));
        return label->fontMetrics().horizontalAdvance(text) + 1;
    }
    return 0;
}

// The rightmost x that `rect` may reach without touching another control.
int freeRightEdge(const QRect& rect, const QWidget* self, const QList<QWidget*>& widgets) {
    int limit = self->parentWidget() != nullptr ? self->parentWidget()->width() - kGap : rect.right();
    for (const QWidget* other : widgets) {
        if (other == self) continue;
        const QRect area = other->geometry();
        if (qobject_cast<const QGroupBox*>(other) != nullptr && area.contains(rect)) {
            limit = std::min(limit, area.right() - 2 * kGap);  // inside the frame
            continue;
        }
        const bool sameRow = area.top() <= rect.bottom() && area.bottom() >= rect.top();
        if (sameRow && area.left() > rect.left()) limit = std::min(limit, area.left() - kGap);
    }
    return limit;
}

}  // namespace

void widenTextControlsIntoFreeSpace(const QList<QWidget*>& widgets) {
    for (QWidget* widget : widgets) {
        const QRect rect = widget->geometry();
        const int wanted = widthForWholeText(widget);
        if (wanted <= rect.width()) continue;
        const int available = freeRightEdge(rect, widget, widgets) - rect.left() + 1;
        if (available > rect.width()) widget->resize(std::min(wanted, available), rect.height());
    }
}

}  // namespace pagewash
