// Writes a premultiplied ARGB32 bitmap as an 8-bit RGBA PNG, fast: rows are turned into
// straight colour and filtered in strips on all threads, each strip deflated on its own and the
// pieces joined into one zlib stream, as parallel gzip does. The bitmap is never copied whole.
#pragma once

#include <QImage>
#include <QString>

#include "mosaic_model.h"

struct TPngOptions {
    int Level = 1; // zlib level: 1 is fast, and flat mosaic tiles still shrink well
    const TProgress* Cancel = nullptr; // asked between strips; a cancel throws ECanceled
};

// Written atomically, so a failed or cancelled save leaves nothing; throws EVormError naming
// the file and the reason.
void WritePng(const QString& AFileName, const QImage& ABitmap, const TPngOptions& AOptions = {});
