// SVG export: one filled path per sampled tile, in the tiles' own coordinates, inside one group.
// The document is a single line of ASCII followed by CR LF, with no declaration; numbers use a
// point and round halves away from zero, whatever the locale.
#pragma once

#include "codec_support.h"
#include "mosaic_model.h"

#include <QString>
#include <string>

// AColorConvOpaque: the treatment always gives alpha 255, so the group carries the opacity.
// Written atomically; throws EVormError naming the file and the reason.
void WriteItemXsSvg(const QString& AFileName, const TItemXs& AItemXs, int AWidth, int AHeight,
                    TColorConv AColorConv, float AOpacity, bool AColorConvOpaque);

// The same document to ASink, in pieces of about a megabyte, not atomically (vorm-cli's standard
// output).
void WriteItemXsSvgTo(const TByteSink& ASink, const TItemXs& AItemXs, int AWidth, int AHeight,
                      TColorConv AColorConv, float AOpacity, bool AColorConvOpaque);

// The whole document, CR LF included.
std::string ItemXsSvgText(const TItemXs& AItemXs, int AWidth, int AHeight, TColorConv AColorConv,
                          float AOpacity, bool AColorConvOpaque);

// v rounded to ADecimals digits (0 to 6) after the point, halves away from zero, computed on
// the exact binary value: 0.25 gives "0.3", -0.25 gives "-0.3", 55.425625 gives "55.4".
std::string FormatFixed(float v, int ADecimals);
