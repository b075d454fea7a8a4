#include "color_match.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace {

double Pow7(double x) {
    const double x2 = x * x, x3 = x2 * x;
    return x3 * x3 * x;
}

// A second, closer lower bound on ΔE00², for the colours the first bound lets through: exact but
// for T (at most 1.573, which bounds S_H) and R_T (|R_T| ≤ R_C sin 60°, and about 0 when both
// colours have b ≥ 0, as in DeltaE2000LowerBoundSquared). ΔH'² is |Δa'b'|² − ΔC'².
double CloserBoundSquared(const TLab& A1, double AC1, const TLab& A2, double AC2) {
    const double cm7 = Pow7((AC1 + AC2) / 2);
    const double g = 1 + 0.5 * (1 - std::sqrt(cm7 / (cm7 + 6103515625.0)));
    const double a1 = g * A1.a, a2 = g * A2.a;
    const double c1 = std::sqrt(a1 * a1 + A1.b * A1.b), c2 = std::sqrt(a2 * a2 + A2.b * A2.b);
    const double dC = c2 - c1, da = a2 - a1, db = A2.b - A1.b;
    const double dH2 = std::max(0.0, da * da + db * db - dC * dC);
    const double cm = (c1 + c2) / 2;
    const double lm50 = ((A1.L + A2.L) / 2 - 50) * ((A1.L + A2.L) / 2 - 50);
    const double sl = 1 + 0.015 * lm50 / std::sqrt(20 + lm50);
    const double sc = 1 + 0.045 * cm, sh = 1 + 0.015 * cm * 1.573;
    double share = 0.99999;
    if (!(A1.b >= 0 && A2.b >= 0)) {
        const double cm7p = Pow7(cm);
        share = 1 - std::sqrt(cm7p / (cm7p + 6103515625.0)) * 0.8660254;
    }
    const double dL = A2.L - A1.L;
    return (dL * dL / (sl * sl) + share * (dC * dC / (sc * sc) + dH2 / (sh * sh))) * (1 - 1e-9);
}

// 1 / S_L for a mean lightness, from a table of 1,000 steps: each step holds the least value
// over its span (S_L grows with the distance from 50), so it is a bound, never more.
double InvSL(double ALm) {
    static const std::array<double, 1001> table = [] {
        std::array<double, 1001> t{};
        auto sl = [](double lm) {
            const double x = (lm - 50) * (lm - 50);
            return 1 + 0.015 * x / std::sqrt(20 + x);
        };
        for (int i = 0; i <= 1000; ++i) {
            const double a = i / 10.0, b = (i + 1) / 10.0;
            t[size_t(i)] = 1 / std::max(sl(a), sl(b)) * (1 - 1e-12);
        }
        return t;
    }();
    const int i = int(ALm * 10);
    return i < 0 || i > 1000 ? 1 / 1.75 : table[size_t(i)];
}

// The share of ΔC'² + ΔH'² that the cross term R_T ΔC'ΔH' may take away at most, for two colours
// whose chroma adds up to ASum: |R_T| ≤ R_C sin 60°, R_C grows with the mean C', and C' is at most
// 1.5 C. Each step of the table holds the value at its upper end: a bound, never more.
double CrossShare(double ASum) {
    static const std::array<double, 401> table = [] {
        std::array<double, 401> t{};
        for (int i = 0; i <= 400; ++i) {
            const double cm = 0.75 * (i + 1), cm7 = Pow7(cm);
            const double rc = 2 * std::sqrt(cm7 / (cm7 + 6103515625.0));
            t[size_t(i)] = std::max(0.1339, 1 - rc * 0.8660254 / 2 - 1e-9);
        }
        return t;
    }();
    const int i = int(ASum);
    return i < 0 || i > 400 ? 0.1339 : table[size_t(i)];
}

