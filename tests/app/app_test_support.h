// Helpers for driving the main window in the offscreen platform.
#pragma once

#include "dialog_driver.h"
#include "frm_main.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

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

// Holds the worker of a conversion at its first progress report until Open(), so that a test
// acts while the conversion surely runs, however fast the machine. Declare it after the window:
// it opens as it goes, before the window waits for its worker.
class TProgressGate : public TProgress {
public:
    ~TProgressGate() override { Open(); }
    void setMaximum(double) override {}
    void setValue(double) override {
        std::unique_lock<std::mutex> lock(FMutex);
        FOpened.wait(lock, [this] { return FOpen; });
    }
    void Open() {
        {
            std::lock_guard<std::mutex> lock(FMutex);
            FOpen = true;
        }
        FOpened.notify_all();
    }

private:
    std::mutex FMutex;
    std::condition_variable FOpened;
    bool FOpen = false;
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

// A test of the window: a settings file of its own in a temporary folder, and a picture of
// 120 × 80 there to open.
class TWindowTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Ini = Dir.filePath("vorm.ini");
        Picture = Dir.filePath("cat.png");
        Source = MakePicture(Picture, 120, 80);
    }
    std::unique_ptr<TFrmMain> NewWindow() {
        auto frm = std::make_unique<TFrmMain>(Ini);
        frm->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
        return frm;
    }
    QTemporaryDir Dir;
    QString Ini, Picture;
    QImage Source;
};
