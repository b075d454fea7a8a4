// The engine works through a picture in bands of rows. For each band it needs the tiles that
// reach it, in array order, so that later tiles still win over earlier ones.
#pragma once

#include "parallel.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// Rows of a band: the sampler's owner buffer for a band stays in the caches.
constexpr int kBandRows = 32;
// Tiles handed to one thread at a time in the per-tile passes.
constexpr int kTileChunk = 4096;

// Calls AWork(i) for every i in [0, ACount), AChunk items to a thread at a time.
template <typename F> void ParallelChunks(int ACount, int AChunk, F&& AWork) {
    ParallelFor((ACount + AChunk - 1) / AChunk, [&](int c) {
        const int end = std::min(ACount, (c + 1) * AChunk);
        for (int i = c * AChunk; i < end; ++i)
            AWork(i);
    });
}

struct TBandLists {
    std::vector<int64_t> Start;   // band k's tiles are Members[Start[k]] to Members[Start[k+1]-1]
    std::vector<int32_t> Members; // tile indexes, ascending within each band
    int count(int ABand) const { return int(Start[size_t(ABand) + 1] - Start[size_t(ABand)]); }
    const int32_t* tiles(int ABand) const { return Members.data() + Start[size_t(ABand)]; }
};

// ARowsOf(i) gives tile i's first and last row in the picture; first > last for none.
template <typename RowsOf>
TBandLists BandLists(int AHeight, int ABandRows, int ATiles, RowsOf&& ARowsOf) {
    const int bands = (AHeight + ABandRows - 1) / ABandRows;
    TBandLists L;
    L.Start.assign(size_t(bands) + 1, 0);
    auto each = [&](auto&& AVisit) {
        for (int i = 0; i < ATiles; ++i) {
            const auto [first, last] = ARowsOf(i);
            for (int k = first / ABandRows; first <= last && k <= last / ABandRows; ++k)
                AVisit(k, i);
        }
    };
    each([&](int k, int) { ++L.Start[size_t(k) + 1]; });
    for (int k = 0; k < bands; ++k)
        L.Start[size_t(k) + 1] += L.Start[size_t(k)];
    L.Members.resize(size_t(L.Start[size_t(bands)]));
    std::vector<int64_t> fill(L.Start.begin(), L.Start.end() - 1);
    each([&](int k, int i) { L.Members[size_t(fill[size_t(k)]++)] = i; });
    return L;
}
