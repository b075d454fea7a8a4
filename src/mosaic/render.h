// The rasteriser: paints every sampled tile in its treated colour, scaled by the opacity, into a
// bitmap of the picture's size. Each tile is filled and outlined 0.75 px beyond its edges with
// mitred corners, in array order, so later tiles cover the shared edges of earlier ones.
#pragma once

#include "bands.h"
#include "mosaic_model.h"

#include <utility>
#include <vector>

// What one tile paints: its colour already multiplied by alpha × opacity, and its alpha.
struct TPaint {
    uint8_t R, G, B, M;
};
TPaint PaintOf(TAlphaColor AColor, float AOpacity);

// ADest becomes AWidth × AHeight, Format_ARGB32_Premultiplied, always valid premultiplied:
// pixels no tile reaches are transparent. Throws std::bad_alloc when the bitmap cannot be had.
void RenderItemXs(const TItemXs& AItemXs, int AWidth, int AHeight, QImage& ADest,
                  TColorConv AColorConv, float AOpacity);

// The rows [first, last] of a AHeight-row picture that RenderItemXs paints of a tile (first >
// last for none): its corners' rows and the outline's reach beyond them.
std::pair<int, int> PaintRows(const TItemX& ATile, int AHeight);

// Paints rows [AY0, AY1) of a AWidth-wide mosaic exactly as RenderItemXs paints them, into a
// strip whose row AY0 is at ARows (APitch bytes a row): every tile whose PaintRows reach these
// rows must be among ATiles, in array order, each with its paint; tiles with Count 0 and tiles
// that do not reach the rows change nothing.
void PaintStrip(const TItemX* ATiles, const TPaint* APaints, int ACount, int AWidth, uchar* ARows,
                qsizetype APitch, int AY0, int AY1);

// How the maker options change the painting (maker.h): a ground of the grout colour, tiles inset
// by half the grout and painted exactly (without grout, grown as above), and a stroke of the
// outline's width centred on each tile's edge, mitred as SVG's default, painted after the tile.
struct TPaintStyle {
    double Grout = 0;
    TAlphaColor GroutColor = 0; // straight 0xAARRGGBB; transparent black by default
    double Outline = 0;
    TAlphaColor OutlineColor = 0xFF000000;
};

// As RenderItemXs, with each tile's colour given (AColors[i], read where Count > 0) and the
// style applied. The opacity scales the tiles, not the grout or the outline.
void RenderMosaic(const TItemXs& AItemXs, const std::vector<TAlphaColor>& AColors, int AWidth,
                  int AHeight, QImage& ADest, float AOpacity, const TPaintStyle& AStyle);

// RenderMosaic's painting, for a destination held a band of rows at a time (vorm-cli's
// streaming path): the same pixels, whatever rows each call is given.
class TMosaicPainter {
public:
    // Taller bands than the plain painter's: fewer tiles straddle two, and each tile's shapes
    // are worked out once per band it reaches.
    static constexpr int kRows = 2 * kBandRows;

    // Keeps a reference to AItemXs, which must outlive it.
    TMosaicPainter(const TItemXs& AItemXs, const std::vector<TAlphaColor>& AColors, int AWidth,
                   int AHeight, float AOpacity, const TPaintStyle& AStyle);
    // Paints rows [AY0, AY1) into ARows, which holds row AY0 (APitch bytes a row). Calls for
    // rows apart may run at once.
    void paint(uchar* ARows, qsizetype APitch, int AY0, int AY1) const;

private:
    const TItemXs& FItems;
    int FWidth;
    double FGrout, FStroke;
    TPaint FGround, FPen;
    std::vector<TPaint> FPaint;
    TBandLists FBands;
};
