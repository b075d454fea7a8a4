#include "render.h"

#include "bands.h"
#include "grout.h"
#include "parallel.h"
#include "platform.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <new>

TPaint PaintOf(TAlphaColor AColor, float AOpacity) {
    // Trunc toward zero, kept to a byte even for an opacity above 1.
    auto channel = [](double v) { return uint8_t(std::clamp(std::trunc(v), 0.0, 255.0)); };
    const uint32_t a = AColor >> 24;
    const double f = a / 255.0 * AOpacity;
    return {channel(((AColor >> 16) & 0xFF) * f), channel(((AColor >> 8) & 0xFF) * f),
            channel((AColor & 0xFF) * f), channel(a * double(AOpacity))};
}

namespace {

constexpr double kHalfPen = 0.75;          // the outline is 1.5 px wide, centred on the edges
constexpr double kMitreLimit = 3.0;        // twice the pen width, beyond which a corner is bevelled
constexpr int kMaxOutline = 2 * 8;         // corners of the outlined shape, bevels included
constexpr double kReach = kMitreLimit + 1; // how far the outline may reach past the tile's box

// A side of the outlined shape as x along y: x = x0 + slope * (y - y0).
struct TSide {
    double x0, y0, slope;
    double at(double y) const { return x0 + slope * (y - y0); }
};

// A tile grown by half the pen with mitred corners: a convex shape given as the sides that
// bound it on the left and on the right, and its vertical extent.
struct TShape {
    std::array<TSide, kMaxOutline> left, right;
    std::array<double, kMaxOutline> ys; // heights of the corners, where a side may end
    int nLeft = 0, nRight = 0, nYs = 0;
    double top = 0, bottom = 0;
    bool ok = false;
};

// The convex polygon p[0..n) grown by AHalfPen with mitred corners, bevelled where a mitre
// would reach further than AMitreLimit from its corner.
TShape Outline(const TPointF* p, int n, double AHalfPen, double AMitreLimit) {
    TShape s;
    if (n < 3 || n > 8)
        return s;
    double area = 0;
    for (int k = 0; k < n; ++k) {
        const TPointF &a = p[size_t(k)], &b = p[size_t((k + 1) % n)];
        area += double(a.X) * b.Y - double(b.X) * a.Y;
    }
    if (!(std::fabs(area) > 1e-12))
        return s; // no inside to paint
    const double orient = area > 0 ? 1 : -1;
    // Outward unit normals of the edges.
    std::array<double, 8> nx{}, ny{};
    for (int k = 0; k < n; ++k) {
        const TPointF &a = p[size_t(k)], &b = p[size_t((k + 1) % n)];
        const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y, len = std::hypot(dx, dy);
        if (!(len > 0))
            return s;
        nx[size_t(k)] = orient * dy / len;
        ny[size_t(k)] = -orient * dx / len;
    }
    std::array<double, kMaxOutline> qx{}, qy{};
    int m = 0;
    for (int k = 0; k < n; ++k) {
        const size_t in = size_t((k + n - 1) % n), out = size_t(k);
        const double vx = p[size_t(k)].X, vy = p[size_t(k)].Y;
        const double dot = nx[in] * nx[out] + ny[in] * ny[out];
        const double scale = AHalfPen / (1 + dot); // mitre: along the bisector
        const double mx = (nx[in] + nx[out]) * scale, my = (ny[in] + ny[out]) * scale;
        if (1 + dot > 1e-9 && std::hypot(mx, my) <= AMitreLimit) {
            qx[size_t(m)] = vx + mx;
            qy[size_t(m++)] = vy + my;
        } else { // bevel
            qx[size_t(m)] = vx + AHalfPen * nx[in];
            qy[size_t(m++)] = vy + AHalfPen * ny[in];
            qx[size_t(m)] = vx + AHalfPen * nx[out];
            qy[size_t(m++)] = vy + AHalfPen * ny[out];
        }
    }
    s.top = qy[0];
    s.bottom = qy[0];
    s.nYs = m;
    for (int k = 0; k < m; ++k) {
        s.ys[size_t(k)] = qy[size_t(k)];
        s.top = std::min(s.top, qy[size_t(k)]);
        s.bottom = std::max(s.bottom, qy[size_t(k)]);
        const size_t a = size_t(k), b = size_t((k + 1) % m);
        const double dy = qy[b] - qy[a];
        if (dy == 0)
            continue; // a horizontal side only bounds the extent
        const TSide side{qx[a], qy[a], (qx[b] - qx[a]) / dy};
        // With a clockwise outline (on screen), sides going up bound the shape on the left.
        const bool leftSide = (dy > 0) != (orient > 0);
        if (leftSide)
            s.left[size_t(s.nLeft++)] = side;
        else
            s.right[size_t(s.nRight++)] = side;
    }
    s.ok = s.nLeft > 0 && s.nRight > 0;
    return s;
}

TShape Outline(const TPointFX& p) {
    return Outline(p.data(), int(p.size()), kHalfPen, kMitreLimit);
}

inline void Blend(uchar* d, const TPaint& P, int c) { // c: coverage 0..256
    const int k = 256 - c;
    d[0] = uchar((d[0] * k + P.B * c + 128) >> 8);
    d[1] = uchar((d[1] * k + P.G * c + 128) >> 8);
    d[2] = uchar((d[2] * k + P.R * c + 128) >> 8);
    d[3] = uchar((d[3] * k + P.M * c + 128) >> 8);
}

// The mean over s in [0, 1] of clamp(a + (b - a) s, 0, 1): how much of a pixel column of unit
// width lies left of a boundary that runs from a to b (relative to the column) down a strip.
inline double ColumnCover(double a, double b) {
    // Antiderivative of clamp(u, 0, 1).
    auto G = [](double u) { return u <= 0 ? 0.0 : u >= 1 ? u - 0.5 : 0.5 * u * u; };
    const double d = b - a;
    if (std::fabs(d) < 1e-9)
        return std::clamp(0.5 * (a + b), 0.0, 1.0);
    return (G(b) - G(a)) / d;
}

// A horizontal strip of a pixel row in which both bounds of the shape are straight.
struct TStrip {
    double w, l0, l1, r0, r1; // height, and the bounds at its top and bottom
};

// The strips of the row part [ta, tb), cut at the shape's corners, and the range of x their
// bounds take.
struct TRowStrips {
    std::array<TStrip, kMaxOutline + 1> strips;
    int n = 0;
    double minL = 1e300, maxL = -1e300, minR = 1e300, maxR = -1e300;
};

TRowStrips RowStrips(const TShape& s, double ta, double tb) {
    std::array<double, kMaxOutline + 2> cuts;
    int nCuts = 0;
    cuts[size_t(nCuts++)] = ta;
    for (int k = 0; k < s.nYs; ++k)
        if (s.ys[size_t(k)] > ta && s.ys[size_t(k)] < tb)
            cuts[size_t(nCuts++)] = s.ys[size_t(k)];
    cuts[size_t(nCuts++)] = tb;
    std::sort(cuts.begin() + 1, cuts.begin() + nCuts - 1);
    TRowStrips R;
    for (int k = 0; k + 1 < nCuts; ++k) {
        const double t0 = cuts[size_t(k)], t1 = cuts[size_t(k) + 1];
        if (!(t1 > t0))
            continue;
        // Within the strip one side bounds each end: the innermost at its middle.
        const double tm = 0.5 * (t0 + t1);
        const TSide* l = &s.left[0];
        for (int j = 1; j < s.nLeft; ++j)
            if (s.left[size_t(j)].at(tm) > l->at(tm))
                l = &s.left[size_t(j)];
        const TSide* r = &s.right[0];
        for (int j = 1; j < s.nRight; ++j)
            if (s.right[size_t(j)].at(tm) < r->at(tm))
                r = &s.right[size_t(j)];
        TStrip st{t1 - t0, l->at(t0), l->at(t1), r->at(t0), r->at(t1)};
        // Rounding at a corner must not let the bounds cross.
        st.r0 = std::max(st.r0, st.l0);
        st.r1 = std::max(st.r1, st.l1);
        R.minL = std::min({R.minL, st.l0, st.l1});
        R.maxL = std::max({R.maxL, st.l0, st.l1});
        R.minR = std::min({R.minR, st.r0, st.r1});
        R.maxR = std::max({R.maxR, st.r0, st.r1});
        R.strips[size_t(R.n++)] = st;
    }
    return R;
}

// How much of pixel x of the row the strips cover, 0 to 1.
inline double RowCover(const TRowStrips& R, int x) {
    double cover = 0;
    for (int k = 0; k < R.n; ++k) {
        const TStrip& st = R.strips[size_t(k)];
        cover += st.w * (ColumnCover(st.r0 - x, st.r1 - x) - ColumnCover(st.l0 - x, st.l1 - x));
    }
    return cover;
}

inline int Coverage256(double ACover) {
    return std::clamp(int(ACover * 256 + 0.5), 0, 256);
}

// Paints pixel row y from its strips: each pixel takes the area of the strips inside the
// bounds; pixels that every strip covers from side to side over the whole row are solid.
void PaintRow(const TRowStrips& R, const TPaint& P, uchar* ARow, int W, int y, double ta,
              double tb) {
    auto partial = [&](int x) {
        double cover = 0;
        for (int k = 0; k < R.n; ++k) {
            const TStrip& st = R.strips[size_t(k)];
            cover += st.w * (ColumnCover(st.r0 - x, st.r1 - x) - ColumnCover(st.l0 - x, st.l1 - x));
        }
        const int c = std::clamp(int(cover * 256 + 0.5), 0, 256);
        if (c > 0)
            Blend(ARow + 4 * x, P, c);
    };
    const int xa = std::max(0, int(std::floor(R.minL)));
    const int xb = std::min(W - 1, int(std::ceil(R.maxR)) - 1);
    int fa = W, fb = -1;
    if (ta == y && tb == y + 1.0) {
        fa = std::max(xa, int(std::ceil(R.maxL)));
        fb = std::min(xb, int(std::floor(R.minR)) - 1);
    }
    if (fa > fb) {
        for (int x = xa; x <= xb; ++x)
            partial(x);
        return;
    }
    const uint32_t solid = uint32_t(P.M) << 24 | uint32_t(P.R) << 16 | uint32_t(P.G) << 8 | P.B;
    for (int x = xa; x < fa; ++x)
        partial(x);
    std::fill(reinterpret_cast<uint32_t*>(ARow) + fa, reinterpret_cast<uint32_t*>(ARow) + fb + 1,
              solid);
    for (int x = fb + 1; x <= xb; ++x)
        partial(x);
}

// Paints one shape into rows [AY0, AY1) of the bitmap with exact area coverage: each pixel
// row is cut at the corners into strips where both bounds are straight, and each pixel takes
// the area of the strips inside the bounds.
// ABits holds row ABitsY0 (0: the whole bitmap).
void PaintShape(const TShape& s, const TPaint& P, uchar* ABits, qsizetype APitch, int W, int AY0,
                int AY1, int ABitsY0 = 0) {
    const int ya = std::max(AY0, int(std::floor(s.top))),
              yb = std::min(AY1 - 1, int(std::ceil(s.bottom)) - 1);
    for (int y = ya; y <= yb; ++y) {
        const double ta = std::max(double(y), s.top), tb = std::min(y + 1.0, s.bottom);
        if (!(ta < tb))
            continue;
        const TRowStrips strips = RowStrips(s, ta, tb);
        if (strips.n > 0)
            PaintRow(strips, P, ABits + qsizetype(y - ABitsY0) * APitch, W, y, ta, tb);
    }
}

// Paints the ring between two convex shapes, AInner inside AOuter (or none), into rows
// [AY0, AY1): each pixel takes the outer shape's area less the inner one's, so the ring has no
// seams where pieces would meet.
void PaintRing(const TShape& AOuter, const TShape* AInner, const TPaint& P, uchar* ABits,
               qsizetype APitch, int W, int AY0, int AY1, int ABitsY0) {
    const int ya = std::max(AY0, int(std::floor(AOuter.top))),
              yb = std::min(AY1 - 1, int(std::ceil(AOuter.bottom)) - 1);
    for (int y = ya; y <= yb; ++y) {
        const double ta = std::max(double(y), AOuter.top), tb = std::min(y + 1.0, AOuter.bottom);
        if (!(ta < tb))
            continue;
        const TRowStrips outer = RowStrips(AOuter, ta, tb);
        if (outer.n == 0)
            continue;
        TRowStrips inner;
        int fa = W, fb = -1; // pixels the inner shape covers whole: nothing of the ring
        if (AInner) {
            const double ia = std::max(double(y), AInner->top),
                         ib = std::min(y + 1.0, AInner->bottom);
            if (ia < ib) {
                inner = RowStrips(*AInner, ia, ib);
                if (inner.n > 0 && ia == y && ib == y + 1.0) {
                    fa = int(std::ceil(inner.maxL));
                    fb = int(std::floor(inner.minR)) - 1;
                }
            }
        }
        uchar* row = ABits + qsizetype(y - ABitsY0) * APitch;
        const int xa = std::max(0, int(std::floor(outer.minL)));
        const int xb = std::min(W - 1, int(std::ceil(outer.maxR)) - 1);
        // Where the outer shape covers whole pixels, and where the inner one reaches at all:
        // only the pixels at an edge need their areas worked out.
        int oa = W, ob = -1;
        if (ta == y && tb == y + 1.0) {
            oa = int(std::ceil(outer.maxL));
            ob = int(std::floor(outer.minR)) - 1;
        }
        int ia = W, ib = -1;
        if (inner.n > 0) {
            ia = int(std::floor(inner.minL));
            ib = int(std::ceil(inner.maxR)) - 1;
        }
        for (int x = xa; x <= xb; ++x) {
            if (x >= fa && x <= fb) {
                x = fb;
                continue;
            }
            const bool insideOuter = x >= oa && x <= ob;
            const bool nearInner = x >= ia && x <= ib;
            const double cover =
                (insideOuter ? 1.0 : RowCover(outer, x)) - (nearInner ? RowCover(inner, x) : 0.0);
            const int c = Coverage256(cover);
            if (c > 0)
                Blend(row + 4 * x, P, c);
        }
    }
}

// A bitmap on memory that the kernel may back with huge pages: faulting in a fresh 100 MB
// bitmap page by page costs more than painting it.
QImage NewBitmap(int W, int H) {
    const qsizetype pitch = qsizetype(W) * 4;
    const size_t bytes = size_t(pitch) * size_t(H);
    constexpr size_t kHuge = size_t(2) << 20;
    if (bytes < 4 * kHuge) {
        QImage img(W, H, QImage::Format_ARGB32_Premultiplied);
        if (img.isNull())
            throw std::bad_alloc();
        return img;
    }
    void* data = AllocateLargeBuffer(bytes);
    if (!data)
        throw std::bad_alloc();
    QImage img(static_cast<uchar*>(data), W, H, pitch, QImage::Format_ARGB32_Premultiplied,
               FreeLargeBuffer, data);
    if (img.isNull()) {
        FreeLargeBuffer(data);
        throw std::bad_alloc();
    }
    return img;
}

// The rows of a picture AHeight rows tall that a tile's paint, reaching AReach beyond its
// corners, may touch; {0, -1} for none.
std::pair<int, int> RowsReached(const TItemX& ATile, double AReach, int AHeight) {
    if (ATile.Points.empty())
        return {0, -1};
    float minY = ATile.Points[0].Y, maxY = minY;
    for (const TPointF& q : ATile.Points) {
        minY = std::min(minY, q.Y);
        maxY = std::max(maxY, q.Y);
    }
    const double ya = std::max(0.0, std::floor(minY - AReach));
    const double yb = std::min(double(AHeight - 1), std::ceil(maxY + AReach));
    return ya <= yb ? std::pair{int(ya), int(yb)} : std::pair{0, -1};
}

// A destination of the right size that nothing else shares is painted over in place: a preview
// repeated at the same size then touches no fresh memory.
QImage Destination(QImage& ADest, int AWidth, int AHeight) {
    if (ADest.width() == AWidth && ADest.height() == AHeight &&
        ADest.format() == QImage::Format_ARGB32_Premultiplied && ADest.isDetached())
        return std::move(ADest);
    return NewBitmap(AWidth, AHeight);
}

} // namespace

