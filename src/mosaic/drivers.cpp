#include "drivers.h"

#include "png_writer.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "vorm_error.h"

namespace {

// Tiles, samples and paints; the tile array is released on every path out.
template <typename After>
void RunPipeline(TBitmapToItemXsInit AInit, float w, const QImage& ASource, QImage& ADest,
                 TColorConv AColorConv, float AOpacity, TProgress* AProgress, After&& AAfter) {
    WithMemoryMessage(
        [&] {
            return QStringLiteral("Not enough memory to convert a %1 × %2 picture.")
                .arg(ASource.width())
                .arg(ASource.height());
        },
        [&] {
            TItemXs items;
            AInit(ASource, w, items);
            SampleItemXs(ASource, items, AProgress);
            RenderItemXs(items, ASource.width(), ASource.height(), ADest, AColorConv, AOpacity);
            AAfter(items);
        });
}

} // namespace

void MosaicPreview(TBitmapToItemXsInit AInit, float w, const QImage& ASource, QImage& ADest,
                   TColorConv AColorConv, float AOpacity, TProgress* AProgress) {
    RunPipeline(AInit, w, ASource, ADest, AColorConv, AOpacity, AProgress, [](const TItemXs&) {});
}

void MosaicSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   const QImage& ASource, QImage& ADest, TColorConv AColorConv, float AOpacity,
                   TProgress* AProgress) {
    RunPipeline(AInit, w, ASource, ADest, AColorConv, AOpacity, AProgress, [&](const TItemXs&) {
        TPngOptions options;
        options.Cancel = AProgress;
        WritePng(AFileName, ADest, options);
    });
}

void MosaicSaveSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   const QImage& ASource, QImage& ADest, TColorConv AColorConv, float AOpacity,
                   TProgress* AProgress, bool AColorConvOpaque) {
    RunPipeline(AInit, w, ASource, ADest, AColorConv, AOpacity, AProgress,
                [&](const TItemXs& AItems) {
                    WriteItemXsSvg(AFileName, AItems, ASource.width(), ASource.height(), AColorConv,
                                   AOpacity, AColorConvOpaque);
                });
}
