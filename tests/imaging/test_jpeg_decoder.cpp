#include "bitmap_ex.h"
#include "codec_support.h"
#include "imaging_support.h"
#include "jpeg_decoder.h"
#include "vorm_error.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// What the program read before it had a JPEG decoder of its own: Qt's reader, upright, then
// premultiplied.
QImage QtRead(const QString& APath) {
    QImageReader reader(APath);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QString Write(const QTemporaryDir& ADir, const char* AName, const QByteArray& AData) {
    const QString path = ADir.filePath(QString::fromLatin1(AName));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(AData);
    return path;
}

// Where marker FF AMarker starts, searching the header from the start of image on.
qsizetype FindMarker(const QByteArray& AData, int AMarker) {
    qsizetype pos = 2;
    while (pos + 4 <= AData.size() && uchar(AData[pos]) == 0xFF) {
        if (uchar(AData[pos + 1]) == AMarker)
            return pos;
        pos += 2 + ((uchar(AData[pos + 2]) << 8) | uchar(AData[pos + 3]));
    }
    return -1;
}

#define REQUIRE_DECODER()                                                                          \
    if (!JpegDecoderAvailable())                                                                   \
    GTEST_SKIP() << "built without libjpeg-turbo"

TEST(JpegDecoder, GivesQtsPixels) {
    REQUIRE_DECODER();
    for (const char* name : {"rgb-420.jpg", "rgb-422.jpg", "progressive-444.jpg", "gray.jpg",
                             "one-pixel.jpg", "exif-right-top.jpg"}) {
        SCOPED_TRACE(name);
        QImage mine;
        ASSERT_TRUE(DecodeJpeg(Fixture(name), mine));
        EXPECT_EQ(mine.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_TRUE(SamePixels(mine, QtRead(DataPath(name))));
    }
    // The fixture's orientation 6 turns it a quarter: 37 × 23 becomes 23 × 37.
    QImage turned;
    DecodeJpeg(Fixture("exif-right-top.jpg"), turned);
    EXPECT_EQ(turned.size(), QSize(23, 37));
}

// Every EXIF orientation, in both byte orders, and values that Qt ignores: turned as Qt turns it.
TEST(JpegDecoder, TurnsByExifAsQtDoes) {
    REQUIRE_DECODER();
    const QByteArray plain = Fixture("rgb-422.jpg");
    QTemporaryDir dir;
    for (const bool little : {false, true})
        for (int orientation = 0; orientation <= 9; ++orientation) {
            SCOPED_TRACE(testing::Message() << (little ? "II" : "MM") << " " << orientation);
            TBytes tiff;
            if (little)
                tiff.text("II").u8({42, 0}).le32(8).le16(1).le16(0x0112).le16(3).le32(1).le16(
                    orientation);
            else
                tiff.text("MM").u8({0, 42}).be32(8).be16(1).be16(0x0112).be16(3).be32(1).be16(
                    orientation);
            tiff.fill(2, 0).fill(4, 0); // padding of the value, no next directory
            TBytes app1;
            app1.u8({0xFF, 0xE1}).be16(int(2 + 6 + tiff.Data.size())).text("Exif").fill(2, 0);
            const QByteArray file = plain.left(2) + app1.Data + tiff.Data + plain.mid(2);
            const QString path = Write(dir, "exif.jpg", file);
            QImage mine;
            ASSERT_TRUE(DecodeJpeg(file, mine));
            const QImage qt = QtRead(path);
            EXPECT_EQ(mine.size(), qt.size());
            EXPECT_TRUE(SamePixels(mine, qt));
            if (orientation >= 5 && orientation <= 8) {
                EXPECT_EQ(mine.size(), QSize(23, 37));
            }
        }
}

// Data cut short make libjpeg warn: Qt's reader keeps some such pictures (grey below) and
// refuses others, and the loader does just as it does.
TEST(JpegDecoder, LeavesDataCutShortToQt) {
    const QByteArray whole = Fixture("progressive-444.jpg");
    QTemporaryDir dir;
    int kept = 0, refused = 0;
    for (const qsizetype keep : {whole.size() - 2, whole.size() * 3 / 4, whole.size() / 2}) {
        SCOPED_TRACE(keep);
        const QString path = Write(dir, "cut.jpg", whole.left(keep));
        QImage mine;
        EXPECT_FALSE(DecodeJpeg(whole.left(keep), mine));
        TFMXBitmapEx bitmap;
        const QImage qt = QtRead(path);
        EXPECT_EQ(bitmap.LoadFromFileEx(path, 0), !qt.isNull());
        if (qt.isNull()) {
            ++refused;
            EXPECT_TRUE(bitmap.LastError().contains("cut.jpg"));
        } else {
            ++kept;
            EXPECT_TRUE(SamePixels(bitmap.Bitmap(), qt));
        }
    }
    EXPECT_GT(kept, 0);
    EXPECT_GT(refused, 0);
}

TEST(JpegDecoder, DamagedOrHugeFailsNamingTheFile) {
    REQUIRE_DECODER();
    const QByteArray good = Fixture("rgb-420.jpg");
    const qsizetype sof = FindMarker(good, 0xC0);
    ASSERT_GT(sof, 0);
    QByteArray huge = good, bogus = good;
    // 60000 × 60000 would take 14 GB: refused from the header, before any allocation.
    huge[sof + 5] = char(0xEA), huge[sof + 6] = char(0x60), huge[sof + 7] = char(0xEA),
               huge[sof + 8] = char(0x60);
    bogus[sof + 2] = 0, bogus[sof + 3] = 2; // a frame header too short for its fields
    const struct {
        const char* Name;
        QByteArray Data;
        const char* Reason;  // of the decoder's own error; empty: left to Qt
        const char* Message; // in the loader's message
    } cases[] = {
        {"cut in the header", good.left(sof + 4), "", "bad.jpg"},
        {"bogus frame header", bogus, "damaged", "damaged"},
        {"too large", huge, "60000", "60000 × 60000"},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QImage mine(3, 3, QImage::Format_ARGB32_Premultiplied);
        if (*c.Reason) {
            try {
                DecodeJpeg(c.Data, mine);
                ADD_FAILURE() << "no error";
            } catch (const ECodecError& e) {
                const QString m = e.messageFor(TFileAction::Read, QStringLiteral("bad.jpg"));
                EXPECT_TRUE(m.contains(c.Reason)) << m.toStdString();
            }
        } else {
            EXPECT_FALSE(DecodeJpeg(c.Data, mine));
        }
        EXPECT_EQ(mine.size(), QSize(3, 3)); // left alone
        // The window and vorm-cli see the file named, and keep their picture.
        TFMXBitmapEx bitmap(5, 4);
        EXPECT_FALSE(bitmap.LoadFromFileEx(Write(dir, "bad.jpg", c.Data), 0));
        EXPECT_TRUE(bitmap.LastError().contains("bad.jpg")) << bitmap.LastError().toStdString();
        EXPECT_TRUE(bitmap.LastError().contains(c.Message)) << bitmap.LastError().toStdString();
        EXPECT_EQ(bitmap.Bitmap().size(), QSize(5, 4));
    }
}

// Not JPEG data, or CMYK (which needs Qt's handling of Adobe's inverted files): left to Qt.
TEST(JpegDecoder, LeavesOtherDataToQt) {
    QImage mine;
    EXPECT_FALSE(DecodeJpeg(Fixture("src-rgb.png"), mine));
    EXPECT_FALSE(DecodeJpeg(QByteArray(), mine));
    EXPECT_FALSE(DecodeJpeg(Fixture("cmyk.jpg"), mine));
    EXPECT_TRUE(mine.isNull());
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("cmyk.jpg"), 0)) << bitmap.LastError().toStdString();
    EXPECT_TRUE(SamePixels(bitmap.Bitmap(), QtRead(DataPath("cmyk.jpg"))));
}

// The loader takes the decoder's pixels, and names the file for a missing one as before.
TEST(JpegDecoder, LoaderGivesQtsPixels) {
    for (const char* name : {"rgb-420.jpg", "exif-right-top.jpg", "gray.jpg"}) {
        SCOPED_TRACE(name);
        TFMXBitmapEx bitmap;
        ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath(name), 0));
        EXPECT_EQ(bitmap.Bitmap().format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_TRUE(SamePixels(bitmap.Bitmap(), QtRead(DataPath(name))));
    }
    TFMXBitmapEx bitmap;
    EXPECT_FALSE(bitmap.LoadFromFileEx(QStringLiteral("/no/such/photo.jpg"), 0));
    EXPECT_TRUE(bitmap.LastError().contains("photo.jpg"));
}

} // namespace
