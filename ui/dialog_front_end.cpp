#include "ui/dialog_front_end.h"

#include <QMetaObject>
#include <QString>
#include <iostream>
#include <utility>

#include "engine/batch/batch_messages.h"
#include "ui/pagewash_dlg.h"

namespace pagewash {
namespace {

// Runs `call` on the dialog's thread and waits for it.
template <typename Call>
void onUiThread(CPagewashDlg& dialog, Call&& call) {
    QMetaObject::invokeMethod(&dialog, std::forward<Call>(call), Qt::BlockingQueuedConnection);
}

}  // namespace

void DialogFrontEnd::showErrorBox(const std::string& text) {
    onUiThread(m_dialog, [&] {
        m_dialog.showErrorBox(QString::fromStdString(text), QString::fromUtf8(kErrorCaption));
    });
}

void DialogFrontEnd::runStarted() {
    onUiThread(m_dialog, [&] { m_dialog.lockControls(); });
}

void DialogFrontEnd::fileStarted(int index, int count, const std::string&) {
    onUiThread(m_dialog,
               [&] { m_dialog.setProgressText(QString::fromStdString(progressText(index, count))); });
}

void DialogFrontEnd::runEnded() {
    onUiThread(m_dialog, [&] {
        m_dialog.unlockControls();
        m_dialog.setProgressText(QString());
    });
}

CorrectionSettings DialogFrontEnd::takeSettings() {
    CorrectionSettings settings;
    onUiThread(m_dialog, [&] { settings = m_dialog.currentSettings(); });
    return settings;
}

void DialogFrontEnd::fileFinished(const FileReport& report) {
    if (report.outcome != FileOutcome::Refused) return;
    std::cerr << report.reason << '\n';
    onUiThread(m_dialog, [&] {
        m_dialog.addRefusedFile(QString::fromStdString(report.path), QString::fromStdString(report.reason));
    });
}

void DialogFrontEnd::reportWarning(const std::string& path, const std::string& warning) {
    (void)path;
    std::cerr << warning << '\n';
}

// The dialog prints an image's messages ("can't open NAME", libjpeg's own) on standard error as they
// stand, with no file name or image number added: that is what its users have always seen there.
void DialogFrontEnd::reportImageMessage(const std::string&, int, const std::string& message) {
    std::cerr << message << '\n';
}

}  // namespace pagewash
