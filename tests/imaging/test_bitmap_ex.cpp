#include "atomic_file.h"
#include "bitmap_ex.h"
#include "imaging_support.h"
#include "vorm_error.h"

#include <QDir>
#include <QTemporaryDir>
#include <csignal>
#include <sys/resource.h>

namespace {

TEST(BitmapEx, FileKinds) {
    const struct {
        const char* Name;
        TBitmapFileKind Kind;
    } cases[] = {
        {"Photo.JPG", bfkPlatform}, {"a.jpeg", bfkPlatform}, {"a.png", bfkPlatform},
        {"a.Bmp", bfkPlatform},     {"a.gif", bfkPlatform},  {"scan.tar.psd", bfkPSD},
        {"A.TGA", bfkTGA},          {"sky.hdr", bfkHDR},     {"a.jpe", bfkOther},
        {"a.tif", bfkOther},        {"notes", bfkOther},     {"dir.png/notes", bfkOther},
        {".png", bfkPlatform},      {"a.png.", bfkOther},    {"/x/y.psd", bfkPSD},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetBitmapFileKind(QString::fromUtf8(c.Name)), c.Kind) << c.Name;
    EXPECT_EQ(int(bfkOther), 4);
}

TEST(BitmapEx, Constructors) {
    const TFMXBitmapEx plain;
    EXPECT_TRUE(plain.Author.isEmpty());
    EXPECT_FALSE(plain.hasAlpha);
    const TFMXBitmapEx sized(10, 7);
    EXPECT_EQ(sized.Author, "ORVANTE");
    EXPECT_TRUE(sized.hasAlpha);
    EXPECT_EQ(sized.Bitmap().size(), QSize(10, 7));
    EXPECT_EQ(sized.Bitmap().format(), QImage::Format_ARGB32_Premultiplied);
}

TEST(BitmapEx, LoadsEveryKind) {
    QTemporaryDir dir;
    const QString upper = dir.filePath("PICTURE.PNG");
    ASSERT_TRUE(QFile::copy(DataPath("src-rgba.png"), upper));
    const struct {
        QString Name;
        QImage Expected;
        int Tolerance;
    } cases[] = {
        {DataPath("src-rgba.png"), Source("src-rgba.png"), 0},
        {upper, Source("src-rgba.png"), 0},
        {DataPath("small.gif"), Source("src-rgb.png"), 64}, // a palette of 256 colours
        {DataPath("src-rgb.bmp"), Source("src-rgb.png"), 0},
        {DataPath("src-rgba.bmp"), Source("src-rgba.png"), 0},
        {DataPath("small-rle.bmp"), Source("small.gif"), 0}, // ImageMagick's RLE8 of the GIF
        {DataPath("rgba32-rle-bottom-up.tga"), Source("src-rgba.png"), 0},
        {DataPath("rgb-rle.psd"), Source("src-rgb.png"), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name.toStdString());
        TFMXBitmapEx bitmap;
        ASSERT_TRUE(bitmap.LoadFromFileEx(c.Name, 0)) << bitmap.LastError().toStdString();
        EXPECT_EQ(bitmap.Bitmap().format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_TRUE(SamePixels(bitmap.Bitmap(), c.Expected, c.Tolerance));
    }
}

TEST(BitmapEx, JpegTurnsUprightByItsOrientation) {
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("exif-right-top.jpg"), 0));
    ASSERT_EQ(bitmap.Bitmap().size(), QSize(23, 37));
    // The source's flat blue left edge is now the top.
    const QRgb p = PixelAt(bitmap.Bitmap(), 11, 3);
    EXPECT_NEAR(qRed(p), 0x33, 8);
    EXPECT_NEAR(qGreen(p), 0x66, 8);
    EXPECT_NEAR(qBlue(p), 0xcc, 8);
}

TEST(BitmapEx, RotationTurnsAboutTheCentreAndGrows) {
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("src-rgb.png"), 90));
    EXPECT_TRUE(
        SamePixels(bitmap.Bitmap(), Source("src-rgb.png").transformed(QTransform().rotate(90))));
    EXPECT_EQ(bitmap.Bitmap().size(), QSize(23, 37));
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("src-rgb.png"), 45));
    EXPECT_GE(bitmap.Bitmap().width(), 42); // (37 + 23) / √2
    EXPECT_GE(bitmap.Bitmap().height(), 42);
    EXPECT_EQ(bitmap.Bitmap().format(), QImage::Format_ARGB32_Premultiplied);
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("src-rgb.png"), 0));
    EXPECT_EQ(bitmap.Bitmap(), Source("src-rgb.png"));
}

