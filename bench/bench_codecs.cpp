// vorm-bench-codecs: times the program's own readers and writers on a generated 3000 × 2000
// picture held in memory, so that the disk plays no part.
//   vorm-bench-codecs [--benchmark_filter=...]
#include "hdr.h"
#include "psd.h"
#include "tga.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

constexpr int kW = 3000, kH = 2000;

// Smooth areas with runs beside noisy ones, half of it translucent.
const QImage& Picture() {
    static const QImage img = [] {
        QImage i(kW, kH, QImage::Format_ARGB32_Premultiplied);
        uint32_t seed = 1;
        for (int y = 0; y < kH; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(i.scanLine(y));
            for (int x = 0; x < kW; ++x) {
                seed = seed * 1664525 + 1013904223;
                const int noise = x < kW / 2 ? 0 : int(seed >> 28);
                row[x] = qPremultiply(
                    qRgba((x / 16 + noise) & 255, (y / 8) & 255, 90, y < kH / 2 ? 255 : 160));
            }
        }
        return i;
    }();
    return img;
}

QByteArray Tga(bool AAlpha) {
    TTGAParamsVals p;
    p.AlphaUsed = AAlpha;
    p.TGA_Compressed = !AAlpha;
    QByteArray out;
    out.reserve(qsizetype(kW) * kH * 4 + 1024); // time the writer, not the buffer's growth
    WriteTGA([&](const void* d, qint64 n) { out.append(static_cast<const char*>(d), n); },
             Picture(), p);
    return out;
}

QByteArray Psd() {
    QByteArray out;
    out.reserve(qsizetype(kW) * kH * 4 + 1024);
    WritePSD([&](const void* d, qint64 n) { out.append(static_cast<const char*>(d), n); },
             Picture());
    return out;
}

// Each component in literal packets of 128 bytes, the exponent in runs.
QByteArray Hdr() {
    QByteArray out = QByteArray("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y ") +
                     QByteArray::number(kH) + " +X " + QByteArray::number(kW) + "\n";
    for (int y = 0; y < kH; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(Picture().constScanLine(y));
        const char start[] = {2, 2, char(kW >> 8), char(kW & 255)};
        out.append(start, 4);
        for (int c = 0; c < 3; ++c)
            for (int x = 0; x < kW; x += 128) {
                const int n = std::min(128, kW - x);
                out.append(char(n));
                for (int k = 0; k < n; ++k)
                    out.append(char(row[x + k] >> (16 - 8 * c)));
            }
        for (int x = 0; x < kW; x += 127) {
            const int n = std::min(127, kW - x);
            const char run[] = {char(128 + n), char(129)};
            out.append(run, 2);
        }
    }
    return out;
}

void Report(benchmark::State& state, qint64 AFileBytes) {
    state.SetItemsProcessed(state.iterations() * qint64(kW) * kH);
    state.SetBytesProcessed(state.iterations() * AFileBytes);
}

void BM_ReadTGA(benchmark::State& state) {
    const QByteArray file = Tga(state.range(0));
    for (auto _ : state) {
        QImage img;
        TTGAParamsVals p;
        ReadTGA(file, img, p);
        benchmark::DoNotOptimize(img.constBits());
    }
    Report(state, file.size());
}
BENCHMARK(BM_ReadTGA)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteTGA(benchmark::State& state) {
    qint64 bytes = 0;
    for (auto _ : state)
        bytes = Tga(state.range(0)).size();
    Report(state, bytes);
}
BENCHMARK(BM_WriteTGA)->ArgName("alpha")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReadPSD(benchmark::State& state) {
    const QByteArray file = Psd();
    for (auto _ : state) {
        QImage img;
        LoadPSDData(file, img);
        benchmark::DoNotOptimize(img.constBits());
    }
    Report(state, file.size());
}
BENCHMARK(BM_ReadPSD)->Unit(benchmark::kMillisecond);

void BM_WritePSD(benchmark::State& state) {
    qint64 bytes = 0;
    for (auto _ : state)
        bytes = Psd().size();
    Report(state, bytes);
}
BENCHMARK(BM_WritePSD)->Unit(benchmark::kMillisecond);

void BM_ReadHDR(benchmark::State& state) {
    const QByteArray file = Hdr();
    for (auto _ : state) {
        QImage img;
        LoadHDRData(file, img);
        benchmark::DoNotOptimize(img.constBits());
    }
    Report(state, file.size());
}
BENCHMARK(BM_ReadHDR)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