// 1 / S_C² at most, for two colours whose chroma adds up to ASum: S_C = 1 + 0.045 C̄', C' is at
// most (1 + G) C, and G falls as the mean chroma grows, so a step of the table takes G at its
// lower end and the sum at its upper one.
double InvSC2(double ASum) {
    static const std::array<double, 801> table = [] {
        std::array<double, 801> t{};
        for (int i = 0; i <= 800; ++i) {
            const double lo = i / 2.0, hi = (i + 1) / 2.0, cm7 = Pow7(lo / 2);
            const double g = 0.5 * (1 - std::sqrt(cm7 / (cm7 + 6103515625.0)));
            const double sc = 1 + 0.0225 * (1 + g) * hi;
            t[size_t(i)] = 1 / (sc * sc) * (1 - 1e-12);
        }
        return t;
    }();
    const int i = int(ASum * 2);
    if (i >= 0 && i <= 800)
        return table[size_t(i)];
    const double sc = 1 + 0.0225 * 1.5 * ASum;
    return 1 / (sc * sc) * (1 - 1e-12);
}

} // namespace

TColorMatcher::TColorMatcher(const std::vector<TLab>& AEntries) : FLab(AEntries) {
    FOrder.resize(FLab.size());
    std::iota(FOrder.begin(), FOrder.end(), 0);
    std::stable_sort(FOrder.begin(), FOrder.end(),
                     [&](int a, int b) { return FLab[size_t(a)].L < FLab[size_t(b)].L; });
    FSorted.reserve(FOrder.size());
    for (int i : FOrder) {
        const TLab& c = FLab[size_t(i)];
        FSorted.push_back(c.L);
        FSortedLab.push_back(c);
        FChroma.push_back(std::sqrt(c.a * c.a + c.b * c.b));
    }
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

int TColorMatcher::nearest(const TLab& ALab, double* ADistance, int AHint) const {
    const int n = int(FOrder.size());
    if (n == 0)
        return -1;
    int best = -1;
    double bestD = 0;
    const double chroma = std::sqrt(ALab.a * ALab.a + ALab.b * ALab.b);
    auto consider = [&](int k) {
        const int i = FOrder[size_t(k)];
        // Skipped only when even the bound lies strictly beyond the best.
        // First a bound from tables, with no division and no root.
        const TLab& e = FSortedLab[size_t(k)];
        const double dL = ALab.L - e.L, da = ALab.a - e.a, db = ALab.b - e.b;
        const double share =
            ALab.b >= 0 && e.b >= 0 ? 0.99999 : CrossShare(chroma + FChroma[size_t(k)]);
        const double isl = InvSL((ALab.L + e.L) / 2);
        const double quick = (dL * dL * isl * isl +
                              share * (da * da + db * db) * InvSC2(chroma + FChroma[size_t(k)])) *
                             (1 - 1e-9);
        if (best >= 0 &&
            (quick > bestD * bestD || CloserBoundSquared(ALab, chroma, FSortedLab[size_t(k)],
                                                         FChroma[size_t(k)]) > bestD * bestD))
            return;
        const double d = DeltaE2000(ALab, FLab[size_t(i)]);
        if (best < 0 || d < bestD || (d == bestD && i < best)) {
            best = i;
            bestD = d;
        }
    };
    if (AHint >= 0 && AHint < n) {
        best = AHint;
        bestD = DeltaE2000(ALab, FLab[size_t(AHint)]);
    }
    // Outward from the first entry at least as light as the colour.
    int hi = int(std::lower_bound(FSorted.begin(), FSorted.end(), ALab.L) - FSorted.begin());
    int lo = hi - 1;
    // A side ends when its next entry's bound is strictly beyond the best: an entry at exactly
    // the best distance may still be an earlier one, and must be seen.
    while (lo >= 0 || hi < n) {
        // |ΔL| / S_L, which only grows as a side goes outward (S_L changes by less than
        // 0.0075 per unit of ΔL, and is at least 1).
        const double boundLo =
            lo >= 0 ? (ALab.L - FSorted[size_t(lo)]) * InvSL((ALab.L + FSorted[size_t(lo)]) / 2)
                    : 1e300;
        const double boundHi =
            hi < n ? (FSorted[size_t(hi)] - ALab.L) * InvSL((ALab.L + FSorted[size_t(hi)]) / 2)
                   : 1e300;
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
