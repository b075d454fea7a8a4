// The BMP, GIF and PNG readers on small files made here, one for each class of fault the
// readers had, with the pixels worked out by hand from the formats' rules.
#include "bitmap_ex.h"
#include "bmp.h"
#include "gif.h"
#include "imaging_support.h"
#include "memory_budget.h"
#include "png_reader.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <zlib.h>

namespace {

QImage Row(std::initializer_list<QRgb> APixels) {
    QImage img(int(APixels.size()), 1, QImage::Format_ARGB32_Premultiplied);
    int x = 0;
    for (QRgb p : APixels)
        reinterpret_cast<QRgb*>(img.scanLine(0))[x++] = p;
    return img;
}

QImage Rows(const std::vector<std::vector<QRgb>>& ARows) {
    QImage img(int(ARows[0].size()), int(ARows.size()), QImage::Format_ARGB32_Premultiplied);
    for (size_t y = 0; y < ARows.size(); ++y)
        for (size_t x = 0; x < ARows[y].size(); ++x)
            reinterpret_cast<QRgb*>(img.scanLine(int(y)))[x] = ARows[y][x];
    return img;
}

// ---------------------------------------------------------------------------------- BMP

// A BMP file: the file header, an info header of AHeaderSize bytes (Windows layout, or the core
// one for 12), the masks after a 40-byte header, the palette, then the pixel data.
struct TBmpFile {
    int HeaderSize = 40;
    int W = 1, H = 1, Bits = 24;
    uint32_t Compression = 0, ColorsUsed = 0;
    std::vector<uint32_t> Masks; // inside the header, or after a 40-byte one
    std::vector<QRgb> Palette;   // as B, G, R(, 0)
    QByteArray Pixels;

    QByteArray bytes() const {
        TBytes info;
        if (HeaderSize == 12) {
            info.le32(12).le16(W).le16(H).le16(1).le16(Bits);
        } else {
            info.le32(uint32_t(HeaderSize)).le32(uint32_t(W)).le32(uint32_t(H)).le16(1).le16(Bits);
            info.le32(Compression).le32(uint32_t(Pixels.size())).le32(2835).le32(2835);
            info.le32(ColorsUsed).le32(0);
            if (HeaderSize > 40)
                for (uint32_t m : Masks)
                    info.le32(m);
            info.Data = info.Data.leftJustified(HeaderSize, '\0', true);
            if (HeaderSize == 40)
                for (uint32_t m : Masks)
                    info.le32(m);
        }
        for (QRgb c : Palette) {
            info.u8({qBlue(c), qGreen(c), qRed(c)});
            if (HeaderSize != 12)
                info.u8({0});
        }
        const int offBits = 14 + int(info.Data.size());
        TBytes file;
        file.text("BM").le32(uint32_t(offBits + Pixels.size())).le32(0).le32(uint32_t(offBits));
        return file.Data + info.Data + Pixels;
    }
};

QImage ReadBmpOk(const QByteArray& AData, QString* AWarning = nullptr) {
    QString warning;
    QImage img;
    const QString refusal = Refusal([&] { img = ReadBmp(AData, warning); });
    EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
    if (AWarning)
        *AWarning = warning;
    else
        EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    return img;
}

// Channels not 8 bits wide were scaled by a shift: a 5-bit 31 became 248. Now round(v × 255 /
// max): 31 → 255, and 16 of 31 → 131.6 → 132.
TEST(Bmp, SixteenBitRgbIsFiveFiveFive) {
    TBmpFile f;
    f.W = 3, f.Bits = 16;
    f.Pixels = TBytes().le16(0x7fff).le16(0x0010).le16(0x7c00).le16(0).Data; // padded to 4
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()),
                           Row({qRgb(255, 255, 255), qRgb(0, 0, 132), qRgb(255, 0, 0)})));
}

TEST(Bmp, FiveSixFiveMasksInEveryHeader) {
    for (const int header : {40, 52, 56, 108, 124}) {
        SCOPED_TRACE(header);
        TBmpFile f;
        f.HeaderSize = header, f.W = 3, f.Bits = 16, f.Compression = 3;
        f.Masks = {0xf800, 0x7e0, 0x1f};
        if (header >= 56)
            f.Masks.push_back(0);
        // Green 32 of 63: 129.5 → 130.
        f.Pixels = TBytes().le16(0xffff).le16(32 << 5).le16(0xf800).le16(0).Data;
        EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()),
                               Row({qRgb(255, 255, 255), qRgb(0, 130, 0), qRgb(255, 0, 0)})));
    }
}

