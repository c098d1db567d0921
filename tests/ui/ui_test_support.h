#pragma once
// Modal boxes answered like a user would; a fixture that shows a fresh dialog.

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QtTest/QTest>
#include <ostream>

#include "ui/common/control_ids.h"
#include "ui/pagewash_dlg.h"

namespace pagewash::test {

// How many answerers (message boxes, the file chooser) are at work; while none is, test_main fails
// the test at once on any modal box instead of waiting for ctest's timeout. The test thread only.
inline int& activeAnswerers() {
    static int count = 0;
    return count;
}

struct SeenBox {
    QString caption, text;
    QMessageBox::Icon icon;
    bool runUnderWay;  // the bleach button was locked when the box opened
};

// While it lives, every message box is recorded and answered with OK.
class MessageBoxAnswerer {
  public:
    explicit MessageBoxAnswerer(const CPagewashDlg* dialog = nullptr) {
        ++activeAnswerers();
        QObject::connect(&m_timer, &QTimer::timeout, [this, dialog] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            const bool locked = dialog != nullptr && !dialog->control(control::kBleachButton)->isEnabled();
            seen.push_back({box->windowTitle(), box->text(), box->icon(), locked});
            box->done(QMessageBox::Ok);
        });
        m_timer.start(5);
    }
    ~MessageBoxAnswerer() { --activeAnswerers(); }
    std::vector<SeenBox> seen;

  private:
    QTimer m_timer;
};

// Lets queued notifications (slider moves and their cascades) run.
inline void settle() {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

class DialogTest : public ::testing::Test {
  protected:
    void SetUp() override { reset(); }
    void reset() {
        dialog.reset();
        dialog = std::make_unique<CPagewashDlg>();
        dialog->show();
        settle();
    }
    QListWidget* list() const { return qobject_cast<QListWidget*>(dialog->control(control::kFileList)); }
    QSlider* slider(int id) const { return qobject_cast<QSlider*>(dialog->control(id)); }
    QLineEdit* box(int id) const { return qobject_cast<QLineEdit*>(dialog->control(id)); }
    QRadioButton* radio(int id) const { return qobject_cast<QRadioButton*>(dialog->control(id)); }
    QStringList items() const {
        QStringList texts;
        for (int i = 1; i < list()->count(); ++i) texts << list()->item(i)->text();
        return texts;  // the file lines, without the hint
    }

    std::unique_ptr<CPagewashDlg> dialog;
};

}  // namespace pagewash::test

// Readable QString values in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