std::pair<int, int> PaintRows(const TItemX& ATile, int AHeight) {
    return RowsReached(ATile, kReach, AHeight);
}

void PaintStrip(const TItemX* ATiles, const TPaint* APaints, int ACount, int AWidth, uchar* ARows,
                qsizetype APitch, int AY0, int AY1) {
    for (int y = AY0; y < AY1; ++y)
        std::fill_n(reinterpret_cast<uint32_t*>(ARows + qsizetype(y - AY0) * APitch), AWidth, 0u);
    for (int m = 0; m < ACount; ++m) {
        const TItemX& t = ATiles[size_t(m)];
        if (t.Count <= 0 || t.Points.empty())
            continue;
        const TShape s = Outline(t.Points);
        if (s.ok)
            PaintShape(s, APaints[size_t(m)], ARows, APitch, AWidth, AY0, AY1, AY0);
    }
}

void RenderItemXs(const TItemXs& AItemXs, int AWidth, int AHeight, QImage& ADest,
                  TColorConv AColorConv, float AOpacity) {
    if (AWidth <= 0 || AHeight <= 0) {
        ADest = QImage();
        return;
    }
    QImage out = Destination(ADest, AWidth, AHeight);
    const int tiles = int(AItemXs.size());
    // Each painted tile's paint, and the bands of rows its outline may reach.
    std::vector<TPaint> paint(static_cast<size_t>(tiles));
    std::vector<std::pair<int, int>> rows(size_t(tiles), {0, -1});
    ParallelChunks(tiles, kTileChunk, [&](int i) {
        const TItemX& t = AItemXs[size_t(i)];
        if (t.Count <= 0 || t.Points.empty())
            return;
        paint[size_t(i)] = PaintOf(AColorConv(t), AOpacity);
        rows[size_t(i)] = RowsReached(t, kReach, AHeight);
    });
    const TBandLists bandLists =
        BandLists(AHeight, kBandRows, tiles, [&](int i) { return rows[size_t(i)]; });
    const int bands = bandLists.bands();
    uchar* bits = out.bits();
    const qsizetype pitch = out.bytesPerLine();
    // Bands are independent: each pixel sees its tiles in array order whatever the thread.
    ParallelFor(bands, [&](int band) {
        const int Y0 = band * kBandRows, Y1 = std::min(AHeight, Y0 + kBandRows);
        // The ground is transparent black. Colour and alpha are blended alike, so every pixel
        // stays valid premultiplied, and an edge against bare ground fades out in the tile's
        // own colour rather than towards white.
        for (int y = Y0; y < Y1; ++y)
            std::fill_n(reinterpret_cast<uint32_t*>(bits + y * pitch), AWidth, 0u);
        bandLists.eachTile(band, [&](int32_t i) {
            const TShape s = Outline(AItemXs[size_t(i)].Points);
            if (s.ok)
                PaintShape(s, paint[size_t(i)], bits, pitch, AWidth, Y0, Y1);
        });
    });
    ADest = std::move(out);
}