// rgba16-4444: an alpha of 15 is opaque (255), not 240; 8 of 15 is 136.
TEST(Bmp, FourBitAlphaReachesOpaque) {
    TBmpFile f;
    f.HeaderSize = 124, f.W = 2, f.Bits = 16, f.Compression = 3;
    f.Masks = {0xf00, 0xf0, 0xf, 0xf000};
    f.Pixels = TBytes().le16(0xff00).le16(0x80f0).Data;
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()),
                           Row({qRgb(255, 0, 0), qPremultiply(qRgba(0, 255, 0, 136))})));
}

// Wider than 8 bits: rgb32-111110's 11, 11 and 10 bits, and a 16-bit channel, each rounded.
TEST(Bmp, WideChannelsAreRounded) {
    TBmpFile f;
    f.W = 3, f.Bits = 32, f.Compression = 3;
    f.Masks = {0xffe00000, 0x1ffc00, 0x3ff};
    const auto p = [](uint32_t r, uint32_t g, uint32_t b) { return r << 21 | g << 10 | b; };
    // 1024 of 2047 is 127.56 → 128; 5 of 2047 is 0.62 → 1; 4 of 2047 is 0.498 → 0.
    f.Pixels = TBytes().le32(p(2047, 1024, 1023)).le32(p(5, 4, 0)).le32(p(0, 2047, 512)).Data;
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()), Row({qRgb(255, 128, 255), qRgb(1, 0, 0),
                                                      qRgb(0, 255, 128)}))); // 512 of 1023: 127.6
    TBmpFile g;
    g.HeaderSize = 56, g.W = 1, g.Bits = 32, g.Compression = 3;
    g.Masks = {0xffff0000, 0xff00, 0xff, 0};
    g.Pixels = TBytes().le32(0x8000u << 16 | 0x1234).Data; // 32768 of 65535: 127.502 → 128
    EXPECT_TRUE(SamePixels(ReadBmpOk(g.bytes()), Row({qRgb(128, 0x12, 0x34)})));
}

// pal8os2sp: a core (OS/2 1.x) header has no palette count: the palette ends where the pixels
// start. Indices past it are opaque black.
TEST(Bmp, ShortOs2Palette) {
    TBmpFile f;
    f.HeaderSize = 12, f.W = 4, f.Bits = 8;
    f.Palette = {qRgb(10, 20, 30), qRgb(40, 50, 60), qRgb(70, 80, 90)};
    f.Pixels = TBytes().u8({2, 0, 1, 3}).Data;
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()), Row({qRgb(70, 80, 90), qRgb(10, 20, 30),
                                                      qRgb(40, 50, 60), qRgb(0, 0, 0)})));
    // The same with a Windows header whose count says 3.
    f.HeaderSize = 40, f.ColorsUsed = 3;
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()), Row({qRgb(70, 80, 90), qRgb(10, 20, 30),
                                                      qRgb(40, 50, 60), qRgb(0, 0, 0)})));
}

// A BMP cut short left its missing rows as uninitialised memory, with no warning. They are
// transparent black now, the same on every run, and the loader warns.
TEST(Bmp, RowsTheFileCannotFillAreTransparent) {
    TBmpFile f;
    f.W = 2, f.H = 4, f.Bits = 24; // rows of 8 bytes, the bottom one first
    f.Pixels = TBytes()
                   .u8({1, 2, 3, 4, 5, 6, 0, 0})
                   .u8({7, 8, 9, 10, 11, 12, 0, 0})
                   .u8({13, 14, 15}) // part of a third row
                   .Data;
    QString warning;
    const QImage img = ReadBmpOk(f.bytes(), &warning);
    EXPECT_EQ(warning, "2 of its 4 rows are read; the rest is transparent");
    EXPECT_TRUE(SamePixels(
        img,
        Rows({{0, 0}, {0, 0}, {qRgb(9, 8, 7), qRgb(12, 11, 10)}, {qRgb(3, 2, 1), qRgb(6, 5, 4)}})));
    QTemporaryDir dir;
    const QString path = Save(dir, "cut.bmp", f.bytes());
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(path, 0)) << bitmap.LastError().toStdString();
    EXPECT_EQ(bitmap.LastWarning(),
              QStringLiteral("\"%1\" is cut short: 2 of its 4 rows are read; the rest is "
                             "transparent.")
                  .arg(path));
    // Not even one row: refused, with nothing allocated.
    f.Pixels = f.Pixels.left(5);
    EXPECT_EQ(Refusal([&] { ReadBmp(f.bytes(), warning); }),
              "the file is cut short before its first row");
}

