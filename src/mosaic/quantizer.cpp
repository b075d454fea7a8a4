#include "quantizer.h"

#include "bands.h"
#include "color_match.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

struct TPoint {
    TLab Lab;
    double W;
};

// The colours merged into cells of 6 bits a channel, each the weighted mean of its colours in
// CIELAB: at most 262,144 points, a few thousand for a photo, none more than a ΔE of about 1.5
// from the colours it stands for.
std::vector<TPoint> Cells(const std::vector<TWeightedColor>& AColors) {
    struct TSum {
        double L = 0, a = 0, b = 0, W = 0;
    };
    std::vector<TSum> sums(size_t(1) << 18);
    for (const TWeightedColor& c : AColors) {
        if (!(c.Weight > 0))
            continue;
        const TAlphaColor rgb = c.Rgb;
        const size_t key = ((rgb >> 18) & 0x3F) << 12 | ((rgb >> 10) & 0x3F) << 6 | ((rgb >> 2) & 0x3F);
        const TLab lab = LabOfRgb(rgb);
        TSum& s = sums[key];
        s.L += lab.L * c.Weight;
        s.a += lab.a * c.Weight;
        s.b += lab.b * c.Weight;
        s.W += c.Weight;
    }
    std::vector<TPoint> out;
    for (const TSum& s : sums)
        if (s.W > 0)
            out.push_back({{s.L / s.W, s.a / s.W, s.b / s.W}, s.W});
    return out;
}

double Axis(const TLab& c, int k) {
    return k == 0 ? c.L : k == 1 ? c.a : c.b;
}

// Weighted median cut of APoints (reordered) into at most ABoxes boxes: their weighted means and
// weights.
std::vector<TPoint> MedianCut(std::vector<TPoint>& APoints, int ABoxes) {
    struct TBox {
        size_t Begin, End;
        double W, Sse;
        int Axis;
        TLab Mean;
    };
    auto measure = [&](size_t b, size_t e) {
        TBox box{b, e, 0, 0, 0, {}};
        double s[3] = {0, 0, 0};
        for (size_t i = b; i < e; ++i) {
            box.W += APoints[i].W;
            for (int k = 0; k < 3; ++k)
                s[k] += APoints[i].W * Axis(APoints[i].Lab, k);
        }
        const double m[3] = {s[0] / box.W, s[1] / box.W, s[2] / box.W};
        double v[3] = {0, 0, 0};
        for (size_t i = b; i < e; ++i)
            for (int k = 0; k < 3; ++k) {
                const double d = Axis(APoints[i].Lab, k) - m[k];
                v[k] += APoints[i].W * d * d;
            }
        box.Mean = {m[0], m[1], m[2]};
        box.Sse = v[0] + v[1] + v[2];
        box.Axis = int(std::max_element(v, v + 3) - v);
        return box;
    };
    std::vector<TBox> boxes{measure(0, APoints.size())};
    while (int(boxes.size()) < ABoxes) {
        int pick = -1;
        for (int i = 0; i < int(boxes.size()); ++i) {
            const TBox& b = boxes[size_t(i)];
            if (b.End - b.Begin >= 2 && b.Sse > 0 && (pick < 0 || b.Sse > boxes[size_t(pick)].Sse))
                pick = i;
        }
        if (pick < 0)
            break;
        const TBox box = boxes[size_t(pick)];
        const int k = box.Axis;
        std::stable_sort(APoints.begin() + std::ptrdiff_t(box.Begin),
                         APoints.begin() + std::ptrdiff_t(box.End),
                         [k](const TPoint& a, const TPoint& b) {
                             return Axis(a.Lab, k) < Axis(b.Lab, k);
                         });
        double acc = 0;
        size_t m = box.Begin + 1;
        for (size_t i = box.Begin; i < box.End; ++i) {
            acc += APoints[i].W;
            if (acc >= box.W / 2) {
                m = i + 1;
                break;
            }
        }
        m = std::clamp(m, box.Begin + 1, box.End - 1);
        boxes[size_t(pick)] = measure(box.Begin, m);
        boxes.push_back(measure(m, box.End));
    }
    std::vector<TPoint> out;
    for (const TBox& b : boxes)
        out.push_back({b.Mean, b.W});
    return out;
}

