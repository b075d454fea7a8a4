// vorm-bench's last summary: what the maker options cost, on a whole conversion as vorm-cli runs it
// (the photo read a band of rows at a time, tiled, sampled, the colours mapped, the mosaic
// painted and written as PNG, and the bill of materials), best of a few runs each, against the
// plain conversion of the same photo:
//   --colors 16 --dither --grout 2 --outline 1 --bom   goal: at most 1.3 x plain
//   --palette with 256 colours                        goal: at most 1.15 x plain
// and the peak memory each adds beyond the plain conversion, per tile.
//   vorm-bench [--photo=PHOTO.jpg] [--maker-runs=N] [--maker-only]
// Without --photo it makes a 20 MP photo-like JPEG (broad areas of colour with grain).
#include "bench_maker.h"

#include "bench_main.h"
#include "bitmap_ex.h"
#include "catalog.h"
#include "drivers.h"
#include "jpeg_rows.h"
#include "maker.h"
#include "memory_budget.h"
#include "parallel.h"
#include "render.h"
#include "sampling.h"
#include "stream.h"
#include "tilings.h"
#include "treatments.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int gRuns = 3;
QString gPhoto;
bool gMakerOnly = false;

// 5472 × 3648 with grain, so that nearly every tile has a colour of its own, as in a photo.
QString MakePhoto(const QTemporaryDir& ADir) {
    constexpr int W = 5472, H = 3648;
    QImage img(W, H, QImage::Format_RGB32);
    uint32_t seed = 7;
    for (int y = 0; y < H; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525 + 1013904223;
            const int n = int(seed >> 27) - 16;
            // Broad areas of colour, as sky, skin, foliage and shade.
            const int r = 128 + int(100 * std::sin(x / 700.0) * std::cos(y / 900.0));
            const int g = 120 + int(90 * std::sin((x + y) / 1100.0));
            const int b = 110 + int(100 * std::cos(x / 500.0 - y / 1300.0));
            row[x] = qRgb(std::clamp(r + n, 0, 255), std::clamp(g - n, 0, 255),
                          std::clamp(b + n / 2, 0, 255));
        }
    }
    const QString path = ADir.filePath(QStringLiteral("photo.jpg"));
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    writer.write(img);
    return path;
}

TPalette Palette256() {
    TPalette p;
    p.Name = QStringLiteral("256 colours");
    for (int i = 0; i < 256; ++i) {
        // An 8 × 8 × 4 cube: like a maker's range of many colours.
        const int r = (i >> 5) & 7, g = (i >> 2) & 7, b = i & 3;
        p.Entries.push_back({QStringLiteral("Colour %1").arg(i),
                             0xFF000000u | TAlphaColor(r * 255 / 7) << 16 |
                                 TAlphaColor(g * 255 / 7) << 8 | TAlphaColor(b * 255 / 3),
                             QString()});
    }
    return p;
}

// The best of ARuns runs: wall time, and the process's processor time (all threads), which a
// machine busy with other work disturbs less.
struct TTimes {
    double Wall = 1e30, Cpu = 1e30;
};
template <typename F> TTimes BestTimes(int ARuns, F&& AWork) {
    TTimes best;
    for (int i = 0; i < ARuns; ++i) {
        timespec c0{}, c1{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
        const double wall = BestSeconds(1, AWork);
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
        best.Wall = std::min(best.Wall, wall);
        best.Cpu =
            std::min(best.Cpu, double(c1.tv_sec - c0.tv_sec) + (c1.tv_nsec - c0.tv_nsec) * 1e-9);
    }
    return best;
}

} // namespace

bool MakerFlag(const char* AArg) {
    if (std::strncmp(AArg, "--photo=", 8) == 0)
        gPhoto = QString::fromLocal8Bit(AArg + 8);
    else if (std::strncmp(AArg, "--maker-runs=", 13) == 0)
        gRuns = std::max(1, std::atoi(AArg + 13));
    else if (std::strcmp(AArg, "--maker-only") == 0)
        gMakerOnly = true;
    else
        return false;
    return true;
}

bool MakerOnly() {
    return gMakerOnly;
}

