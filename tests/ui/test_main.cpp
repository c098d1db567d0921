// One QApplication, offscreen unless asked otherwise. An unexpected modal box fails the test and is closed.
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/ui/ui_test_support.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (modal == nullptr || !modal->isVisible() || pagewash::test::activeAnswerers() > 0) return;
        const auto* box = qobject_cast<QMessageBox*>(modal);
        ADD_FAILURE() << "unexpected modal " << modal->metaObject()->className() << ": "
                      << (box != nullptr ? box->text() : modal->windowTitle()).toStdString();
        modal->reject();
    });
    watchdog.start(50);
    return RUN_ALL_TESTS();
}
