// The engine works through a picture in bands of rows. For each band it needs the tiles that
// reach it, in array order, so that later tiles still win over earlier ones.
#pragma once

#include "parallel.h"

#include <algorithm>
#include <cstdint>
#include <utility>
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

// The tiles of each band, kept as runs of consecutive indexes: the tilings lay their tiles row
// by row, so a band's tiles are a few runs, and the lists cost next to nothing beside the tiles
// even on a gigapixel picture. Any order of tiles still works, at 8 bytes a listed tile.
struct TBandLists {
    std::vector<int64_t> Start; // band k's runs are Runs[Start[k]] to Runs[Start[k+1]-1]
    std::vector<std::pair<int32_t, int32_t>> Runs; // the first and last tile index of a run
    int bands() const { return int(Start.size()) - 1; }
    // AVisit(i) for band ABand's tiles, ascending.
    template <typename Visit> void eachTile(int ABand, Visit&& AVisit) const {
        for (int64_t r = Start[size_t(ABand)]; r < Start[size_t(ABand) + 1]; ++r)
            for (int32_t i = Runs[size_t(r)].first; i <= Runs[size_t(r)].second; ++i)
                AVisit(i);
    }
    // Band ABand's tiles, ascending, into AOut.
    void tiles(int ABand, std::vector<int32_t>& AOut) const {
        AOut.clear();
        eachTile(ABand, [&](int32_t i) { AOut.push_back(i); });
    }
};

// ARowsOf(i) gives tile i's first and last row in the picture; first > last for none.
template <typename RowsOf>
TBandLists BandLists(int AHeight, int ABandRows, int ATiles, RowsOf&& ARowsOf) {
    const int bands = (AHeight + ABandRows - 1) / ABandRows;
    TBandLists L;
    L.Start.assign(size_t(bands) + 1, 0);
    // AVisit(k, i, AExtends) for each band k that tile i reaches; AExtends when tile i - 1
    // reached it too, so that i continues the band's last run.
    std::vector<int32_t> last;
    auto each = [&](auto&& AVisit) {
        last.assign(size_t(bands), -2);
        for (int i = 0; i < ATiles; ++i) {
            const auto [first, lastRow] = ARowsOf(i);
            for (int k = first / ABandRows; first <= lastRow && k <= lastRow / ABandRows; ++k) {
                AVisit(k, i, last[size_t(k)] == i - 1);
                last[size_t(k)] = i;
            }
        }
    };
    each([&](int k, int, bool AExtends) {
        if (!AExtends)
            ++L.Start[size_t(k) + 1];
    });
    for (int k = 0; k < bands; ++k)
        L.Start[size_t(k) + 1] += L.Start[size_t(k)];
    L.Runs.resize(size_t(L.Start[size_t(bands)]));
    std::vector<int64_t> fill(L.Start.begin(), L.Start.end() - 1);
    each([&](int k, int i, bool AExtends) {
        if (AExtends)
            L.Runs[size_t(fill[size_t(k)] - 1)].second = i;
        else
            L.Runs[size_t(fill[size_t(k)]++)] = {i, i};
    });
    return L;
}
