// The rasteriser: paints every sampled tile in its treated colour, scaled by the opacity, into a
// bitmap of the picture's size. Colours go to one working bitmap, alpha as grey levels to a
// second, and the two are merged.
#pragma once

#include "mosaic_model.h"

// ADest becomes AWidth × AHeight, Format_ARGB32_Premultiplied. Throws std::bad_alloc when the
// working bitmaps cannot be had.
void RenderItemXs(const TItemXs& AItemXs, int AWidth, int AHeight, QImage& ADest,
                  TColorConv AColorConv, float AOpacity);

// Replaces the alpha of each colour pixel by the mask pixel's luminance
// (54 R + 183 G + 19 B) >> 8. The colour is then limited to that alpha, so the result is always
// a valid premultiplied bitmap: where the white colour ground shows through (no tile, or an
// anti-aliased fringe) a translucent pixel would otherwise add light when drawn.
QImage CreateFromBitmapAndMask(const QImage& AColor, const QImage& AMask);
