// The seven tilings, in the order of the shape list. Each fills the array row by row from the
// top, left to right, with corners set and sums zero; tiles overshoot the picture so that every
// pixel lies under one. A cell width that is not positive, or one so small that the tile array
// could not be held, throws EVormError.
#pragma once

#include "mosaic_model.h"

void InitEquilateralTriangle1(const QImage& ABitmap, float w, TItemXs& AItemXs);
void InitEquilateralTriangle2(const QImage& ABitmap, float w, TItemXs& AItemXs);
void InitIsoscelesRightTriangle1(const QImage& ABitmap, float w, TItemXs& AItemXs);
void InitIsoscelesRightTriangle2(const QImage& ABitmap, float w, TItemXs& AItemXs);
void InitSquare(const QImage& ABitmap, float w, TItemXs& AItemXs);
void InitSquareAlternate(const QImage& ABitmap, float w, TItemXs& AItemXs);
void InitHexagon(const QImage& ABitmap, float w, TItemXs& AItemXs);

// The workers behind the two variants of each triangle tiling (v is 1 or 0).
void InitEquilateralTriangles(const QImage& ABitmap, float w, TItemXs& AItemXs, int v);
void InitIsoscelesRightTriangles(const QImage& ABitmap, float w, TItemXs& AItemXs, int v);
