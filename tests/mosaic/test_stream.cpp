// The streaming path against the whole-picture drivers: the same SVG bytes and the same PNG
// pixels for every shape, several cells, odd sizes, every treatment and the maker options, on
// 1, 2 and 5 threads; and a cancel leaves nothing.
#include "catalog.h"
#include "drivers.h"
#include "parallel.h"
#include "row_source.h"
#include "stream.h"
#include "vorm_error.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Tiles of a few pixels and gradients, translucent where asked: edges where tiles meet land on
// every kind of pixel.
QImage Picture(int W, int H, bool ATranslucent, quint32 ASeed) {
    QRandomGenerator rng(ASeed);
    QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int a = ATranslucent ? int(rng.bounded(256)) : 255;
            img.setPixel(
                x, y,
                qPremultiply(qRgba((x * 7 + y) & 255, int(rng.bounded(256)), (y * 5) & 255, a)));
        }
    return img;
}

QByteArray Bytes(const QString& AFileName) {
    QFile f(AFileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct TCase {
    int W, H;
    bool Translucent;
};

// Sizes below, at and across the bands of 32 rows and the PNG writer's strips of 64.
const TCase kCases[] = {{97, 61, false}, {130, 77, true},  {1, 37, true},
                        {45, 1, false},  {33, 100, false}, {70, 129, true}};
const float kCells[] = {2, 7, 16, 32.5f};

// One test per thread count, so that each stays short under the sanitizers.
class StreamThreads : public testing::TestWithParam<int> {};

TEST_P(StreamThreads, SameFilesAsTheWholePicture) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    int n = 0;
    {
        const int threads = GetParam();
        SetWorkerThreads(threads);
        for (const TCase& c : kCases)
            for (size_t s = 0; s < kShapes.size(); ++s)
                for (float cell : kCells) {
                    const QImage source = Picture(c.W, c.H, c.Translucent, quint32(n + 1));
                    // Every treatment comes round, at two opacities.
                    const size_t k = size_t(n) % kColors.size();
                    const float opacity = n % 3 == 0 ? 0.6f : 1.0f;
                    const TShapeEntry& shape = kShapes[s];
                    const TColorEntry& color = kColors[k];
                    SCOPED_TRACE(testing::Message()
                                 << shape.Key << " cell " << cell << " " << c.W << "x" << c.H << " "
                                 << color.Key << " threads " << threads);
                    const QString base = dir.filePath(QString::number(n++));
                    MosaicWriteSvg(base + "w.svg", shape.Init, cell, source, color.Conv, opacity,
                                   nullptr, color.Opaque);
                    QImage painted;
                    MosaicSavePng(base + "w.png", shape.Init, cell, source, painted, color.Conv,
                                  opacity, nullptr);
                    TImageRows svgRows(source);
                    StreamWriteSvg(base + "s.svg", shape.Init, cell, svgRows, color.Conv, opacity,
                                   nullptr, color.Opaque);
                    TImageRows pngRows(source);
                    StreamSavePng(base + "s.png", shape.Init, cell, pngRows, color.Conv, opacity,
                                  nullptr);
                    const QByteArray svg = Bytes(base + "w.svg");
                    ASSERT_FALSE(svg.isEmpty());
                    ASSERT_EQ(svg, Bytes(base + "s.svg"));
                    // The PNG's pixels. Its bytes are compared only where they are known to be
                    // stable: under a heavy load ISA-L was seen to deflate a strip differently
                    // in about one run in a hundred, pixels unchanged.
                    ASSERT_FALSE(Bytes(base + "w.png").isEmpty());
                    QImage a(base + "w.png"), b(base + "s.png");
                    ASSERT_FALSE(a.isNull());
                    ASSERT_EQ(a, b);
                    for (const char* ext : {"w.svg", "w.png", "s.svg", "s.png"})
                        QFile::remove(base + ext);
                }
    }
    SetWorkerThreads(0);
}

INSTANTIATE_TEST_SUITE_P(Stream, StreamThreads, testing::Values(1, 2, 5));

// Wide pictures are sampled in narrower bands (24, 16 and 8 rows here): the same files.
TEST(Stream, WidePicturesGiveTheSameFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SetWorkerThreads(2);
    int n = 0;
    for (int W : {4100, 6000, 9000})
        for (size_t s = 0; s < kShapes.size(); ++s) {
            const QImage source = Picture(W, 45, n % 2 == 1, quint32(100 + n));
            const TShapeEntry& shape = kShapes[s];
            const TColorEntry& color = kColors[size_t(n) % kColors.size()];
            SCOPED_TRACE(testing::Message() << shape.Key << " " << W << " " << color.Key);
            const QString base = dir.filePath(QString::number(n++));
            MosaicWriteSvg(base + "w.svg", shape.Init, 7, source, color.Conv, 1, nullptr,
                           color.Opaque);
            QImage painted;
            MosaicSavePng(base + "w.png", shape.Init, 7, source, painted, color.Conv, 1, nullptr);
            TImageRows svgRows(source), pngRows(source);
            StreamWriteSvg(base + "s.svg", shape.Init, 7, svgRows, color.Conv, 1, nullptr,
                           color.Opaque);
            StreamSavePng(base + "s.png", shape.Init, 7, pngRows, color.Conv, 1, nullptr);
            ASSERT_EQ(Bytes(base + "w.svg"), Bytes(base + "s.svg"));
            ASSERT_EQ(QImage(base + "w.png"), QImage(base + "s.png")); // pixels, as above
            for (const char* ext : {"w.svg", "w.png", "s.svg", "s.png"})
                QFile::remove(base + ext);
        }
    SetWorkerThreads(0);
}

// The maker options hold the tiles while the picture streams: the same mosaic and the same files
// beside it, dithering included, whatever the number of threads.
TEST(Stream, MakerOptionsGiveTheSameFiles) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TMakerOptions palette;
    for (TAlphaColor c : {0xFF000000u, 0xFFFFFFFFu, 0xFFC03020u, 0xFF2080C0u, 0xFF30A040u})
        palette.Palette.Entries.push_back({QString(), c, QString()});
    palette.Dither = true;
    palette.Grout = 1.5;
    palette.GroutColor = 0xFFFFFFFF;
    TMakerOptions counted;
    counted.Colors = 5;
    counted.Outline = 1;
    counted.OutlineColor = 0x80FF0000;
    TMakerOptions sideOnly; // the plain mosaic, with the files beside it
    int n = 0;
    for (int threads : {1, 2, 5}) {
        SetWorkerThreads(threads);
        for (size_t s = 0; s < kShapes.size(); ++s)
            for (const TMakerOptions* maker : {&palette, &counted, &sideOnly}) {
                const QImage source = Picture(97, 70, n % 2 == 0, quint32(200 + n));
                const TShapeEntry& shape = kShapes[s];
                const TColorEntry& color = kColors[size_t(n) % kColors.size()];
                SCOPED_TRACE(testing::Message() << shape.Key << " " << color.Key << " options "
                                                << n % 3 << " threads " << threads);
                const QString base = dir.filePath(QString::number(n++));
                auto withFiles = [&](const char* AWho) {
                    TMakerOptions o = *maker;
                    o.BomFile = base + AWho + "bom.csv";
                    o.TilesFile = base + AWho + "tiles.json";
                    o.CutLinesFile = base + AWho + "cut.svg";
                    return o;
                };
                MosaicWriteSvg(base + "w.svg", shape.Init, 6, source, color.Conv, 0.8f, nullptr,
                               color.Opaque, withFiles("w"));
                QImage painted;
                MosaicSavePng(base + "w.png", shape.Init, 6, source, painted, color.Conv, 0.8f,
                              nullptr, TPngCompression::Fast, withFiles("w"));
                TImageRows svgRows(source), pngRows(source);
                StreamWriteSvg(base + "s.svg", shape.Init, 6, svgRows, color.Conv, 0.8f, nullptr,
                               color.Opaque, withFiles("s"));
                StreamSavePng(base + "s.png", shape.Init, 6, pngRows, color.Conv, 0.8f, nullptr,
                              TPngCompression::Fast, withFiles("s"));
                ASSERT_EQ(Bytes(base + "w.svg"), Bytes(base + "s.svg"));
                const QImage a(base + "w.png");
                ASSERT_FALSE(a.isNull());
                ASSERT_EQ(a, QImage(base + "s.png"));
                for (const char* side : {"bom.csv", "tiles.json", "cut.svg"}) {
                    const QByteArray whole = Bytes(base + "w" + side);
                    ASSERT_FALSE(whole.isEmpty()) << side;
                    ASSERT_EQ(whole, Bytes(base + "s" + side)) << side;
                }
            }
    }
    SetWorkerThreads(0);
}

