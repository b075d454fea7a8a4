#include "tile_edges.h"

#include "svg.h"
#include "vorm_error.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <tuple>

namespace {

// A horizontal (Vertical = 0) or vertical edge: its line's coordinate and its extent along it.
struct TAxisEdge {
    uint8_t Vertical;
    float Coord, Lo, Hi;
    int32_t Tile;
};

// Any other edge, by its corners in ascending order.
struct TDiagEdge {
    float X0, Y0, X1, Y1;
    int32_t Tile;
};

bool Before(const TPointF& a, const TPointF& b) {
    return a.X < b.X || (a.X == b.X && a.Y < b.Y);
}

// Every so many tiles or edges, the long loops ask whether to stop.
constexpr size_t kPoll = size_t(1) << 16;

void Poll(size_t AIndex, const TProgress* AProgress) {
    if (AIndex % kPoll == 0)
        ThrowIfCanceled(AProgress);
}

void Collect(int32_t ATiles, const TPolygonOf& APolygon, std::vector<TAxisEdge>& AAxis,
             std::vector<TDiagEdge>& ADiag, const TProgress* AProgress) {
    TCorners c;
    for (int32_t i = 0; i < ATiles; ++i) {
        Poll(size_t(i), AProgress);
        const int n = APolygon(i, c);
        for (int k = 0; k < n; ++k) {
            TPointF a = c[size_t(k)], b = c[size_t((k + 1) % n)];
            if (a == b)
                continue;
            if (a.Y == b.Y)
                AAxis.push_back({0, a.Y, std::min(a.X, b.X), std::max(a.X, b.X), i});
            else if (a.X == b.X)
                AAxis.push_back({1, a.X, std::min(a.Y, b.Y), std::max(a.Y, b.Y), i});
            else {
                if (Before(b, a))
                    std::swap(a, b);
                ADiag.push_back({a.X, a.Y, b.X, b.Y, i});
            }
        }
    }
    ThrowIfCanceled(AProgress);
    std::sort(AAxis.begin(), AAxis.end(), [](const TAxisEdge& p, const TAxisEdge& q) {
        return std::tie(p.Vertical, p.Coord, p.Lo, p.Hi, p.Tile) <
               std::tie(q.Vertical, q.Coord, q.Lo, q.Hi, q.Tile);
    });
    ThrowIfCanceled(AProgress);
    std::sort(ADiag.begin(), ADiag.end(), [](const TDiagEdge& p, const TDiagEdge& q) {
        return std::tie(p.X0, p.Y0, p.X1, p.Y1, p.Tile) < std::tie(q.X0, q.Y0, q.X1, q.Y1, q.Tile);
    });
    ThrowIfCanceled(AProgress);
}

bool SameLine(const TAxisEdge& p, const TAxisEdge& q) {
    return p.Vertical == q.Vertical && p.Coord == q.Coord;
}

bool SameEdge(const TDiagEdge& p, const TDiagEdge& q) {
    return p.X0 == q.X0 && p.Y0 == q.Y0 && p.X1 == q.X1 && p.Y1 == q.Y1;
}

} // namespace

