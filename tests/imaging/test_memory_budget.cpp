#include "bitmap_ex.h"
#include "imaging_support.h"
#include "memory_budget.h"
#include "platform.h"

#include <QImageReader>
#include <QTemporaryDir>

namespace {

// Puts the default budget back however a test ends.
struct TLimitGuard {
    ~TLimitGuard() {
        SetMemoryLimit(0);
        SetConversionBitmaps(2);
    }
};

TEST(MemoryBudget, DefaultIsHalfThePhysicalMemory) {
    TLimitGuard guard;
    SetMemoryLimit(0);
    ASSERT_GT(PhysicalMemoryBytes(), 0);
    EXPECT_EQ(DefaultMemoryLimit(), PhysicalMemoryBytes() / 2);
    EXPECT_EQ(MemoryLimit(), DefaultMemoryLimit());
    SetMemoryLimit(123456789);
    EXPECT_EQ(MemoryLimit(), 123456789);
}

TEST(MemoryBudget, NeedCountsTheBitmapsOfTheConversion) {
    TLimitGuard guard;
    const qint64 px = 1000 * 1000;
    SetConversionBitmaps(0); // vorm-cli writing SVG: the source and the tiles
    const qint64 svg = ConversionBytes(1000, 1000);
    SetConversionBitmaps(1);
    EXPECT_EQ(ConversionBytes(1000, 1000), svg + 4 * px);
    SetConversionBitmaps(2);
    EXPECT_EQ(ConversionBytes(1000, 1000), svg + 8 * px);
    // A decoder's own working memory counts when it is larger: the HDR reader's 24 bytes.
    EXPECT_EQ(ConversionBytes(1000, 1000, 24), 28 * px);
    // Sizes no file can have still give a number, not an overflow.
    EXPECT_EQ(ConversionBytes(qint64(1) << 40, qint64(1) << 40), LLONG_MAX);
}

TEST(MemoryBudget, Figures) {
    EXPECT_EQ(MegapixelsText(qint64(40000) * 30000), "1200 megapixels");
    EXPECT_EQ(MegapixelsText(851), "0.001 megapixels");
    EXPECT_EQ(MegapixelsText(299'950'000), "300 megapixels");
    EXPECT_EQ(MegapixelsText(8'340'000), "8.3 megapixels");
    EXPECT_EQ(BytesText(9'600'000'000, true), "9.6 GB");
    EXPECT_EQ(BytesText(9'610'000'000, true), "9.7 GB");    // a need rounds up
    EXPECT_EQ(BytesText(11'790'000'000, false), "11.7 GB"); // an allowance down
    EXPECT_EQ(BytesText(750'000'001, true), "751 MB");
    EXPECT_EQ(BytesText(12'000, false), "12 kB");
}

TEST(MemoryBudget, TheMessageNamesTheSizeTheNeedAndTheAllowance) {
    TLimitGuard guard;
    SetMemoryLimit(0);
    const EPictureTooBig e(40000, 30000, 9'600'000'000, 11'700'000'000);
    EXPECT_EQ(e.messageFor(TFileAction::Read, "pano.jpg"),
              "\"pano.jpg\" is 40000 × 30000 pixels (1200 megapixels) and needs 9.6 GB to "
              "convert; this machine allows 11.7 GB.");
    SetMemoryLimit(2'000'000'000);
    EXPECT_TRUE(
        e.messageFor(TFileAction::Read, "pano.jpg").endsWith("; the memory limit is 11.7 GB."));
}

// Every reader, Qt's among them, refuses what the budget does not allow, before it decodes, and
// leaves the bitmap as it was.
TEST(MemoryBudget, EveryReaderKeepsToIt) {
    TLimitGuard guard;
    SetMemoryLimit(1000); // bytes: less than any of these pictures of 37 × 23 needs
    // Qt counts in whole MiB, and takes 0 for no limit at all: a limit below 1 MiB is 1.
    EXPECT_EQ(QImageReader::allocationLimit(), 1);
    for (const char* name :
         {"src-rgb.png", "exif-right-top.jpg", "small.gif", "rgb-rle.psd", "rgb24-rle-top-down.tga",
          "rgb.hdr", "rgba16.png", "rgb-interlaced.png", "progressive-444.jpg", "rgb-1x3.jpg",
          "src-rgb.bmp", "small-rle.bmp"}) {
        SCOPED_TRACE(name);
        TFMXBitmapEx bitmap(3, 2);
        const QImage before = bitmap.Bitmap();
        EXPECT_FALSE(bitmap.LoadFromFileEx(DataPath(name), 0));
        const QString message = bitmap.LastError();
        EXPECT_TRUE(message.startsWith(QStringLiteral("\"%1\" is ").arg(DataPath(name))))
            << message.toStdString();
        EXPECT_TRUE(message.contains(" pixels (0.001 megapixels) and needs "))
            << message.toStdString();
        EXPECT_TRUE(message.endsWith("; the memory limit is 1 kB.")) << message.toStdString();
        EXPECT_EQ(bitmap.Bitmap(), before);
    }
    SetMemoryLimit(0);
    TFMXBitmapEx bitmap;
    EXPECT_TRUE(bitmap.LoadFromFileEx(DataPath("src-rgb.png"), 0))
        << bitmap.LastError().toStdString();
}

TEST(MemoryBudget, AllocateBitmapGoesThroughTheBudget) {
    TLimitGuard guard;
    const QImage ok = AllocateBitmap(64, 32);
    EXPECT_EQ(ok.size(), QSize(64, 32));
    EXPECT_EQ(ok.format(), kBitmapFormat);
    SetMemoryLimit(4096);
    EXPECT_THROW(AllocateBitmap(64, 32), EPictureTooBig);
}

} // namespace