TEST(Bmp, Rle8) {
    TBmpFile f;
    f.W = 4, f.H = 3, f.Bits = 8, f.Compression = 1;
    f.Palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    f.Pixels = TBytes()
                   .u8({3, 1, 0, 0})       // bottom row: three of index 1, end of line
                   .u8({0, 2, 1, 0})       // move one to the right
                   .u8({0, 3, 2, 3, 1, 0}) // three literal indices, padded to 16 bits
                   .u8({0, 0})             // end of line
                   .u8({6, 3, 0, 1})       // a run past the right edge, end of picture
                   .Data;
    const QRgb r = qRgb(255, 0, 0), g = qRgb(0, 255, 0), b = qRgb(0, 0, 255);
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()), Rows({{b, b, b, b}, {0, g, b, r}, {r, r, r, 0}})));
}

TEST(Bmp, Rle4) {
    TBmpFile f;
    f.W = 5, f.H = 2, f.Bits = 4, f.Compression = 2;
    f.Palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    f.Pixels = TBytes()
                   .u8({5, 0x12, 0, 0})          // alternating 1 and 2, end of line
                   .u8({0, 3, 0x31, 0x20, 0, 1}) // literal 3, 1, 2; end of picture
                   .Data;
    const QRgb r = qRgb(255, 0, 0), g = qRgb(0, 255, 0), b = qRgb(0, 0, 255);
    EXPECT_TRUE(SamePixels(ReadBmpOk(f.bytes()), Rows({{b, r, g, 0, 0}, {r, g, r, g, r}})));
}

// An RLE file that ends before its end-of-picture escape was read with no warning (a 253-byte
// one became a 2554 × 18803 picture). It warns now; a file that ends before drawing anything is
// refused.
TEST(Bmp, RleCutShortWarns) {
    TBmpFile f;
    f.W = 300, f.H = 200, f.Bits = 8, f.Compression = 1;
    f.Palette = {qRgb(0, 0, 0), qRgb(255, 0, 0)};
    f.Pixels = TBytes().u8({255, 1, 45, 1, 0, 0, 10, 1}).Data;
    QString warning;
    const QImage img = ReadBmpOk(f.bytes(), &warning);
    EXPECT_EQ(warning, "1 of its 200 rows are read; the rest is transparent");
    EXPECT_EQ(PixelAt(img, 299, 199), qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(img, 9, 198), qRgb(255, 0, 0));
    EXPECT_EQ(PixelAt(img, 10, 198), 0u);
    EXPECT_EQ(PixelAt(img, 0, 0), 0u);
    f.Pixels = TBytes().u8({0, 0}).Data;
    EXPECT_EQ(Refusal([&] { ReadBmp(f.bytes(), warning); }),
              "the file is cut short before its first row");
}

TEST(Bmp, Refusals) {
    const auto refusal = [](const TBmpFile& AFile) {
        QString warning;
        return Refusal([&] { ReadBmp(AFile.bytes(), warning); });
    };
    TBmpFile f;
    f.H = INT32_MIN; // no positive counterpart
    EXPECT_TRUE(refusal(f).contains("is not possible")) << refusal(f).toStdString();
    f = {};
    f.Bits = 7;
    EXPECT_TRUE(refusal(f).contains("7 bits")) << refusal(f).toStdString();
    f = {};
    f.Bits = 16, f.Compression = 3, f.Masks = {0xf0f, 0xf0, 0};
    EXPECT_TRUE(refusal(f).contains("not one run of bits")) << refusal(f).toStdString();
    f = {};
    f.Bits = 16, f.Compression = 3, f.Masks = {0x1f0000, 0x3e0, 0x1f};
    EXPECT_TRUE(refusal(f).contains("inside 16-bit")) << refusal(f).toStdString();
    f = {};
    f.Bits = 0, f.Compression = 5;
    EXPECT_EQ(refusal(f), "BMP files that hold a PNG picture are not supported");
    EXPECT_EQ(Refusal([] {
                  QString w;
                  ReadBmp(QByteArray("BM\0\0\0\0", 6), w);
              }),
              "the file is cut short in its header");
}

