#pragma once
// The file list: a list widget that accepts drops of local files (text/uri-list with file: URLs)
// and hands their paths on, in drop order, through filesDropped. Other drops are refused.
// A file line (any row but the first, the hint) asks for its preview through previewRequested: from
// its context menu ("プレビュー") or the Space key while it is selected.

#include <QListWidget>
#include <QStringList>

class QMimeData;

namespace pagewash {

class FileDropList : public QListWidget {
    Q_OBJECT

  public:
    explicit FileDropList(QWidget* parent);

    // The local file paths that `mime` carries, in order; empty when it carries none.
    static QStringList localFiles(const QMimeData* mime);

  signals:
    void filesDropped(const QStringList& paths);
    void previewRequested(int row);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace pagewash
