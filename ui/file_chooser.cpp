#include "ui/file_chooser.h"

#include <QFileDialog>
#include <QFileSystemModel>

#include "ui/common/dialog_rules.h"

namespace pagewash {
namespace {

// The patterns of each filter. The JPEG label reads "(*.jpg; *.jpeg)", which the toolkit would split
// at the space into "*.jpg;" and "*.jpeg" and so hide every .jpg file: the patterns are set here.
const QStringList kFilterPatterns[] = {
    {QStringLiteral("*.pdf")},
    {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")},
    {QStringLiteral("*")},
};

}  // namespace

QStringList fileChooserFilters() {
    QStringList labels;
    for (const FileFilter& filter : kFileChooserFilters) labels.append(QString::fromUtf8(filter.label));
    return labels;
}

QString chooseFileToOpen(QWidget* parent) {
    QFileDialog dialog(parent);
    // The toolkit's own dialog, so that the patterns below are the ones in force.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    const QStringList filters = fileChooserFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.front());
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        QObject::connect(&dialog, &QFileDialog::filterSelected, model,
                         [model, filters](const QString& filter) {
                             const qsizetype index = filters.indexOf(filter);
                             if (index >= 0) model->setNameFilters(kFilterPatterns[index]);
                         });
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

}  // namespace pagewash