// Each point's nearest centre and its ΔE00; the weighted sum, added in point order.
double Assign(const std::vector<TPoint>& APoints, const std::vector<TLab>& ACentres,
              std::vector<int>& AOwner, std::vector<double>& ADist) {
    const TColorMatcher matcher(ACentres);
    AOwner.resize(APoints.size());
    ADist.resize(APoints.size());
    ParallelChunks(int(APoints.size()), 1024, [&](int i) {
        AOwner[size_t(i)] = matcher.nearest(APoints[size_t(i)].Lab, &ADist[size_t(i)]);
    });
    double cost = 0;
    for (size_t i = 0; i < APoints.size(); ++i)
        cost += APoints[i].W * ADist[i];
    return cost;
}

// k-means from the seeds: the centres with the least weighted ΔE00 seen.
std::vector<TLab> Refine(const std::vector<TPoint>& APoints, std::vector<TLab> ACentres,
                         int AIterations) {
    std::vector<int> owner;
    std::vector<double> dist;
    std::vector<TLab> best = ACentres;
    double bestCost = std::numeric_limits<double>::infinity();
    for (int it = 0; it <= AIterations; ++it) {
        const double cost = Assign(APoints, ACentres, owner, dist);
        if (cost < bestCost * (1 - 1e-6)) {
            bestCost = cost;
            best = ACentres;
        } else if (it > 0) {
            break;
        }
        if (it == AIterations)
            break;
        struct TSum {
            double L = 0, a = 0, b = 0, W = 0;
        };
        std::vector<TSum> sums(ACentres.size());
        for (size_t i = 0; i < APoints.size(); ++i) {
            TSum& s = sums[size_t(owner[i])];
            const double w = APoints[i].W;
            s.L += w * APoints[i].Lab.L;
            s.a += w * APoints[i].Lab.a;
            s.b += w * APoints[i].Lab.b;
            s.W += w;
        }
        for (size_t c = 0; c < ACentres.size(); ++c)
            if (sums[c].W > 0)
                ACentres[c] = {sums[c].L / sums[c].W, sums[c].a / sums[c].W, sums[c].b / sums[c].W};
        // An entry nobody chose takes the worst-served point (libimagequant's
        // replace_unused_colors); that point is served perfectly from now on.
        for (size_t c = 0; c < ACentres.size(); ++c) {
            if (sums[c].W > 0)
                continue;
            size_t worst = 0;
            double worstErr = -1;
            for (size_t i = 0; i < APoints.size(); ++i)
                if (APoints[i].W * dist[i] > worstErr) {
                    worstErr = APoints[i].W * dist[i];
                    worst = i;
                }
            if (worstErr <= 0)
                break;
            ACentres[c] = APoints[worst].Lab;
            dist[worst] = 0;
        }
    }
    return best;
}

std::vector<TWeightedColor> Unique(const std::vector<TWeightedColor>& AColors) {
    std::vector<TWeightedColor> v;
    v.reserve(AColors.size());
    for (const TWeightedColor& c : AColors)
        if (c.Weight > 0)
            v.push_back({c.Rgb & 0xFFFFFF, c.Weight});
    std::stable_sort(v.begin(), v.end(),
                     [](const TWeightedColor& a, const TWeightedColor& b) { return a.Rgb < b.Rgb; });
    std::vector<TWeightedColor> out;
    for (const TWeightedColor& c : v) {
        if (!out.empty() && out.back().Rgb == c.Rgb)
            out.back().Weight += c.Weight;
        else
            out.push_back(c);
    }
    return out;
}

} // namespace

