// The engine's entry points: tile the picture, sample one colour sum per tile, paint the tiles
// into the destination and, for the save drivers, write the result. Nothing is cached between
// calls. Each takes the maker options (maker.h), none by default: the same options give the same
// mosaic in the window and in vorm-cli, and the save drivers also write the side files they name
// (a bill of materials, the tiles, cut lines), published only after the mosaic. Errors (an
// unwritable file, too little memory, a cancelled conversion) are thrown as EVormError after
// everything is released; a failed or cancelled save writes nothing.
#pragma once

#include "maker.h"
#include "mosaic_model.h"
#include "png_writer.h"

#include <QString>

void MosaicPreview(TBitmapToItemXsInit AInit, float w, const QImage& ASource, QImage& ADest,
                   TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   const TMakerOptions& AMaker = TMakerOptions());

// ASource is let go once it is sampled: a caller that hands over its only reference (vorm-cli
// does) needs no memory for it while the mosaic is painted and written. ACompression: the window
// always takes the fast one; vorm-cli lets the user choose.
void MosaicSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                   QImage& ADest, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression = TPngCompression::Fast,
                   const TMakerOptions& AMaker = TMakerOptions());

// AColorConvOpaque is the switch the caller sets for the two always-opaque treatments.
void MosaicSaveSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   const QImage& ASource, QImage& ADest, TColorConv AColorConv, float AOpacity,
                   TProgress* AProgress, bool AColorConvOpaque,
                   const TMakerOptions& AMaker = TMakerOptions());

// As MosaicSaveSvg, but paints nothing: for a caller that shows no mosaic (vorm-cli), which then
// needs no bitmap beside the source. The document is the same. ASource is let go once sampled.
void MosaicWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                    TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                    bool AColorConvOpaque, const TMakerOptions& AMaker = TMakerOptions());
