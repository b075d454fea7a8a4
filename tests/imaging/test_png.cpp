#include "imaging_support.h"
#include "png_writer.h"
#include "vorm_error.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(Png, ReadsBackAsTheStraightPixels) {
    const QSize sizes[] = {{1, 1}, {3, 200}, {257, 65}, {100, 64}, {64, 129}};
    QTemporaryDir dir;
    for (const QSize& s : sizes)
        for (int level : {0, 1, 6}) {
            SCOPED_TRACE(testing::Message()
                         << s.width() << "x" << s.height() << " level " << level);
            const QImage img = Mixed(s.width(), s.height(), quint32(s.width() * 7 + level));
            const QString path = dir.filePath("out.png");
            QFile::remove(path);
            WritePng(path, img, {level});
            QImageReader reader(path);
            const QImage back = reader.read();
            ASSERT_FALSE(back.isNull()) << reader.errorString().toStdString();
            const QImage a = back.convertToFormat(QImage::Format_ARGB32),
                         b = img.convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(a.size(), b.size());
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    ASSERT_EQ(PixelAt(a, x, y), PixelAt(b, x, y)) << x << "," << y;
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
            WritePng(path, img, {0});
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
