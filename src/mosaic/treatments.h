// The ten colour treatments, in the order of the colour list. Each turns a sampled tile into the
// colour it is painted with; the chosen opacity is applied later by the painter and the SVG
// writer.
#pragma once

#include "mosaic_model.h"

TAlphaColor ConvColor(const TItemX& AItem3);
TAlphaColor ConvColorAlphaWhite(const TItemX& AItem3);
TAlphaColor ConvColorAlphaBlack(const TItemX& AItem3);
TAlphaColor ConvColorAlphaGray(const TItemX& AItem3);
TAlphaColor ConvColorSelfAlpha(const TItemX& AItem3);
TAlphaColor ConvGray(const TItemX& AItem3);
TAlphaColor ConvGrayAlphaWhite(const TItemX& AItem3);
TAlphaColor ConvGrayAlphaBlack(const TItemX& AItem3);
TAlphaColor ConvGrayAlphaGray(const TItemX& AItem3);
TAlphaColor ConvGraySelfAlpha(const TItemX& AItem3);

// The HSL lightness of a colour, with the single-precision steps that decide the grey value.
float Lightness(uint8_t R8, uint8_t G8, uint8_t B8);
