#include "dither.h"

#include "color_match.h"
#include "tile_edges.h"
#include "vorm_error.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDamp = 0.75;          // a large error passes on three quarters of itself
constexpr double kLarge = 12.0;         // ΔE*ab from which an error counts as large
constexpr double kTiny = 0.25;          // below this the error is dropped
constexpr int32_t kPollTiles = 1 << 16; // tiles between two questions whether to stop

} // namespace

void DitherTiles(const TItemXs& AItems, const std::vector<char>& AWritten,
                 const std::vector<TAlphaColor>& ATreated, const std::vector<TAlphaColor>& AList,
                 std::vector<uint16_t>& ASlot, const TProgress* AProgress) {
    const int32_t n = int32_t(AItems.size());
    const TTileGraph graph = TileNeighbours(
        n,
        [&](int32_t i, TCorners& c) {
            if (!AWritten[size_t(i)])
                return 0;
            const TPointFX& p = AItems[size_t(i)].Points;
            const int m = int(std::min<size_t>(p.size(), kMaxCorners));
            std::copy_n(p.begin(), m, c.begin());
            return m;
        },
        AProgress);
    const TColorMatcher matcher(AList);
    struct TErr {
        float L = 0, a = 0, b = 0;
    };
    std::vector<TErr> err(static_cast<size_t>(n));
    int last = -1; // the previous tile's answer: a likely one
    for (int32_t i = 0; i < n; ++i) {
        if (i % kPollTiles == 0)
            ThrowIfCanceled(AProgress);
        if (!AWritten[size_t(i)])
            continue;
        const TLab own = LabOfRgb(ATreated[size_t(i)]);
        const TErr& e = err[size_t(i)];
        const TLab want{std::clamp(own.L + e.L, 0.0, 100.0), std::clamp(own.a + e.a, -128.0, 128.0),
                        std::clamp(own.b + e.b, -128.0, 128.0)};
        const int k = matcher.nearest(want, nullptr, last);
        last = k;
        ASlot[size_t(i)] = uint16_t(k);
        const TLab& got = matcher.lab(k);
        double dL = want.L - got.L, da = want.a - got.a, db = want.b - got.b;
        const double size = std::sqrt(dL * dL + da * da + db * db);
        if (size < kTiny)
            continue;
        if (size > kLarge) {
            dL *= kDamp;
            da *= kDamp;
            db *= kDamp;
        }
        double total = 0;
        for (int64_t j = graph.Start[size_t(i)]; j < graph.Start[size_t(i) + 1]; ++j)
            if (graph.Next[size_t(j)].Tile > i)
                total += graph.Next[size_t(j)].Length;
        if (!(total > 0))
            continue;
        for (int64_t j = graph.Start[size_t(i)]; j < graph.Start[size_t(i) + 1]; ++j) {
            const TNeighbour& nb = graph.Next[size_t(j)];
            if (nb.Tile <= i)
                continue;
            const double f = nb.Length / total;
            TErr& t = err[size_t(nb.Tile)];
            t.L = float(t.L + dL * f);
            t.a = float(t.a + da * f);
            t.b = float(t.b + db * f);
        }
    }
}