TMosaicPainter::TMosaicPainter(const TItemXs& AItemXs, const std::vector<TAlphaColor>& AColors,
                               int AWidth, int AHeight, float AOpacity, const TPaintStyle& AStyle)
    : FItems(AItemXs), FWidth(AWidth), FGrout(AStyle.Grout > 0 ? AStyle.Grout : 0),
      FStroke(AStyle.Outline > 0 ? AStyle.Outline : 0), FGround(PaintOf(AStyle.GroutColor, 1.0f)),
      FPen(PaintOf(AStyle.OutlineColor, 1.0f)) {
    const int tiles = int(AItemXs.size());
    // How far a tile's paint may reach beyond its corners: the grown outline's mitres without
    // grout, nothing with it; a stroke's mitres (at most twice its width, SVG's limit of 4).
    const double reach = (FGrout > 0 ? 1.0 : kReach) + 2 * FStroke;
    FPaint.resize(size_t(tiles));
    std::vector<std::pair<int, int>> rows(size_t(tiles), {0, -1});
    ParallelChunks(tiles, kTileChunk, [&](int i) {
        const TItemX& t = AItemXs[size_t(i)];
        if (t.Count <= 0 || t.Points.empty())
            return;
        FPaint[size_t(i)] = PaintOf(AColors[size_t(i)], AOpacity);
        rows[size_t(i)] = RowsReached(t, reach, AHeight);
    });
    FBands = BandLists(AHeight, kRows, tiles, [&](int i) { return rows[size_t(i)]; });
}

