#include "drivers.h"

#include "atomic_file.h"
#include "maker_outputs.h"
#include "png_writer.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "vorm_error.h"

namespace {

// What the pipeline hands on after painting: the tiles, the picture's size and, with maker
// options, the tiles' mapped colours.
struct TPipelineResult {
    const TItemXs& Items;
    int W, H;
    const TTileColors* Colors; // null without maker options
};

TPaintStyle StyleOf(const TMakerOptions& AMaker) {
    return {AMaker.Grout, AMaker.GroutColor, AMaker.Outline, AMaker.OutlineColor};
}

// Tiles, samples, maps the colours (with maker options) and paints into ADest unless it is null;
// the tile array is released on every path out. ASource is let go once it is sampled, so that a
// caller that hands over its only reference has the picture's memory back before the mosaic is
// painted. Without maker options every step is the one of before.
// The report a caller asked for, made once the mosaic is done with the tiles.
void Report(TMakerReport* AReport, TItemXs& AItems, const TTileColors* AColors,
            TColorConv AColorConv, const TMakerOptions& AMaker, int W, int H,
            TProgress* AProgress) {
    if (!AReport)
        return;
    AReport->Colors = AColors ? *AColors : MapTileColors(AItems, AColorConv, AMaker, AProgress);
    AReport->Bom = BillOfMaterials(AItems, AReport->Colors, AMaker.Grout, W, H);
    AReport->Width = W;
    AReport->Height = H;
    AReport->Items = std::move(AItems);
}

template <typename After>
void RunPipeline(TBitmapToItemXsInit AInit, float w, QImage ASource, QImage* ADest,
                 TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                 const TMakerOptions& AMaker, After&& AAfter, TMakerReport* AReport = nullptr) {
    const int W = ASource.width(), H = ASource.height();
    WithConversionMemory(W, H, [&] {
        TItemXs items;
        AInit(ASource, w, items);
        SampleItemXs(ASource, items, AProgress);
        ASource = QImage();
        if (!AMaker.any()) {
            if (ADest)
                RenderItemXs(items, W, H, *ADest, AColorConv, AOpacity);
            AAfter(TPipelineResult{items, W, H, nullptr});
            Report(AReport, items, nullptr, AColorConv, AMaker, W, H, AProgress);
            return;
        }
        const TTileColors colors = MapTileColors(items, AColorConv, AMaker, AProgress);
        if (ADest) {
            if (AMaker.changesPicture())
                RenderMosaic(items, colors.Color, W, H, *ADest, AOpacity, StyleOf(AMaker));
            else
                RenderItemXs(items, W, H, *ADest, AColorConv, AOpacity);
        }
        AAfter(TPipelineResult{items, W, H, &colors});
        Report(AReport, items, &colors, AColorConv, AMaker, W, H, AProgress);
    });
}

// Writes the mosaic through AWriteMosaic with the side files around it: they are written first
// and published only once the mosaic is, so that a failure before then leaves nothing, and a
// stop request after then still publishes them all.
template <typename WriteMosaic>
void WithSideFiles(const TPipelineResult& R, const TMakerOptions& AMaker, TBitmapToItemXsInit AInit,
                   float w, TProgress* AProgress, WriteMosaic&& AWriteMosaic) {
    std::vector<std::unique_ptr<TAtomicFile>> side;
    if (R.Colors)
        side = PrepareSideFiles(R.Items, *R.Colors, AMaker, AInit, w, R.W, R.H, AProgress);
    AWriteMosaic();
    for (auto& f : side)
        f->commitWithoutStop();
}

void WriteSvgOf(const QString& AFileName, const TPipelineResult& R, TColorConv AColorConv,
                float AOpacity, bool AColorConvOpaque, const TMakerOptions& AMaker,
                TProgress* AProgress) {
    if (R.Colors && AMaker.changesPicture())
        WriteMakerSvg(AFileName, R.Items, R.W, R.H, *R.Colors, AMaker, AOpacity, AColorConvOpaque,
                      AProgress);
    else
        WriteItemXsSvg(AFileName, R.Items, R.W, R.H, AColorConv, AOpacity, AColorConvOpaque,
                       AProgress);
}

} // namespace

