#include "hdr.h"
#include "imaging_support.h"
#include "vorm_error.h"

#include <QLocale>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <vector>

namespace {

QByteArray Header(const char* ARes = "-Y 2 +X 3", const char* AExtra = "") {
    return QByteArray("#?RADIANCE\n") + AExtra + "FORMAT=32-bit_rle_rgbe\n\n" + ARes + "\n";
}

// One run-length scanline of W equal pixels, each component in repeat packets.
QByteArray Line(int W, int r, int g, int b, int e) {
    TBytes t;
    t.u8({2, 2, W >> 8, W & 255});
    for (int v : {r, g, b, e})
        for (int left = W; left > 0; left -= std::min(left, 127))
            t.u8({128 + std::min(left, 127), v});
    return t.Data;
}

// The same pixels with every component as one literal packet (W ≤ 128).
QByteArray LiteralLine(int W, int r, int g, int b, int e) {
    TBytes t;
    t.u8({2, 2, W >> 8, W & 255});
    for (int v : {r, g, b, e})
        t.u8({W}).fill(W, v);
    return t.Data;
}

struct THeaderCase {
    const char* Name;
    QByteArray Text;
    bool Accepted;
    int64_t Width, Height;
    double Gamma;
};

TEST(HDR, Headers) {
    const THeaderCase cases[] = {
        {"a plain header", Header(), true, 3, 2, 2.2},
        {"comments and other variables", Header("-Y 2 +X 3", "# made here\nEXPOSURE=2\n"), true, 3,
         2, 2.2},
        {"FORMAT name in lower case", "#?RADIANCE\nformat=32-bit_rle_rgbe\n\n-Y 2 +X 3\n", true, 3,
         2, 2.2},
        {"GAMMA=1", Header("-Y 2 +X 3", "GAMMA=1\n"), true, 3, 2, 1.0},
        {"GAMMA=1.0", Header("-Y 2 +X 3", "GAMMA=1.0\n"), true, 3, 2, 1.0},
        {"GAMMA=0.45455", Header("-Y 2 +X 3", "GAMMA=0.45455\n"), true, 3, 2, 0.45455},
        {"empty GAMMA", Header("-Y 2 +X 3", "GAMMA=\n"), true, 3, 2, 2.2},
        {"a trailing space adds a field", Header("-Y 2 +X 3 "), true, 3, 2, 2.2},
        {"first line #?RGBE", "#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 3\n", true, 3, 2, 2.2},
        {"another first line", "#?PHOTO\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 3\n", false, 0, 0, 2.2},
        {"rows bottom to top", Header("+Y 2 +X 3"), false, 0, 0, 2.2},
        {"pixels right to left", Header("-Y 2 -X 3"), false, 0, 0, 2.2},
        {"XYZE pixels", "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 2 +X 3\n", false, 0, 0, 2.2},
        {"no FORMAT line", "#?RADIANCE\n# none\n\n-Y 2 +X 3\n", false, 0, 0, 2.2},
        {"fewer than four lines", "#?RADIANCE\n\n-Y 2 +X 3\n", false, 0, 0, 2.2},
        {"-Y with two fields", Header("-Y 2"), false, 0, 0, 2.2},
        {"-Y with three fields", Header("-Y 2 +X"), false, 0, 0, 2.2},
        {"two spaces make an empty field", Header("-Y  2 +X 3"), false, 0, 0, 2.2},
        {"blank line written CR LF", "#?RADIANCE\r\nFORMAT=32-bit_rle_rgbe\r\n\r\n-Y 2 +X 3\r\n",
         false, 0, 0, 2.2},
        {"no blank line", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n-Y 2 +X 3\n", false, 0, 0, 2.2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QByteArray data = c.Text + "\x02\x02";
        TByteReader r(data);
        THDRHeader h;
        const QString reason = Refusal([&] { ReadHDRHeader(r, h); });
        EXPECT_EQ(reason.isEmpty(), c.Accepted) << reason.toStdString();
        EXPECT_EQ(h.Width, c.Width);
        EXPECT_EQ(h.Height, c.Height);
        EXPECT_DOUBLE_EQ(h.Gamma, c.Gamma);
        if (c.Accepted)
            EXPECT_EQ(r.pos(), c.Text.size()); // at the first scanline
        else
            EXPECT_FALSE(reason.isEmpty());
    }
}

TEST(HDR, GammaReadsAlikeInEveryLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    std::setlocale(LC_ALL, "de_DE.UTF-8"); // where installed
    const QByteArray data = Header("-Y 2 +X 3", "GAMMA=1.5\n");
    TByteReader r(data);
    THDRHeader h;
    const bool ok = Refusal([&] { ReadHDRHeader(r, h); }).isEmpty();
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
    EXPECT_TRUE(ok);
    EXPECT_DOUBLE_EQ(h.Gamma, 1.5);
}

TEST(HDR, GammaThatIsNoNumberIsAClearError) {
    QTemporaryDir dir;
    for (const char* value : {"abc", "1,5", "nan", "inf"}) {
        SCOPED_TRACE(value);
        const QString name = dir.filePath("g.hdr");
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Header("-Y 1 +X 1", (QByteArray("GAMMA=") + value + "\n").constData()) +
                LiteralLine(1, 1, 1, 1, 128));
        f.close();
        QImage img;
        try {
            LoadHDRFile(name, img);
            ADD_FAILURE() << "no error";
        } catch (const EVormError& e) {
            const QString expected =
                QStringLiteral("Cannot read \"%1\": the GAMMA value \"%2\" is not a number.")
                    .arg(name, QString::fromLatin1(value));
            EXPECT_EQ(e.message(), expected);
        }
    }
}

TEST(HDR, NeutralGreyToneMapsToTheWorkedBytes) {
    const struct {
        const char* Gamma;
        int Byte;
    } cases[] = {{"", 108}, {"GAMMA=2.2\n", 108}, {"GAMMA=1\n", 39}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Gamma);
        for (const auto& [v, e] : {std::pair{100, 130}, std::pair{255, 1}, std::pair{1, 255}}) {
            const QByteArray file =
                Header("-Y 2 +X 3", c.Gamma) + Line(3, v, v, v, e) + Line(3, v, v, v, e);
            QImage img;
            ASSERT_NO_THROW(LoadHDRData(file, img));
            ASSERT_EQ(img.size(), QSize(3, 2));
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(Hex(PixelAt(img, x, y)), Hex(qRgb(c.Byte, c.Byte, c.Byte)));
        }
    }
}

