#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace pagewash {

QString qtTranslationsFolder() { return QLibraryInfo::path(QLibraryInfo::TranslationsPath); }

bool installQtTranslations(QTranslator& translator, const QString& folder) {
    // Japanese whatever the user's locale: the dialog's own texts are Japanese everywhere.
    if (!translator.load(QStringLiteral("qtbase_ja"), folder)) return false;
    return QCoreApplication::installTranslator(&translator);
}

}  // namespace pagewash
