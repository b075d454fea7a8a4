#include "atomic_file.h"
#include "bitmap_ex.h"
#include "imaging_support.h"
#include "tga.h"
#include "vorm_error.h"

#include <QDir>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
#include <vector>

namespace {

TBytes Header(int AType, int W, int H, int ADepth, int ADescriptor, int AIdLength = 0) {
    TBytes b;
    b.u8({AIdLength, 0, AType, 0, 0, 0, 0, 0, 0, 0, 0, 0})
        .le16(W)
        .le16(H)
        .u8({ADepth, ADescriptor});
    return b;
}

// A 495-byte extension area, patched by AEdit, and the footer that points to it.
QByteArray WithFooter(QByteArray AFile, const std::function<void(QByteArray&)>& AEdit = {},
                      const char* ASignature = "TRUEVISION-XFILE.") {
    QByteArray e(495, '\0');
    e[0] = char(495 & 255);
    e[1] = char(495 >> 8);
    if (AEdit)
        AEdit(e);
    const uint32_t offset = uint32_t(AFile.size());
    AFile += e;
    TBytes footer;
    footer.le32(offset).le32(0).text(ASignature);
    footer.fill(18 - int(strlen(ASignature)), 0);
    return AFile + footer.Data;
}

void Put16(QByteArray& e, int AOffset, int AValue) {
    e[AOffset] = char(AValue & 255);
    e[AOffset + 1] = char(AValue >> 8);
}

QImage Read(const QByteArray& AData, TTGAParamsVals* AParams = nullptr) {
    TTGAParamsVals params;
    QImage img;
    ReadTGA(AData, img, AParams ? *AParams : params);
    return img;
}

QByteArray Write(const QImage& AImage, TTGAParamsVals& AParams) {
    QByteArray out;
    WriteTGA([&](const void* p, qint64 n) { out.append(static_cast<const char*>(p), n); }, AImage,
             AParams);
    return out;
}

QImage Row(std::initializer_list<QRgb> APixels) {
    QImage img(int(APixels.size()), 1, QImage::Format_ARGB32_Premultiplied);
    int x = 0;
    for (QRgb c : APixels)
        reinterpret_cast<QRgb*>(img.scanLine(0))[x++] = c;
    return img;
}

// The packet headers of a 24-bit run-length pixel section.
std::vector<int> PacketHeaders(const QByteArray& AFile, qsizetype AEnd) {
    std::vector<int> headers;
    qsizetype p = 18 + uint8_t(AFile[0]);
    while (p < AEnd) {
        const int h = uint8_t(AFile[p]);
        headers.push_back(h);
        p += 1 + (h & 128 ? 3 : ((h & 127) + 1) * 3);
    }
    return headers;
}

const QDateTime kToday(QDate::currentDate(), QTime(0, 0), Qt::UTC);

TEST(TGA, ImageMagickFilesMatchTheirSource) {
    const struct {
        const char* File;
        const char* Source;
    } cases[] = {
        {"rgb24-raw-bottom-up.tga", "src-rgb.png"},     {"rgb24-rle-top-down.tga", "src-rgb.png"},
        {"rgb24-raw-right-to-left.tga", "src-rgb.png"}, {"rgba32-raw-top-down.tga", "src-rgba.png"},
        {"rgba32-rle-bottom-up.tga", "src-rgba.png"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.File);
        QImage img;
        QString author = "old";
        LoadTGAFile(DataPath(c.File), img, author);
        EXPECT_TRUE(SamePixels(img, Source(c.Source)));
        EXPECT_EQ(author, "");
    }
}

TEST(TGA, DescriptorPlacesRowsAndPixels) {
    const QRgb A = qRgb(1, 2, 3), B = qRgb(4, 5, 6), C = qRgb(7, 8, 9), D = qRgb(10, 11, 12);
    const struct {
        int Descriptor;
        QRgb Top[2], Bottom[2];
    } cases[] = {
        {0x20, {A, B}, {C, D}}, // top to bottom
        {0x00, {C, D}, {A, B}}, // bottom to top: the file's first row at the bottom
        {0x10, {D, C}, {B, A}}, // right to left, bottom to top
        {0x30, {B, A}, {D, C}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Descriptor);
        TBytes f = Header(2, 2, 2, 24, c.Descriptor);
        for (QRgb p : {A, B, C, D})
            f.u8({qBlue(p), qGreen(p), qRed(p)});
        const QImage img = Read(f.Data);
        EXPECT_EQ(PixelAt(img, 0, 0), c.Top[0]);
        EXPECT_EQ(PixelAt(img, 1, 0), c.Top[1]);
        EXPECT_EQ(PixelAt(img, 0, 1), c.Bottom[0]);
        EXPECT_EQ(PixelAt(img, 1, 1), c.Bottom[1]);
    }
}

// A true-colour picture may carry a colour map after its ID; the pixels follow the map.
TEST(TGA, AColourMapBeforeTrueColourPixelsIsSkipped) {
    const struct { int Entries, EntryBits; } cases[] = {{2, 24}, {3, 15}, {1, 32}, {0, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 × %2 bits").arg(c.Entries).arg(c.EntryBits).toStdString());
        TBytes f;
        f.u8({3, 1, 2, 0, 0, c.Entries & 255, c.Entries >> 8, c.EntryBits, 0, 0, 0, 0, 1, 0, 1, 0,
              24, 0x20});
        f.text("id!").fill(c.Entries * ((c.EntryBits + 7) / 8), 0xEE).u8({30, 20, 10});
        EXPECT_EQ(PixelAt(Read(f.Data), 0, 0), qRgb(10, 20, 30));
    }
}

TEST(TGA, RepeatPacketCrossesTheRowEnd) {
    // Two raw pixels, a repeat packet of 5 that starts 2 pixels before the row end, one raw.
    TBytes f = Header(10, 4, 2, 24, 0x20);
    f.u8({1, 1, 1, 1, 2, 2, 2}).u8({128 + 4, 3, 3, 3}).u8({0, 4, 4, 4});
    const QImage img = Read(f.Data);
    const QRgb P = qRgb(1, 1, 1), Q = qRgb(2, 2, 2), R = qRgb(3, 3, 3), S = qRgb(4, 4, 4);
    const QRgb expected[2][4] = {{P, Q, R, R}, {R, R, R, S}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(PixelAt(img, x, y), expected[y][x]) << x << "," << y;
}

TEST(TGA, ThirtyTwoBitPixelsBecomePremultiplied) {
    const struct {
        const char* Name;
        int Attributes; // -1: no extension area
        int B, G, R, A;
        QRgb Expected;
    } cases[] = {
        {"straight alpha by convention", -1, 50, 100, 200, 128,
         qPremultiply(qRgba(200, 100, 50, 128))},
        {"attributes say straight alpha", 3, 50, 100, 200, 128,
         qPremultiply(qRgba(200, 100, 50, 128))},
        {"premultiplied, taken as it is", 4, 20, 30, 40, 128, qRgba(40, 30, 20, 128)},
        {"premultiplied but above alpha", 4, 50, 100, 200, 128, qRgba(128, 100, 50, 128)},
        {"transparent", -1, 50, 100, 200, 0, 0},
        {"opaque", -1, 50, 100, 200, 255, qRgb(200, 100, 50)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QByteArray f = Header(2, 1, 1, 32, 0x28).u8({c.B, c.G, c.R, c.A}).Data;
        if (c.Attributes >= 0)
            f = WithFooter(f, [&](QByteArray& e) { e[494] = char(c.Attributes); });
        EXPECT_EQ(Hex(PixelAt(Read(f), 0, 0)), Hex(c.Expected));
    }
    // Alpha comes from the fourth byte whatever alpha-bit count the descriptor gives.
    const QByteArray noAlphaBits = Header(2, 1, 1, 32, 0x20).u8({0, 0, 90, 90}).Data;
    EXPECT_EQ(Hex(PixelAt(Read(noAlphaBits), 0, 0)), Hex(qPremultiply(qRgba(90, 0, 0, 90))));
}

TEST(TGA, FooterAndExtensionArea) {
    const QByteArray pixel = Header(2, 1, 1, 24, 0x20).u8({1, 2, 3}).Data;
    const auto author = [](QByteArray& e) { memcpy(e.data() + 2, "Ada", 3); };
    const auto date = [](int m, int d, int y, int h, int mi, int s) {
        return [=](QByteArray& e) {
            Put16(e, 367, m), Put16(e, 369, d), Put16(e, 371, y);
            Put16(e, 373, h), Put16(e, 375, mi), Put16(e, 377, s);
        };
    };
    const struct {
        const char* Name;
        QByteArray File;
        QByteArray Author, Job;
        QDateTime Date;
        double Aspect, Gamma;
        TRGB Key;
    } cases[] = {
        {"no footer", pixel, "", "", kToday, 1.0, 2.2, {}},
        {"extension offset 0",
         pixel + TBytes().le32(0).le32(0).text("TRUEVISION-XFILE.").u8({0}).Data,
         "",
         "",
         kToday,
         1.0,
         2.2,
         {}},
        {"signature without its dot",
         WithFooter(pixel, author, "TRUEVISION-XFILE"),
         "",
         "",
         kToday,
         1.0,
         2.2,
         {}},
        {"signature in lower case",
         WithFooter(pixel, author, "truevision-xfile."),
         "",
         "",
         kToday,
         1.0,
         2.2,
         {}},
        {"author and job name",
         WithFooter(pixel,
                    [](QByteArray& e) {
                        memcpy(e.data() + 2, "Ada", 3);
                        memcpy(e.data() + 379, "Sunset", 6);
                    }),
         "Ada",
         "Sunset",
         kToday,
         1.0,
         2.2,
         {}},
        {"41-byte author without its zero",
         WithFooter(pixel, [](QByteArray& e) { memset(e.data() + 2, 'x', 41); }),
         QByteArray(41, 'x'),
         "",
         kToday,
         1.0,
         2.2,
         {}},
        {"a valid date stamp",
         WithFooter(pixel, date(2, 29, 2024, 13, 45, 59)),
         "",
         "",
         QDateTime(QDate(2024, 2, 29), QTime(13, 45, 59), Qt::UTC),
         1.0,
         2.2,
         {}},
        {"30 February",
         WithFooter(pixel, date(2, 30, 2024, 1, 2, 3)),
         "",
         "",
         kToday,
         1.0,
         2.2,
         {}},
        {"hour 24", WithFooter(pixel, date(1, 1, 2024, 24, 0, 0)), "", "", kToday, 1.0, 2.2, {}},
        {"year 2500", WithFooter(pixel, date(1, 1, 2500, 0, 0, 0)), "", "", kToday, 1.0, 2.2, {}},
        {"aspect, gamma and key colour",
         WithFooter(pixel,
                    [](QByteArray& e) {
                        Put16(e, 474, 3), Put16(e, 476, 2), Put16(e, 478, 22), Put16(e, 480, 10);
                        e[470] = 9, e[471] = 10, e[472] = 20, e[473] = 30;
                    }),
         "",
         "",
         kToday,
         1.5,
         2.2,
         {30, 20, 10}},
        {"zero denominators",
         WithFooter(pixel, [](QByteArray& e) { Put16(e, 474, 3), Put16(e, 478, 22); }),
         "",
         "",
         kToday,
         1.0,
         2.2,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTGAParamsVals p;
        const QImage img = Read(c.File, &p);
        EXPECT_EQ(PixelAt(img, 0, 0), qRgb(3, 2, 1));
        EXPECT_EQ(p.TGA_Author, c.Author);
        EXPECT_EQ(p.TGA_ImageName, c.Job);
        EXPECT_EQ(p.TGA_Date, c.Date);
        EXPECT_DOUBLE_EQ(p.TGA_AspectRatio, c.Aspect);
        EXPECT_DOUBLE_EQ(p.TGA_Gamma, c.Gamma);
        EXPECT_EQ(p.TGA_Background.r, c.Key.r);
        EXPECT_EQ(p.TGA_Background.g, c.Key.g);
        EXPECT_EQ(p.TGA_Background.b, c.Key.b);
    }
}

TEST(TGA, WriterPacketHeaders) {
    const QRgb A = qRgb(1, 1, 1), B = qRgb(2, 2, 2), C = qRgb(3, 3, 3);
    QImage distinct(130, 1, QImage::Format_ARGB32_Premultiplied), equal(200, 1, distinct.format());
    for (int x = 0; x < 130; ++x)
        reinterpret_cast<QRgb*>(distinct.scanLine(0))[x] = qRgb(x, 0, 0);
    equal.fill(A);
    QImage twoRows(3, 2, distinct.format());
    twoRows.fill(B);
    const struct {
        const char* Name;
        QImage Picture;
        std::vector<int> Headers;
    } cases[] = {
        {"A A A B C", Row({A, A, A, B, C}), {130, 1}},
        {"A B B", Row({A, B, B}), {0, 129}},
        {"A B B C", Row({A, B, B, C}), {0, 129, 0}},
        {"one pixel", Row({C}), {0}},
        {"130 distinct pixels", distinct, {126, 2}},
        {"200 equal pixels", equal, {255, 199}},
        {"no packet crosses a row end", twoRows, {130, 130}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TTGAParamsVals p;
        p.TGA_Compressed = true;
        const QByteArray f = Write(c.Picture, p);
        ASSERT_EQ(f[2], 10);
        ASSERT_EQ(f[16], 24);
        const qsizetype extension = uint8_t(f[f.size() - 26]) | uint8_t(f[f.size() - 25]) << 8;
        EXPECT_EQ(PacketHeaders(f, extension), c.Headers);
        EXPECT_TRUE(SamePixels(Read(f), c.Picture));
    }
}

TEST(TGA, SavedTenByTenBitmapLayout) {
    QTemporaryDir dir;
    const QString name = dir.filePath("ten.tga");
    TFMXBitmapEx bitmap(10, 10);
    bitmap.SaveToFileEx(name, nullptr);
    const QByteArray f = ReadAll(name);
    ASSERT_EQ(f.size(), 18 + 1 + 400 + 495 + 26);
    EXPECT_EQ(f.left(18), Header(2, 10, 10, 32, 0x28, 1).Data);
    EXPECT_EQ(f[18], '\0'); // the empty image ID's zero byte
    const QByteArray e = f.mid(419, 495);
    EXPECT_EQ(f.mid(f.size() - 26),
              TBytes().le32(419).le32(0).text("TRUEVISION-XFILE.").u8({0}).Data);
    EXPECT_EQ(e.left(2), TBytes().le16(495).Data);
    EXPECT_EQ(e.mid(2, 8), QByteArray("ORVANTE\0", 8));
    EXPECT_EQ(e.mid(367, 12), TBytes().le16(12).le16(30).le16(1899).le16(0).le16(0).le16(0).Data);
    EXPECT_EQ(e.mid(474, 8), TBytes().le16(0).le16(10000).le16(0).le16(10000).Data);
    EXPECT_EQ(e[494], 4); // premultiplied
    QString author;
    QImage back;
    LoadTGAFile(name, back, author);
    EXPECT_EQ(author, "ORVANTE");
}

TEST(TGA, RoundTrips) {
    const struct {
        bool Alpha, Translucent;
    } cases[] = {{true, true}, {true, false}, {false, false}, {false, true}};
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "alpha " << c.Alpha << ", translucent " << c.Translucent);
        const QImage source = TestPicture(150, 7, c.Translucent);
        const QString name = dir.filePath("round.tga");
        SaveTGAFile(name, source, "me", c.Alpha);
        const QByteArray f = ReadAll(name);
        EXPECT_EQ(f[2], c.Alpha ? 2 : 10);
        EXPECT_EQ(f[16], c.Alpha ? 32 : 24);
        QImage back;
        QString author;
        LoadTGAFile(name, back, author);
        EXPECT_EQ(author, "me");
        if (c.Alpha) {
            EXPECT_EQ(back, source); // byte for byte
        } else {
            QImage opaque = source;
            for (int y = 0; y < opaque.height(); ++y)
                for (int x = 0; x < opaque.width(); ++x)
                    reinterpret_cast<QRgb*>(opaque.scanLine(y))[x] |= 0xff000000;
            EXPECT_TRUE(SamePixels(back, opaque));
        }
    }
}

TEST(TGA, WriterCutsTextsToTheirFields) {
    const QImage one = Row({qRgb(1, 2, 3)});
    TTGAParamsVals p;
    p.TGA_Descriptor = QByteArray(300, 'd');
    p.TGA_Author = QByteArray(50, 'a');
    p.TGA_ImageName = QByteArray(45, 'j');
    const QByteArray f = Write(one, p);
    EXPECT_EQ(uint8_t(f[0]), 255);
    EXPECT_EQ(f.mid(18, 255), QByteArray(254, 'd') + '\0');
    TTGAParamsVals back;
    EXPECT_EQ(PixelAt(Read(f, &back), 0, 0), qRgb(1, 2, 3));
    // Ratios beyond the 16-bit numerator are held at its ends.
    const struct {
        double Value;
        int Numerator;
    } ratios[] = {{1.0, 10000}, {0.45455, 4545}, {6.5535, 65535}, {10, 65535}, {-1, 0}, {NAN, 0}};
    for (const auto& r : ratios) {
        SCOPED_TRACE(r.Value);
        TTGAParamsVals q;
        q.TGA_AspectRatio = q.TGA_Gamma = r.Value;
        const QByteArray g = Write(one, q);
        const QByteArray e = g.mid(g.size() - 26 - 495, 495);
        EXPECT_EQ(e.mid(474, 8),
                  TBytes().le16(r.Numerator).le16(10000).le16(r.Numerator).le16(10000).Data);
    }
    EXPECT_EQ(back.TGA_Descriptor, QByteArray(254, 'd') + '\0');
    EXPECT_EQ(back.TGA_Author, QByteArray(40, 'a'));
    EXPECT_EQ(back.TGA_ImageName, QByteArray(40, 'j'));

    QTemporaryDir dir;
    const struct {
        QString Author, Expected;
    } authors[] = {
        {QString(41, 'x'), QString(40, 'x')},
        {QString(30, QChar(0xe9)), QString(20, QChar(0xe9))}, // two bytes each in UTF-8
        {"short", "short"},
    };
    for (const auto& c : authors) {
        SCOPED_TRACE(c.Author.toStdString());
        SaveTGAFile(dir.filePath("a.tga"), one, c.Author, true);
        QString author;
        QImage img;
        LoadTGAFile(dir.filePath("a.tga"), img, author);
        EXPECT_EQ(author, c.Expected);
    }
}

TEST(TGA, WriterRefusesWhatTheHeaderCannotHold) {
    QTemporaryDir dir;
    const QString name = dir.filePath("big.tga");
    WriteFileAtomically(name, "earlier");
    for (const QSize size : {QSize(65536, 1), QSize(1, 65536), QSize(0, 0)}) {
        SCOPED_TRACE(size.width());
        const QImage img =
            size.isEmpty() ? QImage() : QImage(size, QImage::Format_ARGB32_Premultiplied);
        try {
            SaveTGAFile(name, img, "", true);
            ADD_FAILURE() << "saved";
        } catch (const EVormError& e) {
            EXPECT_TRUE(e.message().contains("big.tga")) << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(size.isEmpty() ? "no picture" : "65535"));
        }
        EXPECT_EQ(ReadAll(name), "earlier");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.tga"});
}

// Each must be refused with its reason, without touching the bitmap.
TEST(TGA, HostileInputs) {
    const QByteArray px2x2(12, '\x40');
    const struct {
        const char* Name;
        QByteArray File;
        const char* Reason;
    } cases[] = {
        {"empty file", "", "cut short"},
        {"header cut at 17 bytes", Header(2, 2, 2, 24, 0x20).Data.left(17), "cut short"},
        {"colour-mapped picture", Header(1, 2, 2, 8, 0x20).Data + px2x2, "colour-mapped"},
        {"run-length colour-mapped picture", Header(9, 2, 2, 8, 0x20).Data + px2x2,
         "colour-mapped"},
        {"greyscale picture", Header(3, 2, 2, 8, 0x20).Data + px2x2, "greyscale"},
        {"16-bit pixels", Header(2, 2, 2, 16, 0x20).Data + px2x2, "16-bit"},
        {"no image data", Header(0, 2, 2, 24, 0x20).Data + px2x2, "no picture"},
        {"zero width", Header(2, 0, 2, 24, 0x20).Data + px2x2, "0 × 2"},
        {"zero height", Header(10, 2, 0, 24, 0x20).Data + px2x2, "2 × 0"},
        {"image ID past the end", Header(2, 2, 2, 24, 0x20, 200).Data + px2x2, "cut short"},
        {"raw pixels cut short", Header(2, 2, 2, 24, 0x20).Data + px2x2.left(11), "too short"},
        {"huge picture in a tiny file",
         Header(10, 65535, 65535, 32, 0x20).u8({255, 1, 2, 3, 4}).Data, "too short"},
        {"raw packet cut short", Header(10, 2, 2, 24, 0x20).u8({3, 1, 1, 1, 2, 2, 2}).Data,
         "cut short"},
        {"packets end before the pixels", Header(10, 2, 2, 24, 0x20).u8({128, 1, 1, 1}).Data,
         "cut short"},
        {"footer points past the end",
         Header(2, 2, 2, 24, 0x20).Data + px2x2 +
             TBytes().le32(100000).le32(0).text("TRUEVISION-XFILE.").u8({0}).Data,
         "outside"},
        {"footer points into itself",
         Header(2, 2, 2, 24, 0x20).Data + px2x2 + QByteArray(495, 0) +
             TBytes().le32(30 + 1).le32(0).text("TRUEVISION-XFILE.").u8({0}).Data,
         "outside"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QImage bitmap(3, 3, QImage::Format_ARGB32_Premultiplied);
        bitmap.fill(0xff123456);
        const QImage before = bitmap;
        TTGAParamsVals p;
        try {
            ReadTGA(c.File, bitmap, p);
            ADD_FAILURE() << "accepted";
        } catch (const EVormError& e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.Reason)))
                << e.message().toStdString();
        }
        EXPECT_EQ(bitmap, before);
    }
}

TEST(TGA, UnsupportedFileFailsAndChangesNothing) {
    QTemporaryDir dir;
    const QString name = dir.filePath("mapped.tga");
    WriteFileAtomically(name, WithFooter(Header(1, 2, 2, 8, 0x20).Data + QByteArray(4, 1),
                                         [](QByteArray& e) { memcpy(e.data() + 2, "Ada", 3); }));
    TFMXBitmapEx bitmap(4, 4);
    bitmap.Bitmap().fill(0xff00ff00);
    const QImage before = bitmap.Bitmap();
    EXPECT_FALSE(bitmap.LoadFromFileEx(name, 0));
    EXPECT_EQ(bitmap.Bitmap(), before);
    EXPECT_EQ(bitmap.Author, "ORVANTE");
    EXPECT_TRUE(bitmap.LastError().contains("mapped.tga"));
    EXPECT_TRUE(bitmap.LastError().contains("colour-mapped"));
}

} // namespace
