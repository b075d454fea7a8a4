#include "sampling.h"

#include "bands.h"
#include "parallel.h"
#include "vorm_error.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

bool PointInTriangle(const TPointF& A, const TPointF& B, const TPointF& C, const TPointF& P) {
    const double px = P.X, py = P.Y;
    const double d1 = (px - B.X) * (double(A.Y) - B.Y) - (double(A.X) - B.X) * (py - B.Y);
    const double d2 = (px - C.X) * (double(B.Y) - C.Y) - (double(B.X) - C.X) * (py - C.Y);
    const double d3 = (px - A.X) * (double(C.Y) - A.Y) - (double(C.X) - A.X) * (py - A.Y);
    return (d1 > 0 && d2 > 0 && d3 > 0) || (d1 < 0 && d2 < 0 && d3 < 0);
}

bool PointInItemX(const TItemX& AItem, const TPointF& P) {
    const TPointFX& p = AItem.Points;
    for (size_t k = 1; k + 1 < p.size(); ++k)
        if (PointInTriangle(p[0], p[k], p[k + 1], P))
            return true;
    return false;
}

int ClampTrunc(float v, float bound) {
    if (v < 0)
        return 0;
    if (v > bound)
        return static_cast<int>(bound);
    return static_cast<int>(v);
}

namespace {

constexpr int kGroupRows = 8; // rows of a band that one thread claims at a time
constexpr int kMaxCorners = 6;

// The box of pixels whose centres a tile may own, clamped to the picture as the owner test
// has always done it; y0 > y1 marks a tile with no corners.
struct TBox {
    int x0, x1, y0, y1;
};

TBox BoxOf(const TItemX& t, float AMaxX, float AMaxY) {
    const TPointFX& p = t.Points;
    if (p.empty())
        return {0, -1, 0, -1};
    float minX = p[0].X, maxX = p[0].X, minY = p[0].Y, maxY = p[0].Y;
    for (const TPointF& q : p) {
        minX = std::min(minX, q.X);
        maxX = std::max(maxX, q.X);
        minY = std::min(minY, q.Y);
        maxY = std::max(maxY, q.Y);
    }
    return {ClampTrunc(float(double(minX) - 1), AMaxX), ClampTrunc(float(double(maxX) + 1), AMaxX),
            ClampTrunc(float(double(minY) - 1), AMaxY), ClampTrunc(float(double(maxY) + 1), AMaxY)};
}

// The first and last x of a row that a tile claimed.
using TSpan = std::pair<int, int>;

// A line through two corners, as the owner test sees it along one pixel row.
struct TLine {
    double ux, uy, vx, vy;
    double dxdy;  // x step per row, for a line that is not horizontal
    double delta; // half-width of the band of x where rounding may decide the test
    int inner;    // outer edges: side of the tile's interior (+1 or -1)
};

// The sign of the cross product (V - U) x (P - U): which side of the line P lies on.
int SideAt(const TLine& L, double px, double py) {
    const double c = (L.vx - L.ux) * (py - L.uy) - (L.vy - L.uy) * (px - L.ux);
    return (c > 0) - (c < 0);
}

// The lines of a convex tile: its outer edges and the diagonals of its fan. A tile that is not
// strictly convex (or has too many corners) is left to the owner test pixel by pixel.
struct TTileLines {
    std::array<TLine, kMaxCorners> edges;
    std::array<TLine, kMaxCorners> diags;
    int nEdges = 0, nDiags = 0;
    bool exact = true; // false: test every pixel

    TTileLines() = default;