void MosaicPreview(TBitmapToItemXsInit AInit, float w, const QImage& ASource, QImage& ADest,
                   TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   const TMakerOptions& AMaker, TMakerReport* AReport) {
    // A preview writes no side files.
    TMakerOptions picture = AMaker;
    picture.BomFile.clear();
    picture.TilesFile.clear();
    picture.CutLinesFile.clear();
    RunPipeline(
        AInit, w, ASource, &ADest, AColorConv, AOpacity, AProgress, picture,
        [](const TPipelineResult&) {}, AReport);
}

void MosaicSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                   QImage& ADest, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression, const TMakerOptions& AMaker,
                   TMakerReport* AReport) {
    RunPipeline(
        AInit, w, std::move(ASource), &ADest, AColorConv, AOpacity, AProgress, AMaker,
        [&](const TPipelineResult& R) {
            WithSideFiles(R, AMaker, AInit, w, AProgress, [&] {
                TPngOptions options;
                options.Compression = ACompression;
                options.Cancel = AProgress;
                WritePng(AFileName, ADest, options);
            });
        },
        AReport);
}

void MosaicSaveSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   const QImage& ASource, QImage& ADest, TColorConv AColorConv, float AOpacity,
                   TProgress* AProgress, bool AColorConvOpaque, const TMakerOptions& AMaker,
                   TMakerReport* AReport) {
    RunPipeline(
        AInit, w, ASource, &ADest, AColorConv, AOpacity, AProgress, AMaker,
        [&](const TPipelineResult& R) {
            WithSideFiles(R, AMaker, AInit, w, AProgress, [&] {
                WriteSvgOf(AFileName, R, AColorConv, AOpacity, AColorConvOpaque, AMaker, AProgress);
            });
        },
        AReport);
}

void MosaicWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                    TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                    bool AColorConvOpaque, const TMakerOptions& AMaker) {
    RunPipeline(AInit, w, std::move(ASource), nullptr, AColorConv, AOpacity, AProgress, AMaker,
                [&](const TPipelineResult& R) {
                    WithSideFiles(R, AMaker, AInit, w, AProgress, [&] {
                        WriteSvgOf(AFileName, R, AColorConv, AOpacity, AColorConvOpaque, AMaker,
                                   AProgress);
                    });
                });
}

void MosaicWriteSvgTo(const TByteSink& ASink, TBitmapToItemXsInit AInit, float w, QImage ASource,
                      TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                      bool AColorConvOpaque, const TMakerOptions& AMaker) {
    RunPipeline(AInit, w, std::move(ASource), nullptr, AColorConv, AOpacity, AProgress, AMaker,
                [&](const TPipelineResult& R) {
                    WithSideFiles(R, AMaker, AInit, w, AProgress, [&] {
                        if (R.Colors && AMaker.changesPicture())
                            WriteMakerSvgTo(ASink, R.Items, R.W, R.H, *R.Colors, AMaker, AOpacity,
                                            AColorConvOpaque);
                        else
                            WriteItemXsSvgTo(ASink, R.Items, R.W, R.H, AColorConv, AOpacity,
                                             AColorConvOpaque);
                    });
                });
}

void MosaicWritePngTo(const TByteSink& ASink, const QString& AName, TBitmapToItemXsInit AInit,
                      float w, QImage ASource, TColorConv AColorConv, float AOpacity,
                      TProgress* AProgress, TPngCompression ACompression,
                      const TMakerOptions& AMaker) {
    QImage painted;
    RunPipeline(AInit, w, std::move(ASource), &painted, AColorConv, AOpacity, AProgress, AMaker,
                [&](const TPipelineResult& R) {
                    WithSideFiles(R, AMaker, AInit, w, AProgress, [&] {
                        TPngOptions options;
                        options.Compression = ACompression;
                        options.Cancel = AProgress;
                        WritePngData(ASink, painted, options, AName);
                    });
                });
}