std::vector<TAlphaColor> QuantizeColors(const std::vector<TWeightedColor>& AColors, int N) {
    const std::vector<TWeightedColor> unique = Unique(AColors);
    std::vector<TAlphaColor> out;
    if (N <= 0 || unique.empty())
        return out;
    if (int(unique.size()) <= N) {
        for (const TWeightedColor& c : unique)
            out.push_back(0xFF000000u | c.Rgb);
    } else {
        std::vector<TPoint> cells = Cells(unique);
        std::vector<TPoint> seeds = MedianCut(cells, N);
        std::vector<TLab> centres;
        for (const TPoint& s : seeds)
            centres.push_back(s.Lab);
        centres = Refine(cells, centres, 16);
        // The last steps on the colours themselves, not their cells.
        std::vector<TPoint> points;
        points.reserve(unique.size());
        for (const TWeightedColor& c : unique)
            points.push_back({LabOfRgb(c.Rgb), c.Weight});
        centres = Refine(points, centres, 2);
        for (const TLab& c : centres)
            out.push_back(RgbOfLab(c));
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
    std::stable_sort(out.begin(), out.end(), [](TAlphaColor a, TAlphaColor b) {
        const double la = LabOfRgb(a).L, lb = LabOfRgb(b).L;
        return la < lb || (la == lb && a < b);
    });
    return out;
}

std::vector<int> ChoosePaletteColors(const std::vector<TWeightedColor>& AColors,
                                     const std::vector<TAlphaColor>& APalette, int N) {
    const int P = int(APalette.size());
    std::vector<int> chosen;
    if (P <= N) {
        chosen.resize(size_t(P));
        std::iota(chosen.begin(), chosen.end(), 0);
        return chosen;
    }
    const std::vector<TWeightedColor> unique = Unique(AColors);
    if (unique.empty() || N <= 0)
        return chosen;
    std::vector<TPoint> cells = Cells(unique);
    const std::vector<TPoint> reps = MedianCut(cells, 1024);
    const int M = int(reps.size());
    std::vector<TLab> pal;
    for (TAlphaColor c : APalette)
        pal.push_back(LabOfRgb(c));
    // ΔE00 from every entry to every representative.
    std::vector<float> D(size_t(P) * size_t(M));
    ParallelChunks(P, 16, [&](int p) {
        for (int m = 0; m < M; ++m)
            D[size_t(p) * size_t(M) + size_t(m)] =
                float(DeltaE2000(reps[size_t(m)].Lab, pal[size_t(p)]));
    });
    auto d = [&](int p, int m) { return double(D[size_t(p) * size_t(M) + size_t(m)]); };
    // Greedy: each step adds the entry that lowers the weighted distance most.
    std::vector<double> cur(size_t(M), std::numeric_limits<double>::infinity());
    std::vector<char> in(size_t(P), 0);
    for (int step = 0; step < N; ++step) {
        int pick = -1;
        double pickCost = std::numeric_limits<double>::infinity();
        for (int p = 0; p < P; ++p) {
            if (in[size_t(p)])
                continue;
            double cost = 0;
            for (int m = 0; m < M; ++m)
                cost += reps[size_t(m)].W * std::min(cur[size_t(m)], d(p, m));
            if (cost < pickCost) {
                pickCost = cost;
                pick = p;
            }
        }
        in[size_t(pick)] = 1;
        chosen.push_back(pick);
        for (int m = 0; m < M; ++m)
            cur[size_t(m)] = std::min(cur[size_t(m)], d(pick, m));
    }
    // Swaps: an entry is exchanged for one outside while that lowers the total. Each trial
    // needs only every representative's nearest and second-nearest chosen entry.
    std::vector<int> first(static_cast<size_t>(M)), second(static_cast<size_t>(M));
    auto nearestTwo = [&] {
        for (int m = 0; m < M; ++m) {
            int a = -1, b = -1;
            for (int s = 0; s < N; ++s) {
                const double v = d(chosen[size_t(s)], m);
                if (a < 0 || v < d(chosen[size_t(a)], m)) {
                    b = a;
                    a = s;
                } else if (b < 0 || v < d(chosen[size_t(b)], m)) {
                    b = s;
                }
            }
            first[size_t(m)] = a;
            second[size_t(m)] = b;
        }
    };
    if (N >= 2 && double(N) * P * M <= 6e7) {
        nearestTwo();
        double cost = 0;
        for (int m = 0; m < M; ++m)
            cost += reps[size_t(m)].W * d(chosen[size_t(first[size_t(m)])], m);
        for (int pass = 0; pass < 4; ++pass) {
            bool improved = false;
            for (int s = 0; s < N; ++s)
                for (int p = 0; p < P; ++p) {
                    if (in[size_t(p)])
                        continue;
                    double c = 0;
                    for (int m = 0; m < M; ++m) {
                        const int keep = first[size_t(m)] == s ? second[size_t(m)] : first[size_t(m)];
                        c += reps[size_t(m)].W * std::min(d(p, m), d(chosen[size_t(keep)], m));
                    }
                    if (c < cost * (1 - 1e-9)) {
                        in[size_t(chosen[size_t(s)])] = 0;
                        in[size_t(p)] = 1;
                        chosen[size_t(s)] = p;
                        cost = c;
                        improved = true;
                        nearestTwo();
                    }
                }
            if (!improved)
                break;
        }
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

double MeanDeltaE(const std::vector<TWeightedColor>& AColors,
                  const std::vector<TAlphaColor>& APalette) {
    const TColorMatcher matcher(APalette);
    double sum = 0, w = 0;
    for (const TWeightedColor& c : AColors) {
        double dist = 0;
        matcher.nearest(LabOfRgb(c.Rgb), &dist);
        sum += c.Weight * dist;
        w += c.Weight;
    }
    return w > 0 ? sum / w : 0;
}
