#include "drivers.h"

#include "png_writer.h"
#include "render.h"
#include "sampling.h"
#include "svg.h"
#include "vorm_error.h"

namespace {

// Tiles, samples and paints into ADest unless it is null; the tile array is released on every
// path out. ASource is let go once it is sampled, so that a caller that hands over its only
// reference has the picture's memory back before the mosaic is painted.
template <typename After>
void RunPipeline(TBitmapToItemXsInit AInit, float w, QImage ASource, QImage* ADest,
                 TColorConv AColorConv, float AOpacity, TProgress* AProgress, After&& AAfter) {
    const int W = ASource.width(), H = ASource.height();
    WithMemoryMessage(
        [&] {
            return QStringLiteral("Not enough memory to convert a %1 × %2 picture.").arg(W).arg(H);
        },
        [&] {
            TItemXs items;
            AInit(ASource, w, items);
            SampleItemXs(ASource, items, AProgress);
            ASource = QImage();
            if (ADest)
                RenderItemXs(items, W, H, *ADest, AColorConv, AOpacity);
            AAfter(items, W, H);
        });
}

} // namespace

void MosaicPreview(TBitmapToItemXsInit AInit, float w, const QImage& ASource, QImage& ADest,
                   TColorConv AColorConv, float AOpacity, TProgress* AProgress) {
    RunPipeline(AInit, w, ASource, &ADest, AColorConv, AOpacity, AProgress,
                [](const TItemXs&, int, int) {});
}

void MosaicSavePng(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                   QImage& ADest, TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                   TPngCompression ACompression) {
    RunPipeline(AInit, w, std::move(ASource), &ADest, AColorConv, AOpacity, AProgress,
                [&](const TItemXs&, int, int) {
                    TPngOptions options;
                    options.Compression = ACompression;
                    options.Cancel = AProgress;
                    WritePng(AFileName, ADest, options);
                });
}

void MosaicSaveSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w,
                   const QImage& ASource, QImage& ADest, TColorConv AColorConv, float AOpacity,
                   TProgress* AProgress, bool AColorConvOpaque) {
    RunPipeline(AInit, w, ASource, &ADest, AColorConv, AOpacity, AProgress,
                [&](const TItemXs& AItems, int W, int H) {
                    WriteItemXsSvg(AFileName, AItems, W, H, AColorConv, AOpacity, AColorConvOpaque);
                });
}

void MosaicWriteSvg(const QString& AFileName, TBitmapToItemXsInit AInit, float w, QImage ASource,
                    TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                    bool AColorConvOpaque) {
    RunPipeline(AInit, w, std::move(ASource), nullptr, AColorConv, AOpacity, AProgress,
                [&](const TItemXs& AItems, int W, int H) {
                    WriteItemXsSvg(AFileName, AItems, W, H, AColorConv, AOpacity, AColorConvOpaque);
                });
}

void MosaicWriteSvgTo(const TByteSink& ASink, TBitmapToItemXsInit AInit, float w, QImage ASource,
                      TColorConv AColorConv, float AOpacity, TProgress* AProgress,
                      bool AColorConvOpaque) {
    RunPipeline(AInit, w, std::move(ASource), nullptr, AColorConv, AOpacity, AProgress,
                [&](const TItemXs& AItems, int W, int H) {
                    WriteItemXsSvgTo(ASink, AItems, W, H, AColorConv, AOpacity, AColorConvOpaque);
                });
}

void MosaicWritePngTo(const TByteSink& ASink, const QString& AName, TBitmapToItemXsInit AInit,
                      float w, QImage ASource, TColorConv AColorConv, float AOpacity,
                      TProgress* AProgress, TPngCompression ACompression) {
    QImage painted;
    RunPipeline(AInit, w, std::move(ASource), &painted, AColorConv, AOpacity, AProgress,
                [&](const TItemXs&, int, int) {
                    TPngOptions options;
                    options.Compression = ACompression;
                    options.Cancel = AProgress;
                    WritePngData(ASink, painted, options, AName);
                });
}