// ---------------------------------------------------------------------------------- GIF

// Image data as LZW codes that never grow past 3 bits: a clear code before every two indices,
// so that the table never reaches 8 entries. Indices of 0 to 3, minimum code size 2.
QByteArray LzwData(const std::vector<int>& AIndices) {
    std::vector<int> codes;
    for (size_t i = 0; i < AIndices.size(); ++i) {
        if (i % 2 == 0)
            codes.push_back(4); // clear
        codes.push_back(AIndices[i]);
    }
    codes.push_back(5); // end of information
    QByteArray packed;
    uint32_t acc = 0;
    int bits = 0;
    for (int c : codes) {
        acc |= uint32_t(c) << bits;
        bits += 3;
        while (bits >= 8) {
            packed.append(char(acc & 255));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        packed.append(char(acc & 255));
    QByteArray out(1, char(2)); // the minimum code size
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        out.append(char(block.size())).append(block);
    }
    return out.append('\0');
}

struct TGifFile {
    int SW = 4, SH = 3;
    std::vector<QRgb> Colours = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                 qRgb(255, 255, 255)};
    int Transparent = -1;
    int Left = 0, Top = 0, W = 4, H = 3;
    bool Interlaced = false;
    std::vector<int> Indices;
    bool Trailer = true;

    QByteArray bytes() const {
        TBytes g;
        g.text("GIF89a").le16(SW).le16(SH);
        int sizeField = 0;
        while ((2 << sizeField) < int(Colours.size()))
            ++sizeField;
        g.u8({Colours.empty() ? 0 : 0x80 | sizeField, 0, 0});
        for (int i = 0; !Colours.empty() && i < (2 << sizeField); ++i) {
            const QRgb c = i < int(Colours.size()) ? Colours[size_t(i)] : 0;
            g.u8({qRed(c), qGreen(c), qBlue(c)});
        }
        if (Transparent >= 0)
            g.u8({0x21, 0xf9, 4, 1, 0, 0, Transparent, 0});
        g.u8({0x2c}).le16(Left).le16(Top).le16(W).le16(H).u8({Interlaced ? 0x40 : 0});
        g.Data += LzwData(Indices);
        if (Trailer)
            g.u8({0x3b});
        return g.Data;
    }
};

QImage ReadGifOk(const QByteArray& AData, QString* AWarning = nullptr) {
    QString warning;
    QImage img;
    const QString refusal = Refusal([&] { img = ReadGif(AData, warning); });
    EXPECT_TRUE(refusal.isEmpty()) << refusal.toStdString();
    if (AWarning)
        *AWarning = warning;
    else
        EXPECT_TRUE(warning.isEmpty()) << warning.toStdString();
    return img;
}

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255);

// Plain files, whose frame covers the screen: Qt's pixels.
TEST(Gif, ReadsAsQtDoes) {
    int clear = 0;
    for (const char* name : {"small.gif", "rgb-interlaced.gif", "rgba-transparent.gif"}) {
        SCOPED_TRACE(name);
        const QImage mine = ReadGifOk(Fixture(name));
        EXPECT_TRUE(SamePixels(mine, QImage(DataPath(name))));
        for (int y = 0; y < mine.height(); ++y)
            for (int x = 0; x < mine.width(); ++x)
                clear += PixelAt(mine, x, y) == 0;
    }
    EXPECT_GT(clear, 100); // the transparent colour
}

