// JPEG rows read a band at a time from the file: the pixels, the warning and the refusals of the
// whole-picture decoder.
#include "bitmap_ex.h"
#include "imaging_support.h"
#include "jpeg_decoder.h"
#include "jpeg_rows.h"
#include "vorm_error.h"

#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TEST(JpegRows, GiveTheDecodersPixels) {
    REQUIRE_JPEG_DECODER();
    for (const char* name : {"rgb-420.jpg", "rgb-422.jpg", "progressive-444.jpg", "gray.jpg",
                             "one-pixel.jpg", "rgb-1x3.jpg", "rgb-3x1-progressive.jpg"})
        for (int band : {1, 5, 32}) {
            SCOPED_TRACE(testing::Message() << name << " band " << band);
            const std::unique_ptr<TRowSource> rows = OpenJpegRows(DataPath(name), NothingHeld);
            ASSERT_TRUE(rows);
            QImage whole;
            ASSERT_TRUE(DecodeJpeg(Fixture(name), whole));
            EXPECT_TRUE(SamePixels(ReadRows(*rows, band), whole));
            EXPECT_TRUE(rows->warning().isEmpty());
        }
}

// Turned pictures, CMYK and other formats are left to the whole-picture reader.
TEST(JpegRows, LeaveWhatTheyDoNotTake) {
    REQUIRE_JPEG_DECODER();
    for (const char* name : {"exif-right-top.jpg", "cmyk.jpg", "pngsuite/basn2c08.png"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(OpenJpegRows(DataPath(name), NothingHeld));
    }
}

// Cut short: the same grey as the whole-picture decoder, and the loader's warning; cut before
// the first row: the loader's refusal.
TEST(JpegRows, CutShortAsTheLoaderReadsIt) {
    REQUIRE_JPEG_DECODER();
    QTemporaryDir dir;
    const QByteArray good = Fixture("rgb-420.jpg");
    // A picture of several rows of blocks, baseline and progressive.
    for (const char* format : {"JPEG", "progressive"}) {
        SCOPED_TRACE(format);
        const QString full = dir.filePath("full.jpg");
        QImageWriter writer(full, "jpeg");
        writer.setProgressiveScanWrite(QByteArray(format) == "progressive");
        ASSERT_TRUE(writer.write(TestPicture(123, 77, true)));
        const QByteArray data = ReadAll(full);
        const QString path = Save(dir, "cut.jpg", data.left(data.size() * 3 / 4));
        QString warning;
        const QImage whole = LoadPicture(path, &warning);
        const std::unique_ptr<TRowSource> rows = OpenJpegRows(path, NothingHeld);
        ASSERT_TRUE(rows);
        EXPECT_TRUE(SamePixels(ReadRows(*rows, 7), whole));
        EXPECT_FALSE(warning.isEmpty());
        EXPECT_EQ(rows->warning(), warning);
    }
    const QString early = Save(dir, "early.jpg", good.left(good.size() / 20));
    QString loaderError, rowsError;
    try {
        LoadPicture(early);
    } catch (const EVormError& e) {
        loaderError = e.message();
    }
    try {
        const std::unique_ptr<TRowSource> rows = OpenJpegRows(early, NothingHeld);
        if (rows)
            ReadRows(*rows, 8);
    } catch (const EVormError& e) {
        rowsError = e.message();
    }
    EXPECT_FALSE(loaderError.isEmpty());
    EXPECT_EQ(rowsError, loaderError);
}

// The budget counts what the streaming caller holds beside the decoder.
TEST(JpegRows, RefuseWhatTheBudgetCannotHold) {
    REQUIRE_JPEG_DECODER();
    try {
        OpenJpegRows(DataPath("rgb-420.jpg"), [](int, int) { return qint64(1) << 60; });
        ADD_FAILURE() << "not refused";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("needs")) << e.message().toStdString();
    }
}

} // namespace
