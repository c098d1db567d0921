#include "ui/dialog_front_end.h"

#include <QMetaObject>
#include <QString>
#include <iostream>
#include <utility>

#include "ui/pagewash_dlg.h"

namespace pagewash {
namespace {

// Runs `call` on the dialog's thread and waits for it.
template <typename Call>
void onUiThread(CPagewashDlg& dialog, Call&& call) {
    QMetaObject::invokeMethod(&dialog, std::forward<Call>(call), Qt::BlockingQueuedConnection);
}

}  // namespace

int DialogFrontEnd::listItemCount() {
    int count = 0;
    onUiThread(m_dialog, [&] { count = m_dialog.listItemCount(); });
    return count;
}

std::string DialogFrontEnd::listItemText(int index) {
    std::string text;
    onUiThread(m_dialog, [&] { text = m_dialog.listItemPath(index); });
    return text;
}

void DialogFrontEnd::enableControl(int controlId, bool enabled) {
    onUiThread(m_dialog, [&] { m_dialog.enableControl(controlId, enabled); });
}

void DialogFrontEnd::setProgressText(const std::string& text) {
    onUiThread(m_dialog, [&] { m_dialog.setProgressText(QString::fromStdString(text)); });
}

void DialogFrontEnd::showErrorBox(const std::string& text, const std::string& caption) {
    onUiThread(m_dialog,
               [&] { m_dialog.showErrorBox(QString::fromStdString(text), QString::fromStdString(caption)); });
}

CorrectionSettings DialogFrontEnd::takeSettings() {
    CorrectionSettings settings;
    onUiThread(m_dialog, [&] { settings = m_dialog.currentSettings(); });
    return settings;
}

void DialogFrontEnd::reportRefusedFile(const std::string& path, const std::string& reason) {
    std::cerr << reason << '\n';
    onUiThread(m_dialog, [&] {
        m_dialog.addRefusedFile(QString::fromStdString(path), QString::fromStdString(reason));
    });
}

void DialogFrontEnd::reportWarning(const std::string& path, const std::string& warning) {
    (void)path;
    std::cerr << warning << '\n';
}

}  // namespace pagewash
