#include "tile_rows.h"

#include "tilings.h"
#include "vorm_error.h"

#include <cmath>

namespace {

// Far beyond any useful mosaic (a 24 MP picture at cell 2 needs about 14 million tiles), and
// small enough that the array still fits in memory: each tile costs about 100 bytes.
constexpr int64_t kMaxTiles = int64_t(1) << 26;

inline float S(double v) {
    return static_cast<float>(v);
}
inline TPointF P(double x, double y) {
    return TPointF{S(x), S(y)};
}

[[noreturn]] void TooManyTiles() {
    throw EVormError(QStringLiteral("The cell is too small for a picture of this size."));
}

// Counts are whole numbers of cells; the double quotient is truncated toward zero. A quotient
// beyond the tile limit is refused before the conversion, which would be undefined.
int64_t TruncCount(double v) {
    if (!(v < double(kMaxTiles)))
        TooManyTiles();
    return static_cast<int64_t>(v);
}

void CheckCell(float w) {
    if (!(w > 0) || !std::isfinite(w))
        throw EVormError(QStringLiteral("The cell width must be a positive number."));
}

} // namespace

bool TTileRows::set(TBitmapToItemXsInit AInit, float w, int W, int H) {
    *this = TTileRows();
    TKind kind = TKind::None;
    int variant = 0;
    if (AInit == InitEquilateralTriangle1 || AInit == InitEquilateralTriangle2)
        kind = TKind::Equilateral, variant = AInit == InitEquilateralTriangle1 ? 1 : 0;
    else if (AInit == InitIsoscelesRightTriangle1 || AInit == InitIsoscelesRightTriangle2)
        kind = TKind::IsoscelesRight, variant = AInit == InitIsoscelesRightTriangle1 ? 1 : 0;
    else if (AInit == InitSquare)
        kind = TKind::Square;
    else if (AInit == InitSquareAlternate)
        kind = TKind::SquareAlternate;
    else if (AInit == InitHexagon)
        kind = TKind::Hexagon;
    else
        return false;
    CheckCell(w);
    FKind = kind;
    FVariant = variant;
    FW = w;
    switch (kind) {
    case TKind::Equilateral:
        FA = S(w / 2.0);                    // half
        FB = S((w / 2.0) * std::sqrt(3.0)); // row height
        FRows = TruncCount(H / double(FB)) + 1;
        FCols = TruncCount(W / (w / 2.0)) + 4;
        break;
    case TKind::IsoscelesRight:
        FRows = TruncCount(H / double(w)) + 1;
        FCols = TruncCount(W / double(w)) + 1;
        FPerCell = 2;
        break;
    case TKind::Square:
    case TKind::SquareAlternate:
        FRows = TruncCount(H / double(w)) + 1;
        FCols = TruncCount(W / double(w)) + (kind == TKind::SquareAlternate ? 2 : 1);
        break;
    case TKind::Hexagon:
        FA = S((w * std::sqrt(3.0)) / 2.0); // row height
        FB = S(3.0 * w);
        FRows = TruncCount(H / double(FA)) + 2;
        FCols = TruncCount(W / double(FB)) + 2;
        break;
    case TKind::None:
        break;
    }
    if (FRows * FCols * FPerCell > kMaxTiles) // each factor is below 2^27: no overflow
        TooManyTiles();
    return true;
}

void TTileRows::row(int64_t r, TItemX* AOut) const {
    const float w = FW;
    size_t i = 0;
    switch (FKind) {
    case TKind::Equilateral: {
        const float half = FA, th = FB;
        const double y0 = double(th) * r, y1 = double(th) * (r + 1);
        for (int64_t c = 0; c < FCols; ++c) {
            const double xa = double(half) * (c - 1), xb = double(half) * c,
                         xc = double(half) * (c + 1);
            const bool checker = IsCheckerCell(int32_t(c), int32_t(r));
            const bool down = (FVariant == 1) ? checker : !checker;
            TItemX& t = AOut[i++];
            if (down)
                t.Points = {P(xa, y0), P(xc, y0), P(xb, y1)};
            else
                t.Points = {P(xa, y1), P(xb, y0), P(xc, y1)};
        }
        break;
    }
    case TKind::IsoscelesRight: {
        const double y0 = double(w) * r, y1 = double(w) * (r + 1);
        for (int64_t c = 0; c < FCols; ++c) {
            const double x0 = double(w) * c, x1 = double(w) * (c + 1);
            const bool checker = IsCheckerCell(int32_t(c), int32_t(r));
            const bool rising = (FVariant == 1) ? checker : !checker;
            if (rising) {
                AOut[i++].Points = {P(x0, y1), P(x0, y0), P(x1, y0)};
                AOut[i++].Points = {P(x0, y1), P(x1, y0), P(x1, y1)};
            } else {
                AOut[i++].Points = {P(x0, y0), P(x1, y0), P(x1, y1)};
                AOut[i++].Points = {P(x0, y0), P(x1, y1), P(x0, y1)};
            }
        }
        break;
    }
    case TKind::Square:
    case TKind::SquareAlternate: {
        // Odd rows of the alternate squares start half a cell to the left.
        const double y0 = double(w) * r, y1 = double(w) * (r + 1);
        const double shift = (FKind == TKind::SquareAlternate && (r % 2) == 1) ? 0.5 : 0.0;
        for (int64_t c = 0; c < FCols; ++c) {
            const double x0 = double(w) * (c - shift), x1 = double(w) * (c + 1 - shift);
            AOut[i++].Points = {P(x0, y0), P(x1, y0), P(x1, y1), P(x0, y1)};
        }
        break;
    }
    case TKind::Hexagon: {
        const float h = FA, w3 = FB;
        const double wd = w;
        const double ym = double(h) * (r - 1), yc = double(h) * r, yp = double(h) * (r + 1);
        for (int64_t c = 0; c < FCols; ++c) {
            TItemX& t = AOut[i++];
            if (r % 2 == 0)
                t.Points = {P(double(w3) * c, yc),     P(wd * (3 * c + 0.5), ym),
                            P(wd * (3 * c + 1.5), ym), P(wd * (3 * c + 2), yc),
                            P(wd * (3 * c + 1.5), yp), P(wd * (3 * c + 0.5), yp)};
            else
                t.Points = {P(wd * (3 * c - 1.5), yc), P(wd * (3 * c - 1), ym),
                            P(double(w3) * c, ym),     P(wd * (3 * c + 0.5), yc),
                            P(double(w3) * c, yp),     P(wd * (3 * c - 1), yp)};
        }
        break;
    }
    case TKind::None:
        break;
    }
}