// Asks to stop once it has seen AAfter rows, which is in the middle of a band.
class TStopAfter : public TProgress {
public:
    explicit TStopAfter(int AAfter) : FAfter(AAfter) {}
    void setMaximum(double) override {}
    void setValue(double AValue) override {
        if (AValue > 0)
            FSeen = std::max(FSeen, int(AValue));
    }
    bool isCanceled() const override { return FSeen >= FAfter; }

private:
    int FAfter;
    int FSeen = 0;
};

TEST(Stream, ACancelLeavesNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QImage source = Picture(90, 150, false, 7);
    // With maker options too, whose files beside the mosaic are left out alike.
    TMakerOptions maker;
    maker.Colors = 4;
    maker.BomFile = dir.filePath("bom.csv");
    for (const TMakerOptions& options : {TMakerOptions(), maker})
        for (bool svg : {false, true}) {
            TStopAfter stop(40); // row 40: the second band
            TImageRows rows(source);
            const QString name = dir.filePath(svg ? "out.svg" : "out.png");
            const TShapeEntry& shape = kShapes[6];
            EXPECT_THROW(svg ? StreamWriteSvg(name, shape.Init, 16, rows, kColors[0].Conv, 1, &stop,
                                              true, options)
                             : StreamSavePng(name, shape.Init, 16, rows, kColors[0].Conv, 1, &stop,
                                             TPngCompression::Fast, options),
                         ECanceled);
            EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
        }
}

