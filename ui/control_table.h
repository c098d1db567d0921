#pragma once
// The dialog's widgets in dialog order, found by id, with the radio groups that the order decides.
//
// Ownership: the table only points at widgets; the dialog owns them (as their parent) and outlives
// the table. UI thread only.

#include <QList>
#include <QWidget>
#include <vector>

class QRadioButton;

namespace pagewash {

class ControlTable {
  public:
    // Appends the next control in dialog order. `id` 0: a control without an id of its own.
    void add(int id, QWidget* widget, bool startsGroup);

    // The widget with this id, or nullptr.
    QWidget* widget(int id) const;

    // The radio group that starts with the control `firstId`: the radio buttons from that control
    // up to, not including, the next control that starts a group. Other kinds of controls inside the
    // group are skipped. Empty when there is no such control.
    QList<QRadioButton*> radioGroup(int firstId) const;

    // The widgets in dialog order.
    QList<QWidget*> widgetsInOrder() const;

  private:
    struct Entry {
        int id;
        QWidget* widget;
        bool startsGroup;
    };
    std::vector<Entry> m_entries;
};

}  // namespace pagewash
