#pragma once
// Qt's own texts (the file chooser's labels, the standard buttons of Qt's boxes) in Japanese, like
// the rest of the dialog. They come from the translations shipped with Qt (qtbase_ja.qm, Debian
// package qt6-translations-l10n), which may be missing: Qt's texts then stay in English.

#include <QString>

class QTranslator;

namespace pagewash {

// The folder Qt's translations are installed in on this machine (QLibraryInfo::TranslationsPath).
QString qtTranslationsFolder();

// Loads qtbase_ja.qm from `folder` into `translator` and installs it in the running application.
// Returns false, installs nothing and says nothing when the file is missing or unreadable.
// REQUIRES: the QApplication exists; UI thread only. The caller owns `translator`; it stays in force
// until it is destroyed (its destructor uninstalls it), so it must not outlive the application.
// Widgets made before the call keep their English texts.
bool installQtTranslations(QTranslator& translator, const QString& folder = qtTranslationsFolder());

}  // namespace pagewash
