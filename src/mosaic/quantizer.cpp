#include "quantizer.h"

#include "bands.h"
#include "color_match.h"
#include "vorm_error.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <queue>

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
        const size_t key =
            ((rgb >> 18) & 0x3F) << 12 | ((rgb >> 10) & 0x3F) << 6 | ((rgb >> 2) & 0x3F);
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
    // The box to split next is the one of largest weighted variance (ties: the earlier box).
    std::vector<TBox> boxes{measure(0, APoints.size())};
    auto later = [&](size_t a, size_t b) {
        return boxes[a].Sse < boxes[b].Sse || (boxes[a].Sse == boxes[b].Sse && a > b);
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> queue(later);
    queue.push(0);
    while (int(boxes.size()) < ABoxes && !queue.empty()) {
        const size_t pick = queue.top();
        queue.pop();
        const TBox box = boxes[pick];
        if (box.End - box.Begin < 2 || !(box.Sse > 0))
            continue;
        const int k = box.Axis;
        std::stable_sort(
            APoints.begin() + std::ptrdiff_t(box.Begin), APoints.begin() + std::ptrdiff_t(box.End),
            [k](const TPoint& a, const TPoint& b) { return Axis(a.Lab, k) < Axis(b.Lab, k); });
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
        boxes[pick] = measure(box.Begin, m);
        boxes.push_back(measure(m, box.End));
        queue.push(pick);
        queue.push(boxes.size() - 1);
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
    constexpr int kChunk = 1024;
    ParallelChunks(int(APoints.size()), kChunk, [&](int i) {
        const int hint = i % kChunk ? AOwner[size_t(i) - 1] : -1;
        AOwner[size_t(i)] = matcher.nearest(APoints[size_t(i)].Lab, &ADist[size_t(i)], hint);
    });
    double cost = 0;
    for (size_t i = 0; i < APoints.size(); ++i)
        cost += APoints[i].W * ADist[i];
    return cost;
}

constexpr double kMinDistance = 0.5;
// The search's size: representatives, k-medians rounds, polishing rounds. More representatives
// than 2,048 gained nothing measurable on photos (bench/quantize_quality.py), and cost time.
constexpr int kReps = 2048;
constexpr int kIters = 24;
constexpr int kPolish = 3;
// Random swaps tried, on how many coarse representatives.
constexpr int kSwaps = 60;
constexpr int kCoarse = 256;

// k-medians from the seeds: the centres with the least weighted ΔE00 seen.
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
        // Weiszfeld's step towards each group's weighted median, the point of least summed
        // distance: what the mean ΔE00 asks for, where a mean would favour the far colours.
        for (size_t i = 0; i < APoints.size(); ++i) {
            TSum& s = sums[size_t(owner[i])];
            const double w = APoints[i].W / std::max(dist[i], kMinDistance);
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

// The last word on the exact measure, in the 8-bit colours that will be used: each entry walks
// through the RGB cube, in steps of 8, 4, 2 and 1, while that lowers the weighted ΔE00 of the
// points it serves; then the points are assigned again. Each entry's walk depends only on its
// own points, so the entries are walked in parallel.
void Polish(const std::vector<TPoint>& APoints, std::vector<TAlphaColor>& AColors, int ARounds) {
    std::vector<int> owner;
    std::vector<double> dist;
    for (int round = 0; round < ARounds; ++round) {
        std::vector<TLab> labs;
        for (TAlphaColor c : AColors)
            labs.push_back(LabOfRgb(c));
        Assign(APoints, labs, owner, dist);
        std::vector<std::vector<int>> members(AColors.size());
        for (size_t i = 0; i < APoints.size(); ++i)
            members[size_t(owner[i])].push_back(int(i));
        bool moved = false;
        std::vector<char> changed(AColors.size(), 0);
        ParallelFor(int(AColors.size()), [&](int k) {
            const std::vector<int>& m = members[size_t(k)];
            if (m.empty())
                return;
            auto cost = [&](TAlphaColor c) {
                const TLab lab = LabOfRgb(c);
                double sum = 0;
                for (int i : m)
                    sum += APoints[size_t(i)].W * DeltaE2000(APoints[size_t(i)].Lab, lab);
                return sum;
            };
            TAlphaColor best = AColors[size_t(k)];
            double bestCost = cost(best);
            for (int step : {8, 4, 2, 1}) {
                for (bool better = true; better;) {
                    better = false;
                    for (int ch = 0; ch < 3; ++ch)
                        for (int sign : {-1, 1}) {
                            const int shift = 16 - 8 * ch;
                            const int v = int((best >> shift) & 0xFF) + sign * step;
                            if (v < 0 || v > 255)
                                continue;
                            const TAlphaColor trial =
                                (best & ~(TAlphaColor(0xFF) << shift)) | TAlphaColor(v) << shift;
                            const double c = cost(trial);
                            if (c < bestCost) {
                                bestCost = c;
                                best = trial;
                                better = true;
                            }
                        }
                }
            }
            if (best != AColors[size_t(k)]) {
                AColors[size_t(k)] = best;
                changed[size_t(k)] = 1;
            }
        });
        for (char c : changed)
            moved = moved || c;
        if (!moved)
            break;
    }
}

// Random swaps (Fränti's): an entry moves to a colour drawn by how badly it is served, a few
// k-medians rounds follow, and the move stays when the total is lower. Local k-medians stops in
// the first valley it finds; the swaps look into others. The draws come from a fixed
// generator, so the result is the same every time.
std::vector<TLab> Swaps(const std::vector<TPoint>& APoints, std::vector<TLab> ACentres,
                        int ATrials) {
    std::vector<int> owner;
    std::vector<double> dist;
    double cost = Assign(APoints, ACentres, owner, dist);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int t = 0; t < ATrials && ACentres.size() > 1; ++t) {
        // A point drawn with probability proportional to its weighted error.
        double total = 0;
        for (size_t i = 0; i < APoints.size(); ++i)
            total += APoints[i].W * dist[i];
        if (!(total > 0))
            break;
        double pick = double(next() >> 11) / double(1ull << 53) * total;
        size_t p = 0;
        for (; p + 1 < APoints.size(); ++p) {
            pick -= APoints[p].W * dist[p];
            if (pick <= 0)
                break;
        }
        std::vector<TLab> trial = ACentres;
        trial[size_t(next() % trial.size())] = APoints[p].Lab;
        trial = Refine(APoints, trial, 2);
        std::vector<int> o;
        std::vector<double> d;
        const double c = Assign(APoints, trial, o, d);
        if (c < cost) {
            cost = c;
            ACentres = std::move(trial);
            owner = std::move(o);
            dist = std::move(d);
        }
    }
    return ACentres;
}

std::vector<TWeightedColor> Unique(const std::vector<TWeightedColor>& AColors) {
    std::vector<TWeightedColor> v;
    v.reserve(AColors.size());
    for (const TWeightedColor& c : AColors)
        if (c.Weight > 0)
            v.push_back({c.Rgb & 0xFFFFFF, c.Weight});
    std::stable_sort(v.begin(), v.end(), [](const TWeightedColor& a, const TWeightedColor& b) {
        return a.Rgb < b.Rgb;
    });
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

std::vector<TAlphaColor> QuantizeColors(const std::vector<TWeightedColor>& AColors, int N,
                                        const TProgress* AProgress) {
    const std::vector<TWeightedColor> unique = Unique(AColors);
    ThrowIfCanceled(AProgress);
    std::vector<TAlphaColor> out;
    if (N <= 0 || unique.empty())
        return out;
    if (int(unique.size()) <= N) {
        for (const TWeightedColor& c : unique)
            out.push_back(0xFF000000u | c.Rgb);
    } else {
        // The colours in cells, the cells in at most kReps boxes: the search works on those,
        // two thousand weighted colours whatever the picture's size.
        std::vector<TPoint> cells = Cells(unique);
        ThrowIfCanceled(AProgress);
        std::vector<TPoint> reps = cells;
        if (int(reps.size()) > kReps)
            reps = MedianCut(reps, kReps);
        ThrowIfCanceled(AProgress);
        std::vector<TPoint> seedBoxes = reps;
        const std::vector<TPoint> seeds = MedianCut(seedBoxes, N);
        std::vector<TLab> centres;
        for (const TPoint& s : seeds)
            centres.push_back(s.Lab);
        centres = Refine(reps, centres, kIters);
        ThrowIfCanceled(AProgress);
        // The swaps look on a coarser set, where a trial costs an eighth.
        std::vector<TPoint> coarse = reps;
        if (int(coarse.size()) > kCoarse)
            coarse = MedianCut(coarse, kCoarse);
        centres = Swaps(coarse, centres, kSwaps);
        ThrowIfCanceled(AProgress);
        centres = Refine(reps, centres, 6);
        ThrowIfCanceled(AProgress);
        for (const TLab& c : centres)
            out.push_back(RgbOfLab(c));
        Polish(reps, out, kPolish);
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
                                     const std::vector<TAlphaColor>& APalette, int N,
                                     const TProgress* AProgress) {
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
    ThrowIfCanceled(AProgress);
    std::vector<TPoint> cells = Cells(unique);
    ThrowIfCanceled(AProgress);
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
        ThrowIfCanceled(AProgress);
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
            for (int s = 0; s < N; ++s) {
                ThrowIfCanceled(AProgress);
                for (int p = 0; p < P; ++p) {
                    if (in[size_t(p)])
                        continue;
                    double c = 0;
                    for (int m = 0; m < M; ++m) {
                        const int keep =
                            first[size_t(m)] == s ? second[size_t(m)] : first[size_t(m)];
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
