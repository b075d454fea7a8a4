// vorm-bench: times each stage of a conversion on a generated 6000 × 4000 picture at cell 16,
// for hexagons and squares, then compares the whole engine core (tiling, sampling, painting)
// with one plain copy of the picture and with the straightforward pipeline, on one thread and
// on all of them.
//   vorm-bench [--benchmark_filter=REGEX] [--threads=N] [--summary-only | --no-summary]
//              [--photo=PHOTO.jpg] [--maker-runs=N] [--maker-only]
// --threads sets the engine's threads for the stage timings; the summary always shows one
// thread and all of them. Last, what the maker options cost on a 20 MP photo (bench_maker.cpp).
#include "bench_main.h"
#include "bench_maker.h"
#include "catalog.h"
#include "oracle.h"
#include "parallel.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "tilings.h"
#include "treatments.h"

#include <QImage>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kW = 6000, kH = 4000;
constexpr float kCell = 16;

const QImage& Source() {
    static const QImage img = SmoothPicture(kW, kH);
    return img;
}

TBitmapToItemXsInit ShapeOf(int64_t AShape) {
    return AShape == 6 ? InitHexagon : InitSquare;
}
const char* NameOf(int64_t AShape) {
    return AShape == 6 ? "hexagon" : "square";
}

TItemXs Tiles(int64_t AShape) {
    TItemXs items;
    ShapeOf(AShape)(Source(), kCell, items);
    return items;
}

void BM_Copy(benchmark::State& state) {
    for (auto _ : state) {
        QImage c = Source().copy();
        benchmark::DoNotOptimize(c.constBits());
    }
}

void BM_Generate(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    for (auto _ : state) {
        TItemXs items = Tiles(state.range(0));
        benchmark::DoNotOptimize(items.data());
    }
}

void BM_Sample(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    const TItemXs items = Tiles(state.range(0));
    for (auto _ : state) {
        TItemXs fresh = items;
        SampleItemXs(Source(), fresh, nullptr);
        benchmark::DoNotOptimize(fresh.data());
    }
}

TItemXs Sampled(int64_t AShape) {
    TItemXs items = Tiles(AShape);
    SampleItemXs(Source(), items, nullptr);
    return items;
}

void BM_Render(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    const TItemXs items = Sampled(state.range(0));
    for (auto _ : state) {
        QImage dest;
        RenderItemXs(items, kW, kH, dest, ConvColor, 1.0f);
        benchmark::DoNotOptimize(dest.constBits());
    }
}

void BM_SvgText(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    const TItemXs items = Sampled(state.range(0));
    for (auto _ : state) {
        std::string text = ItemXsSvgText(items, kW, kH, ConvColor, 1.0f, true);
        benchmark::DoNotOptimize(text.data());
    }
}

// The straightforward pipeline's stages.
void BM_OracleOwnerPass(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    const TItemXs items = Tiles(state.range(0));
    for (auto _ : state) {
        auto owner = oracle::BuildOwnerMap(kW, kH, items);
        benchmark::DoNotOptimize(owner.data());
    }
}

void BM_OracleSumPass(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    const TItemXs items = Tiles(state.range(0));
    const auto owner = oracle::BuildOwnerMap(kW, kH, items);
    for (auto _ : state) {
        TItemXs fresh = items;
        oracle::SumOwnedPixels(Source(), owner, fresh, nullptr);
        benchmark::DoNotOptimize(fresh.data());
    }
}

void BM_OracleRender(benchmark::State& state) {
    state.SetLabel(NameOf(state.range(0)));
    const TItemXs items = Sampled(state.range(0));
    for (auto _ : state) {
        QImage dest;
        oracle::RenderItemXs(items, kW, kH, dest, ConvColor, 1.0f);
        benchmark::DoNotOptimize(dest.constBits());
    }
}

// The first run paints into a fresh bitmap, as a one-off conversion does; later runs paint over
// the same destination, as repeated previews in the window do.
std::pair<double, double> EngineCore(int64_t AShape) {
    QImage dest;
    auto run = [&] {
        TItemXs items = Tiles(AShape);
        SampleItemXs(Source(), items, nullptr);
        RenderItemXs(items, kW, kH, dest, ConvColor, 1.0f);
        benchmark::DoNotOptimize(dest.constBits());
    };
    const double cold = BestSeconds(1, run);
    return {cold, BestSeconds(5, run)};
}

double OracleCore(int64_t AShape) {
    return BestSeconds(1, [&] {
        TItemXs items = Tiles(AShape);
        oracle::SampleItemXs(Source(), items, nullptr);
        QImage dest;
        oracle::RenderItemXs(items, kW, kH, dest, ConvColor, 1.0f);
        benchmark::DoNotOptimize(dest.constBits());
    });
}

void Summary() {
    if (MakerOnly()) {
        MakerSummary();
        return;
    }
    const double copy = BestSeconds(9, [] {
        QImage c = Source().copy();
        benchmark::DoNotOptimize(c.constBits());
    });
    std::printf("\nEngine core (tile + sample + paint) on %d x %d at cell %g\n", kW, kH, kCell);
    std::printf("  copy of the picture: %.1f ms\n", copy * 1e3);
    SetWorkerThreads(0);
    const int all = WorkerThreads();
    for (int64_t shape : {6, 4}) {
        const double reference = OracleCore(shape);
        for (int threads : {1, all}) {
            SetWorkerThreads(threads);
            const auto [cold, warm] = EngineCore(shape);
            std::printf("  %-7s %d thread%s: engine %.1f ms = %.2f x copy, %.1f ms into a fresh "
                        "bitmap = %.2f x copy; reference %.0f ms = %.1f x engine\n",
                        NameOf(shape), threads, threads == 1 ? " " : "s", warm * 1e3, warm / copy,
                        cold * 1e3, cold / copy, reference * 1e3, reference / warm);
        }
    }
    SetWorkerThreads(0);
    MakerSummary();
}

} // namespace

BENCHMARK(BM_Copy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Generate)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sample)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SvgText)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OracleOwnerPass)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_OracleSumPass)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OracleRender)->Arg(6)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv, MakerFlag, Summary);
}
