// Grout: every tile inset by half the joint along each edge's normal, so that the joint between
// two tiles is exactly as wide as asked, whatever the shape (GEGL's mosaic scales each tile about
// its centre instead, which gives right isosceles triangles uneven joints). A tile whose inset
// would turn it inside out (a triangle once the inset reaches its inradius) is left out.
#pragma once

#include "mosaic_model.h"

#include <algorithm>
#include <array>

constexpr int kMaxCorners = 8;
using TCorners = std::array<TPointF, kMaxCorners>;

// The corners of the convex polygon APoints moved inward by AInset pixels along each edge's
// normal, computed in double and stored as float; AInset 0 copies them. Returns the number of
// corners, 0 when the inset turns the polygon inside out or the polygon has no inside.
int InsetPolygon(const TPointFX& APoints, double AInset, TCorners& AOut);

// The polygon the mosaic paints and writes for a tile: its own, or inset by half the grout.
inline int WrittenPolygon(const TItemX& AItem, double AGrout, TCorners& AOut) {
    if (AGrout <= 0) {
        const int n = int(std::min<size_t>(AItem.Points.size(), kMaxCorners));
        std::copy_n(AItem.Points.begin(), n, AOut.begin());
        return n;
    }
    return InsetPolygon(AItem.Points, AGrout / 2, AOut);
}
