// Answers the modal dialogs that the code under test opens, so that a test never waits on one.
//
// Each showing is seen through its Show event, which Qt sends on every show() of a hidden
// dialog, the same dialog object shown again included; the answer is queued there and runs inside
// the dialog's own event loop. Nothing is polled, so no showing can be missed, however fast one
// follows another. A dialog that is still open once its handler has run (the handler forgot it,
// or an ASSERT returned early) is closed and counted as a test failure.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

class TDialogDriver : public QObject {
public:
    // AOther answers every dialog but message boxes; without it they are rejected.
    using THandler = std::function<void(QDialog* ADialog)>;
    explicit TDialogDriver(THandler AOther = {}) : FOther(std::move(AOther)) {
        FPrevious = Current();
        Current() = this;
        qApp->installEventFilter(this);
    }
    ~TDialogDriver() override {
        // The fallback goes with the application, when qApp is already gone.
        if (qApp)
            qApp->removeEventFilter(this);
        Current() = FPrevious;
    }
    TDialogDriver(const TDialogDriver&) = delete;
    TDialogDriver& operator=(const TDialogDriver&) = delete;

    // Message boxes are acknowledged with OK; their texts and icons are kept, in order.
    QStringList Messages;
    QList<QMessageBox::Icon> Icons;
    // How many other dialogs were shown.
    int OtherDialogs = 0;

    // For a test program's main, before the tests run: from then on a dialog shown while no
    // test's driver lives fails that test and is closed, instead of waiting for good.
    static void InstallFallback() {
        auto* fallback = new TDialogDriver;
        fallback->FFallback = true;
        fallback->setParent(qApp); // goes with the application
    }

protected:
    bool eventFilter(QObject* AWatched, QEvent* AEvent) override {
        if (AEvent->type() != QEvent::Show || Current() != this)
            return false;
        auto* dialog = qobject_cast<QDialog*>(AWatched);
        // Only modal showings block; a dialog a test shows itself is left to that test.
        if (!dialog || !dialog->isWindow() || !dialog->testAttribute(Qt::WA_ShowModal))
            return false;
        QPointer<QDialog> guard(dialog);
        QPointer<TDialogDriver> self(this);
        QTimer::singleShot(0, dialog, [self, guard] {
            if (self)
                self->Answer(guard);
        });
        return false;
    }

private:
    static TDialogDriver*& Current() {
        static TDialogDriver* current = nullptr;
        return current;
    }

    void Answer(const QPointer<QDialog>& ADialog) {
        if (!ADialog || !ADialog->isVisible())
            return; // answered already by whoever showed it
        if (FFallback) {
            ADD_FAILURE() << "a dialog that no test expected was shown: \""
                          << ADialog->windowTitle().toStdString() << "\"";
            ADialog->reject();
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(ADialog.data())) {
            Messages << box->text();
            Icons << box->icon();
            box->done(QMessageBox::Ok);
            return;
        }
        ++OtherDialogs;
        if (FOther)
            FOther(ADialog);
        else
            ADialog->reject();
        if (ADialog && ADialog->isVisible()) {
            if (FOther)
                ADD_FAILURE() << "the dialog \"" << ADialog->windowTitle().toStdString()
                              << "\" was left open by its handler";
            ADialog->reject();
        }
    }

    THandler FOther;
    TDialogDriver* FPrevious = nullptr;
    bool FFallback = false;
};