    // AHuge: coordinates too large for exact pixel centres in a float; test every pixel.
    TTileLines(const TItemX& t, const TBox& ABox, bool AHuge) {
        const TPointFX& p = t.Points;
        const int n = int(p.size());
        if (AHuge || n < 3 || n > kMaxCorners) {
            exact = false;
            return;
        }
        double cx = 0, cy = 0;
        for (const TPointF& q : p) {
            cx += q.X;
            cy += q.Y;
        }
        cx /= n;
        cy /= n;
        // Rounding in the owner test is below 2^-50 of the products it forms; these bands are
        // a million times wider, yet far below a pixel.
        const double extent = double(std::max(ABox.x1 - ABox.x0, ABox.y1 - ABox.y0)) + 4;
        auto make = [&](const TPointF& U, const TPointF& V) {
            TLine L{U.X, U.Y, V.X, V.Y, 0, 0, 0};
            const double dy = L.vy - L.uy, dx = L.vx - L.ux;
            if (dy != 0)
                L.dxdy = dx / dy;
            if (dy != 0 && dx != 0)
                L.delta =
                    1e-9 * (extent + std::fabs(L.ux) + std::fabs(L.uy)) * (1 + std::fabs(dx / dy));
            return L;
        };
        int turn = 0;
        for (int k = 0; k < n; ++k) {
            const TPointF &a = p[size_t(k)], &b = p[size_t((k + 1) % n)],
                          &c = p[size_t((k + 2) % n)];
            const double cross = (double(b.X) - a.X) * (double(c.Y) - b.Y) -
                                 (double(b.Y) - a.Y) * (double(c.X) - b.X);
            const int s = (cross > 0) - (cross < 0);
            if (s == 0 || (turn != 0 && s != turn)) {
                exact = false;
                return;
            }
            turn = s;
            TLine e = make(a, b);
            e.inner = SideAt(e, cx, cy);
            if (e.inner == 0) {
                exact = false;
                return;
            }
            edges[size_t(nEdges++)] = e;
        }
        for (int k = 2; k <= n - 2; ++k)
            diags[size_t(nDiags++)] = make(p[0], p[size_t(k)]);
    }
};

// Where a row crosses a tile's lines: the open interval (lo, hi) of x inside every outer edge,
// and the x ranges, a handful per row, within rounding distance of a line, which the owner test
// itself settles.
struct TRowCut {
    double lo = -std::numeric_limits<double>::infinity();
    double hi = std::numeric_limits<double>::infinity();
    bool empty = false; // the row misses the tile, or lies on a horizontal diagonal
    std::array<std::pair<int, int>, 2 * kMaxCorners> unsure;
    int nUnsure = 0;
};

TRowCut CutRow(const TTileLines& L, const TBox& B, float yc) {
    TRowCut cut;
    auto addUnsure = [&](double ALo, double AHi) {
        const int a = std::max(B.x0, int(std::ceil(ALo - 0.5)));
        const int b = std::min(B.x1, int(std::floor(AHi - 0.5)));
        if (a <= b)
            cut.unsure[size_t(cut.nUnsure++)] = {a, b};
    };
    // The x where the line crosses the row, for a line that is not horizontal.
    auto root = [&](const TLine& l) { return l.ux + l.dxdy * (double(yc) - l.uy); };
    for (int k = 0; k < L.nEdges; ++k) {
        const TLine& e = L.edges[size_t(k)];
        if (e.vy == e.uy) {
            // Exact: the sign of a product of exact differences.
            if (SideAt(e, 0, yc) != e.inner)
                cut.empty = true;
            continue;
        }
        const double r = root(e);
        // Moving right changes the side by the sign of -(vy - uy).
        const bool insideRight = ((e.vy - e.uy) < 0 ? 1 : -1) == e.inner;
        if (insideRight)
            cut.lo = std::max(cut.lo, r);
        else
            cut.hi = std::min(cut.hi, r);
        if (e.delta > 0)
            addUnsure(r - e.delta, r + e.delta);
    }
    for (int k = 0; k < L.nDiags; ++k) {
        const TLine& d = L.diags[size_t(k)];
        if (d.vy == d.uy) {
            if (double(yc) == d.uy)
                cut.empty = true; // the whole row lies on the diagonal
            continue;
        }
        const double r = root(d);
        addUnsure(r - d.delta, r + d.delta); // a vertical diagonal: just the pixel on it
    }
    return cut;
}

// Marks the pixels between the cut's bounds as AIndex's, around its unsure ranges; returns the
// range it marked (first > last for none).
TSpan FillCut(TRowCut& ACut, const TBox& B, int32_t AIndex, int32_t* ARow) {
    TSpan span{B.x1 + 1, B.x0 - 1};
    if (ACut.empty)
        return span;
    const double lo = ACut.lo, hi = ACut.hi;
    const int xa = std::max(B.x0, std::isinf(lo) ? B.x0 : int(std::floor(lo - 0.5)) + 1);
    const int xb = std::min(B.x1, std::isinf(hi) ? B.x1 : int(std::ceil(hi - 0.5)) - 1);
    if (xa > xb)
        return span;
    span = {xa, xb};
    if (ACut.nUnsure > 1)
        std::sort(ACut.unsure.begin(), ACut.unsure.begin() + ACut.nUnsure);
    int x = xa;
    for (int u = 0; u < ACut.nUnsure && x <= xb; ++u) {
        const int stop = std::min(xb + 1, ACut.unsure[size_t(u)].first);
        for (; x < stop; ++x)
            ARow[x] = AIndex;
        x = std::max(x, ACut.unsure[size_t(u)].second + 1);
    }
    for (; x <= xb; ++x)
        ARow[x] = AIndex;
    return span;
}

// Marks the pixels of row y that tile AIndex claims: those whose centre passes the owner test.
// Pixels that are clearly inside or outside every line are decided by geometry; the few whose
// centre lies within rounding distance of a line are given to the test itself. Returns the
// range of x it marked (first > last for none), where the sum pass looks for the tile's pixels.
TSpan ClaimRow(const TItemX& t, const TTileLines& L, const TBox& B, int32_t AIndex, int y,
               int32_t* ARow) {
    const float yc = float(y + 0.5);
    TSpan span{B.x1 + 1, B.x0 - 1};
    auto mark = [&](int x) {
        ARow[x] = AIndex;
        span.first = std::min(span.first, x);
        span.second = std::max(span.second, x);
    };
    if (!L.exact) {
        for (int x = B.x0; x <= B.x1; ++x)
            if (PointInItemX(t, TPointF{float(x + 0.5), yc}))
                mark(x);
        return span;
    }
    TRowCut cut = CutRow(L, B, yc);
    span = FillCut(cut, B, AIndex, ARow);
    for (int u = 0; u < cut.nUnsure; ++u)
        for (int x = cut.unsure[size_t(u)].first; x <= cut.unsure[size_t(u)].second; ++x)
            if (PointInItemX(t, TPointF{float(x + 0.5), yc}))
                mark(x);
    return span;
}

// 255 / a for every alpha, so the sum pass multiplies by the very value it would divide out.
const std::array<double, 256>& InverseAlpha() {
    static const std::array<double, 256> table = [] {
        std::array<double, 256> k{};
        for (int a = 1; a < 256; ++a)
            k[size_t(a)] = 255.0 / a;
        return k;
    }();
    return table;
}

inline bool IsWhole(double v) {
    return v == std::trunc(v) && std::fabs(v) < 0x1p52;
}

// Adds the pixels of rows [ya, yb] that tile i owns, in row-major order, looking only where it
// claimed pixels. AOwner and ASpans hold the band's rows from AY0 on, and so does ARows (APitch
// bytes a row).
void AddOwnedPixels(TItemX& t, int32_t i, int ya, int yb, const int32_t* AOwner,
                    const TSpan* ASpans, int AY0, int W, const uchar* ARows, qsizetype APitch) {
    const std::array<double, 256>& inverse = InverseAlpha();
    double R = t.R, G = t.G, B = t.B, A = t.A;
    int32_t count = t.Count;
    // An opaque pixel adds its bytes times 255 / 255, exactly 1, and a transparent one adds 0:
    // whole numbers. While every sum is whole, adding whole numbers in doubles is exact, so
    // integers give the same sums bit for bit, and much faster.
    bool whole = IsWhole(R) && IsWhole(G) && IsWhole(B) && IsWhole(A);
    int64_t iR = whole ? int64_t(R) : 0, iG = whole ? int64_t(G) : 0, iB = whole ? int64_t(B) : 0,
            iA = whole ? int64_t(A) : 0;
    for (int y = ya; y <= yb; ++y) {
        const int32_t* own = AOwner + size_t(y - AY0) * size_t(W);
        const uchar* px = ARows + size_t(y - AY0) * size_t(APitch);
        const TSpan span = ASpans[y - AY0];
        for (int x = span.first; x <= span.second; ++x) {
            if (own[x] != i)
                continue;
            const uchar* q = px + 4 * size_t(x); // blue, green, red, alpha
            const uchar a = q[3];
            ++count;
            if (whole) {
                if (a == 255) {
                    iR += q[2];
                    iG += q[1];
                    iB += q[0];
                    iA += 255;
                    continue;
                }
                if (a == 0)
                    continue;
                // A translucent pixel adds fractions: from here on, in doubles.
                R = double(iR), G = double(iG), B = double(iB), A = double(iA);
                whole = false;
            }
            A += a;
            // A transparent pixel has no colour to recover; it adds 0 but counts.
            if (a != 0) {
                const double k = inverse[a];
                R += q[2] * k;
                G += q[1] * k;
                B += q[0] * k;
            }
        }
    }
    if (whole)
        R = double(iR), G = double(iG), B = double(iB), A = double(iA);
    t.R = R;
    t.G = G;
    t.B = B;
    t.A = A;
    t.Count = count;
}

// The source in the premultiplied form the sums read: ABitmap itself, or its copy in AConverted.
const QImage& Premultiplied(const QImage& ABitmap, QImage& AConverted) {
    if (ABitmap.format() == QImage::Format_ARGB32_Premultiplied)
        return ABitmap;
    AConverted = ABitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (AConverted.isNull())
        throw std::bad_alloc();
    return AConverted;
}

} // namespace

