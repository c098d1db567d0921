#include "ui/file_chooser.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

#include "tests/ui/ui_test_support.h"
#include "ui/qt_translations.h"

namespace pagewash {
namespace {

TEST(FileChooser, OpensOnPdfItsJpegFilterShowsJpgAndJpegAndCancelReturnsNothing) {
    QTemporaryDir folder;
    QFile jpg(folder.filePath("a.jpg"));
    ASSERT_TRUE(jpg.open(QIODevice::WriteOnly));
    QStringList shown;
    const QString chosen = test::chooseFileWith([&](QFileDialog& dialog) {
        shown = dialog.nameFilters() << dialog.selectedNameFilter();
        dialog.setDirectory(folder.path());
        auto* combo = dialog.findChild<QComboBox*>("fileTypeCombo");
        auto* model = dialog.findChild<QFileSystemModel*>();
        if (combo != nullptr && model != nullptr) {  // as the user picks the JPEG entry
            combo->setCurrentIndex(1);
            emit combo->textActivated(combo->currentText());
            shown << model->nameFilters();
        }
        dialog.selectFile(jpg.fileName());
        static_cast<QDialog&>(dialog).accept();  // as the Open button does
    });
    EXPECT_EQ(shown.join(u'|').toStdString(),
              "PDF ファイル(*.pdf)|JPEG 画像ファイル(*.jpg; *.jpeg)|全てのファイル(*.*)|PDF "
              "ファイル(*.pdf)|*.jpg|*.jpeg");
    EXPECT_EQ(chosen, jpg.fileName());
    EXPECT_TRUE(test::chooseFileWith([](QFileDialog& dialog) { dialog.reject(); }).isEmpty());
}

// Installs Qt's Japanese texts for this test's span only: the other tests see Qt in English.
TEST(QtTranslations, FileChooserTextsAreJapanese) {
    const QString file = QDir(qtTranslationsFolder()).filePath("qtbase_ja.qm");
    // The dialog starts in English for Qt's own texts when the translations are missing; so does this test.
    if (!QFile::exists(file))
        GTEST_SKIP() << file.toStdString() << " is missing (package qt6-translations-l10n)";
    QTranslator translator;
    ASSERT_TRUE(installQtTranslations(translator));
    QStringList texts;
    test::chooseFileWith([&](QFileDialog& dialog) {
        for (const char* name : {"lookInLabel", "fileNameLabel", "fileTypeLabel"}) {
            const auto* label = dialog.findChild<QLabel*>(name);
            texts << (label != nullptr ? label->text() : name);
        }
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();
        for (auto which : {QDialogButtonBox::Open, QDialogButtonBox::Cancel}) {
            texts << (buttons != nullptr && buttons->button(which) ? buttons->button(which)->text() : "-");
        }
        dialog.reject();
    });
    EXPECT_EQ(texts.join(u'|').toStdString(),
              "アドレス:|ファイル名(&N):|ファイルの種類:|開く(&O)|キャンセル");
}

}  // namespace
}  // namespace pagewash
