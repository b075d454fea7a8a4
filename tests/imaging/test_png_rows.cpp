// PNG rows read a band at a time from the file: ReadPng's pixels, its warning and its refusals.
#include "bitmap_ex.h"
#include "imaging_support.h"
#include "png_reader.h"
#include "png_rows.h"
#include "vorm_error.h"

#include <QDir>
#include <QImageWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// What the loader makes of a file: its picture and warning, or its refusal.
struct TLoaded {
    QImage Picture;
    QString Warning, Error;
};

TLoaded Loaded(const QString& APath) {
    TLoaded r;
    try {
        r.Picture = LoadPicture(APath, &r.Warning);
    } catch (const EVormError& e) {
        r.Error = e.message();
    }
    return r;
}

TLoaded Streamed(const QString& APath) {
    TLoaded r;
    try {
        const std::unique_ptr<TRowSource> rows = OpenPngRows(APath, NothingHeld);
        if (!rows) {
            r.Error = "not taken";
            return r;
        }
        r.Picture = ReadRows(*rows, 5);
        r.Warning = rows->warning();
    } catch (const EVormError& e) {
        r.Error = e.message();
    }
    return r;
}

void ExpectSame(const TLoaded& AStreamed, const TLoaded& ALoaded) {
    EXPECT_EQ(AStreamed.Error.toStdString(), ALoaded.Error.toStdString());
    EXPECT_EQ(AStreamed.Warning.toStdString(), ALoaded.Warning.toStdString());
    if (ALoaded.Error.isEmpty()) {
        EXPECT_TRUE(SamePixels(AStreamed.Picture, ALoaded.Picture));
    }
}

// Every non-interlaced file of the suite, damaged ones included; interlaced ones, and files
// without a PNG signature, are left to the whole-picture reader.
TEST(PngRows, GiveTheReadersPixels) {
    const QDir suite(DataPath("pngsuite"));
    int taken = 0;
    for (const QString& name : suite.entryList({"*.png"})) {
        SCOPED_TRACE(name.toStdString());
        const QString path = suite.filePath(name);
        if (name.contains(QRegularExpression("^...i"))) {
            EXPECT_FALSE(OpenPngRows(path, NothingHeld));
            continue;
        }
        const TLoaded streamed = Streamed(path);
        if (streamed.Error == "not taken") {
            // A damaged signature: the loader gives the answer.
            EXPECT_FALSE(IsPng(ReadAll(path)));
            continue;
        }
        ExpectSame(streamed, Loaded(path));
        ++taken;
    }
    EXPECT_GT(taken, 50);
}

// Cut anywhere, in a file of one IDAT and in one of many, and damaged: as the loader reads it.
TEST(PngRows, CutShortOrDamagedAsTheLoaderReadsIt) {
    QTemporaryDir dir;
    const QImage picture = TestPicture(123, 77, true);
    QByteArray whole;
    {
        const QString path = dir.filePath("whole.png");
        ASSERT_TRUE(picture.save(path, "PNG"));
        whole = ReadAll(path);
    }
    for (int k = 1; k < 20; ++k) {
        const qsizetype cut = whole.size() * k / 20;
        SCOPED_TRACE(cut);
        const QString path = Save(dir, QStringLiteral("cut%1.png").arg(k), whole.left(cut));
        ExpectSame(Streamed(path), Loaded(path));
    }
    // A flipped byte in the pixel data: the CRC or the inflater finds it.
    QByteArray damaged = whole;
    damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x55);
    const QString path = Save(dir, "damaged.png", damaged);
    // Which fault libspng meets first depends on how it is fed; either names the damage.
    const QString damage =
        QStringLiteral("Cannot read \"%1\": the PNG data are damaged (").arg(path);
    EXPECT_TRUE(Streamed(path).Error.startsWith(damage)) << Streamed(path).Error.toStdString();
    EXPECT_TRUE(Loaded(path).Error.startsWith(damage));
}

TEST(PngRows, RefuseWhatTheBudgetCannotHold) {
    try {
        OpenPngRows(DataPath("pngsuite/basn2c08.png"), [](int, int) { return qint64(1) << 60; });
        ADD_FAILURE() << "not refused";
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("needs")) << e.message().toStdString();
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    } catch (...) {
        ADD_FAILURE() << "unknown";
    }
}

} // namespace
