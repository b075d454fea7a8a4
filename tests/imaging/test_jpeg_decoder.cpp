#include "bitmap_ex.h"
#include "codec_support.h"
#include "imaging_support.h"
#include "jpeg_decoder.h"
#include "memory_budget.h"
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

TEST(JpegDecoder, GivesQtsPixels) {
    REQUIRE_JPEG_DECODER();
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
    REQUIRE_JPEG_DECODER();
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
            const QString path = Save(dir, "exif.jpg", file);
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

// Data cut short make libjpeg warn and go on: what is missing comes out grey (or blurred in a
// progressive file), as in Qt's reader. Where libjpeg cannot go on (a cut inside the tables
// between two scans), Qt's reader refuses the file, and so does the decoder.
TEST(JpegDecoder, ReadsDataCutShortAsQtDoes) {
    REQUIRE_JPEG_DECODER();
    const QByteArray whole = Fixture("progressive-444.jpg");
    QTemporaryDir dir;
    int kept = 0, refused = 0;
    for (const qsizetype keep : {whole.size() - 2, whole.size() * 3 / 4, whole.size() / 2}) {
        SCOPED_TRACE(keep);
        const QString path = Save(dir, "cut.jpg", whole.left(keep));
        const QImage qt = QtRead(path);
        QImage mine;
        const QString refusal = Refusal([&] { EXPECT_TRUE(DecodeJpeg(whole.left(keep), mine)); });
        EXPECT_EQ(refusal.isEmpty(), !qt.isNull()) << refusal.toStdString();
        TFMXBitmapEx bitmap;
        EXPECT_EQ(bitmap.LoadFromFileEx(path, 0), !qt.isNull());
        if (qt.isNull()) {
            ++refused;
            EXPECT_TRUE(refusal.contains("cut short")) << refusal.toStdString();
            EXPECT_TRUE(bitmap.LastError().contains("cut.jpg"));
        } else {
            ++kept;
            EXPECT_TRUE(SamePixels(mine, qt));
            EXPECT_TRUE(SamePixels(bitmap.Bitmap(), qt));
            EXPECT_TRUE(bitmap.LastWarning().contains("cut short"));
        }
    }
    EXPECT_GT(kept, 0);
    EXPECT_GT(refused, 0);
}

// A 419-byte JPEG, cut short, that claimed 20000 × 20000 once took 10.7 s and 1.9 GB and
// made a picture of grey. Data that end before the first row of blocks are refused, once
// libjpeg has read that row: the bitmap's pages are never all touched.
TEST(JpegDecoder, DataEndingBeforeTheFirstRowAreRefused) {
    REQUIRE_JPEG_DECODER();
    const QByteArray good = Fixture("rgb-420.jpg");
    const qsizetype sof = FindMarker(good, 0xC0), sos = FindMarker(good, 0xDA);
    ASSERT_GT(sof, 0);
    ASSERT_GT(sos, sof);
    QByteArray huge = good.left(419);
    ASSERT_GT(huge.size(), sos + 20); // a few bytes of coded data after the scan's header
    huge[sof + 5] = char(20000 >> 8), huge[sof + 6] = char(20000 & 255);
    huge[sof + 7] = char(20000 >> 8), huge[sof + 8] = char(20000 & 255);
    QImage mine;
    const QString refusal = Refusal([&] { DecodeJpeg(huge, mine); });
    EXPECT_EQ(refusal, "the JPEG data end before the first row of the picture");
    EXPECT_TRUE(mine.isNull());
    QTemporaryDir dir;
    const QString path = Save(dir, "huge.jpg", huge);
    TFMXBitmapEx bitmap(5, 4);
    EXPECT_FALSE(bitmap.LoadFromFileEx(path, 0));
    EXPECT_EQ(bitmap.LastError(),
              QStringLiteral("Cannot read \"%1\": the JPEG data end before the first row of the "
                             "picture.")
                  .arg(path));
    EXPECT_EQ(bitmap.Bitmap().size(), QSize(5, 4));
    // The same file at its own size, cut as short, is refused too; with its first row of blocks
    // whole (16 rows at 4:2:0) it is read, with a warning.
    const qsizetype coded = good.size() - sos;
    const QString cutEarly = Refusal([&] { DecodeJpeg(good.left(sos + 24), mine); });
    EXPECT_EQ(cutEarly, "the JPEG data end before the first row of the picture");
    const QString late = Save(dir, "late.jpg", good.left(sos + coded * 3 / 4));
    ASSERT_TRUE(bitmap.LoadFromFileEx(late, 0)) << bitmap.LastError().toStdString();
    EXPECT_TRUE(bitmap.LastWarning().contains("cut short"));
    EXPECT_TRUE(SamePixels(bitmap.Bitmap().copy(0, 0, 37, 16), QtRead(late).copy(0, 0, 37, 16)));
}

// Sampling factors that TurboJPEG's header call cannot name (1 × 3 here), which libjpeg and
// every peer decode: read, with Qt's pixels.
TEST(JpegDecoder, UnusualSamplingFactorsAreRead) {
    REQUIRE_JPEG_DECODER();
    for (const char* name : {"rgb-1x3.jpg", "rgb-3x1-progressive.jpg"}) {
        SCOPED_TRACE(name);
        QImage mine;
        ASSERT_TRUE(DecodeJpeg(Fixture(name), mine));
        EXPECT_TRUE(SamePixels(mine, QtRead(DataPath(name))));
        TFMXBitmapEx bitmap;
        ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath(name), 0)) << bitmap.LastError().toStdString();
        EXPECT_TRUE(SamePixels(bitmap.Bitmap(), QtRead(DataPath(name))));
        EXPECT_TRUE(bitmap.LastWarning().isEmpty());
    }
}

TEST(JpegDecoder, DamagedOrHugeFailsNamingTheFile) {
    REQUIRE_JPEG_DECODER();
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
        const char* Reason;  // of the decoder's own error
        const char* Message; // in the loader's message
    } cases[] = {
        {"cut in the header", good.left(sof + 4), "cut short", "cut short"},
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
        EXPECT_FALSE(bitmap.LoadFromFileEx(Save(dir, "bad.jpg", c.Data), 0));
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

namespace {

// libjpeg keeps the coefficients of a progressive file whole, 128 bytes a block and component:
// for progressive-444.jpg 3 × 15 blocks, 7 bytes a pixel. The budget counts them before
// anything is allocated (here for vorm-cli writing SVG, which holds no other bitmap).
TEST(JpegDecoder, ProgressiveCoefficientsCountInTheBudget) {
    REQUIRE_JPEG_DECODER();
    struct TRestore {
        ~TRestore() {
            SetMemoryLimit(0);
            SetConversionBitmaps(2);
        }
    } restore;
    SetConversionBitmaps(0);
    SetMemoryLimit(8000); // 37 × 23 × (4 + 2) = 5106 fits, 37 × 23 × (4 + 7) = 9361 does not
    QImage baseline, progressive;
    EXPECT_TRUE(DecodeJpeg(Fixture("rgb-420.jpg"), baseline));
    EXPECT_THROW(DecodeJpeg(Fixture("progressive-444.jpg"), progressive), EPictureTooBig);
    SetMemoryLimit(0);
    EXPECT_TRUE(DecodeJpeg(Fixture("progressive-444.jpg"), progressive));
}

} // namespace