TEST(HDR, RunLengthComponents) {
    std::vector<int> distinct128;
    for (int i = 0; i < 128; ++i)
        distinct128.push_back(i);
    const struct {
        const char* Name;
        QByteArray Data;
        int Width;
        bool Ok;
        std::vector<int> Bytes;
    } cases[] = {
        {"count 128 copies 128 bytes",
         TBytes().u8({128}).Data +
             [] {
                 QByteArray b;
                 for (int i = 0; i < 128; ++i)
                     b.append(char(i));
                 return b;
             }(),
         128, true, distinct128},
        {"count 129 repeats a byte once", TBytes().u8({129, 7}).Data, 1, true, {7}},
        {"count 0 copies nothing", TBytes().u8({0, 130, 5}).Data, 2, true, {5, 5}},
        {"runs and literals together",
         TBytes().u8({2, 1, 2, 131, 9}).Data,
         5,
         true,
         {1, 2, 9, 9, 9}},
        {"a run past the width", TBytes().u8({131, 1}).Data, 2, false, {}},
        {"a literal past the width", TBytes().u8({3, 1, 2, 3}).Data, 2, false, {}},
        {"data end inside a literal", TBytes().u8({2, 1}).Data, 2, false, {}},
        {"data end before a run's byte", TBytes().u8({130}).Data, 2, false, {}},
        {"no data", "", 1, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TByteReader r(c.Data);
        std::vector<uint8_t> out(size_t(c.Width));
        EXPECT_EQ(ReadRLEComponent(c.Width, r, out), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(std::vector<int>(out.begin(), out.end()), c.Bytes);
        }
    }
}

// The tone mapping done independently on the source picture's values, which ImageMagick
// stores as c / 255.
QImage ToneMapped(const QImage& ASource, double AGamma) {
    double total = 0;
    for (int y = 0; y < ASource.height(); ++y)
        for (int x = 0; x < ASource.width(); ++x) {
            const QRgb p = ASource.pixel(x, y);
            total += (0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p)) / 255;
        }
    const double scale = 0.18 * ASource.width() * ASource.height() / total;
    const auto map = [&](int c) {
        const double v = c / 255.0 * scale;
        return int(std::pow(v / (v + 1), 1 / AGamma) * 255 + 0.5);
    };
    QImage out(ASource.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < ASource.height(); ++y)
        for (int x = 0; x < ASource.width(); ++x) {
            const QRgb p = ASource.pixel(x, y);
            out.setPixel(x, y, qRgb(map(qRed(p)), map(qGreen(p)), map(qBlue(p))));
        }
    return out;
}

TEST(HDR, ImageMagickFileMatchesItsSourceAfterToneMapping) {
    ASSERT_TRUE(Fixture("rgb.hdr").contains("GAMMA=0.454545\n"));
    QImage img;
    const QString reason = Refusal([&] { LoadHDRFile(DataPath("rgb.hdr"), img); });
    ASSERT_TRUE(reason.isEmpty()) << reason.toStdString();
    EXPECT_TRUE(SamePixels(img, ToneMapped(QImage(DataPath("src-rgb.png")), 0.454545), 1));
}

TEST(HDR, DefinedResults) {
    QImage img;
    // More lines than the header says: the rest is not read.
    ASSERT_NO_THROW(LoadHDRData(Header("-Y 1 +X 3") + Line(3, 9, 9, 9, 128) + "junk", img));
    EXPECT_EQ(img.size(), QSize(3, 1));
    // An all-black picture has no mean luminance, and stays black.
    ASSERT_NO_THROW(LoadHDRData(Header() + Line(3, 9, 9, 9, 0) + Line(3, 0, 0, 0, 200), img));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelAt(img, x, y), qRgb(0, 0, 0));
    // Wide lines take several packets per component.
    ASSERT_NO_THROW(LoadHDRData(Header("-Y 1 +X 300") + Line(300, 50, 50, 50, 128), img));
    EXPECT_EQ(PixelAt(img, 299, 0), qRgb(108, 108, 108));
}