// Counts the questions whether to stop that come once the picture is read (its last row
// reported), and says yes to the AAt-th of them (never for 0).
class TStopAtQuestion : public TProgress {
public:
    explicit TStopAtQuestion(int AAt) : FAt(AAt) {}
    void setMaximum(double AMax) override { FMax = AMax; }
    void setValue(double AValue) override {
        if (AValue >= FMax)
            FRead = true;
    }
    bool isCanceled() const override {
        if (!FRead)
            return false;
        ++FAsked;
        return FAt > 0 && FAsked >= FAt;
    }
    int asked() const { return FAsked; }

private:
    int FAt;
    double FMax = 1e300;
    bool FRead = false;
    mutable int FAsked = 0;
};

// The steps on the whole tile array (the colour count, the dithering, the files beside the
// mosaic, the painting) still ask whether to stop, every few ten thousand tiles, so that a stop
// is answered soon on a big picture; wherever it comes, no file is left.
TEST(Stream, MakerStepsAnswerAStop) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QImage source = Picture(400, 300, false, 11); // about 69,000 triangles at cell 2
    TMakerOptions maker;
    maker.Colors = 6;
    maker.Dither = true;
    maker.BomFile = dir.filePath("bom.csv");
    maker.TilesFile = dir.filePath("tiles.json");
    maker.CutLinesFile = dir.filePath("cut.svg");
    const QString out = dir.filePath("out.png");
    auto convert = [&](TProgress& AProgress) {
        TImageRows rows(source);
        StreamSavePng(out, kShapes[0].Init, 2, rows, kColors[0].Conv, 1, &AProgress,
                      TPngCompression::Fast, maker);
    };
    TStopAtQuestion count(0);
    convert(count);
    const int asked = count.asked();
    EXPECT_GE(asked, 20);
    for (const QString& f : QDir(dir.path()).entryList(QDir::Files))
        QFile::remove(dir.filePath(f));
    for (int at : {1, asked / 3, 2 * asked / 3, asked}) {
        SCOPED_TRACE(at);
        TStopAtQuestion stop(at);
        EXPECT_THROW(convert(stop), ECanceled);
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
}

} // namespace
