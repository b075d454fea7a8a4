// The whole of PngSuite and of the BMP suite (tests/imaging/data/pngsuite, bmpsuite), each file
// through the loader as the window and vorm-cli open it, against pixels worked out from the
// formats' rules (reference_decoders.h) or, for the BMP suite's variants of one picture, against
// the file its documentation says it equals.
#include "bitmap_ex.h"
#include "imaging_support.h"
#include "reference_decoders.h"

#include <QDir>
#include <QImageReader>
#include <map>

namespace {

QStringList SuiteFiles(const char* AFolder) {
    QStringList files;
    const QDir dir(DataPath(AFolder));
    for (const QString& sub :
         {QStringLiteral("."), QStringLiteral("g"), QStringLiteral("q"), QStringLiteral("b")})
        for (const QString& name : QDir(dir.filePath(sub)).entryList({"*.png", "*.bmp"}))
            files << QDir::cleanPath(dir.filePath(sub + "/" + name));
    return files;
}

struct TLoaded {
    bool Ok = false;
    QImage Picture;
    QString Error, Warning;
};

TLoaded Load(const QString& APath) {
    TFMXBitmapEx bitmap;
    TLoaded r;
    r.Ok = bitmap.LoadFromFileEx(APath, 0);
    r.Picture = bitmap.Bitmap();
    r.Error = bitmap.LastError();
    r.Warning = bitmap.LastWarning();
    return r;
}

// Every good PngSuite file reads to the reference's pixels, exactly; every damaged one (x...)
// is refused, naming the file.
TEST(Suites, PngSuite) {
    const QStringList files = SuiteFiles("pngsuite");
    ASSERT_EQ(files.size(), 168);
    int read = 0, refused = 0;
    for (const QString& path : files) {
        const QString name = QFileInfo(path).fileName();
        SCOPED_TRACE(name.toStdString());
        const TLoaded got = Load(path);
        if (name.startsWith('x')) {
            EXPECT_FALSE(got.Ok);
            EXPECT_TRUE(got.Error.contains(name)) << got.Error.toStdString();
            // What is damaged: the signature, or what libspng found.
            EXPECT_TRUE(got.Error.contains("PNG signature is damaged") ||
                        got.Error.contains("the PNG data are damaged ("))
                << got.Error.toStdString();
            ++refused;
            continue;
        }
        ASSERT_TRUE(got.Ok) << got.Error.toStdString();
        EXPECT_TRUE(got.Warning.isEmpty()) << got.Warning.toStdString();
        EXPECT_EQ(got.Picture.format(), QImage::Format_ARGB32_Premultiplied);
        const std::optional<QImage> expected = Reference::Png(ReadAll(path));
        ASSERT_TRUE(expected);
        EXPECT_TRUE(SamePixels(got.Picture, *expected));
        ++read;
    }
    EXPECT_EQ(read, 154);
    EXPECT_EQ(refused, 14);
}

// The reference reader is checked in turn against Qt's (libpng), where Qt is right: samples of
// up to 8 bits without tRNS, and 16-bit ones compared at 16 bits before their reduction.
TEST(Suites, PngReferenceAgreesWithLibpngWhereLibpngIsRight) {
    int compared = 0;
    for (const QString& path : SuiteFiles("pngsuite")) {
        const QString name = QFileInfo(path).fileName();
        if (name.startsWith('x') || name.startsWith('t'))
            continue;
        SCOPED_TRACE(name.toStdString());
        QImageReader reader(path);
        const QImage qt = reader.read();
        ASSERT_FALSE(qt.isNull());
        const QImage expected = *Reference::Png(ReadAll(path));
        if (qt.depth() > 32) { // 16 bits a sample: reduce Qt's own samples by the rule
            const QImage wide = qt.convertToFormat(QImage::Format_RGBA64);
            QImage reduced = Reference::Blank(qt.width(), qt.height());
            for (int y = 0; y < wide.height(); ++y)
                for (int x = 0; x < wide.width(); ++x) {
                    const QRgba64 p = reinterpret_cast<const QRgba64*>(wide.constScanLine(y))[x];
                    const auto r8 = [](quint16 v) { return int((v + 128) / 257); };
                    Reference::Put(reduced, x, y, r8(p.red()), r8(p.green()), r8(p.blue()),
                                   r8(p.alpha()));
                }
            EXPECT_TRUE(SamePixels(expected, reduced));
        } else {
            EXPECT_TRUE(
                SamePixels(expected, qt.convertToFormat(QImage::Format_ARGB32_Premultiplied)));
        }
        ++compared;
    }
    EXPECT_GT(compared, 120);
}

// The PngSuite faults, by name: 16-bit RGB with a transparent colour came out as
// garbage; the tRNS colour must be clear and the rest opaque.
TEST(Suites, SixteenBitRgbWithTrnsIsRight) {
    for (const char* name : {"tbbn2c16.png", "tbgn2c16.png"}) {
        SCOPED_TRACE(name);
        const QString path = DataPath("pngsuite/") + name;
        const TLoaded got = Load(path);
        ASSERT_TRUE(got.Ok) << got.Error.toStdString();
        int clear = 0, opaque = 0;
        for (int y = 0; y < got.Picture.height(); ++y)
            for (int x = 0; x < got.Picture.width(); ++x) {
                const QRgb p = PixelAt(got.Picture, x, y);
                clear += p == 0;
                opaque += qAlpha(p) == 255;
            }
        EXPECT_GT(clear, 0);
        EXPECT_EQ(clear + opaque, got.Picture.width() * got.Picture.height());
        EXPECT_TRUE(SamePixels(got.Picture, *Reference::Png(ReadAll(path))));
    }
}

// What the BMP suite's documentation says of each of its files here.
enum class TBmpCase {
    Reference, // an uncompressed file: the reference reader's pixels
    Refused,   // with Reason in the message
    Rle,       // pal8rletrns: pal8's pixels, or transparent where the runs skip
};

TEST(Suites, BmpSuite) {
    const QString base = DataPath("bmpsuite/");
    const struct {
        const char* Name;
        TBmpCase Case;
        const char* Reason;
    } table[] = {
        // Bad files: wrong sizes and densities that a reader does not need are ignored.
        {"b/badbitssize.bmp", TBmpCase::Reference, ""},
        {"b/baddens1.bmp", TBmpCase::Reference, ""},
        {"b/baddens2.bmp", TBmpCase::Reference, ""},
        {"b/badfilesize.bmp", TBmpCase::Reference, ""},
        {"b/badheadersize.bmp", TBmpCase::Refused, "header of 66 bytes"},
        {"b/badwidth.bmp", TBmpCase::Refused, "-127 × 64 picture is not possible"},
        {"g/pal1.bmp", TBmpCase::Reference, ""},
        {"g/pal1bg.bmp", TBmpCase::Reference, ""},
        {"g/pal1wb.bmp", TBmpCase::Reference, ""},
        {"g/pal4.bmp", TBmpCase::Reference, ""},
        {"g/pal8-0.bmp", TBmpCase::Reference, ""},
        {"g/pal8.bmp", TBmpCase::Reference, ""},
        {"g/pal8nonsquare.bmp", TBmpCase::Reference, ""},
        {"g/pal8os2.bmp", TBmpCase::Reference, ""},
        {"g/pal8topdown.bmp", TBmpCase::Reference, ""},
        {"g/pal8w124.bmp", TBmpCase::Reference, ""},
        {"g/pal8w125.bmp", TBmpCase::Reference, ""},
        {"g/pal8w126.bmp", TBmpCase::Reference, ""},
        {"g/rgb16-565pal.bmp", TBmpCase::Reference, ""},
        {"g/rgb24pal.bmp", TBmpCase::Reference, ""},
        {"q/pal1p1.bmp", TBmpCase::Reference, ""},
        {"q/pal8offs.bmp", TBmpCase::Reference, ""},
        {"q/pal8os2v2-16.bmp", TBmpCase::Reference, ""},
        {"q/pal8os2v2.bmp", TBmpCase::Reference, ""},
        {"q/pal8rletrns.bmp", TBmpCase::Rle, ""},
        {"q/rgb24jpeg.bmp", TBmpCase::Refused, "hold a JPEG picture"},
        {"q/rgb24largepal.bmp", TBmpCase::Reference, ""},
        {"q/rgb24lprof.bmp", TBmpCase::Reference, ""},
        {"q/rgb24png.bmp", TBmpCase::Refused, "hold a PNG picture"},
        {"q/rgb32bf-xbgr.bmp", TBmpCase::Reference, ""},
        {"q/rgb32fakealpha.bmp", TBmpCase::Reference, ""},
        {"q/rgb32h52.bmp", TBmpCase::Reference, ""},
        {"q/rgba16-4444.bmp", TBmpCase::Reference, ""},
        {"q/rgba32h56.bmp", TBmpCase::Reference, ""},
    };
    ASSERT_EQ(SuiteFiles("bmpsuite").size(), int(std::size(table)));
    std::map<QString, QImage> read;
    for (const auto& c : table) {
        SCOPED_TRACE(c.Name);
        const QString path = base + c.Name;
        const TLoaded got = Load(path);
        if (c.Case == TBmpCase::Refused) {
            EXPECT_FALSE(got.Ok);
            EXPECT_TRUE(got.Error.startsWith(QStringLiteral("Cannot read \"%1\"").arg(path)));
            EXPECT_TRUE(got.Error.contains(QString::fromUtf8(c.Reason))) << got.Error.toStdString();
            continue;
        }
        ASSERT_TRUE(got.Ok) << got.Error.toStdString();
        EXPECT_TRUE(got.Warning.isEmpty()) << got.Warning.toStdString();
        read[QString::fromUtf8(c.Name)] = got.Picture;
        if (c.Case == TBmpCase::Reference) {
            const std::optional<QImage> expected = Reference::Bmp(ReadAll(path));
            ASSERT_TRUE(expected);
            EXPECT_TRUE(SamePixels(got.Picture, *expected));
        }
    }
    // The suite's own words: these are one picture, stored in different ways.
    const QImage& pal8 = read["g/pal8.bmp"];
    for (const char* same : {"g/pal8-0.bmp", "g/pal8os2.bmp", "g/pal8topdown.bmp", "q/pal8offs.bmp",
                             "q/pal8os2v2.bmp", "q/pal8os2v2-16.bmp"}) {
        SCOPED_TRACE(same);
        EXPECT_TRUE(SamePixels(read[same], pal8));
    }
    for (const char* crop : {"g/pal8w124.bmp", "g/pal8w125.bmp", "g/pal8w126.bmp"}) {
        SCOPED_TRACE(crop);
        const QImage& img = read[crop];
        EXPECT_TRUE(SamePixels(img, pal8.copy(0, 0, img.width(), img.height())));
    }
    const QImage& rgb24 = read["g/rgb24pal.bmp"];
    for (const char* same : {"q/rgb24largepal.bmp", "q/rgb24lprof.bmp", "q/rgb32bf-xbgr.bmp",
                             "q/rgb32fakealpha.bmp", "q/rgb32h52.bmp"}) {
        SCOPED_TRACE(same);
        EXPECT_TRUE(SamePixels(read[same], rgb24)); // the fake alpha stays opaque
    }
    // 5-6-5: each channel within half a step of its 8-bit value.
    EXPECT_TRUE(SamePixels(read["g/rgb16-565pal.bmp"], rgb24, 5));
    // Black and white either way round; pal1p1 has one palette entry, and one colour.
    EXPECT_TRUE(SamePixels(read["g/pal1wb.bmp"], read["g/pal1.bmp"]));
    // RLE with skipped pixels: pal8's colour, or transparent where the runs skip (the inside of
    // the letters, which pal8 shows white).
    const QImage& rle = read["q/pal8rletrns.bmp"];
    ASSERT_EQ(rle.size(), pal8.size());
    int skipped = 0;
    for (int y = 0; y < rle.height(); ++y)
        for (int x = 0; x < rle.width(); ++x) {
            const QRgb p = PixelAt(rle, x, y), q = PixelAt(pal8, x, y);
            if (p == 0) {
                ++skipped;
                EXPECT_EQ(q, 0xffffffff) << x << "," << y;
            } else {
                EXPECT_EQ(p, q) << x << "," << y;
            }
        }
    EXPECT_GT(skipped, 100);
    // The alpha of the 4-4-4-4 and the 32-bit masked files reaches 255, and 0.
    for (const char* alpha : {"q/rgba16-4444.bmp", "q/rgba32h56.bmp"}) {
        SCOPED_TRACE(alpha);
        int opaque = 0, clear = 0;
        const QImage& img = read[alpha];
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                opaque += qAlpha(PixelAt(img, x, y)) == 255;
                clear += qAlpha(PixelAt(img, x, y)) == 0;
            }
        EXPECT_GT(opaque, 0);
        EXPECT_GT(clear, 0);
    }
}

} // namespace
