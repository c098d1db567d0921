#include "ui/app/pagewash_app.h"

#include <QIcon>

#include "ui/pagewash_dlg.h"
#include "ui/qt_translations.h"

namespace pagewash {

CPagewashApp::CPagewashApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Pagewash"));
    setApplicationDisplayName(QStringLiteral("Pagewash"));
    setApplicationVersion(QStringLiteral(PAGEWASH_VERSION));
    setDesktopFileName(QStringLiteral("pagewash"));
    installQtTranslations(m_qtTranslator);  // without them Qt's texts stay in English
}

int CPagewashApp::initInstance() {
    CPagewashDlg dialog;
    setWindowIcon(dialog.windowIcon());
    dialog.exec();  // the dialog's result is of no interest
    return 0;
}

}  // namespace pagewash
