#include "ui/app/pagewash_app.h"

#include <QIcon>

#include "ui/pagewash_dlg.h"

namespace pagewash {

CPagewashApp::CPagewashApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Pagewash"));
    setApplicationDisplayName(QStringLiteral("Pagewash"));
    setApplicationVersion(QStringLiteral(PAGEWASH_VERSION));
    setDesktopFileName(QStringLiteral("pagewash"));
}

int CPagewashApp::initInstance() {
    CPagewashDlg dialog;
    setWindowIcon(dialog.windowIcon());
    dialog.exec();  // the dialog's result is of no interest
    return 0;
}

}  // namespace pagewash