TTileGraph TileNeighbours(int32_t ATiles, const TPolygonOf& APolygon, const TProgress* AProgress) {
    std::vector<TAxisEdge> axis;
    std::vector<TDiagEdge> diag;
    Collect(ATiles, APolygon, axis, diag, AProgress);
    // Each shared stretch once, as (a, b, length); then counted into each tile's list.
    struct TPair {
        int32_t A, B;
        double Length;
    };
    std::vector<TPair> pairs;
    auto add = [&](int32_t a, int32_t b, double len) {
        if (a != b && len > 0)
            pairs.push_back({a, b, len});
    };
    for (size_t i = 0; i < diag.size();) {
        Poll(i, AProgress);
        size_t j = i + 1;
        while (j < diag.size() && SameEdge(diag[i], diag[j]))
            ++j;
        const double len =
            std::hypot(double(diag[i].X1) - diag[i].X0, double(diag[i].Y1) - diag[i].Y0);
        for (size_t p = i; p < j; ++p)
            for (size_t q = p + 1; q < j; ++q)
                add(diag[p].Tile, diag[q].Tile, len);
        i = j;
    }
    // Along each line, edges in order of their start: each overlaps the earlier ones still open.
    std::vector<const TAxisEdge*> open;
    for (size_t i = 0; i < axis.size(); ++i) {
        Poll(i, AProgress);
        if (i == 0 || !SameLine(axis[i - 1], axis[i]))
            open.clear();
        const TAxisEdge& e = axis[i];
        std::erase_if(open, [&](const TAxisEdge* o) { return o->Hi <= e.Lo; });
        for (const TAxisEdge* o : open)
            add(o->Tile, e.Tile, double(std::min(o->Hi, e.Hi)) - double(e.Lo));
        open.push_back(&e);
    }
    TTileGraph g;
    g.Start.assign(size_t(ATiles) + 1, 0);
    for (const TPair& p : pairs) {
        ++g.Start[size_t(p.A) + 1];
        ++g.Start[size_t(p.B) + 1];
    }
    for (size_t i = 1; i < g.Start.size(); ++i)
        g.Start[i] += g.Start[i - 1];
    g.Next.resize(size_t(g.Start.back()));
    std::vector<int64_t> fill(g.Start.begin(), g.Start.end() - 1);
    for (const TPair& p : pairs) {
        g.Next[size_t(fill[size_t(p.A)]++)] = {p.B, p.Length};
        g.Next[size_t(fill[size_t(p.B)]++)] = {p.A, p.Length};
    }
    // Each list ascending; a pair found twice (two stretches) becomes one entry.
    std::vector<TNeighbour> merged;
    merged.reserve(g.Next.size());
    std::vector<int64_t> start(g.Start.size(), 0);
    for (int32_t t = 0; t < ATiles; ++t) {
        Poll(size_t(t), AProgress);
        auto b = g.Next.begin() + g.Start[size_t(t)], e = g.Next.begin() + g.Start[size_t(t) + 1];
        std::sort(b, e, [](const TNeighbour& x, const TNeighbour& y) { return x.Tile < y.Tile; });
        start[size_t(t)] = int64_t(merged.size());
        for (auto it = b; it != e; ++it) {
            if (int64_t(merged.size()) > start[size_t(t)] && merged.back().Tile == it->Tile)
                merged.back().Length += it->Length;
            else
                merged.push_back(*it);
        }
    }
    start[size_t(ATiles)] = int64_t(merged.size());
    g.Start = std::move(start);
    g.Next = std::move(merged);
    return g;
}

std::vector<TCutSegment> CutSegments(int32_t ATiles, const TPolygonOf& APolygon, int AWidth,
                                     int AHeight, const TProgress* AProgress) {
    std::vector<TAxisEdge> axis;
    std::vector<TDiagEdge> diag;
    Collect(ATiles, APolygon, axis, diag, AProgress);
    const float W = float(AWidth), H = float(AHeight);
    // The frame joins the lines it lies on.
    axis.push_back({0, 0, 0, W, -1});
    axis.push_back({0, H, 0, W, -1});
    axis.push_back({1, 0, 0, H, -1});
    axis.push_back({1, W, 0, H, -1});
    std::sort(axis.begin(), axis.end(), [](const TAxisEdge& p, const TAxisEdge& q) {
        return std::tie(p.Vertical, p.Coord, p.Lo, p.Hi, p.Tile) <
               std::tie(q.Vertical, q.Coord, q.Lo, q.Hi, q.Tile);
    });
    ThrowIfCanceled(AProgress);
    std::vector<TCutSegment> out;
    auto emitAxis = [&](uint8_t AVertical, float ACoord, double ALo, double AHi) {
        const double limit = AVertical ? AHeight : AWidth, across = AVertical ? AWidth : AHeight;
        if (ACoord < 0 || ACoord > across)
            return;
        ALo = std::max(ALo, 0.0);
        AHi = std::min(AHi, limit);
        if (!(AHi > ALo))
            return;
        if (AVertical)
            out.push_back({ACoord, ALo, ACoord, AHi});
        else
            out.push_back({ALo, ACoord, AHi, ACoord});
    };
    for (size_t i = 0; i < axis.size();) {
        Poll(i, AProgress);
        double lo = axis[i].Lo, hi = axis[i].Hi;
        size_t j = i + 1;
        for (; j < axis.size() && SameLine(axis[i], axis[j]); ++j) {
            if (axis[j].Lo <= hi) {
                hi = std::max(hi, double(axis[j].Hi));
            } else {
                emitAxis(axis[i].Vertical, axis[i].Coord, lo, hi);
                lo = axis[j].Lo;
                hi = axis[j].Hi;
            }
        }
        emitAxis(axis[i].Vertical, axis[i].Coord, lo, hi);
        i = j;
    }
    for (size_t i = 0; i < diag.size(); ++i) {
        Poll(i, AProgress);
        if (i > 0 && SameEdge(diag[i - 1], diag[i]))
            continue;
        // Liang–Barsky against the picture.
        const double x0 = diag[i].X0, y0 = diag[i].Y0, dx = double(diag[i].X1) - x0,
                     dy = double(diag[i].Y1) - y0;
        double t0 = 0, t1 = 1;
        bool inside = true;
        for (const auto& [p, q] : {std::pair{-dx, x0}, std::pair{dx, AWidth - x0},
                                   std::pair{-dy, y0}, std::pair{dy, AHeight - y0}}) {
            if (p == 0) {
                if (q < 0)
                    inside = false;
            } else {
                const double r = q / p;
                if (p < 0)
                    t0 = std::max(t0, r);
                else
                    t1 = std::min(t1, r);
            }
        }
        if (!inside || !(t1 > t0))
            continue;
        const auto at = [&](double t, double a, double d) {
            return t == 0 ? a : t == 1 ? a + d : a + t * d;
        };
        out.push_back({at(t0, x0, dx), at(t0, y0, dy), t1 == 1 ? double(diag[i].X1) : x0 + t1 * dx,
                       t1 == 1 ? double(diag[i].Y1) : y0 + t1 * dy});
    }
    return out;
}

