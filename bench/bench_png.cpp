// vorm-bench-png: the PNG writer (ISA-L, zlib level 6 as before, zlib level 9) next to Qt's PNG
// encoder, on a 24 MP hexagon mosaic at cell 16; the JPEG decoder next to Qt's reader; and the
// PNG and BMP readers next to Qt's, on a 20 MP PNG photo and a 24 MP BMP; all in memory, so that
// the disk plays no part. With --photo, the same for a real photo, whose
// whole conversion is then timed stage by stage, as vorm-cli runs it.
//   vorm-bench-png [--photo=PHOTO.jpg [--pipeline-only]] [--runs=N] [--threads=N]
//                  [--benchmark_filter=...] [--summary-only | --no-summary]
#include "bench_main.h"
#include "bmp.h"
#include "codec_support.h"
#include "jpeg_decoder.h"
#include "memory_budget.h"
#include "parallel.h"
#include "png_reader.h"
#include "png_writer.h"
#include "render.h"
#include "sampling.h"
#include "tilings.h"
#include "treatments.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kW = 6000, kH = 4000;
constexpr float kCell = 16;

int gRuns = 5;
QString gPhoto;
bool gPipelineOnly = false;

// The engine benchmark's source.
QImage Source() {
    return SmoothPicture(kW, kH);
}

QImage Mosaic(const QImage& ASource) {
    TItemXs items;
    InitHexagon(ASource, kCell, items);
    SampleItemXs(ASource, items, nullptr);
    QImage dest;
    RenderItemXs(items, ASource.width(), ASource.height(), dest, ConvColor, 1.0f);
    return dest;
}

const QImage& Mosaic24() {
    static const QImage m = Mosaic(Source());
    return m;
}

// A photo-like JPEG of the same size: the source with grain, as Qt writes it at quality 90.
const QByteArray& Jpeg24() {
    static const QByteArray data = [] {
        QImage img = Source().convertToFormat(QImage::Format_RGB32);
        uint32_t seed = 7;
        for (int y = 0; y < kH; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < kW; ++x) {
                seed = seed * 1664525 + 1013904223;
                const int n = int(seed >> 27) - 16;
                const QRgb p = row[x];
                row[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) - n, 0, 255),
                              std::clamp(qBlue(p) + n / 2, 0, 255));
            }
        }
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(90);
        writer.write(img);
        return out;
    }();
    return data;
}

// A grainy photo-like picture, as Qt writes it in AFormat ("png": 8-bit RGB; "bmp": 24 bits).
QByteArray GrainyFile(int W, int H, const char* AFormat) {
    QImage img = SmoothPicture(W, H).convertToFormat(QImage::Format_RGB32);
    uint32_t seed = 11;
    for (int y = 0; y < H; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < W; ++x) {
            seed = seed * 1664525 + 1013904223;
            const int n = int(seed >> 29) - 4;
            const QRgb p = row[x];
            row[x] = qRgb(std::clamp(qRed(p) + n, 0, 255), std::clamp(qGreen(p) - n, 0, 255),
                          std::clamp(qBlue(p) + n, 0, 255));
        }
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, AFormat).write(img);
    return out;
}

// 20 MP, the size of a common camera's photo, and 24 MP.
const QByteArray& Png20() {
    static const QByteArray data = GrainyFile(5472, 3648, "png");
    return data;
}
const QByteArray& Bmp24() {
    static const QByteArray data = GrainyFile(kW, kH, "bmp");
    return data;
}

enum TReader { rOwn, rQt };
const char* const kReaderNames[] = {"vorm (own reader)", "Qt QImageReader (before)"};

QImage DecodeQt(const QByteArray& AData);

QImage Read(const QByteArray& AData, TReader AReader) {
    if (AReader == rQt)
        return DecodeQt(AData);
    QString warning;
    return IsPng(AData) ? ReadPng(AData, warning) : ReadBmp(AData, warning);
}

enum TEncoder { eFast, eZlib, eBest, eQt };
const char* const kEncoderNames[] = {"vorm fast (ISA-L)", "vorm zlib 6 (before)",
                                     "vorm best (zlib 9)", "Qt QImageWriter"};

QByteArray Encode(const QImage& AImage, TEncoder AEncoder) {
    QByteArray out;
    out.reserve(qsizetype(AImage.width()) * AImage.height()); // time the encoder, not the growth
    if (AEncoder == eQt) {
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(AImage);
        return out;
    }
    TPngOptions options;
    options.Compression = AEncoder == eFast   ? TPngCompression::Fast
                          : AEncoder == eZlib ? TPngCompression::Zlib
                                              : TPngCompression::Best;
    WritePngData([&](const void* d, qint64 n) { out.append(static_cast<const char*>(d), n); },
                 AImage, options, QStringLiteral("memory.png"));
    return out;
}

