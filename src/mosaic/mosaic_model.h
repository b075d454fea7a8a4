// The mosaic: a flat array of convex tiles laid over a picture, each carrying the running sums
// from which its single colour is computed.
#pragma once

#include "alpha_color.h"
#include "progress.h"

#include <QImage>
#include <cstdint>
#include <vector>

// Corners are 32-bit floats on purpose: every coordinate is computed in double and stored as a
// single, and the SVG text and pixel ownership depend on exactly those values.
struct TPointF {
    float X = 0;
    float Y = 0;
};
inline bool operator==(const TPointF& a, const TPointF& b) {
    return a.X == b.X && a.Y == b.Y;
}

using TPointFX = std::vector<TPointF>;

struct TItemX {
    TPointFX Points;
    double R = 0; // sums of straight (not premultiplied) channel values, 0..255 per pixel
    double G = 0;
    double B = 0;
    double A = 0;
    int32_t Count = 0; // pixels summed; 0 means the tile is never treated, painted or written
};

using TItemXs = std::vector<TItemX>;

// A tiling generator reads only the picture's width and height, and replaces the array's contents.
using TBitmapToItemXsInit = void (*)(const QImage& ABitmap, float w, TItemXs& AItemXs);

// A colour treatment. The tile is read only; only tiles with Count > 0 are passed.
using TColorConv = TAlphaColor (*)(const TItemX& AItem3);

// True when x and y are both even or both odd; mathematical parity, so -1 is odd.
inline bool IsCheckerCell(int32_t x, int32_t y) {
    return ((int64_t(x) + int64_t(y)) & 1) == 0;
}
