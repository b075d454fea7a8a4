// The driver that answers the window's dialogs must never leave one open: a missed showing or a
// handler that gives up would hang the run instead of failing a test.
#include "dialog_driver.h"

#include <QDialog>
#include <QMessageBox>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

TEST(DialogDriver, AnswersEveryShowingOfTheSameDialog) {
    QDialog dialog;
    int handled = 0;
    TDialogDriver driver([&](QDialog* ADialog) {
        EXPECT_EQ(ADialog, &dialog);
        ++handled;
        ADialog->accept();
    });
    // One showing right after another, with no event processed between them.
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(handled, 20);
    EXPECT_EQ(driver.OtherDialogs, 20);
    QMessageBox::information(nullptr, "VORM", "first");
    QMessageBox::critical(nullptr, "VORM", "second");
    EXPECT_EQ(driver.Messages, QStringList({"first", "second"}));
    EXPECT_EQ(driver.Icons, QList({QMessageBox::Information, QMessageBox::Critical}));
}

TEST(DialogDriver, ADialogItsHandlerLeavesOpenIsClosedAndFails) {
    EXPECT_NONFATAL_FAILURE(
        {
            // As a handler whose ASSERT returned before it answered.
            TDialogDriver driver([](QDialog*) {});
            QDialog dialog;
            EXPECT_EQ(dialog.exec(), QDialog::Rejected);
        },
        "left open by its handler");
}

TEST(DialogDriver, ADialogNoTestExpectedIsClosedAndFails) {
    EXPECT_NONFATAL_FAILURE(
        {
            QDialog dialog;
            dialog.setWindowTitle("Surprise");
            dialog.exec();
        },
        "no test expected was shown: \"Surprise\"");
}
