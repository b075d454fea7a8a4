// vorm-bench: times each stage of a conversion on a generated 6000 × 4000 picture at cell 16.
//   vorm-bench [--benchmark_filter=...]
#include "catalog.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "tilings.h"
#include "treatments.h"

#include <QImage>
#include <benchmark/benchmark.h>

namespace {

constexpr int kW = 6000, kH = 4000;
constexpr float kCell = 16;

const QImage& Source() {
    static const QImage img = [] {
        QImage i(kW, kH, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < kH; ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(i.scanLine(y));
            for (int x = 0; x < kW; ++x)
                row[x] = qRgba((x / 7) & 255, (y / 5) & 255, ((x + y) / 11) & 255, 255);
        }
        return i;
    }();
    return img;
}

TBitmapToItemXsInit ShapeOf(const benchmark::State& s) {
    return s.range(0) == 6 ? InitHexagon : InitSquare;
}

const char* NameOf(const benchmark::State& s) { return s.range(0) == 6 ? "hexagon" : "square"; }

void BM_Copy(benchmark::State& state) {
    for (auto _ : state) {
        QImage c = Source().copy();
        benchmark::DoNotOptimize(c.constBits());
    }
}

void BM_Generate(benchmark::State& state) {
    state.SetLabel(NameOf(state));
    for (auto _ : state) {
        TItemXs items;
        ShapeOf(state)(Source(), kCell, items);
        benchmark::DoNotOptimize(items.data());
    }
}

void BM_OwnerPass(benchmark::State& state) {
    state.SetLabel(NameOf(state));
    TItemXs items;
    ShapeOf(state)(Source(), kCell, items);
    for (auto _ : state) {
        auto owner = BuildOwnerMap(kW, kH, items);
        benchmark::DoNotOptimize(owner.data());
    }
}

void BM_SumPass(benchmark::State& state) {
    state.SetLabel(NameOf(state));
    TItemXs items;
    ShapeOf(state)(Source(), kCell, items);
    const auto owner = BuildOwnerMap(kW, kH, items);
    for (auto _ : state) {
        TItemXs fresh = items;
        SumOwnedPixels(Source(), owner, fresh, nullptr);
        benchmark::DoNotOptimize(fresh.data());
    }
}

TItemXs Sampled(const benchmark::State& state) {
    TItemXs items;
    ShapeOf(state)(Source(), kCell, items);
    SampleItemXs(Source(), items, nullptr);
    return items;
}

void BM_Render(benchmark::State& state) {
    state.SetLabel(NameOf(state));
    const TItemXs items = Sampled(state);
    for (auto _ : state) {
        QImage dest;
        RenderItemXs(items, kW, kH, dest, ConvColor, 1.0f);
        benchmark::DoNotOptimize(dest.constBits());
    }
}

void BM_SvgText(benchmark::State& state) {
    state.SetLabel(NameOf(state));
    const TItemXs items = Sampled(state);
    for (auto _ : state) {
        std::string text = ItemXsSvgText(items, kW, kH, ConvColor, 1.0f, true);
        benchmark::DoNotOptimize(text.data());
    }
}

} // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Generate)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OwnerPass)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SumPass)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SvgText)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
