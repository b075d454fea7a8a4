#include "color_match.h"

#include <algorithm>
#include <cmath>
#include <numeric>

TColorMatcher::TColorMatcher(const std::vector<TLab>& AEntries) : FLab(AEntries) {
    FOrder.resize(FLab.size());
    std::iota(FOrder.begin(), FOrder.end(), 0);
    std::stable_sort(FOrder.begin(), FOrder.end(),
                     [&](int a, int b) { return FLab[size_t(a)].L < FLab[size_t(b)].L; });
    FSorted.reserve(FOrder.size());
    for (int i : FOrder)
        FSorted.push_back(FLab[size_t(i)].L);
}

namespace {
std::vector<TLab> LabsOf(const std::vector<TAlphaColor>& ARgbs) {
    std::vector<TLab> out;
    out.reserve(ARgbs.size());
    for (TAlphaColor c : ARgbs)
        out.push_back(LabOfRgb(c));
    return out;
}
} // namespace

TColorMatcher::TColorMatcher(const std::vector<TAlphaColor>& ARgbs)
    : TColorMatcher(LabsOf(ARgbs)) {}

int TColorMatcher::nearest(const TLab& ALab, double* ADistance) const {
    const int n = int(FOrder.size());
    if (n == 0)
        return -1;
    int best = -1;
    double bestD = 0;
    auto consider = [&](int k) {
        const int i = FOrder[size_t(k)];
        const double d = DeltaE2000(ALab, FLab[size_t(i)]);
        if (best < 0 || d < bestD || (d == bestD && i < best)) {
            best = i;
            bestD = d;
        }
    };
    // Outward from the first entry at least as light as the colour.
    int hi = int(std::lower_bound(FSorted.begin(), FSorted.end(), ALab.L) - FSorted.begin());
    int lo = hi - 1;
    // A side ends when its next entry's bound is strictly beyond the best: an entry at exactly
    // the best distance may still be an earlier one, and must be seen.
    while (lo >= 0 || hi < n) {
        const double boundLo = lo >= 0 ? DeltaE2000LowerBound(ALab.L - FSorted[size_t(lo)]) : 1e300;
        const double boundHi = hi < n ? DeltaE2000LowerBound(FSorted[size_t(hi)] - ALab.L) : 1e300;
        const bool takeLo = boundLo <= boundHi;
        const double bound = takeLo ? boundLo : boundHi;
        if (best >= 0 && bound > bestD)
            break; // both sides are done: the other's bound is no smaller
        consider(takeLo ? lo-- : hi++);
    }
    if (ADistance)
        *ADistance = bestD;
    return best;
}
