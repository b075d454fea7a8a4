// Helpers for driving the main window in the offscreen platform.
#pragma once

#include "frm_main.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QMessageBox>
#include <QTimer>
#include <functional>

// A picture with structure and some translucency, saved as AFileName.
inline QImage MakePicture(const QString& AFileName, int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            img.setPixel(x, y,
                         qRgba((x * 5) & 255, (y * 3) & 255, (x ^ y) & 255, x < W / 4 ? 128 : 255));
    img.save(AFileName);
    return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Handles every modal window that opens while it lives: message boxes are acknowledged and
// their texts kept; any other dialog goes to AOther (rejected when there is none).
class TModalWatch {
public:
    explicit TModalWatch(std::function<void(QWidget*)> AOther = {}) : FOther(std::move(AOther)) {
        FTimer.setInterval(5);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start();
    }
    QStringList Messages;
    QList<QMessageBox::Icon> Icons;
    int OtherDialogs = 0;

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible()) {
            FLast = nullptr; // the same dialog object may be shown again
            return;
        }
        if (w == FLast)
            return;
        FLast = w;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            Messages << box->text();
            Icons << box->icon();
            QTimer::singleShot(0, box, [box] { box->done(QMessageBox::Ok); });
            return;
        }
        ++OtherDialogs;
        if (FOther)
            QTimer::singleShot(0, w, [this, w] { FOther(w); });
        else if (auto* d = qobject_cast<QDialog*>(w))
            QTimer::singleShot(0, d, [d] { d->reject(); });
    }
    std::function<void(QWidget*)> FOther;
    QWidget* FLast = nullptr;
    QTimer FTimer;
};

// Waits until the window has shown the outcome of its conversion.
inline bool WaitConversion(TFrmMain& AFrm, int AMs = 120000) {
    if (!AFrm.IsConverting())
        return true;
    QEventLoop loop;
    QObject::connect(&AFrm, &TFrmMain::ConversionFinished, &loop, &QEventLoop::quit);
    QTimer::singleShot(AMs, &loop, &QEventLoop::quit);
    loop.exec();
    return !AFrm.IsConverting();
}

inline QRgb Pixel(const QImage& AImage, int x, int y) {
    return AImage.pixel(x, y) | 0xFF000000;
}
