// The window tests need a QApplication for the whole run.
#include "dialog_driver.h"

#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The lists and captions are checked in English.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    qputenv("LANG", "en_US.UTF-8");
    // Also when ctest lists the tests, which it does without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TDialogDriver::InstallFallback();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
