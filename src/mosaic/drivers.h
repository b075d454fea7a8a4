// The engine's entry points: tile the picture, sample one colour sum per tile, paint the tiles
// into the destination and, for the save drivers, write the result. Nothing is cached between
// calls. Each takes the maker options (maker.h), none by default: the same options give the same
// mosaic in the window and in vorm-cli, and the save drivers also write the side files they name
// (a bill of materials, the tiles, cut lines), published only after the mosaic. Errors (an
// unwritable file, too little memory, a cancelled conversion) are thrown as EVormError after
// everything is released; a failed or cancelled save writes nothing.
#pragma once

#include "maker.h"
#include "maker_outputs.h"
#include "mosaic_model.h"
#include "png_writer.h"
#include "vorm_error.h"

#include <QString>

// Runs a conversion of a W × H picture; running out of memory in it becomes the one message that
// says so, for the whole-picture drivers and the streaming ones alike.
template <typename Work> decltype(auto) WithConversionMemory(int W, int H, Work&& AWork) {
    return WithMemoryMessage(
        [&] {
            return QStringLiteral("Not enough memory to convert a %1 × %2 picture.").arg(W).arg(H);
        },
        std::forward<Work>(AWork));
}

// What a conversion leaves for a caller that shows its bill of materials and exports its tile
// list and cut lines later (the window): the tiles, their mapped colours and the bill.
struct TMakerReport {
    TItemXs Items;
    TTileColors Colors;
    std::vector<TBomRow> Bom;
    int Width = 0, Height = 0;
};

// AReport, when given, receives the report; without maker options the mosaic is still the plain
// one, and each distinct colour is a row of the bill.
void MosaicPreview(TBitmapToItemXsInit AInit, float w, const QImage& ASource, QImage& ADest,
                   TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   const TMakerOptions& AMaker = TMakerOptions(), TMakerReport* AReport = nullptr);

// ASource is let go once it is sampled: a caller that hands over its only reference (vorm-cli
// does) needs no memory for it while the mosaic is painted and written. ACompression: the window
// always takes the fast one; vorm-cli lets the user choose.
void MosaicSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                   QImage& ADest, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression = TPngCompression::Fast,
                   const TMakerOptions& AMaker = TMakerOptions(), TMakerReport* AReport = nullptr);

// AColorConvOpaque is the switch the caller sets for the two always-opaque treatments.
void MosaicSaveSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   const QImage& ASource, QImage& ADest, TColorConv AColorConv, float AOpacity,
                   TProgress* AProgress, bool AColorConvOpaque,
                   const TMakerOptions& AMaker = TMakerOptions(), TMakerReport* AReport = nullptr);

// As MosaicSaveSvg, but paints nothing: for a caller that shows no mosaic (vorm-cli), which then
// needs no bitmap beside the source. The document is the same. ASource is let go once sampled.
void MosaicWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                    TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                    bool AColorConvOpaque, const TMakerOptions& AMaker = TMakerOptions());

// As MosaicWriteSvg and MosaicSavePng, but the document goes to ASink as it is made, neither
// atomically nor moving anything aside: vorm-cli's standard output. A failure or cancel throws
// with part of the document sent; AName names the destination in messages.
void MosaicWriteSvgTo(const TByteSink& ASink, TBitmapToItemXsInit AInit, float w, QImage ASource,
                      TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                      bool AColorConvOpaque, const TMakerOptions& AMaker = TMakerOptions());
void MosaicWritePngTo(const TByteSink& ASink, const QString& AName, TBitmapToItemXsInit AInit,
                      float w, QImage ASource, TColorConv AColorConv, float AOpacity,
                      TProgress* AProgress, TPngCompression ACompression,
                      const TMakerOptions& AMaker = TMakerOptions());