void TMosaicPainter::paint(uchar* ARows, qsizetype APitch, int AY0, int AY1) const {
    const uint32_t groundPixel = uint32_t(FGround.M) << 24 | uint32_t(FGround.R) << 16 |
                                 uint32_t(FGround.G) << 8 | FGround.B;
    for (int y = AY0; y < AY1; ++y)
        std::fill_n(reinterpret_cast<uint32_t*>(ARows + qsizetype(y - AY0) * APitch), FWidth,
                    groundPixel);
    const double grout = FGrout, stroke = FStroke;
    const int W = FWidth;
    const TPaint& pen = FPen;
    // Each row sees the tiles of its band, in array order, whatever rows a call is given.
    for (int band = AY0 / kRows; band < FBands.bands() && band * kRows < AY1; ++band) {
        const int Y0 = std::max(AY0, band * kRows), Y1 = std::min(AY1, (band + 1) * kRows);
        FBands.eachTile(band, [&](int32_t i) {
            const TItemX& tile = FItems[size_t(i)];
            TCorners c;
            const int n = WrittenPolygon(tile, grout, c);
            if (n == 0)
                return;
            // Without grout each tile is grown as without the options, so that neighbours
            // leave no seam; with grout it is painted exactly, the joints showing between.
            const TPaint& fill = FPaint[size_t(i)];
            if (stroke > 0 && fill.M == 255 && pen.M == 255) {
                // Both opaque: the tile grown by half the stroke in the stroke's colour, then
                // the tile shrunk by half of it in its own. Pixel for pixel the same as the
                // tile, then the ring between, but two plain fills.
                const TShape outer = Outline(c.data(), n, stroke / 2, 2 * stroke);
                if (outer.ok)
                    PaintShape(outer, pen, ARows, APitch, W, Y0, Y1, AY0);
                TCorners ic;
                const int m = InsetPolygon(tile.Points, grout / 2 + stroke / 2, ic);
                const TShape inner = m > 0 ? Outline(ic.data(), m, 0.0, kMitreLimit) : TShape();
                if (inner.ok)
                    PaintShape(inner, fill, ARows, APitch, W, Y0, Y1, AY0);
                return;
            }
            const TShape s = Outline(c.data(), n, grout > 0 ? 0.0 : kHalfPen, kMitreLimit);
            if (s.ok)
                PaintShape(s, fill, ARows, APitch, W, Y0, Y1, AY0);
            if (stroke > 0) {
                // The stroke is centred on the edge, mitred as SVG's default (limit 4).
                const TShape outer = Outline(c.data(), n, stroke / 2, 2 * stroke);
                TCorners ic;
                TPointFX written(c.begin(), c.begin() + n);
                const int m = InsetPolygon(written, stroke / 2, ic);
                const TShape inner = m > 0 ? Outline(ic.data(), m, 0.0, kMitreLimit) : TShape();
                if (outer.ok)
                    PaintRing(outer, inner.ok ? &inner : nullptr, pen, ARows, APitch, W, Y0, Y1,
                              AY0);
            }
        });
    }
}

void RenderMosaic(const TItemXs& AItemXs, const std::vector<TAlphaColor>& AColors, int AWidth,
                  int AHeight, QImage& ADest, float AOpacity, const TPaintStyle& AStyle) {
    if (AWidth <= 0 || AHeight <= 0) {
        ADest = QImage();
        return;
    }
    QImage out = Destination(ADest, AWidth, AHeight);
    const TMosaicPainter painter(AItemXs, AColors, AWidth, AHeight, AOpacity, AStyle);
    uchar* bits = out.bits();
    const qsizetype pitch = out.bytesPerLine();
    constexpr int R = TMosaicPainter::kRows;
    ParallelFor((AHeight + R - 1) / R, [&](int band) {
        const int Y0 = band * R, Y1 = std::min(AHeight, Y0 + R);
        painter.paint(bits + qsizetype(Y0) * pitch, pitch, Y0, Y1);
    });
    ADest = std::move(out);
}