// One band of rows at a time: the owner of every pixel, then each tile's sums. The tiles and the
// rows come from the caller, so that the whole picture and a stream of rows share it.
class TBandWork {
public:
    TBandWork(int W, int H)
        : W(W), H(H), FMaxX(float(W - 1)), FMaxY(float(H - 1)), FOwner(size_t(W) * kBandRows),
          FHuge(W >= (1 << 22) || H >= (1 << 22)), FSlices(std::max(1, WorkerThreads())) {}

    // Rows [Y0, Y1), at most kBandRows of them, into the tiles AItems[AList[m]].
    void Sample(TItemX* AItems, const int32_t* AList, int ACount, const uchar* ARows,
                qsizetype APitch, int Y0, int Y1) {
        ClaimOwners(AItems, AList, ACount, Y0, Y1);
        AddSums(AItems, AList, ACount, ARows, APitch, Y0, Y1);
    }

    float maxX() const { return FMaxX; }
    float maxY() const { return FMaxY; }

private:
    // The lines of each tile reaching the band, then owners a few rows at a time; within a
    // row, later tiles overwrite earlier ones.
    void ClaimOwners(const TItemX* AItems, const int32_t* AList, int ACount, int Y0, int Y1) {
        FLines.resize(size_t(ACount));
        FBoxes.resize(size_t(ACount));
        FSpans.assign(size_t(ACount) * kBandRows, TSpan{1, 0});
        ParallelChunks(ACount, 64, [&](int m) {
            const TItemX& t = AItems[size_t(AList[m])];
            FBoxes[size_t(m)] = BoxOf(t, FMaxX, FMaxY);
            FLines[size_t(m)] = TTileLines(t, FBoxes[size_t(m)], FHuge);
        });
        // A short band (a wide picture's) still gives every thread rows: rows are claimed
        // independently of each other.
        const int groupRows = std::clamp((Y1 - Y0) / (2 * FSlices), 1, kGroupRows);
        const int groups = (Y1 - Y0 + groupRows - 1) / groupRows;
        ParallelFor(groups, [&](int g) {
            const int ga = Y0 + g * groupRows, gb = std::min(Y1, ga + groupRows) - 1;
            std::fill(FOwner.data() + size_t(ga - Y0) * size_t(W),
                      FOwner.data() + size_t(gb + 1 - Y0) * size_t(W), -1);
            for (int m = 0; m < ACount; ++m) {
                const int32_t i = AList[m];
                const TBox& b = FBoxes[size_t(m)];
                const int ya = std::max(b.y0, ga), yb = std::min(b.y1, gb);
                for (int y = ya; y <= yb; ++y)
                    FSpans[size_t(m) * kBandRows + size_t(y - Y0)] =
                        ClaimRow(AItems[size_t(i)], FLines[size_t(m)], b, i, y,
                                 FOwner.data() + size_t(y - Y0) * size_t(W));
            }
        });
    }