// Header and size faults leave the bitmap as it was; a damaged scanline gives false with the
// lines before it tone-mapped and the rest black.
TEST(HDR, HostileInputs) {
    const QByteArray good = LiteralLine(3, 100, 100, 100, 128);
    // The same line made longer by empty packets, so that a short next line passes the size test.
    TBytes padded;
    padded.u8({2, 2, 0, 3});
    for (int i = 0; i < 4; ++i)
        padded.u8({0, 0, 3}).fill(3, i < 3 ? 100 : 128);
    // The older forms: flat pixels of 4 bytes, and old run-length coding, in which a pixel 1 1 1 n
    // repeats the one before n times. They say what they hold and what is read.
    const QByteArray flat = Header("-Y 2 +X 3") + QByteArray(2 * 3 * 4, char(100));
    const QByteArray oldRuns =
        Header("-Y 2 +X 300") + TBytes().u8({100, 100, 100, 128, 1, 1, 1, 255, 1, 1, 1, 88}).Data;
    const struct {
        const char* Name;
        QByteArray File;
        bool Untouched;
        const char* Reason;
    } cases[] = {
        {"flat scanlines", flat, true,
         "its scanlines are stored flat, 4 bytes a pixel without run-length coding; only "
         "run-length scanlines, which start with 2 2, are read"},
        {"flat scanlines, cut short", flat.left(flat.size() - 5), true,
         "its scanlines are stored flat"},
        {"old run-length scanlines", oldRuns, true,
         "its scanlines use the old run-length coding, whose repeats are pixels 1 1 1 n; only the "
         "newer run-length scanlines, which start with 2 2, are read"},
        {"a padded resolution line", Header("-Y      980 +X      141") + Line(141, 1, 1, 1, 128),
         true,
         "its resolution line \"-Y      980 +X      141\" has more than one space between its "
         "fields; only lines with single spaces, such as \"-Y 980 +X 141\", are read"},
        {"empty file", "", true, "never ends"},
        {"not a Radiance picture", "P6\n\n\n3 2\n", true, "not a Radiance"},
        {"-Y with too few fields", Header("-Y 2") + good + good, true, "top to bottom"},
        {"negative height", Header("-Y -2 +X 3") + good + good, true, "3 × -2"},
        {"negative width", Header("-Y 2 +X -3") + good + good, true, "-3 × 2"},
        {"zero width", Header("-Y 2 +X 0") + good + good, true, "0 × 2"},
        {"width not a number", Header("-Y 2 +X three") + good + good, true, "0 × 2"},
        {"a side over 32768", Header("-Y 1 +X 32769") + good, true, "32769 × 1"},
        {"over 2^26 pixels", Header("-Y 8193 +X 8193") + good, true, "8193 × 8193"},
        {"a side beyond 64 bits", Header("-Y 99999999999999999999 +X 3") + good, true, "3 × 0"},
        {"tiny file, huge picture", Header("-Y 2048 +X 32768") + good, true, "too short"},
        {"lines missing", Header("-Y 3 +X 3") + good, true, "too short"},
        {"flat second scanline", Header() + good + QByteArray(20, 100), false, "scanline 1"},
        {"second scanline of another width",
         Header() + good + LiteralLine(2, 1, 1, 1, 128) + "....", false, "scanline 1"},
        {"first scanline of another width", Header() + LiteralLine(4, 1, 1, 1, 128) + good, false,
         "scanline 0"},
        {"cut inside a component", Header() + good + good.left(10), false, "scanline 1"},
        {"cut in a scanline's first four bytes", Header() + padded.Data + good.left(3), false,
         "scanline 1"},
        {"packet past the width",
         Header() + good + TBytes().u8({2, 2, 0, 3, 132, 1}).Data + QByteArray(10, 0), false,
         "scanline 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        QImage bitmap(2, 2, QImage::Format_ARGB32_Premultiplied);
        bitmap.fill(0xff123456);
        const QImage before = bitmap;
        const QString reason = Refusal([&] { LoadHDRData(c.File, bitmap); });
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_TRUE(reason.contains(QString::fromUtf8(c.Reason))) << reason.toStdString();
        if (c.Untouched) {
            EXPECT_EQ(bitmap, before);
        } else {
            ASSERT_EQ(bitmap.size(), QSize(3, 2));
            // The mean is taken over the whole picture, so the one line read comes out brighter
            // than the 108 of a whole grey picture: 0.36 / 1.36 to the power 1 / 2.2.
            const bool firstRead = !reason.contains("scanline 0");
            EXPECT_EQ(PixelAt(bitmap, 2, 0), firstRead ? qRgb(139, 139, 139) : qRgb(0, 0, 0));
            EXPECT_EQ(PixelAt(bitmap, 2, 1), qRgb(0, 0, 0));
        }
    }
}

} // namespace
