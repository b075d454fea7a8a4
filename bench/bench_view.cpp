// vorm-bench-view: how fast the window's picture area draws a 24-megapixel mosaic (6000 × 4000,
// hexagons of 16 pixels). It times one repaint of the whole area after a zoom or a pan, fitted,
// at 100 % and at 800 %, and below 100 % while the reduction for a new zoom is still being made;
// and the time from a new bitmap (a preview replacing the picture) to its fitted view drawn
// from the finished reduction, and the reduction alone. Goals: a repaint within 16 ms, the
// fitted view within 100 ms. And a preview of a 24-megapixel picture from the window, plain and
// with the Tiles panel's options (a 16-colour palette, dithering, grout and outline): the goal is
// at most 1.3 times the plain one.
//   vorm-bench-view [--benchmark_filter=REGEX]
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise; QT_SCALE_FACTOR=2 times
// a screen of twice the pixel density.
#include "catalog.h"
#include "drivers.h"
#include "frm_main.h"
#include "tiles_panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

constexpr int kW = 6000, kH = 4000;

// A picture with gradients and fine texture, so that neighbouring tiles differ.
QImage Source() {
    QImage img(kW, kH, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < kH; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < kW; ++x) {
            const int t = ((x * 7 + y * 13) ^ (x * y)) & 31;
            row[x] = qRgb((x * 255 / kW + t) & 255, (y * 255 / kH + t) & 255,
                          ((x + y) * 255 / (kW + kH)) & 255);
        }
    }
    return img;
}

const QImage& Mosaic() {
    static const QImage mosaic = [] {
        QImage painted;
        MosaicPreview(kShapes[6].Init, 16, Source(), painted, kColors[0].Conv, 1, nullptr);
        return painted;
    }();
    return mosaic;
}

// The program's window, shown, with the mosaic in its picture area.
struct TWindow {
    QTemporaryDir Dir;
    std::unique_ptr<TFrmMain> Frm;
    TWindow() {
        Frm = std::make_unique<TFrmMain>(Dir.filePath("vorm.ini"));
        Frm->show();
        QApplication::processEvents();
        Frm->Image1->SetBitmap(Mosaic(), true);
        WaitReduction();
    }
    TImageView& View() { return *Frm->Image1; }
    // The picture area at once, background and picture, as a zoom or a pan asks for it.
    void Repaint() { Frm->Image2->repaint(); }
    void WaitReduction() {
        if (!View().IsReductionPending())
            return;
        QEventLoop loop;
        QObject::connect(&View(), &TImageView::ReductionFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

TWindow& Window() {
    static TWindow window;
    return window;
}

void Report(benchmark::State& AState, double AGoalMs) {
    AState.counters["goal_ms"] = AGoalMs;
}

void BM_RepaintFitted(benchmark::State& state) {
    TWindow& w = Window();
    w.View().ZoomFit();
    w.WaitReduction();
    for (auto _ : state)
        w.Repaint();
    state.SetLabel(ZoomPercentText(w.View().Zoom()).toStdString());
    Report(state, 16);
}

// The argument: the zoom in percent, 100 or more; each repaint follows a pan of a few pixels.
void BM_RepaintPanned(benchmark::State& state) {
    TWindow& w = Window();
    w.View().ZoomActual();
    while (w.View().Zoom() < state.range(0) / 100.0)
        w.View().ZoomIn();
    int i = 0;
    for (auto _ : state) {
        const int k = i++;
        w.View().PanBy(QPointF((k & 1) ? 3 : -3, (k & 2) ? 2 : -2));
        w.Repaint();
    }
    state.SetLabel(ZoomPercentText(w.View().Zoom()).toStdString());
    Report(state, 16);
}

// Each repaint follows a wheel step between 37.5 % and 50 %: drawn from what is at hand while
// the worker makes the reduction for the new zoom.
void BM_RepaintZoomedBelow100(benchmark::State& state) {
    TWindow& w = Window();
    w.View().ZoomActual();
    w.View().ZoomOut();
    w.View().ZoomOut();
    const QPointF at(300, 200);
    int i = 0;
    for (auto _ : state) {
        w.View().ZoomStepAt((i++ & 1) ? 1 : -1, at);
        w.Repaint();
    }
    w.WaitReduction(); // after the timed loop, so the next benchmark starts settled
    Report(state, 16);
}

// A preview replaces the fitted picture by a mosaic of the same size: from then until the view
// shows it from its finished reduction.
void BM_NewBitmapToFittedView(benchmark::State& state) {
    TWindow& w = Window();
    w.View().ZoomFit();
    w.WaitReduction();
    // Two bitmaps with the same pixels but their own identity, as a new mosaic has.
    const QImage a = Mosaic(), b = Mosaic().copy();
    int i = 0;
    for (auto _ : state) {
        w.View().SetBitmap((i++ & 1) ? a : b);
        w.Repaint(); // what shows at once
        w.WaitReduction();
        w.Repaint();
    }
    state.SetLabel(ZoomPercentText(w.View().Zoom()).toStdString());
    Report(state, 100);
}

// The reduction alone, to the fitted size of the picture area at one and at two device pixels
// per unit.
void BM_Reduce(benchmark::State& state) {
    const double zoom = 462.0 / kH * double(state.range(0));
    const QSize size(int(std::lround(kW * zoom)), int(std::lround(kH * zoom)));
    for (auto _ : state) {
        const QImage r = ReduceAreaAverage(Mosaic(), size);
        benchmark::DoNotOptimize(r.constBits());
    }
    state.SetLabel(std::to_string(size.width()) + " x " + std::to_string(size.height()));
}

// The argument: 0 for the panel's defaults, 1 for a 16-grey palette with dithering, 2 px grout
// and a 1 px outline. From the preview's start until its mosaic shows, fitted, from its
// reduction.
void BM_PreviewFromTheWindow(benchmark::State& state) {
    TWindow& w = Window();
    static const QImage source = Source();
    TTilesPanel& panel = *w.Frm->TilesPanel;
    if (state.range(0)) {
        QTemporaryDir dir;
        const QString file = dir.filePath("greys.hex");
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        for (int i = 0; i < 16; ++i)
            f.write(QByteArray::number(i * 17 * 0x010101, 16).rightJustified(6, '0') + "\n");
        f.close();
        panel.UsePaletteFile(file);
        panel.chDither->setChecked(true);
        panel.seGrout->setValue(2);
        panel.seOutline->setValue(1);
    }
    w.Frm->gBitmap = source;
    w.Frm->gFileName = QStringLiteral("bench.png");
    w.View().ZoomFit();
    for (auto _ : state) {
        w.Frm->Preview();
        QEventLoop loop;
        QObject::connect(w.Frm.get(), &TFrmMain::ConversionFinished, &loop, &QEventLoop::quit);
        if (w.Frm->IsConverting())
            loop.exec();
        w.WaitReduction();
        w.Repaint();
    }
    state.SetLabel(state.range(0) ? "palette 16, dither, grout 2, outline 1" : "plain");
}

BENCHMARK(BM_Reduce)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RepaintFitted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintPanned)->Arg(100)->Arg(800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintZoomedBelow100)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NewBitmapToFittedView)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PreviewFromTheWindow)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    std::printf("Making the %d x %d mosaic ...\n", kW, kH);
    std::fflush(stdout);
    Mosaic();
    std::printf("Picture area %d x %d units at a device pixel ratio of %.2f\n",
                Window().View().width(), Window().View().height(),
                Window().View().devicePixelRatioF());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