// The first frame on the logical screen: outside the frame, and its transparent index, are
// transparent black (Pillow would paint the background colour outside the frame; browsers
// leave it clear, as here).
TEST(Gif, FrameOnTheScreenWithTransparency) {
    TGifFile f;
    f.Left = 1, f.Top = 1, f.W = 2, f.H = 2, f.Transparent = 3;
    f.Indices = {0, 1, 3, 2};
    EXPECT_TRUE(SamePixels(ReadGifOk(f.bytes()),
                           Rows({{0, 0, 0, 0}, {0, kRed, kGreen, 0}, {0, 0, kBlue, 0}})));
    // A frame that overhangs the screen is cut at its edge.
    f.SW = 2, f.SH = 2, f.W = 3, f.H = 3, f.Transparent = -1;
    f.Indices = {2, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(SamePixels(ReadGifOk(f.bytes()), Rows({{0, 0}, {0, kBlue}})));
}

TEST(Gif, InterlacedRowsInTheirPlaces) {
    TGifFile f;
    f.SW = 1, f.SH = 5, f.W = 1, f.H = 5, f.Interlaced = true;
    f.Indices = {0, 1, 2, 3, 0}; // rows 0, 4, 2, 1, 3
    const QRgb w = qRgb(255, 255, 255);
    EXPECT_TRUE(SamePixels(ReadGifOk(f.bytes()), Rows({{kRed}, {w}, {kBlue}, {kRed}, {kGreen}})));
}

// Indices past the colour table are opaque black, as Pillow makes them.
TEST(Gif, IndicesPastTheTableAreBlack) {
    TGifFile f;
    f.SW = 3, f.SH = 1, f.W = 3, f.H = 1;
    f.Colours = {kRed, kGreen}; // a table of two
    f.Indices = {1, 3, 0};
    EXPECT_TRUE(SamePixels(ReadGifOk(f.bytes()), Row({kGreen, qRgb(0, 0, 0), kRed})));
}

// GIFs cut short, or with no pixel data, were read with no warning: a 26-byte GIF without any
// image data became an 11390 × 12595 picture (4 s, 1.1 GB).
TEST(Gif, CutShortOrEmptyIsWarnedOrRefused) {
    TGifFile f;
    // giflib reads image data a block of up to 255 bytes at a time: data of several blocks.
    f.SW = 40, f.SH = 40, f.W = 40, f.H = 40;
    for (int i = 0; i < 1600; ++i)
        f.Indices.push_back(i % 3);
    const QByteArray whole = f.bytes();
    QString warning;
    const QImage cut = ReadGifOk(whole.left(whole.size() / 2), &warning);
    int rows = 0;
    ASSERT_EQ(std::sscanf(warning.toLatin1(), "%d of its 40 rows", &rows), 1)
        << warning.toStdString();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 40);
    const QImage full = ReadGifOk(whole);
    EXPECT_TRUE(SamePixels(cut.copy(0, 0, 40, rows), full.copy(0, 0, 40, rows)));
    QImage clear(40, 40 - rows, QImage::Format_ARGB32_Premultiplied);
    clear.fill(Qt::transparent);
    EXPECT_TRUE(SamePixels(cut.copy(0, rows, 40, 40 - rows), clear));

    const auto refusal = [&](const QByteArray& AData) {
        return Refusal([&] { ReadGif(AData, warning); });
    };
    const qsizetype image = whole.indexOf(char(0x2c));
    EXPECT_EQ(refusal(whole.left(image + 12)), "the file is cut short before its first row");
    EXPECT_EQ(refusal(whole.left(image + 5)), "the file is cut short before its first picture");
    EXPECT_EQ(refusal(whole.left(image)),
              "its 0 bytes of data cannot fill a 40 × 40 picture, which takes at least 1 bytes");
    EXPECT_EQ(refusal(whole.left(image) + ";"), "the GIF holds no picture");
    // The file: a screen of 11390 × 12595 and 13 bytes after the header.
    QByteArray empty = TBytes().text("GIF89a").le16(11390).le16(12595).u8({0, 0, 0}).Data;
    empty += QByteArray(12, '\0') + ";";
    EXPECT_EQ(refusal(empty), "its 13 bytes of data cannot fill a 11390 × 12595 picture, which "
                              "takes at least 8756 bytes");
    // A frame larger than its data could fill, on a screen that the file could.
    TGifFile big = f;
    big.SW = 4, big.SH = 4, big.W = 5000, big.H = 5000;
    EXPECT_TRUE(refusal(big.bytes()).contains("cannot fill a 5000 × 5000 frame"))
        << refusal(big.bytes()).toStdString();
    TGifFile bare = f;
    bare.Colours.clear();
    EXPECT_EQ(refusal(bare.bytes()), "its first picture has no colour table");
    EXPECT_EQ(refusal("GIF89a\x01"), "the file is cut short in its header");
    // And through the loader, a warning naming the file.
    QTemporaryDir dir;
    const QString path = Save(dir, "cut.gif", whole.left(whole.size() / 2));
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(path, 0)) << bitmap.LastError().toStdString();
    EXPECT_TRUE(bitmap.LastWarning().startsWith(QStringLiteral("\"%1\" is cut short: ").arg(path)));
}