    // Each tile adds its own pixels in row-major order, whichever thread runs it. A thread
    // takes neighbouring tiles, which read the same cache lines and pages of the band's rows:
    // on a wide picture, tiles far apart cost a miss for each of their rows.
    void AddSums(TItemX* AItems, const int32_t* AList, int ACount, const uchar* ARows,
                 qsizetype APitch, int Y0, int Y1) {
        const int chunks = std::min(FSlices * 8, std::max(ACount, 1));
        ParallelFor(chunks, [&](int s) {
            const int first = int(int64_t(ACount) * s / chunks);
            const int end = int(int64_t(ACount) * (s + 1) / chunks);
            for (int m = first; m < end; ++m) {
                const int32_t i = AList[m];
                const TBox& b = FBoxes[size_t(m)];
                AddOwnedPixels(AItems[size_t(i)], i, std::max(b.y0, Y0), std::min(b.y1, Y1 - 1),
                               FOwner.data(), FSpans.data() + size_t(m) * kBandRows, Y0, W, ARows,
                               APitch);
            }
        });
    }

    const int W, H;
    const float FMaxX, FMaxY;
    std::vector<TBox> FBoxes;       // per listed tile of the band
    std::vector<int32_t> FOwner;    // the band's rows: the index of each pixel's owner
    std::vector<TTileLines> FLines; // per listed tile of the band
    std::vector<TSpan> FSpans;      // per listed tile: its claimed span in each row
    const bool FHuge;
    const int FSlices;
};