enum TDecoder { dOwn, dQt };
const char* const kDecoderNames[] = {"vorm (libjpeg-turbo)", "Qt QImageReader"};

// Qt's reader as the loader used it before: RGB, then RGB32, then premultiplied.
QImage DecodeQt(const QByteArray& AData) {
    QByteArray data = AData;
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    ApplyMemoryLimitToQt();
    return AsBitmap(reader.read());
}

QImage Decode(const QByteArray& AData, TDecoder ADecoder) {
    if (ADecoder == dQt)
        return DecodeQt(AData);
    QImage img;
    if (!DecodeJpeg(AData, img))
        return DecodeQt(AData);
    return img;
}

void BM_EncodePng(benchmark::State& state) {
    const auto encoder = TEncoder(state.range(0));
    state.SetLabel(kEncoderNames[encoder]);
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = Encode(Mosaic24(), encoder).size();
    state.counters["MB"] = double(bytes) / 1e6;
    state.SetItemsProcessed(state.iterations() * qint64(kW) * kH);
}
BENCHMARK(BM_EncodePng)->Arg(eFast)->Arg(eZlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodePng)->Arg(eBest)->Arg(eQt)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_DecodeJpeg(benchmark::State& state) {
    const auto decoder = TDecoder(state.range(0));
    state.SetLabel(kDecoderNames[decoder]);
    for (auto _ : state) {
        QImage img = Decode(Jpeg24(), decoder);
        benchmark::DoNotOptimize(img.constBits());
    }
    state.SetItemsProcessed(state.iterations() * qint64(kW) * kH);
}
BENCHMARK(BM_DecodeJpeg)->Arg(dOwn)->Arg(dQt)->Unit(benchmark::kMillisecond);

void BM_ReadPicture(benchmark::State& state) {
    const auto reader = TReader(state.range(0));
    const QByteArray& data = state.range(1) ? Bmp24() : Png20();
    state.SetLabel(std::string(state.range(1) ? "BMP 24 MP, " : "PNG 20 MP, ") +
                   kReaderNames[reader]);
    for (auto _ : state) {
        QImage img = Read(data, reader);
        benchmark::DoNotOptimize(img.constBits());
    }
}
BENCHMARK(BM_ReadPicture)
    ->Args({rOwn, 0})
    ->Args({rQt, 0})
    ->Args({rOwn, 1})
    ->Args({rQt, 1})
    ->Unit(benchmark::kMillisecond);

void ReaderTable() {
    for (const bool bmp : {false, true}) {
        const QByteArray& data = bmp ? Bmp24() : Png20();
        const QImage qt = DecodeQt(data);
        std::printf("\n%s reader: %d x %d (%.1f MP), %.1f MB file, best of %d\n",
                    bmp ? "BMP" : "PNG", qt.width(), qt.height(),
                    qt.width() * double(qt.height()) / 1e6, data.size() / 1e6, gRuns);
        double qtTime = 0;
        for (TReader r : {rQt, rOwn}) {
            QImage img;
            const double t = BestSeconds(gRuns, [&] { img = Read(data, r); });
            if (r == rQt)
                qtTime = t;
            std::printf("  %-26s %8.1f ms %6.2f x Qt's time  %s\n", kReaderNames[r], t * 1e3,
                        t / qtTime, img == qt ? "same pixels" : "PIXELS DIFFER");
        }
    }
}

void EncoderTable(const char* ATitle, const QImage& AMosaic) {
    std::printf("\n%s: %d x %d mosaic (%.1f MP), best of %d (slow encoders: 1)\n", ATitle,
                AMosaic.width(), AMosaic.height(), AMosaic.width() * double(AMosaic.height()) / 1e6,
                gRuns);
    double zlibTime = 0;
    qsizetype zlibSize = 0;
    const QImage reference = AMosaic.convertToFormat(QImage::Format_ARGB32);
    for (TEncoder e : {eZlib, eFast, eBest, eQt}) {
        QByteArray file;
        const double t =
            BestSeconds(e == eBest || e == eQt ? 1 : gRuns, [&] { file = Encode(AMosaic, e); });
        const bool same =
            QImage::fromData(file, "png").convertToFormat(QImage::Format_ARGB32) == reference;
        if (e == eZlib)
            zlibTime = t, zlibSize = file.size();
        std::printf("  %-22s %8.1f ms %6.2f x zlib 6 time  %7.3f MB %6.3f x zlib 6 size  %s\n",
                    kEncoderNames[e], t * 1e3, t / zlibTime, file.size() / 1e6,
                    double(file.size()) / double(zlibSize), same ? "same pixels" : "PIXELS DIFFER");
    }
    // With the file system, as a save does it: a temporary file, synced, then renamed.
    QTemporaryDir dir;
    int n = 0;
    const double t = BestSeconds(
        gRuns, [&] { WritePng(dir.filePath(QStringLiteral("f%1.png").arg(n++)), AMosaic); });
    std::printf("  %-22s %8.1f ms (WritePng to a file in %s)\n", "vorm fast, to a file", t * 1e3,
                qPrintable(dir.path()));
}

