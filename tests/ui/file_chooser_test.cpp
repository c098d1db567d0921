#include "ui/file_chooser.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

#include "tests/ui/ui_test_support.h"
#include "ui/qt_translations.h"

namespace pagewash {
namespace {

// Runs the real file chooser: `act` runs once it is open and must close it. Returns what it returns.
QString chooseFileWith(const std::function<void(QFileDialog&)>& act) {
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer.stop();
        act(*dialog);
    });
    timer.start(5);
    ++test::activeAnswerers();
    const QString chosen = chooseFileToOpen(nullptr);
    --test::activeAnswerers();
    return chosen;
}

TEST(FileChooser, OpensOnPdfOffersJpgAndJpegAndCancelReturnsNothing) {
    QTemporaryDir folder;
    QFile jpg(folder.filePath("a.jpg"));
    ASSERT_TRUE(jpg.open(QIODevice::WriteOnly));
    QStringList shown;
    const QString chosen = chooseFileWith([&](QFileDialog& dialog) {
        shown = dialog.nameFilters() << dialog.selectedNameFilter();
        dialog.setDirectory(folder.path());
        dialog.selectFile(jpg.fileName());
        static_cast<QDialog&>(dialog).accept();  // as the Open button does
    });
    EXPECT_EQ(shown.join(u'|').toStdString(),
              "PDF ファイル(*.pdf)|JPEG 画像ファイル(*.jpg; *.jpeg)|全てのファイル(*.*)|PDF ファイル(*.pdf)");
    EXPECT_EQ(chosen, jpg.fileName());
    EXPECT_TRUE(chooseFileWith([](QFileDialog& dialog) { dialog.reject(); }).isEmpty());
}

// Installs Qt's Japanese texts for this test's span only: the other tests see Qt in English.
TEST(QtTranslations, FileChooserTextsAreJapanese) {
    const QString file = QDir(qtTranslationsFolder()).filePath("qtbase_ja.qm");
    // The dialog starts in English for Qt's own texts when the translations are missing; so does this test.
    if (!QFile::exists(file))
        GTEST_SKIP() << file.toStdString() << " is missing (package qt6-translations-l10n)";
    QTranslator translator;
    ASSERT_TRUE(installQtTranslations(translator));
    QString texts;
    chooseFileWith([&](QFileDialog& dialog) {
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();
        for (auto which : {QDialogButtonBox::Open, QDialogButtonBox::Cancel})
            texts +=
                (buttons != nullptr && buttons->button(which) ? buttons->button(which)->text() : "-") + "|";
        dialog.reject();
    });
    EXPECT_EQ(texts, "開く(&O)|キャンセル|");
}

}  // namespace
}  // namespace pagewash