TEST(BitmapEx, FailedLoadsKeepTheBitmap) {
    QTemporaryDir dir;
    const QString junk = dir.filePath("junk.png");
    WriteFileAtomically(junk, "not a png");
    const QString text = dir.filePath("notes.txt");
    WriteFileAtomically(text, "no picture in any format");
    const struct {
        QString Name;
        const char* Reason;
    } cases[] = {
        // Other names are read by their content, which these have none of.
        {dir.filePath("notes"), "No such file"},
        {dir.filePath("image.tif"), "No such file"},
        {text, "only JPEG"},
        {dir.filePath("missing.png"), "missing.png"},
        {junk, "junk.png"},
        {dir.filePath("missing.tga"), "No such file"},
        {DataPath("rgb.hdr") + ".tga", "No such file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name.toStdString());
        TFMXBitmapEx bitmap(5, 4);
        bitmap.Bitmap().fill(0xff336699);
        const QImage before = bitmap.Bitmap();
        EXPECT_FALSE(bitmap.LoadFromFileEx(c.Name, 30));
        EXPECT_EQ(bitmap.Bitmap(), before);
        EXPECT_EQ(bitmap.Author, "ORVANTE");
        EXPECT_TRUE(bitmap.LastError().contains(QString::fromUtf8(c.Reason)))
            << bitmap.LastError().toStdString();
    }
}

// An empty file says so, whatever reader its name picks.
TEST(BitmapEx, EmptyFilesSaySo) {
    QTemporaryDir dir;
    for (const char* name :
         {"a.png", "a.jpg", "a.gif", "a.bmp", "a.psd", "a.tga", "a.hdr", "a.webp", "a"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(name);
        WriteFileAtomically(path, "");
        TFMXBitmapEx bitmap(2, 2);
        const QImage before = bitmap.Bitmap();
        EXPECT_FALSE(bitmap.LoadFromFileEx(path, 0));
        EXPECT_EQ(bitmap.LastError(), QStringLiteral("Cannot read \"%1\": the file is empty.")
                                          .arg(QDir::toNativeSeparators(path)));
        EXPECT_EQ(bitmap.Bitmap(), before);
    }
}

TEST(BitmapEx, MissingPsdAndHdrFilesRaise) {
    for (const char* name : {"missing.psd", "missing.hdr"}) {
        SCOPED_TRACE(name);
        TFMXBitmapEx bitmap;
        try {
            bitmap.LoadFromFileEx(DataPath(name), 0);
            ADD_FAILURE() << "no exception";
        } catch (const EVormError& e) {
            EXPECT_TRUE(e.message().contains(name));
        }
    }
}

TEST(BitmapEx, TgaAuthor) {
    QTemporaryDir dir;
    TFMXBitmapEx saved(3, 3);
    saved.Author = "Ada";
    saved.SaveToFileEx(dir.filePath("a.tga"));
    TFMXBitmapEx bitmap;
    bitmap.Author = "old";
    ASSERT_TRUE(bitmap.LoadFromFileEx(dir.filePath("a.tga"), 0));
    EXPECT_EQ(bitmap.Author, "Ada");
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("rgb24-rle-top-down.tga"), 0)); // no footer
    EXPECT_EQ(bitmap.Author, "");
}

TEST(BitmapEx, SavesByExtension) {
    QTemporaryDir dir;
    TFMXBitmapEx bitmap;
    ASSERT_TRUE(bitmap.LoadFromFileEx(DataPath("src-rgb.png"), 0));
    for (const char* name : {"a.hdr", "a.xyz", "noext"})
        bitmap.SaveToFileEx(dir.filePath(name));
    EXPECT_TRUE(QDir(dir.path()).isEmpty());

    bitmap.SaveToFileEx(dir.filePath("a.png"));
    EXPECT_EQ(Source("src-rgb.png"),
              QImage(dir.filePath("a.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied));
    TBitmapCodecSaveParams low{10}, high{95};
    bitmap.SaveToFileEx(dir.filePath("low.jpg"), &low);
    bitmap.SaveToFileEx(dir.filePath("high.jpg"), &high);
    EXPECT_LT(QFileInfo(dir.filePath("low.jpg")).size(),
              QFileInfo(dir.filePath("high.jpg")).size());
    bitmap.SaveToFileEx(dir.filePath("a.psd"));
    EXPECT_TRUE(ReadAll(dir.filePath("a.psd")).startsWith("8BPS"));
    bitmap.SaveToFileEx(dir.filePath("a.tga"));
    EXPECT_EQ(ReadAll(dir.filePath("a.tga"))[2], 10); // hasAlpha false: 24-bit, compressed
}

// A full disk, imitated by a limit on file size: every writer reports it, keeps the earlier
// file and leaves no partial file behind.
TEST(BitmapEx, FailedSavesKeepTheEarlierFile) {
    QTemporaryDir dir;
    TFMXBitmapEx bitmap(400, 300);
    bitmap.Bitmap() = TestPicture(400, 300, true);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    for (const char* name : {"a.tga", "b.tga", "a.psd", "a.png", "a.bmp"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(name);
        WriteFileAtomically(path, "earlier");
        bitmap.hasAlpha = QByteArray(name) == "a.tga";
        rlimit small = old;
        small.rlim_cur = 4096;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        try {
            bitmap.SaveToFileEx(path);
            ADD_FAILURE() << "saved";
        } catch (const EVormError& e) {
            EXPECT_TRUE(e.message().contains(name)) << e.message().toStdString();
        }
        setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(ReadAll(path), "earlier");
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 5);
}

TEST(BitmapEx, GifCannotBeWritten) {
    QTemporaryDir dir;
    const TFMXBitmapEx bitmap(4, 4);
    EXPECT_THROW(bitmap.SaveToFileEx(dir.filePath("a.gif")), EVormError);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

} // namespace
