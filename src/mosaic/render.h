// The rasteriser: paints every sampled tile in its treated colour, scaled by the opacity, into a
// bitmap of the picture's size. Each tile is filled and outlined 0.75 px beyond its edges with
// mitred corners, in array order, so later tiles cover the shared edges of earlier ones.
#pragma once

#include "mosaic_model.h"

// What one tile paints: its colour already multiplied by alpha × opacity, and its alpha.
struct TPaint {
    uint8_t R, G, B, M;
};
TPaint PaintOf(TAlphaColor AColor, float AOpacity);

// ADest becomes AWidth × AHeight, Format_ARGB32_Premultiplied, always valid premultiplied:
// pixels no tile reaches are transparent. Throws std::bad_alloc when the bitmap cannot be had.
void RenderItemXs(const TItemXs& AItemXs, int AWidth, int AHeight, QImage& ADest,
                  TColorConv AColorConv, float AOpacity);
