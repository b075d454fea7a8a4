// One memory budget for every decoder, Qt's included. A picture is read only when converting it
// fits: its bitmap, the bitmaps that the caller's conversion holds beside it, and the engine's
// tiles. The program's own decoders allocate their bitmaps through AllocateBitmap, and Qt's
// decoders allocate theirs under the same limit (QImageReader's allocation limit), so a picture
// that does not fit is refused before anything large is allocated.
#pragma once

#include "codec_support.h"

#include <QImage>

// Half of the memory the machine has (PhysicalMemoryBytes), leaving the rest to the system and
// the programs beside; 4 GiB when the system does not say.
qint64 DefaultMemoryLimit();

// The budget in bytes; 0 goes back to the default. Qt's allocation limit follows it.
void SetMemoryLimit(qint64 ABytes);
qint64 MemoryLimit();

// Qt's decoders refuse any one image above their allocation limit: it follows the budget, so
// that they read what the budget allows and nothing larger. Called before Qt decodes.
void ApplyMemoryLimitToQt();

// How many bitmaps of the picture's size a conversion holds beside the picture itself: the
// window 2 (the mosaic shown and the one being painted, the default), vorm-cli 1 when it writes
// PNG and 0 when it writes SVG.
void SetConversionBitmaps(int ACount);

// What converting a W × H picture takes, in bytes; ADecodeBytesPerPixel are held beside the
// bitmap while it is decoded (the HDR reader's 24). Saturates instead of overflowing.
qint64 ConversionBytes(qint64 W, qint64 H, qint64 ADecodeBytesPerPixel = 0);

// A picture that does not fit the budget. Its message names the file: ""pano.jpg" is
// 40000 × 30000 pixels (1200 megapixels) and needs 10.8 GB to convert; this machine allows
// 11.7 GB."
class EPictureTooBig : public ECodecError {
public:
    EPictureTooBig(qint64 W, qint64 H, qint64 ANeed, qint64 ALimit);
    QString messageFor(TFileAction AAction, const QString& AFileName) const override;

private:
    qint64 FWidth, FHeight, FNeed, FLimit;
};

// Throws EPictureTooBig when a W × H picture does not fit the budget.
void CheckPictureFits(qint64 W, qint64 H, qint64 ADecodeBytesPerPixel = 0);

// A W × H bitmap (uninitialised) for a decoder, through Qt's allocator once the budget allows
// it. Throws EPictureTooBig, or ECodecError when the memory cannot be had.
QImage AllocateBitmap(int W, int H, QImage::Format AFormat = kBitmapFormat,
                      qint64 ADecodeBytesPerPixel = 0);

// "1200 megapixels", "9.6 GB", "750 MB": the figures of the messages, in decimal units. Sizes
// round up, allowances down, so that a refusal never reads as if the need fitted.
QString MegapixelsText(qint64 APixels);
QString BytesText(qint64 ABytes, bool ARoundUp);
