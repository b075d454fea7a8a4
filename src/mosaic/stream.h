// vorm-cli's streaming path: the picture comes a band of rows at a time (imaging/row_source.h)
// and the mosaic leaves a band at a time, so that neither is ever held whole.
//
//   rows ─▶ band of kBandRows rows ─▶ per-tile sums of the tile rows that reach the band
//        ─▶ (a tile row that no later band reaches) treated colours, 5 bytes a tile
//        ─▶ tile rows made again ─▶ painted strips ─▶ PNG strips deflated and written
//                                 └▶ SVG paths, in tile order
//
// The tile rows come from tile_rows.h, the sums from TRowSampler and the painting from
// PaintStrip: the same float corners, the same owner test and the same painter as the
// whole-picture drivers (drivers.h), so the SVG is the same byte for byte, and the PNG too.
// The maker options (palettes, dithering, grout) choose the colours from all the tiles: with any
// of them the tiles are held, with their sums, while the picture still streams in and the PNG
// out.
#pragma once

#include "maker.h"
#include "mosaic_model.h"
#include "png_writer.h"
#include "row_source.h"

#include <QString>

// True when the streaming path makes this mosaic: one of the seven tilings.
bool CanStreamMosaic(TBitmapToItemXsInit AInit);

// What the streaming path holds for a W × H picture beside its source's own state: its band
// buffers and, for PNG, 5 bytes a tile and the writer's strips; with maker options (AMaker),
// every tile and what the colours are chosen with. Throws EVormError for a cell the tilings
// refuse.
qint64 StreamMosaicBytes(TBitmapToItemXsInit AInit, float w, int W, int H, bool APng,
                         bool AMaker = false);

// As MosaicSavePng and MosaicWriteSvg (drivers.h), the files beside the mosaic included.
// Written atomically: a failed or cancelled conversion (AProgress, asked once a band) leaves no
// file.
void StreamSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   TRowSource& ASource, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression = TPngCompression::Fast,
                   const TMakerOptions& AMaker = TMakerOptions());
void StreamWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                    TRowSource& ASource, TColorConv AColorConv, float AOpacity,
                    TProgress* AProgress, bool AColorConvOpaque,
                    const TMakerOptions& AMaker = TMakerOptions());
