#include "ui/qt_translations.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>

#include "tests/ui/ui_test_support.h"

namespace pagewash {
namespace {

// Each test installs Qt's Japanese texts for its own span only: the other tests see Qt in English.
class QtTranslations : public testing::Test {
  protected:
    void SetUp() override {
        const QString file = QDir(qtTranslationsFolder()).filePath(QStringLiteral("qtbase_ja.qm"));
        if (!QFileInfo::exists(file)) {
            GTEST_SKIP() << "Qt's Japanese translations are not installed (package qt6-translations-l10n): "
                         << file.toStdString() << " is missing";
        }
        ASSERT_TRUE(installQtTranslations(m_translator));
    }

  private:
    QTranslator m_translator;
};

QString labelText(const QFileDialog& dialog, const char* name) {
    const auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(name));
    return label != nullptr ? label->text() : QStringLiteral("(no %1)").arg(QString::fromLatin1(name));
}

QString buttonText(const QDialogButtonBox* box, QDialogButtonBox::StandardButton which) {
    const QPushButton* button = box != nullptr ? box->button(which) : nullptr;
    return button != nullptr ? button->text() : QStringLiteral("(no button)");
}

TEST_F(QtTranslations, FileChooserLabelsAndButtonsAreJapanese) {
    QStringList texts;
    test::chooseFileWith([&](QFileDialog& dialog) {
        const auto* buttons = dialog.findChild<QDialogButtonBox*>();
        texts = {labelText(dialog, "lookInLabel"), labelText(dialog, "fileNameLabel"),
                 labelText(dialog, "fileTypeLabel"), buttonText(buttons, QDialogButtonBox::Open),
                 buttonText(buttons, QDialogButtonBox::Cancel)};
        dialog.reject();
    });
    EXPECT_EQ(texts,
              (QStringList{"アドレス:", "ファイル名(&N):", "ファイルの種類:", "開く(&O)", "キャンセル"}));
}

TEST_F(QtTranslations, MessageBoxStandardButtonsAreJapanese) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Pagewash"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    const QStringList texts = {box.button(QMessageBox::Yes)->text(), box.button(QMessageBox::No)->text(),
                               box.button(QMessageBox::Cancel)->text()};
    EXPECT_EQ(texts, (QStringList{"はい(&Y)", "いいえ(&N)", "キャンセル"}));
}

TEST(QtTranslationsMissing, NothingIsInstalledAndQtStaysInEnglish) {
    QTemporaryDir emptyFolder;
    QTranslator translator;
    EXPECT_FALSE(installQtTranslations(translator, emptyFolder.path()));
    QMessageBox box(QMessageBox::Question, QStringLiteral("Pagewash"), QStringLiteral("?"),
                    QMessageBox::Cancel);
    EXPECT_EQ(QStringList{box.button(QMessageBox::Cancel)->text()}, QStringList{"Cancel"});
}

}  // namespace
}  // namespace pagewash
