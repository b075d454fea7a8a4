// The files beside the mosaic: the bill of materials (.csv or .json), the list of tiles (.json)
// and the cut lines (.svg); and the order in which the SVG writes its tiles.
#pragma once

#include "maker.h"

#include <functional>
#include <memory>
#include <string>

// Receives a document piece by piece, so that none needs its whole text in memory.
using TTextSink = std::function<void(const std::string&)>;

// The tiles that are written, in the order the SVG writes them: by colour in the list's order
// when grouped, otherwise in tile order.
std::vector<int32_t> SvgOrder(const TItemXs& AItems, const TTileColors& AColors, double AGrout);

struct TBomRow {
    TMakerColor Color;
    int64_t Whole = 0; // tiles wholly inside the picture
    int64_t Cut = 0;   // tiles the picture's edge cuts
    int64_t Area = 0;  // pixels
};

// One row per colour used: in the list's order, or without a list in the order of first use.
// A tile counts when it is written (pixels above 0, not taken away by the grout); it is cut when
// a corner of its written polygon lies outside the picture.
std::vector<TBomRow> BillOfMaterials(const TItemXs& AItems, const TTileColors& AColors,
                                     double AGrout, int AWidth, int AHeight);

// name,hex,code,whole_tiles,cut_tiles,tiles,area_px,share and a row for each colour.
std::string BomCsv(const std::vector<TBomRow>& ARows, int AWidth, int AHeight);
std::string BomJson(const std::vector<TBomRow>& ARows, int AWidth, int AHeight,
                    const QString& APaletteName);

// The picture's size, the shape and cell, and for each written tile (in SVG order) its corners
// at full float precision, colour, alpha and pixel count.
void EmitTilesJson(const TItemXs& AItems, const TTileColors& AColors, const TMakerOptions& AOpt,
                   const char* AShape, float ACell, int AWidth, int AHeight,
                   const TTextSink& ASink);

// The cut lines of the written tiles (tile_edges.h); stopped as those are.
class TProgress;
std::string CutLinesText(const TItemXs& AItems, const TTileColors& AColors, double AGrout,
                         int AWidth, int AHeight, const TProgress* AProgress = nullptr);

// Writes each side file that AOpt names, each all or nothing, and returns without committing
// them: the caller commits the files in the list once the mosaic itself is written, so that a
// failure before then leaves nothing. Throws ECanceled when AProgress asks to stop, which it is
// asked between the files and every megabyte of the list of tiles.
class TAtomicFile;
std::vector<std::unique_ptr<TAtomicFile>>
PrepareSideFiles(const TItemXs& AItems, const TTileColors& AColors, const TMakerOptions& AOpt,
                 TBitmapToItemXsInit AInit, float ACell, int AWidth, int AHeight,
                 const TProgress* AProgress = nullptr);
