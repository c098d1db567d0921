#pragma once
// Texts in another font than the one the layout was drawn for can be wider than their controls.
// A static text or a radio button whose text does not fit grows to the right into free space:
// up to the next control on its row or the inner edge of the group box around it, never over
// another control. Positions stay as laid out.

#include <QList>

class QWidget;

namespace pagewash {

// `widgets`: every control of one window, already placed. UI thread only.
void widenTextControlsIntoFreeSpace(const QList<QWidget*>& widgets);

}  // namespace pagewash
