#include "imaging_support.h"
#include "png_writer.h"
#include "vorm_error.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// Flat areas, noise, translucency and transparency, so that every filter gets chosen.
QImage Mixed(int W, int H, quint32 ASeed) {
    QRandomGenerator rng(ASeed);
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            QRgb p = qRgba(200, 40, 90, 255);
            if ((x / 8 + y / 8) % 3 == 1)
                p = qRgba(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256)),
                          int(rng.bounded(256)));
            else if (y % 5 == 0)
                p = qRgba(x & 255, y & 255, 7, 128);
            img.setPixel(x, y, qPremultiply(p));
        }
    return img;
}

// Tiles of one colour each, some translucent, with a stripe of single pixels: rows repeat,
// as in a mosaic, so that both Up and Sub get chosen.
QImage Tiles(int W, int H) {
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int tx = x / 13, ty = y / 9;
            QRgb p = qRgba(tx * 40 & 255, ty * 70 & 255, (tx + ty) * 30 & 255,
                           (tx + ty) % 4 == 0 ? 90 : 255);
            if (y % 9 == 4 && x % 3 == 0)
                p = qRgba(x & 255, 255 - (x & 255), 3, 200);
            img.setPixel(x, y, qPremultiply(p));
        }
    return img;
}

// The file as Qt reads it, against Qt's own conversion of the bitmap to straight colour.
testing::AssertionResult ReadsBackAs(const QString& APath, const QImage& ABitmap) {
    QImageReader reader(APath);
    const QImage back = reader.read();
    if (back.isNull())
        return testing::AssertionFailure() << reader.errorString().toStdString();
    const QImage a = back.convertToFormat(QImage::Format_ARGB32),
                 b = ABitmap.convertToFormat(QImage::Format_ARGB32);
    if (a.size() != b.size())
        return testing::AssertionFailure() << "size differs";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (PixelAt(a, x, y) != PixelAt(b, x, y))
                return testing::AssertionFailure()
                       << "pixel " << x << "," << y << " is " << Hex(PixelAt(a, x, y)).toStdString()
                       << ", expected " << Hex(PixelAt(b, x, y)).toStdString();
    return testing::AssertionSuccess();
}

const TPngCompression kCompressions[] = {TPngCompression::Fast, TPngCompression::Zlib,
                                         TPngCompression::Best};

TEST(Png, ReadsBackAsTheStraightPixels) {
    const QSize sizes[] = {{1, 1}, {1, 70}, {70, 1}, {3, 200}, {257, 65}, {100, 64}, {64, 129}};
    const struct {
        const char* Name;
        QImage (*Make)(int, int);
    } pictures[] = {
        {"opaque", [](int W, int H) { return TestPicture(W, H, false); }},
        {"translucent", [](int W, int H) { return TestPicture(W, H, true); }},
        {"mixed", [](int W, int H) { return Mixed(W, H, quint32(W * 7 + H)); }},
        {"tiles", Tiles},
    };
    QTemporaryDir dir;
    for (const auto& picture : pictures)
        for (const QSize& s : sizes)
            for (const TPngCompression c : kCompressions) {
                SCOPED_TRACE(testing::Message() << picture.Name << " " << s.width() << "x"
                                                << s.height() << " compression " << int(c));
                const QImage img = picture.Make(s.width(), s.height());
                const QString path = dir.filePath("out.png");
                QFile::remove(path);
                WritePng(path, img, {c});
                EXPECT_TRUE(ReadsBackAs(path, img));
            }
}

// Every alpha with every colour value, the impossible ones (colour above alpha) included.
TEST(Png, EveryAlphaAndValueAsQtConvertsThem) {
    QImage img(256, 256, QImage::Format_ARGB32_Premultiplied);
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v)
            reinterpret_cast<QRgb*>(img.scanLine(a))[v] = qRgba(v, 255 - v, (v * 7) & 255, a);
    QTemporaryDir dir;
    for (const TPngCompression c : kCompressions) {
        const QString path = dir.filePath(QStringLiteral("all%1.png").arg(int(c)));
        WritePng(path, img, {c});
        EXPECT_TRUE(ReadsBackAs(path, img)) << int(c);
    }
}

// Each chunk's CRC holds, and zlib inflates the joined strips to exactly the filtered rows,
// checking the stream's Adler-32 on the way.
TEST(Png, StreamAndChecksumsHold) {
    const QImage img = Mixed(301, 517, 9);
    for (const TPngCompression c : kCompressions) {
        SCOPED_TRACE(int(c));
        QByteArray file;
        WritePngData([&](const void* d, qint64 n) { file.append(static_cast<const char*>(d), n); },
                     img, {c}, QStringLiteral("memory.png"));
        ASSERT_TRUE(file.startsWith("\x89PNG\r\n\x1a\n"));
        QByteArray zdata;
        qsizetype pos = 8;
        QByteArray last;
        while (pos + 12 <= file.size()) {
            const uint32_t len = qFromBigEndian<quint32>(file.constData() + pos);
            ASSERT_LE(qsizetype(len), file.size() - pos - 12);
            const QByteArray type = file.mid(pos + 4, 4);
            const uint32_t crc = qFromBigEndian<quint32>(file.constData() + pos + 8 + len);
            EXPECT_EQ(crc,
                      uint32_t(crc32(0, reinterpret_cast<const Bytef*>(file.constData() + pos + 4),
                                     len + 4)))
                << type.toStdString();
            if (type == "IDAT")
                zdata.append(file.constData() + pos + 8, len);
            last = type;
            pos += 12 + qsizetype(len);
        }
        EXPECT_EQ(pos, file.size());
        EXPECT_EQ(last, "IEND");
        const uLong expected = uLong(img.height()) * (uLong(img.width()) * 4 + 1);
        std::vector<Bytef> raw(expected + 16);
        uLongf got = uLongf(raw.size());
        ASSERT_EQ(uncompress(raw.data(), &got, reinterpret_cast<const Bytef*>(zdata.constData()),
                             uLong(zdata.size())),
                  Z_OK);
        EXPECT_EQ(got, expected);
        for (int y = 0; y < img.height(); ++y)
            EXPECT_LE(raw[size_t(y) * (size_t(img.width()) * 4 + 1)], 2) << y; // None, Sub or Up
    }
}

TEST(Png, EmptyOrUnwritableFails) {
    QTemporaryDir dir;
    EXPECT_THROW(WritePng(dir.filePath("empty.png"), QImage()), EVormError);
    EXPECT_THROW(WritePng(dir.filePath("no/such/folder.png"), Mixed(4, 4, 1)), EVormError);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("empty.png")));
}

} // namespace

namespace {

// A full disk, simulated by a file-size limit in a child process: the save fails with the
// file's name and leaves neither a partial nor a temporary file.
TEST(Png, FullDiskLeavesNothing) {
    QTemporaryDir dir;
    const QString path = dir.filePath("big.png");
    const QImage img = Mixed(300, 300, 5);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2048, 2048};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            WritePng(path, img);
        } catch (const EVormError& e) {
            _exit(e.message().contains("big.png") ? 3 : 4);
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

} // namespace

namespace {

class CancelNow : public TProgress {
public:
    void setMaximum(double) override {}
    void setValue(double) override {}
    bool isCanceled() const override { return true; }
};

TEST(Png, CancelWritesNothing) {
    QTemporaryDir dir;
    CancelNow cancel;
    TPngOptions options;
    options.Cancel = &cancel;
    EXPECT_THROW(WritePng(dir.filePath("c.png"), Mixed(20, 20, 2), options), ECanceled);
    EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

} // namespace
