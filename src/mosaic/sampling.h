// Tile colour sampling: every pixel whose centre lies strictly inside a tile adds its straight
// colour and its alpha to that tile. When two tiles claim a pixel, the later one in the array
// owns it; each tile adds its pixels in row-major order.
#pragma once

#include "mosaic_model.h"

// Strict sign test in double precision: a point on an edge or corner is outside.
bool PointInTriangle(const TPointF& A, const TPointF& B, const TPointF& C, const TPointF& P);
// True when P lies strictly inside one of the fan triangles (P0, Pk, Pk+1).
bool PointInItemX(const TItemX& AItem, const TPointF& P);
// 0 below 0, Trunc(bound) above bound, else Trunc(v).
int ClampTrunc(float v, float bound);

// Fills R, G, B, A and Count. The source should be Format_ARGB32_Premultiplied (others are
// converted first). Reports each pixel row to AProgress (may be null) and throws ECanceled when
// it asks to stop. The picture is worked through in bands of rows on all threads; the sums are
// the same, bit for bit, as one pass over a whole-picture owner map.
void SampleItemXs(const QImage& ABitmap, TItemXs& AItemXs, TProgress* AProgress);
