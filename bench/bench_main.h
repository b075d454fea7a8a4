// The command line of the program's benchmarks: Google Benchmark's own flags, --threads=N,
// --summary-only (the summary alone) and --no-summary, and a benchmark's own flags through
// AOwnFlag, which returns whether it took the argument.
#pragma once

#include "parallel.h"

#include <QImage>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>

// The benchmarks' source picture: smooth, so that a mosaic's tiles differ a little each.
inline QImage SmoothPicture(int W, int H) {
    QImage i(W, H, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < H; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(i.scanLine(y));
        for (int x = 0; x < W; ++x)
            row[x] = qRgba((x / 7) & 255, (y / 5) & 255, ((x + y) / 11) & 255, 255);
    }
    return i;
}

// The best wall time of ARuns runs of AWork, in seconds, for the summaries.
template <typename F> double BestSeconds(int ARuns, F&& AWork) {
    double best = 1e30;
    for (int i = 0; i < ARuns; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        AWork();
        const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
        best = std::min(best, d.count());
    }
    return best;
}

inline int RunBenchmarks(int argc, char** argv, const std::function<bool(const char*)>& AOwnFlag,
                         const std::function<void()>& ASummary) {
    bool summaryOnly = false, summary = true;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--summary-only") == 0)
            summaryOnly = true;
        else if (std::strcmp(argv[i], "--no-summary") == 0)
            summary = false;
        else if (std::strncmp(argv[i], "--threads=", 10) == 0)
            SetWorkerThreads(std::atoi(argv[i] + 10));
        else if (i == 0 || !AOwnFlag || !AOwnFlag(argv[i]))
            argv[kept++] = argv[i];
    }
    argc = kept;
    if (!summaryOnly) {
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    if (summary)
        ASummary();
    return 0;
}
