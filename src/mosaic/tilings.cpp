#include "tilings.h"

#include "vorm_error.h"

#include <cmath>
#include <cstdint>

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

void SizeArray(TItemXs& AItemXs, int64_t ARows, int64_t AColumns, int64_t APerCell) {
    const int64_t n = ARows * AColumns * APerCell; // each factor is below 2^27: no overflow
    if (n > kMaxTiles)
        TooManyTiles();
    AItemXs.assign(static_cast<size_t>(n), TItemX{});
}

} // namespace

void InitEquilateralTriangles(const QImage& ABitmap, float w, TItemXs& AItemXs, int v) {
    CheckCell(w);
    const int W = ABitmap.width(), H = ABitmap.height();
    const float half = S(w / 2.0);
    const float th = S((w / 2.0) * std::sqrt(3.0));
    const int64_t rows = TruncCount(H / double(th)) + 1;
    const int64_t cols = TruncCount(W / (w / 2.0)) + 4;
    SizeArray(AItemXs, rows, cols, 1);
    size_t i = 0;
    for (int64_t r = 0; r < rows; ++r) {
        const double y0 = double(th) * r, y1 = double(th) * (r + 1);
        for (int64_t c = 0; c < cols; ++c) {
            const double xa = double(half) * (c - 1), xb = double(half) * c,
                         xc = double(half) * (c + 1);
            const bool checker = IsCheckerCell(int32_t(c), int32_t(r));
            const bool down = (v == 1) ? checker : !checker;
            TItemX& t = AItemXs[i++];
            if (down)
                t.Points = {P(xa, y0), P(xc, y0), P(xb, y1)};
            else
                t.Points = {P(xa, y1), P(xb, y0), P(xc, y1)};
        }
    }
}

void InitEquilateralTriangle1(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    InitEquilateralTriangles(ABitmap, w, AItemXs, 1);
}

void InitEquilateralTriangle2(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    InitEquilateralTriangles(ABitmap, w, AItemXs, 0);
}

void InitIsoscelesRightTriangles(const QImage& ABitmap, float w, TItemXs& AItemXs, int v) {
    CheckCell(w);
    const int W = ABitmap.width(), H = ABitmap.height();
    const int64_t rows = TruncCount(H / double(w)) + 1;
    const int64_t cols = TruncCount(W / double(w)) + 1;
    SizeArray(AItemXs, rows, cols, 2);
    size_t i = 0;
    for (int64_t r = 0; r < rows; ++r) {
        const double y0 = double(w) * r, y1 = double(w) * (r + 1);
        for (int64_t c = 0; c < cols; ++c) {
            const double x0 = double(w) * c, x1 = double(w) * (c + 1);
            const bool checker = IsCheckerCell(int32_t(c), int32_t(r));
            const bool rising = (v == 1) ? checker : !checker;
            if (rising) {
                AItemXs[i++].Points = {P(x0, y1), P(x0, y0), P(x1, y0)};
                AItemXs[i++].Points = {P(x0, y1), P(x1, y0), P(x1, y1)};
            } else {
                AItemXs[i++].Points = {P(x0, y0), P(x1, y0), P(x1, y1)};
                AItemXs[i++].Points = {P(x0, y0), P(x1, y1), P(x0, y1)};
            }
        }
    }
}

void InitIsoscelesRightTriangle1(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    InitIsoscelesRightTriangles(ABitmap, w, AItemXs, 1);
}

void InitIsoscelesRightTriangle2(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    InitIsoscelesRightTriangles(ABitmap, w, AItemXs, 0);
}

// Squares, and squares whose odd rows start half a cell to the left (one extra column).
static void InitSquares(const QImage& ABitmap, float w, TItemXs& AItemXs, bool AAlternate) {
    CheckCell(w);
    const int W = ABitmap.width(), H = ABitmap.height();
    const int64_t rows = TruncCount(H / double(w)) + 1;
    const int64_t cols = TruncCount(W / double(w)) + (AAlternate ? 2 : 1);
    SizeArray(AItemXs, rows, cols, 1);
    size_t i = 0;
    for (int64_t r = 0; r < rows; ++r) {
        const double y0 = double(w) * r, y1 = double(w) * (r + 1);
        const double shift = (AAlternate && (r % 2) == 1) ? 0.5 : 0.0;
        for (int64_t c = 0; c < cols; ++c) {
            const double x0 = double(w) * (c - shift), x1 = double(w) * (c + 1 - shift);
            AItemXs[i++].Points = {P(x0, y0), P(x1, y0), P(x1, y1), P(x0, y1)};
        }
    }
}

void InitSquare(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    InitSquares(ABitmap, w, AItemXs, false);
}

void InitSquareAlternate(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    InitSquares(ABitmap, w, AItemXs, true);
}

void InitHexagon(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    CheckCell(w);
    const int W = ABitmap.width(), H = ABitmap.height();
    const float h = S((w * std::sqrt(3.0)) / 2.0);
    const float w3 = S(3.0 * w);
    const int64_t rows = TruncCount(H / double(h)) + 2;
    const int64_t cols = TruncCount(W / double(w3)) + 2;
    SizeArray(AItemXs, rows, cols, 1);
    const double wd = w;
    size_t i = 0;
    for (int64_t r = 0; r < rows; ++r) {
        const double ym = double(h) * (r - 1), yc = double(h) * r, yp = double(h) * (r + 1);
        for (int64_t c = 0; c < cols; ++c) {
            TItemX& t = AItemXs[i++];
            if (r % 2 == 0)
                t.Points = {P(double(w3) * c, yc),     P(wd * (3 * c + 0.5), ym),
                            P(wd * (3 * c + 1.5), ym), P(wd * (3 * c + 2), yc),
                            P(wd * (3 * c + 1.5), yp), P(wd * (3 * c + 0.5), yp)};
            else
                t.Points = {P(wd * (3 * c - 1.5), yc), P(wd * (3 * c - 1), ym),
                            P(double(w3) * c, ym),     P(wd * (3 * c + 0.5), yc),
                            P(double(w3) * c, yp),     P(wd * (3 * c - 1), yp)};
        }
    }
}
