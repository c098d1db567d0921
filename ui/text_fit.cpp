#include "ui/text_fit.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>

#include "ui/common/text_fit_rule.h"

namespace pagewash {
namespace {

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

}  // namespace

void widenTextControlsIntoFreeSpace(const QList<QWidget*>& widgets) {
    if (widgets.isEmpty()) return;
    std::vector<PlacedControl> placed;
    for (const QWidget* widget : widgets) {
        const QRect area = widget->geometry();
        placed.push_back({area.left(), area.top(), area.width(), area.height(), widthForWholeText(widget),
                          qobject_cast<const QGroupBox*>(widget) != nullptr});
    }
    const QWidget* window = widgets.front()->parentWidget();
    const int windowWidth = window != nullptr ? window->width() : 0;
    const std::vector<int> widths = widthsForWholeTexts(placed, windowWidth);
    for (qsizetype i = 0; i < widgets.size(); ++i) {
        if (widths[i] != placed[i].width) widgets[i]->resize(widths[i], placed[i].height);
    }
}

}  // namespace pagewash
