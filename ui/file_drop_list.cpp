#include "ui/file_drop_list.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "ui/common/dialog_rules.h"

namespace pagewash {

FileDropList::FileDropList(QWidget* parent) : QListWidget(parent) {
    setAcceptDrops(true);
    // Items are never dragged out or moved inside the list; drops are handled here alone.
    setDragDropMode(QAbstractItemView::DropOnly);
}

QStringList FileDropList::localFiles(const QMimeData* mime) {
    QStringList paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) paths.append(url.toLocalFile());
    }
    return paths;
}

void FileDropList::dragEnterEvent(QDragEnterEvent* event) {
    if (localFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDropList::dragMoveEvent(QDragMoveEvent* event) {
    if (localFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileDropList::dropEvent(QDropEvent* event) {
    const QStringList paths = localFiles(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    emit filesDropped(paths);
}

void FileDropList::contextMenuEvent(QContextMenuEvent* event) {
    const int line = row(itemAt(event->pos()));
    if (line < 1) return;
    QMenu menu(this);
    const QAction* preview = menu.addAction(QString::fromUtf8(kPreviewCommandText));
    if (menu.exec(event->globalPos()) == preview) emit previewRequested(line);
}

void FileDropList::keyPressEvent(QKeyEvent* event) {
    const QList<QListWidgetItem*> selected = selectedItems();
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && !selected.isEmpty() &&
        row(selected.front()) > 0) {
        emit previewRequested(row(selected.front()));
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace pagewash
