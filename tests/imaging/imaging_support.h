// Shared helpers of the codec tests: fixtures, picture comparison and byte builders.
#pragma once

#include "row_source.h"
#include "vorm_error.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <initializer_list>

// AData as the file AName in ADir; its path.
inline QString Save(const QTemporaryDir& ADir, const QString& AName, const QByteArray& AData) {
    const QString path = ADir.filePath(AName);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(AData);
    return path;
}

// The JPEG tests need libjpeg-turbo, which a build may leave out.
#define REQUIRE_JPEG_DECODER()                                                                     \
    if (!JpegDecoderAvailable())                                                                   \
    GTEST_SKIP() << "built without libjpeg-turbo"

// For the row readers: nothing held beside them.
inline qint64 NothingHeld(int, int) {
    return 0;
}

// All of a row reader's rows, read in bands of ABand rows.
inline QImage ReadRows(TRowSource& ARows, int ABand) {
    QImage out(ARows.width(), ARows.height(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < out.height(); y += ABand)
        ARows.read(y, std::min(out.height(), y + ABand), out.scanLine(y), out.bytesPerLine());
    return out;
}

inline QString DataPath(const char* AName) {
    return QStringLiteral(VORM_TEST_DATA "/") + QString::fromUtf8(AName);
}

inline QByteArray Fixture(const char* AName) {
    QFile f(DataPath(AName));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << AName;
    return f.readAll();
}

inline QByteArray ReadAll(const QString& APath) {
    QFile f(APath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A source picture as the readers must return it: premultiplied.
inline QImage Source(const char* AName) {
    return QImage(DataPath(AName)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

inline QString Hex(QRgb c) {
    return QStringLiteral("#%1").arg(c, 8, 16, QLatin1Char('0'));
}

// Equal sizes, and every channel of every pixel within ATolerance; only pixels whose alpha
// passes AOnlyAlpha255 (when set) are compared by colour, all by alpha.
inline testing::AssertionResult SamePixels(const QImage& AActual, const QImage& AExpected,
                                           int ATolerance = 0, bool AOnlyAlpha255 = false) {
    if (AActual.size() != AExpected.size())
        return testing::AssertionFailure()
               << "size " << AActual.width() << "x" << AActual.height() << ", expected "
               << AExpected.width() << "x" << AExpected.height();
    const QImage a = AActual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = AExpected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = reinterpret_cast<const QRgb*>(a.constScanLine(y))[x];
            const QRgb q = reinterpret_cast<const QRgb*>(e.constScanLine(y))[x];
            const bool colour = !AOnlyAlpha255 || qAlpha(q) == 255;
            const auto off = [&](int u, int v) { return std::abs(u - v) > ATolerance; };
            if (off(qAlpha(p), qAlpha(q)) ||
                (colour &&
                 (off(qRed(p), qRed(q)) || off(qGreen(p), qGreen(q)) || off(qBlue(p), qBlue(q)))))
                return testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << Hex(p).toStdString()
                       << ", expected " << Hex(q).toStdString();
        }
    return testing::AssertionSuccess();
}

// The message of the EVormError that AWork threw, the reason a reader refused its input; empty
// when AWork threw nothing.
template <typename Work> QString Refusal(Work&& AWork) {
    try {
        AWork();
    } catch (const EVormError& e) {
        return e.message();
    }
    return {};
}

inline QRgb PixelAt(const QImage& AImage, int x, int y) {
    return reinterpret_cast<const QRgb*>(AImage.constScanLine(y))[x];
}

// A picture to write: every pixel differs, with a few runs and translucent pixels.
inline QImage TestPicture(int W, int H, bool ATranslucent) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int a = ATranslucent ? (x * 37 + y * 11) % 256 : 255;
            const QRgb c = x % 7 < 3 ? qRgba(10, 200, 30, a)
                                     : qRgba((x * 5) & 255, (y * 9) & 255, (x + y) & 255, a);
            reinterpret_cast<QRgb*>(img.scanLine(y))[x] = qPremultiply(c);
        }
    return img;
}

// Byte builders for hand-made files.
struct TBytes {
    QByteArray Data;
    TBytes& u8(std::initializer_list<int> AValues) {
        for (int v : AValues)
            Data.append(char(v));
        return *this;
    }
    TBytes& le16(int v) { return u8({v & 255, (v >> 8) & 255}); }
    TBytes& le32(uint32_t v) { return le16(int(v & 0xffff)).le16(int(v >> 16)); }
    TBytes& be16(int v) { return u8({(v >> 8) & 255, v & 255}); }
    TBytes& be32(uint32_t v) { return be16(int(v >> 16)).be16(int(v & 0xffff)); }
    TBytes& text(const char* s) {
        Data.append(s);
        return *this;
    }
    TBytes& fill(int ACount, int AValue) {
        Data.append(QByteArray(ACount, char(AValue)));
        return *this;
    }
};
