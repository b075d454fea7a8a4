#include "catalog.h"
#include "drivers.h"
#include "test_support.h"
#include "tilings.h"
#include "treatments.h"
#include "vorm_error.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <gtest/gtest.h>

namespace {

// A picture with some structure, some translucency and a transparent corner.
QImage TestPicture(int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int a = (x < 20 && y < 20) ? 0 : (x + y) % 3 == 0 ? 128 : 255;
            img.setPixel(x, y, qPremultiply(qRgba((x * 7) & 255, (y * 5) & 255, (x ^ y) & 255, a)));
        }
    return img;
}

TEST(Drivers, SaveSvgPaintsWhatPreviewPaints) {
    const QImage src = TestPicture(150, 90);
    QTemporaryDir dir;
    for (size_t s = 0; s < kShapes.size(); ++s) {
        SCOPED_TRACE(kShapes[s].Key);
        QImage preview, saved;
        MosaicPreview(kShapes[s].Init, 32, src, preview, ConvColorAlphaGray, 0.75f, nullptr);
        const QString path = dir.filePath(QString("m%1.svg").arg(s));
        MosaicSaveSvg(path, kShapes[s].Init, 32, src, saved, ConvColorAlphaGray, 0.75f, nullptr,
                      false);
        EXPECT_EQ(preview, saved);
        EXPECT_EQ(preview.size(), src.size());
        EXPECT_TRUE(QFileInfo(path).size() > 0);
    }
}

// The driver that paints nothing writes the same document as the one that paints.
TEST(Drivers, WriteSvgWritesWhatSaveSvgWrites) {
    const QImage src = TestPicture(150, 90);
    QTemporaryDir dir;
    for (const bool opaque : {false, true}) {
        SCOPED_TRACE(opaque);
        QImage painted;
        const QString a = dir.filePath("saved.svg"), b = dir.filePath("written.svg");
        MosaicSaveSvg(a, InitHexagon, 16, src, painted, ConvColorAlphaGray, 0.5f, nullptr, opaque);
        MosaicWriteSvg(b, InitHexagon, 16, src, ConvColorAlphaGray, 0.5f, nullptr, opaque);
        QFile fa(a), fb(b);
        ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
        EXPECT_EQ(fa.readAll(), fb.readAll());
        QFile::remove(a);
        QFile::remove(b);
    }
}

TEST(Drivers, PngHasTheSourceSizeAndTheMosaicAlpha) {
    const QImage src = TestPicture(300, 200);
    QTemporaryDir dir;
    for (float cell : {16.0f, 64.0f, 128.0f, 500.0f}) {
        SCOPED_TRACE(cell);
        const QString path = dir.filePath(QString("out%1.png").arg(cell));
        QImage painted;
        MosaicSavePng(path, InitSquare, cell, src, painted, ConvColorSelfAlpha, 1.0f, nullptr);
        QImage png = QImageReader(path).read();
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.size(), QSize(300, 200));
        EXPECT_TRUE(png.hasAlphaChannel());
        EXPECT_EQ(png.convertToFormat(QImage::Format_ARGB32_Premultiplied), painted);
    }
}

class CancelAtOnce : public TProgress {
public:
    void setMaximum(double) override {}
    void setValue(double) override {}
    bool isCanceled() const override { return true; }
};

TEST(Drivers, CancelledSaveWritesNothing) {
    const QImage src = TestPicture(64, 64);
    QTemporaryDir dir;
    CancelAtOnce cancel;
    QImage dest(3, 3, QImage::Format_ARGB32_Premultiplied);
    dest.fill(0xFF123456);
    const QImage before = dest;
    EXPECT_THROW(
        MosaicSavePng(dir.filePath("a.png"), InitHexagon, 16, src, dest, ConvColor, 1, &cancel),
        ECanceled);
    EXPECT_THROW(MosaicSaveSvg(dir.filePath("a.svg"), InitHexagon, 16, src, dest, ConvColor, 1,
                               &cancel, true),
                 ECanceled);
    EXPECT_THROW(
        MosaicWriteSvg(dir.filePath("b.svg"), InitHexagon, 16, src, ConvColor, 1, &cancel, true),
        ECanceled);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("b.svg")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.png")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.svg")));
    EXPECT_EQ(dest, before);
}

TEST(Drivers, OpaqueSwitchDoesNotChangeThePixels) {
    const QImage src = TestPicture(80, 60);
    QTemporaryDir dir;
    QImage a, b;
    MosaicSaveSvg(dir.filePath("a.svg"), InitHexagon, 16, src, a, ConvGray, 0.5f, nullptr, true);
    MosaicSaveSvg(dir.filePath("b.svg"), InitHexagon, 16, src, b, ConvGray, 0.5f, nullptr, false);
    EXPECT_EQ(a, b);
}

} // namespace
