#include "ui/dialog_exchange.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include "ui/common/exchange_scope.h"

namespace pagewash {
namespace {

std::int32_t readRadioGroup(const QList<QRadioButton*>& group) {
    for (qsizetype i = 0; i < group.size(); ++i) {
        if (group[i]->isChecked()) return static_cast<std::int32_t>(i);
    }
    return -1;
}

void writeRadioGroup(const QList<QRadioButton*>& group, std::int32_t position) {
    // An exclusive button group refuses to uncheck its last checked button; a position outside the
    // group leaves every button unchecked, so exclusivity is lifted while the states are set.
    QList<QButtonGroup*> groups;
    for (QRadioButton* button : group) {
        QButtonGroup* buttonGroup = button->group();
        if (buttonGroup != nullptr && buttonGroup->exclusive() && !groups.contains(buttonGroup)) {
            groups.append(buttonGroup);
            buttonGroup->setExclusive(false);
        }
    }
    const bool autoExclusive = !group.isEmpty() && group.front()->autoExclusive();
    for (QRadioButton* button : group) button->setAutoExclusive(false);
    for (qsizetype i = 0; i < group.size(); ++i) group[i]->setChecked(i == position);
    for (QRadioButton* button : group) button->setAutoExclusive(autoExclusive);
    for (QButtonGroup* buttonGroup : groups) buttonGroup->setExclusive(true);
}

}  // namespace

bool DialogExchange::read(const ControlTable& controls, DialogValues& values, int* failedControlId) {
    ExchangeScope scope(m_exchanging);
    for (const Binding& binding : dialogBindings()) {
        std::int32_t& value = values.*binding.value;
        switch (binding.kind) {
            case BindingKind::RadioGroup:
                value = readRadioGroup(controls.radioGroup(binding.controlId));
                break;
            case BindingKind::Slider:
                if (auto* slider = qobject_cast<QSlider*>(controls.widget(binding.controlId))) {
                    value = slider->value();
                }
                break;
            case BindingKind::NumberBox:
                if (auto* box = qobject_cast<QLineEdit*>(controls.widget(binding.controlId))) {
                    bool ok = false;
                    const int parsed = box->text().trimmed().toInt(&ok, 10);
                    if (!ok) {
                        if (failedControlId != nullptr) *failedControlId = binding.controlId;
                        return false;
                    }
                    value = parsed;
                }
                break;
        }
    }
    return true;
}

void DialogExchange::write(const ControlTable& controls, const DialogValues& values) {
    ExchangeScope scope(m_exchanging);
    for (const Binding& binding : dialogBindings()) {
        const std::int32_t value = values.*binding.value;
        switch (binding.kind) {
            case BindingKind::RadioGroup:
                writeRadioGroup(controls.radioGroup(binding.controlId), value);
                break;
            case BindingKind::Slider:
                if (auto* slider = qobject_cast<QSlider*>(controls.widget(binding.controlId))) {
                    slider->setValue(value);  // QSlider limits the value to its range
                }
                break;
            case BindingKind::NumberBox:
                if (auto* box = qobject_cast<QLineEdit*>(controls.widget(binding.controlId))) {
                    const QString text = QString::number(value);
                    if (box->text() != text) box->setText(text);
                }
                break;
        }
    }
}

}  // namespace pagewash
