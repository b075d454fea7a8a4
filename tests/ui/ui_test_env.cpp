// One QApplication for the whole test program, made when the tests start (not while ctest
// lists them), on the offscreen platform unless another is asked for.
#include "dialog_driver.h"

#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

class TQtEnvironment : public testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        FApp = std::make_unique<QApplication>(FArgc, FArgv);
        TDialogDriver::InstallFallback();
    }
    void TearDown() override { FApp.reset(); }

private:
    int FArgc = 1;
    char FName[9] = "ui_tests";
    char* FArgv[2] = {FName, nullptr};
    std::unique_ptr<QApplication> FApp;
};

const auto* const kEnvironment = testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace
