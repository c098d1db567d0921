#include "ui/file_chooser.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>

#include "tests/ui/ui_test_support.h"

namespace pagewash {
namespace {

TEST(FileChooser, OffersTheThreeFiltersWithPdfFirst) {
    EXPECT_EQ(fileChooserFilters(), (QStringList{"PDF ファイル(*.pdf)", "JPEG 画像ファイル(*.jpg; *.jpeg)",
                                                 "全てのファイル(*.*)"}));
}

TEST(FileChooser, JpegFilterShowsJpgAndJpegFilesAndTheChosenPathIsReturned) {
    QTemporaryDir folder;
    for (const char* name : {"a.jpg", "b.jpeg", "c.pdf"}) {
        QFile file(folder.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QStringList filtersShown;
    QString filterInForce;
    QStringList jpegPatterns;
    const QString chosen = test::chooseFileWith([&](QFileDialog& dialog) {
        filtersShown = dialog.nameFilters();
        filterInForce = dialog.selectedNameFilter();
        dialog.setDirectory(folder.path());
        auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        auto* model = dialog.findChild<QFileSystemModel*>();
        if (combo != nullptr && model != nullptr) {
            // As the user picks the JPEG entry.
            combo->setCurrentIndex(1);
            emit combo->activated(1);
            emit combo->textActivated(combo->currentText());
            jpegPatterns = model->nameFilters();
        }
        dialog.selectFile(folder.filePath(QStringLiteral("a.jpg")));
        static_cast<QDialog&>(dialog).accept();  // as the Open button does
    });
    EXPECT_EQ(filtersShown, fileChooserFilters());
    EXPECT_EQ(filterInForce, fileChooserFilters().front());
    EXPECT_EQ(jpegPatterns, (QStringList{"*.jpg", "*.jpeg"}));
    EXPECT_EQ(chosen, folder.filePath(QStringLiteral("a.jpg")));
}

TEST(FileChooser, CancelReturnsNothing) {
    const QString chosen = test::chooseFileWith([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_TRUE(chosen.isEmpty());
}

}  // namespace
}  // namespace pagewash
