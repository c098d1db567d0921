#pragma once
// The file dialog that the list's first line opens. The dialog takes it as a function so that
// tests can stand in for the user.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace pagewash {

// Runs a file-open dialog owned by `parent` and returns the chosen full path, or an empty string
// when the user cancelled. UI thread only.
using FileChooser = std::function<QString(QWidget* parent)>;

// The three filters in order (PDF files, JPEG image files, all files); the first is in force when
// the dialog opens.
QStringList fileChooserFilters();

// The real one: a modal open dialog for one existing file, default extension ".pdf".
QString chooseFileToOpen(QWidget* parent);

}  // namespace pagewash
