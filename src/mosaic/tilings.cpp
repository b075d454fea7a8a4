#include "tilings.h"

#include "tile_rows.h"

namespace {

// The tiling's rows, one after the other (tile_rows.h has the corners).
void FillRows(TBitmapToItemXsInit AInit, const QImage& ABitmap, float w, TItemXs& AItemXs) {
    TTileRows rows;
    rows.set(AInit, w, ABitmap.width(), ABitmap.height());
    AItemXs.assign(static_cast<size_t>(rows.tiles()), TItemX{});
    for (int64_t r = 0; r < rows.rows(); ++r)
        rows.row(r, AItemXs.data() + r * rows.perRow());
}

} // namespace

void InitEquilateralTriangles(const QImage& ABitmap, float w, TItemXs& AItemXs, int v) {
    FillRows(v == 1 ? InitEquilateralTriangle1 : InitEquilateralTriangle2, ABitmap, w, AItemXs);
}

void InitEquilateralTriangle1(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitEquilateralTriangle1, ABitmap, w, AItemXs);
}

void InitEquilateralTriangle2(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitEquilateralTriangle2, ABitmap, w, AItemXs);
}

void InitIsoscelesRightTriangles(const QImage& ABitmap, float w, TItemXs& AItemXs, int v) {
    FillRows(v == 1 ? InitIsoscelesRightTriangle1 : InitIsoscelesRightTriangle2, ABitmap, w,
             AItemXs);
}

void InitIsoscelesRightTriangle1(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitIsoscelesRightTriangle1, ABitmap, w, AItemXs);
}

void InitIsoscelesRightTriangle2(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitIsoscelesRightTriangle2, ABitmap, w, AItemXs);
}

void InitSquare(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitSquare, ABitmap, w, AItemXs);
}

void InitSquareAlternate(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitSquareAlternate, ABitmap, w, AItemXs);
}

void InitHexagon(const QImage& ABitmap, float w, TItemXs& AItemXs) {
    FillRows(InitHexagon, ABitmap, w, AItemXs);
}
