// SVG export: one filled path per sampled tile, in the tiles' own coordinates, inside one group.
// The document is a single line of ASCII followed by CR LF, with no declaration; numbers use a
// point and round halves away from zero, whatever the locale.
#pragma once

#include "codec_support.h"
#include "mosaic_model.h"

#include <QString>
#include <string>

// AColorConvOpaque: the treatment always gives alpha 255, so the group carries the opacity.
// Written atomically; throws EVormError naming the file and the reason, and ECanceled, leaving
// nothing, when AProgress asks to stop (it is asked every megabyte).
class TProgress;
void WriteItemXsSvg(const QString& AFileName, const TItemXs& AItemXs, int AWidth, int AHeight,
                    TColorConv AColorConv, float AOpacity, bool AColorConvOpaque,
                    const TProgress* AProgress = nullptr);

// The same document to ASink, in pieces of about a megabyte, not atomically (vorm-cli's standard
// output).
void WriteItemXsSvgTo(const TByteSink& ASink, const TItemXs& AItemXs, int AWidth, int AHeight,
                      TColorConv AColorConv, float AOpacity, bool AColorConvOpaque);

// The whole document, CR LF included.
std::string ItemXsSvgText(const TItemXs& AItemXs, int AWidth, int AHeight, TColorConv AColorConv,
                          float AOpacity, bool AColorConvOpaque);

// The pieces of that document, for a writer that has the tiles a few at a time: the head, one
// path per sampled tile (in its colour AColor, ACorners the tiling's corners per tile), and the
// tail.
std::string ItemXsSvgHead(int AWidth, int AHeight, float AOpacity, bool AColorConvOpaque);
void AppendItemXSvgPath(std::string& out, const TItemX& t, size_t ACorners, TAlphaColor AColor,
                        float AOpacity, bool AColorConvOpaque);
const char* ItemXsSvgTail();

struct TMakerOptions;
struct TTileColors;

// The mosaic as the maker options have it (maker.h): a rectangle of the grout colour behind the
// tiles, each tile's written polygon (inset by half the grout) in its mapped colour, the outline
// as a stroke on the groups, and with a colour list one Inkscape layer per colour used, in the
// list's order, labelled with the colour's name. The document's first line still carries the
// program's fixed generator comment. Written and stopped as WriteItemXsSvg.
void WriteMakerSvg(const QString& AFileName, const TItemXs& AItemXs, int AWidth, int AHeight,
                   const TTileColors& AColors, const TMakerOptions& AOpt, float AOpacity,
                   bool AColorConvOpaque, const TProgress* AProgress = nullptr);
// As WriteMakerSvg, to a sink as the document is made (vorm-cli's standard output).
void WriteMakerSvgTo(const TByteSink& ASink, const TItemXs& AItemXs, int AWidth, int AHeight,
                     const TTileColors& AColors, const TMakerOptions& AOpt, float AOpacity,
                     bool AColorConvOpaque);
std::string MakerSvgText(const TItemXs& AItemXs, int AWidth, int AHeight,
                         const TTileColors& AColors, const TMakerOptions& AOpt, float AOpacity,
                         bool AColorConvOpaque);

// v rounded to ADecimals digits (0 to 6) after the point, halves away from zero, computed on
// the exact binary value: 0.25 gives "0.3", -0.25 gives "-0.3", 55.425625 gives "55.4".
std::string FormatFixed(float v, int ADecimals);