void MakerSummary() {
    QTemporaryDir dir;
    const QString photo = gPhoto.isEmpty() ? MakePhoto(dir) : gPhoto;
    const QString out = dir.filePath(QStringLiteral("out.png"));
    auto once = [&](const TMakerOptions& AMaker) {
        QFile::remove(out);
        if (!AMaker.BomFile.isEmpty())
            QFile::remove(AMaker.BomFile);
        SetConversionBitmaps(1);
        // As vorm-cli: a JPEG streams; anything else is read whole.
        const auto rows = OpenJpegRows(photo, [&](int W, int H) {
            return StreamMosaicBytes(InitEquilateralTriangle1, 16, W, H, true, AMaker.any());
        });
        if (rows) {
            StreamSavePng(out, InitEquilateralTriangle1, 16, *rows, ConvColor, 1.0f, nullptr,
                          TPngCompression::Fast, AMaker);
            return;
        }
        QImage source = LoadPicture(photo);
        QImage painted;
        MosaicSavePng(out, InitEquilateralTriangle1, 16, std::move(source), painted, ConvColor,
                      1.0f, nullptr, TPngCompression::Fast, AMaker);
    };
    auto convert = [&](const TMakerOptions& AMaker) {
        return BestTimes(gRuns, [&] { once(AMaker); });
    };
    // The peak memory of one conversion, in a child process of its own: this one has held more.
    auto peakMb = [&](const TMakerOptions& AMaker) {
        const pid_t child = fork();
        if (child == 0) {
            once(AMaker);
            _exit(0);
        }
        int status = 0;
        rusage u{};
        if (child < 0 || wait4(child, &status, 0, &u) != child)
            return -1.0;
        return u.ru_maxrss / 1024.0;
    };
    TItemXs probe;
    const QSize size = QImageReader(photo).size();
    // The tilings read only the size: a 1-bit bitmap of it will do.
    const QImage head(size, QImage::Format_Mono);
    InitEquilateralTriangle1(head, 16, probe);
    const size_t tiles = probe.size();
    std::printf("\nMaker options on %s (%d x %d, %zu tiles at cell 16), %d threads, best of %d\n",
                gPhoto.isEmpty() ? "a generated 20 MP photo" : qPrintable(gPhoto), head.width(),
                head.height(), tiles, WorkerThreads(), gRuns);
    probe = {};
    const TTimes plain = convert(TMakerOptions());
    const double plainPeak = peakMb(TMakerOptions());
    std::printf(
        "  plain                                            %7.1f ms (processor %7.1f ms)\n",
        plain.Wall * 1e3, plain.Cpu * 1e3);
    TMakerOptions full;
    full.Colors = 16;
    full.Dither = true;
    full.Grout = 2;
    full.Outline = 1;
    full.BomFile = dir.filePath(QStringLiteral("bom.csv"));
    const TTimes t1 = convert(full);
    const double peak1 = peakMb(full);
    std::printf("  --colors 16 --dither --grout 2 --outline 1 --bom %7.1f ms = %.2f x plain "
                "(processor %.2f x; goal 1.30)\n",
                t1.Wall * 1e3, t1.Wall / plain.Wall, t1.Cpu / plain.Cpu);
    TMakerOptions pal;
    pal.Palette = Palette256();
    const TTimes t2 = convert(pal);
    const double peak2 = peakMb(pal);
    std::printf("  --palette (256 colours)                          %7.1f ms = %.2f x plain "
                "(processor %.2f x; goal 1.15)\n",
                t2.Wall * 1e3, t2.Wall / plain.Wall, t2.Cpu / plain.Cpu);
    // Stage by stage, from the sampled tiles.
    {
        QImage source = LoadPicture(photo);
        TItemXs items;
        InitEquilateralTriangle1(source, 16, items);
        SampleItemXs(source, items, nullptr);
        const int W = source.width(), H = source.height();
        source = QImage();
        QImage dest;
        const double paint =
            BestTimes(gRuns, [&] { RenderItemXs(items, W, H, dest, ConvColor, 1.0f); }).Cpu;
        TTileColors colors;
        const double mapFull =
            BestTimes(gRuns, [&] { colors = MapTileColors(items, ConvColor, full, nullptr); }).Cpu;
        const double paintFull =
            BestTimes(gRuns, [&] {
                RenderMosaic(items, colors.Color, W, H, dest, 1.0f,
                             {full.Grout, full.GroutColor, full.Outline, full.OutlineColor});
            }).Cpu;
        TMakerOptions undithered = full;
        undithered.Dither = false;
        const double mapColors = BestTimes(gRuns, [&] {
                                     colors = MapTileColors(items, ConvColor, undithered, nullptr);
                                 }).Cpu;
        const double mapPal =
            BestTimes(gRuns, [&] { colors = MapTileColors(items, ConvColor, pal, nullptr); }).Cpu;
        const double paintPal =
            BestTimes(gRuns, [&] {
                RenderMosaic(items, colors.Color, W, H, dest, 1.0f, TPaintStyle());
            }).Cpu;
        std::printf("  stages, processor time: paint %.1f ms; --colors 16 map %.1f ms (dithered "
                    "%.1f), paint with "
                    "grout and outline %.1f ms; --palette map %.1f ms, paint %.1f ms\n",
                    paint * 1e3, mapColors * 1e3, mapFull * 1e3, paintFull * 1e3, mapPal * 1e3,
                    paintPal * 1e3);
    }
    std::printf(
        "  peak memory: plain %.0f MB; --colors ... %.0f MB (%+.0f bytes a tile); --palette "
        "%.0f MB (%+.0f bytes a tile)\n",
        plainPeak, peak1, (peak1 - plainPeak) * 1048576.0 / double(tiles), peak2,
        (peak2 - plainPeak) * 1048576.0 / double(tiles));
}
