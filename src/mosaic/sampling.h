// Tile colour sampling: every pixel whose centre lies strictly inside a tile adds its straight
// colour and its alpha to that tile. One pass decides the owner of each pixel, a second reads
// every pixel once and adds it to its owner.
#pragma once

#include "mosaic_model.h"

// Strict sign test in double precision: a point on an edge or corner is outside.
bool PointInTriangle(const TPointF& A, const TPointF& B, const TPointF& C, const TPointF& P);
// True when P lies strictly inside one of the fan triangles (P0, Pk, Pk+1).
bool PointInItemX(const TItemX& AItem, const TPointF& P);
// 0 below 0, Trunc(bound) above bound, else Trunc(v).
int ClampTrunc(float v, float bound);

// Fills R, G, B, A and Count. The source should be Format_ARGB32_Premultiplied (others are
// converted first). Reports each row to AProgress (may be null); throws ECanceled when it asks.
void SampleItemXs(const QImage& ABitmap, TItemXs& AItemXs, TProgress* AProgress);

// The two passes on their own, for measurement. The owner map holds W × H tile indexes, -1 for
// none; a later tile overwrites an earlier one.
std::vector<int32_t> BuildOwnerMap(int AWidth, int AHeight, const TItemXs& AItemXs);
void SumOwnedPixels(const QImage& ABitmap, const std::vector<int32_t>& AOwner, TItemXs& AItemXs,
                    TProgress* AProgress);
