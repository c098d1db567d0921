#include "ui/control_table.h"

#include <QRadioButton>

namespace pagewash {

void ControlTable::add(int id, QWidget* widget, bool startsGroup) {
    m_entries.push_back({id, widget, startsGroup});
}

QWidget* ControlTable::widget(int id) const {
    if (id == 0) return nullptr;
    for (const Entry& entry : m_entries) {
        if (entry.id == id) return entry.widget;
    }
    return nullptr;
}

QList<QRadioButton*> ControlTable::radioGroup(int firstId) const {
    QList<QRadioButton*> buttons;
    std::size_t index = 0;
    while (index < m_entries.size() && (firstId == 0 || m_entries[index].id != firstId)) ++index;
    for (std::size_t i = index; i < m_entries.size(); ++i) {
        if (i > index && m_entries[i].startsGroup) break;
        if (auto* button = qobject_cast<QRadioButton*>(m_entries[i].widget)) buttons.append(button);
    }
    return buttons;
}

QList<QWidget*> ControlTable::widgetsInOrder() const {
    QList<QWidget*> widgets;
    for (const Entry& entry : m_entries) widgets.append(entry.widget);
    return widgets;
}

}  // namespace pagewash