std::string CutLinesSvg(const std::vector<TCutSegment>& ASegments, int AWidth, int AHeight,
                        const TProgress* AProgress) {
    // Ends of segments that meet are found among the ends sorted by place.
    struct TEnd {
        double X, Y;
        int32_t Segment;
        uint8_t Which;
    };
    std::vector<TEnd> ends;
    ends.reserve(ASegments.size() * 2);
    for (size_t s = 0; s < ASegments.size(); ++s) {
        ends.push_back({ASegments[s].X0, ASegments[s].Y0, int32_t(s), 0});
        ends.push_back({ASegments[s].X1, ASegments[s].Y1, int32_t(s), 1});
    }
    std::sort(ends.begin(), ends.end(), [](const TEnd& a, const TEnd& b) {
        return std::tie(a.X, a.Y, a.Segment, a.Which) < std::tie(b.X, b.Y, b.Segment, b.Which);
    });
    ThrowIfCanceled(AProgress);
    std::vector<char> used(ASegments.size(), 0);
    // The other end of an unused segment that ends at (x, y); false when there is none.
    auto step = [&](std::pair<double, double>& APoint) {
        auto it = std::lower_bound(ends.begin(), ends.end(), APoint,
                                   [](const TEnd& e, const std::pair<double, double>& p) {
                                       return std::tie(e.X, e.Y) < std::tie(p.first, p.second);
                                   });
        for (; it != ends.end() && it->X == APoint.first && it->Y == APoint.second; ++it) {
            if (used[size_t(it->Segment)])
                continue;
            used[size_t(it->Segment)] = 1;
            const TCutSegment& g = ASegments[size_t(it->Segment)];
            APoint = it->Which ? std::pair{g.X0, g.Y0} : std::pair{g.X1, g.Y1};
            return true;
        }
        return false;
    };
    std::string out = "<svg version=\"1.1\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      std::to_string(AWidth) + "px\" height=\"" + std::to_string(AHeight) +
                      "px\" viewBox=\"0 0 " + std::to_string(AWidth) + ' ' +
                      std::to_string(AHeight) + "\">";
    out += "<!-- Generator: ORVANTE VORM 1.0, cut lines: every edge once -->";
    out += "<g fill=\"none\" stroke=\"#FF0000\" stroke-width=\"1\" stroke-linecap=\"round\" "
           "stroke-linejoin=\"round\">";
    std::deque<std::pair<double, double>> chain;
    for (size_t s = 0; s < ASegments.size(); ++s) {
        Poll(s, AProgress);
        if (used[s])
            continue;
        used[s] = 1;
        chain.assign({{ASegments[s].X0, ASegments[s].Y0}, {ASegments[s].X1, ASegments[s].Y1}});
        for (std::pair<double, double> p = chain.back(); step(p);)
            chain.push_back(p);
        for (std::pair<double, double> p = chain.front(); step(p);)
            chain.push_front(p);
        out += "<path d=\"";
        for (size_t k = 0; k < chain.size(); ++k) {
            out += k == 0 ? "M" : " L";
            out += FormatFixed(float(chain[k].first), 1);
            out += ',';
            out += FormatFixed(float(chain[k].second), 1);
        }
        out += "\" />";
    }
    out += "</g></svg>\r\n";
    return out;
}