namespace {

// The whole picture: for each band of rows the tiles whose box reaches it, in array order.
class TBandSampler {
public:
    TBandSampler(const QImage& ASource, TItemXs& AItemXs)
        : FSource(ASource), FItems(AItemXs), H(ASource.height()),
          FWork(ASource.width(), ASource.height()) {
        // Boxes are worked out again where they are needed rather than kept for every tile: on
        // a big picture they would cost a sixth of the tiles' own memory, at the peak of the
        // conversion.
        FBandLists = BandLists(H, kBandRows, int(FItems.size()), [&](int i) {
            const TBox b = BoxOf(FItems[size_t(i)], FWork.maxX(), FWork.maxY());
            return std::pair{b.y0, b.y1};
        });
    }

    int Bands() const { return FBandLists.bands(); }

    void Sample(int ABand) {
        const int Y0 = ABand * kBandRows, Y1 = std::min(H, Y0 + kBandRows);
        FBandLists.tiles(ABand, FMembers);
        FWork.Sample(FItems.data(), FMembers.data(), int(FMembers.size()),
                     FSource.constScanLine(Y0), FSource.bytesPerLine(), Y0, Y1);
    }

private:
    const QImage& FSource;
    TItemXs& FItems;
    const int H;
    TBandWork FWork;
    TBandLists FBandLists;
    std::vector<int32_t> FMembers; // the band's tiles
};

} // namespace

// Reports the band's rows; throws ECanceled, with the progress reset, when asked to stop.
void ReportBand(TProgress* AProgress, int Y0, int Y1) {
    if (!AProgress)
        return;
    for (int y = Y0; y < Y1; ++y)
        AProgress->setValue(y);
    if (AProgress->isCanceled()) {
        AProgress->setValue(0);
        throw ECanceled();
    }
}

TRowSampler::TRowSampler(int W, int H) : FWork(std::make_unique<TBandWork>(W, H)) {}

TRowSampler::~TRowSampler() = default;

void TRowSampler::add(TItemX* ATiles, int ACount, const uchar* ARows, qsizetype APitch, int AY0,
                      int AY1) {
    FList.resize(size_t(ACount));
    for (int m = 0; m < ACount; ++m)
        FList[size_t(m)] = m;
    FWork->Sample(ATiles, FList.data(), ACount, ARows, APitch, AY0, AY1);
}

std::pair<int, int> TRowSampler::boxRows(const TItemX& ATile, int W, int H) {
    const TBox b = BoxOf(ATile, float(W - 1), float(H - 1));
    return {b.y0, b.y1};
}

void SampleItemXs(const QImage& ABitmap, TItemXs& AItemXs, TProgress* AProgress) {
    const int W = ABitmap.width(), H = ABitmap.height();
    if (AProgress)
        AProgress->setMaximum(H - 1);
    // An empty picture has no pixel to own: the tiles keep Count 0.
    if (ABitmap.isNull() || W <= 0 || H <= 0) {
        if (AProgress)
            AProgress->setValue(0);
        return;
    }
    QImage converted;
    TBandSampler sampler(Premultiplied(ABitmap, converted), AItemXs);
    for (int band = 0; band < sampler.Bands(); ++band) {
        sampler.Sample(band);
        ReportBand(AProgress, band * kBandRows, std::min(H, (band + 1) * kBandRows));
    }
    if (AProgress)
        AProgress->setValue(0);
}