// ---------------------------------------------------------------------------------- PNG

QByteArray Chunk(const char* AType, const QByteArray& AData) {
    const QByteArray body = QByteArray(AType) + AData;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.constData()), uInt(body.size()));
    return TBytes().be32(uint32_t(AData.size())).Data + body + TBytes().be32(uint32_t(crc)).Data;
}

QByteArray Png(int W, int H, int ADepth, int AType, const QByteArray& ARaw,
               const QByteArray& ATrns) {
    QByteArray z(int(compressBound(uLong(ARaw.size()))), '\0');
    uLongf size = uLongf(z.size());
    compress(reinterpret_cast<Bytef*>(z.data()), &size,
             reinterpret_cast<const Bytef*>(ARaw.constData()), uLong(ARaw.size()));
    z.truncate(qsizetype(size));
    const QByteArray ihdr =
        TBytes().be32(uint32_t(W)).be32(uint32_t(H)).u8({ADepth, AType, 0, 0, 0}).Data;
    return TBytes().u8({0x89, 'P', 'N', 'G', 13, 10, 26, 10}).Data + Chunk("IHDR", ihdr) +
           (ATrns.isEmpty() ? QByteArray() : Chunk("tRNS", ATrns)) + Chunk("IDAT", z) +
           Chunk("IEND", {});
}

// A 1-bit grey PNG whose tRNS grey is 255 kept white opaque: the PNG format's rules take the
// value's low bits at the image's depth, so white (1) is the transparent one.
TEST(PngReader, GreyTrnsIsMaskedToTheBitDepth) {
    QString warning;
    // Filter byte 0, then pixels 0 and 1.
    const QByteArray oneBit = Png(2, 1, 1, 0, QByteArray("\x00\x40", 2), TBytes().be16(255).Data);
    EXPECT_TRUE(SamePixels(ReadPng(oneBit, warning), Row({qRgb(0, 0, 0), 0})));
    // 2 bits: 0x0102 is level 2 of 3 (170), which becomes clear.
    const QByteArray twoBits =
        Png(3, 1, 2, 0, QByteArray("\x00\x24", 2), TBytes().be16(0x0102).Data); // 0, 2, 1
    EXPECT_TRUE(SamePixels(ReadPng(twoBits, warning), Row({qRgb(0, 0, 0), 0, qRgb(85, 85, 85)})));
    // 16-bit RGB: the tRNS colour compared at 16 bits, the rest reduced by round(v / 257).
    const QByteArray deep = Png(2, 1, 16, 2,
                                TBytes()
                                    .u8({0})
                                    .be16(0x1234)
                                    .be16(0x8080)
                                    .be16(0xffff)
                                    .be16(0x1234)
                                    .be16(0x8080)
                                    .be16(0xfffe)
                                    .Data,
                                TBytes().be16(0x1234).be16(0x8080).be16(0xffff).Data);
    EXPECT_TRUE(SamePixels(ReadPng(deep, warning), Row({0, qRgb(18, 128, 255)})));
}

TEST(PngReader, DamageIsNamed) {
    QString warning;
    QByteArray bad = Fixture("src-rgb.png");
    bad[bad.indexOf("IDAT") + 30] = char(bad[bad.indexOf("IDAT") + 30] ^ 0x55);
    EXPECT_TRUE(Refusal([&] { ReadPng(bad, warning); }).startsWith("the PNG data are damaged ("));
}

} // namespace
