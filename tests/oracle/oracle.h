// The straightforward conversion, kept as the oracle for the engine's fast path: an owner map
// of the whole picture built by testing every pixel of each tile's box, a sum pass over it, and
// tiles painted with QPainter into a colour and a mask bitmap that are then merged.
#pragma once

#include "mosaic_model.h"

#include <vector>

namespace oracle {

std::vector<int32_t> BuildOwnerMap(int AWidth, int AHeight, const TItemXs& AItemXs);
void SumOwnedPixels(const QImage& ABitmap, const std::vector<int32_t>& AOwner, TItemXs& AItemXs,
                    TProgress* AProgress);
void SampleItemXs(const QImage& ABitmap, TItemXs& AItemXs, TProgress* AProgress);

void RenderItemXs(const TItemXs& AItemXs, int AWidth, int AHeight, QImage& ADest,
                  TColorConv AColorConv, float AOpacity);
// Replaces the alpha of each colour pixel by the mask's luminance (54 R + 183 G + 19 B) >> 8,
// limiting the colour to it.
QImage CreateFromBitmapAndMask(const QImage& AColor, const QImage& AMask);

} // namespace oracle
