#include "atomic_file.h"
#include "bitmap_ex.h"
#include "imaging_support.h"
#include "jpeg_partial.h"
#include "png_reader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <zlib.h>

namespace {

// What AIsCutShort says of AData.
bool CutShort(bool (*AIsCutShort)(QIODevice&), const QByteArray& AData) {
    QBuffer buffer;
    buffer.setData(AData);
    buffer.open(QIODevice::ReadOnly);
    return AIsCutShort(buffer);
}

TEST(Partial, WhereFilesEnd) {
    const QByteArray jpeg = Fixture("exif-right-top.jpg"), png = Fixture("src-rgb.png");
    // The EXIF block comes first: its bytes may hold anything, a thumbnail's end marker too.
    QByteArray exifEnd = jpeg;
    exifEnd.insert(2, QByteArray("\xff\xe1\x00\x06\xff\xd9", 6));
    bool (*const J)(QIODevice&) = IsJpegCutShort;
    bool (*const P)(QIODevice&) = IsPngCutShort;
    const struct {
        const char* Name;
        bool (*IsCutShort)(QIODevice&);
        QByteArray Data;
        bool CutShort;
    } cases[] = {
        {"whole JPEG", J, jpeg, false},
        {"JPEG with bytes after its end", J, jpeg + "trailing junk", false},
        {"JPEG with an end marker inside a segment", J, exifEnd, false},
        {"JPEG cut in the coded data", J, jpeg.left(jpeg.size() * 2 / 3), true},
        {"JPEG cut in a segment", J, jpeg.left(30), true},
        {"JPEG cut after its start", J, jpeg.left(2), true},
        {"not a JPEG", J, "GIF89a....", false},
        {"empty, for JPEG", J, "", false},
        {"whole PNG", P, png, false},
        {"PNG with bytes after its end", P, png + "junk", false},
        {"PNG without its end chunk's CRC", P, png.left(png.size() - 2), true},
        {"PNG cut in the pixel data", P, png.left(png.size() / 2), true},
        {"PNG of only the signature", P, png.left(8), true},
        {"not a PNG", P, "GIF89a....", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(CutShort(c.IsCutShort, c.Data), c.CutShort);
    }
}

// Each file's header and 56 more bytes: no file of that size holds so large a picture.
TEST(Partial, PngHeaderThatItsFileCannotHoldIsRefusedAtOnce) {
    QTemporaryDir dir;
    const auto header = [](uint32_t W, uint32_t H) {
        const QByteArray ihdr = "IHDR" + TBytes().be32(W).be32(H).u8({8, 6, 0, 0, 0}).Data;
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(ihdr.constData()), 17);
        return TBytes().u8({0x89, 'P', 'N', 'G', 13, 10, 26, 10}).be32(13).Data + ihdr +
               TBytes().be32(uint32_t(crc)).Data + QByteArray(56, '\0');
    };
    const std::optional<TPngHeader> png = ReadPngHeader(header(100000, 100000));
    ASSERT_TRUE(png);
    EXPECT_EQ(png->Width, 100000);
    EXPECT_EQ(png->LeastFileBytes, 100000 * (1 + 400000LL) / 1032);
    // The largest sides a PNG allows: rows × row bytes alone would overflow 64 bits.
    const uint32_t side = 0x7FFFFFFF;
    const std::optional<TPngHeader> largest = ReadPngHeader(header(side, side));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->LeastFileBytes, qint64(__int128(side) * (1 + 4 * __int128(side)) / 1032));
    // The fuzzer's find: 15-bit samples in a 1195446432 × 1831010552 picture.
    const std::optional<TPngHeader> found =
        ReadPngHeader(Fixture("fuzz/png-header-size-overflow.png"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->LeastFileBytes,
              qint64(__int128(1831010552) * (1 + (1195446432LL * 45 + 7) / 8) / 1032));
    EXPECT_FALSE(ReadPngHeader("GIF89a"));
    const QString name = Save(dir, "huge.png", header(100000, 100000));
    TFMXBitmapEx bitmap;
    EXPECT_FALSE(bitmap.LoadFromFileEx(name, 0));
    EXPECT_EQ(bitmap.LastError(),
              QStringLiteral("Cannot read \"%1\": its 89 bytes cannot hold a 100000 × 100000 "
                             "picture, which takes at least 39 MB even at the densest "
                             "compression.")
                  .arg(name));
}

// Qt's decoder refuses a PNG cut short; it is read as far as it goes, with a warning, and its
// rows are Qt's own.
TEST(Partial, PngCutShortGivesTheRowsItHolds) {
    QTemporaryDir dir;
    for (const char* fixture : {"src-rgb.png", "rgba16.png", "rgb-interlaced.png"}) {
        SCOPED_TRACE(fixture);
        const QByteArray whole = Fixture(fixture);
        const QString name = Save(dir, "cut.png", whole.left(whole.size() * 3 / 5));
        TFMXBitmapEx bitmap;
        ASSERT_TRUE(bitmap.LoadFromFileEx(name, 0)) << bitmap.LastError().toStdString();
        const QString warning = bitmap.LastWarning();
        EXPECT_TRUE(warning.startsWith(QStringLiteral("\"%1\" is cut short: ").arg(name)))
            << warning.toStdString();
        EXPECT_TRUE(warning.endsWith("; the rest is transparent.")) << warning.toStdString();
        const QImage& img = bitmap.Bitmap();
        ASSERT_EQ(img.size(), QSize(37, 23));
        EXPECT_EQ(img.format(), QImage::Format_ARGB32_Premultiplied);
        const QImage expected = Source(fixture);
        if (QByteArray(fixture) == "rgb-interlaced.png") {
            EXPECT_TRUE(warning.contains("interlaced"));
            EXPECT_EQ(PixelAt(img, 0, 0), PixelAt(expected, 0, 0)); // the first pass's pixel
            continue;
        }
        int rows = 0;
        ASSERT_EQ(std::sscanf(warning.section(": ", 1).toLatin1(), "%d of its 23 rows", &rows), 1)
            << warning.toStdString();
        ASSERT_GT(rows, 0);
        ASSERT_LT(rows, 23);
        EXPECT_TRUE(SamePixels(img.copy(0, 0, 37, rows), expected.copy(0, 0, 37, rows)));
        QImage clear(37, 23 - rows, QImage::Format_ARGB32_Premultiplied);
        clear.fill(Qt::transparent);
        EXPECT_TRUE(SamePixels(img.copy(0, rows, 37, 23 - rows), clear));
    }
}

TEST(Partial, PngCutBeforeItsFirstRowIsRefused) {
    QTemporaryDir dir;
    const QByteArray whole = Fixture("src-rgb.png");
    const QString name = Save(dir, "cut.png", whole.left(whole.indexOf("IDAT") + 12));
    TFMXBitmapEx bitmap(2, 2);
    const QImage before = bitmap.Bitmap();
    EXPECT_FALSE(bitmap.LoadFromFileEx(name, 0));
    EXPECT_TRUE(bitmap.LastError().contains("cut short before its first row"))
        << bitmap.LastError().toStdString();
    EXPECT_EQ(bitmap.Bitmap(), before);
}

// A damaged PNG that is not cut short keeps Qt's own reason.
TEST(Partial, DamagedPngIsStillRefused) {
    QTemporaryDir dir;
    QByteArray data = Fixture("src-rgb.png");
    const qsizetype idat = data.indexOf("IDAT");
    data[idat + 20] = char(data[idat + 20] ^ 0x55); // the CRC no longer matches
    const QString name = Save(dir, "bad.png", data);
    TFMXBitmapEx bitmap;
    EXPECT_FALSE(bitmap.LoadFromFileEx(name, 0));
    EXPECT_TRUE(bitmap.LastError().startsWith(QStringLiteral("Cannot read \"%1\"").arg(name)));
    EXPECT_TRUE(bitmap.LastWarning().isEmpty());
}

TEST(Partial, JpegCutShortIsReadWithAWarning) {
    QTemporaryDir dir;
    const QByteArray whole = Fixture("exif-right-top.jpg");
    const QString name = Save(dir, "cut.jpg", whole.left(whole.size() * 2 / 3));
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(name, 0)) << bitmap.LastError().toStdString();
    EXPECT_EQ(bitmap.Bitmap().size(), QSize(23, 37)); // turned upright, as the whole file is
    EXPECT_EQ(bitmap.LastWarning(),
              QStringLiteral("\"%1\" is cut short: it is read as far as it goes, and what is "
                             "missing comes out grey or blurred.")
                  .arg(name));
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("exif-right-top.jpg"), 0));
    EXPECT_TRUE(bitmap.LastWarning().isEmpty()); // the next load starts afresh
}

} // namespace
