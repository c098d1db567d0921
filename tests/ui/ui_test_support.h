#pragma once
// Helpers of the dialog tests: modal boxes and the file chooser answered like a user would, waits on
// the event loop.

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <ostream>
#include <vector>

#include "ui/file_chooser.h"

namespace pagewash::test {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// How many answerers (message boxes, the file chooser) are at work; while none is, test_main fails
// the test at once on any modal box instead of waiting for ctest's timeout.
inline int& activeAnswerers() {
    static int count = 0;  // the test thread only
    return count;
}

// While it lives, every message box that opens modally is recorded and answered with OK.
class MessageBoxAnswerer {
  public:
    ~MessageBoxAnswerer() { --activeAnswerers(); }
    // `whenSeen` runs while each box is open, before it is answered.
    explicit MessageBoxAnswerer(std::function<void()> whenSeen = {}) : m_whenSeen(std::move(whenSeen)) {
        ++activeAnswerers();
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            m_seen.push_back({box->windowTitle(), box->text(), box->icon()});
            if (m_whenSeen) m_whenSeen();
            box->done(QMessageBox::Ok);
        });
        m_timer.start();
    }
    const std::vector<SeenBox>& seen() const { return m_seen; }

  private:
    std::function<void()> m_whenSeen;
    QTimer m_timer;
    std::vector<SeenBox> m_seen;
};

// Runs the real file chooser: `act` runs once it is open and must close it (accept or reject).
// Returns what the chooser returns.
inline QString chooseFileWith(const std::function<void(QFileDialog&)>& act) {
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer.stop();
        act(*dialog);
    });
    timer.start();
    ++activeAnswerers();
    const QString chosen = chooseFileToOpen(nullptr);
    --activeAnswerers();
    return chosen;
}

// Processes events until `done` holds or `timeoutMs` has passed; returns `done()`.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    return QTest::qWaitFor(done, timeoutMs);
}

// Lets queued notifications (slider moves and their cascades) run.
inline void settle() {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
}

}  // namespace pagewash::test

// Readable QString values in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