void DecoderTable(const char* ATitle, const QByteArray& AJpeg) {
    const QImage qt = DecodeQt(AJpeg);
    std::printf("\n%s: %d x %d JPEG of %.2f MB, best of %d\n", ATitle, qt.width(), qt.height(),
                AJpeg.size() / 1e6, gRuns);
    double qtTime = 0;
    for (TDecoder d : {dQt, dOwn}) {
        QImage img;
        const double t = BestSeconds(gRuns, [&] { img = Decode(AJpeg, d); });
        if (d == dQt)
            qtTime = t;
        std::printf("  %-22s %8.1f ms %6.2f x Qt's time  %s\n", kDecoderNames[d], t * 1e3,
                    t / qtTime, img == qt ? "same pixels" : "PIXELS DIFFER");
    }
}

// The conversion as vorm-cli runs it, hexagon 16 to PNG, stage by stage; each stage best of
// the runs.
void Pipeline(const QByteArray& AJpeg) {
    std::printf("\nWhole conversion of the photo, hexagon 16 to PNG, %d threads, best of %d\n",
                WorkerThreads(), gRuns);
    QImage source;
    const double readQt = BestSeconds(gRuns, [&] { source = Decode(AJpeg, dQt); });
    const double read = BestSeconds(gRuns, [&] { source = Decode(AJpeg, dOwn); });
    TItemXs items;
    const double tile = BestSeconds(gRuns, [&] {
        items.clear();
        InitHexagon(source, kCell, items);
    });
    TItemXs sampled;
    const double sample = BestSeconds(gRuns, [&] {
        sampled = items;
        SampleItemXs(source, sampled, nullptr);
    });
    QImage dest;
    const double paint = BestSeconds(gRuns, [&] {
        QImage fresh;
        RenderItemXs(sampled, source.width(), source.height(), fresh, ConvColor, 1.0f);
        dest = std::move(fresh);
    });
    const double fast = BestSeconds(gRuns, [&] { Encode(dest, eFast); });
    const double zlib = BestSeconds(gRuns, [&] { Encode(dest, eZlib); });
    const double core = tile + sample + paint;
    std::printf("  read %.1f ms (Qt %.1f)  tile %.1f  sample %.1f  paint %.1f  encode %.1f ms "
                "(zlib 6 %.1f)\n",
                read * 1e3, readQt * 1e3, tile * 1e3, sample * 1e3, paint * 1e3, fast * 1e3,
                zlib * 1e3);
    std::printf("  total %.1f ms; before (Qt's reader, zlib 6) %.1f ms\n",
                (read + core + fast) * 1e3, (readQt + core + zlib) * 1e3);
}

void Summary() {
    std::printf("\nPNG deflate: %s; JPEG decoder: %s\n",
                PngFastDeflateIsIsal() ? "ISA-L" : "zlib (built without ISA-L)",
                JpegDecoderAvailable() ? "libjpeg-turbo" : "Qt (built without libjpeg-turbo)");
    if (!gPipelineOnly || gPhoto.isEmpty()) {
        EncoderTable("Synthetic", Mosaic24());
        DecoderTable("Synthetic", Jpeg24());
        ReaderTable();
    }
    if (gPhoto.isEmpty())
        return;
    QFile f(gPhoto);
    if (!f.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vorm-bench-png: cannot open %s\n", qPrintable(gPhoto));
        return;
    }
    const QByteArray jpeg = f.readAll();
    if (!gPipelineOnly) {
        DecoderTable("Photo", jpeg);
        EncoderTable("Photo", Mosaic(Decode(jpeg, dOwn)));
    }
    Pipeline(jpeg);
}

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarks(
        argc, argv,
        [](const char* AArg) {
            if (std::strcmp(AArg, "--pipeline-only") == 0)
                gPipelineOnly = true;
            else if (std::strncmp(AArg, "--photo=", 8) == 0)
                gPhoto = QString::fromLocal8Bit(AArg + 8);
            else if (std::strncmp(AArg, "--runs=", 7) == 0)
                gRuns = std::max(1, std::atoi(AArg + 7));
            else
                return false;
            return true;
        },
        Summary);
}
