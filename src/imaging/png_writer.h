// Writes a premultiplied ARGB32 bitmap as an 8-bit RGBA PNG, fast: rows are turned into
// straight colour and filtered in strips on all threads, each strip deflated on its own and the
// pieces joined into one zlib stream, as parallel gzip does. The bitmap is never copied whole.
// Deflate is ISA-L's where the build has it, zlib's otherwise and for the smallest file.
#pragma once

#include "codec_support.h"
#include "progress.h"

#include <QImage>
#include <QString>
#include <memory>

enum class TPngCompression {
    // ISA-L level 1, each row filtered Up or Sub by a cheap count. On the 20 MP photo's hexagon
    // mosaic: 14 % larger than Zlib at a tenth of its time. Built without ISA-L: Zlib.
    Fast,
    // zlib level 6, each row's filter the best of None, Sub and Up: the files this writer made
    // before it had ISA-L, byte for byte.
    Zlib,
    // zlib level 9, filters as Zlib: 6 % smaller than Zlib at five times its time.
    Best,
};

struct TPngOptions {
    TPngCompression Compression = TPngCompression::Fast;
    const TProgress* Cancel = nullptr; // asked between strips; a cancel throws ECanceled
};

// True when Fast compresses with ISA-L.
bool PngFastDeflateIsIsal();

// The whole file, to ASink (which throws EVormError when it cannot write). Throws EVormError
// for an empty picture, naming AFileName, and ECanceled.
void WritePngData(const TByteSink& ASink, const QImage& ABitmap, const TPngOptions& AOptions,
                  const QString& AFileName);

// Written atomically, so a failed or cancelled save leaves nothing; throws EVormError naming
// the file and the reason.
void WritePng(const QString& AFileName, const QImage& ABitmap, const TPngOptions& AOptions = {});

// The same file from rows that come in order, a window of whole strips at a time, for a caller
// that never holds the whole bitmap: the caller fills rows [first(), end()) through scanLine
// (premultiplied ARGB32) and calls rowsDone, which deflates them and writes them to the sink,
// until first() reaches the height. The bytes are those WritePngData makes of the same pixels.
// Throws as WritePngData does.
class TPngRowWriter {
public:
    TPngRowWriter(TByteSink ASink, int AWidth, int AHeight, const TPngOptions& AOptions,
                  const QString& AFileName);
    ~TPngRowWriter();
    int first() const { return FFirst; }
    int end() const { return FEnd; }
    uchar* scanLine(int y); // y in [first(), end())
    qsizetype bytesPerLine() const { return FPitch; }
    void rowsDone();

    struct TImpl;

private:
    std::unique_ptr<TImpl> F;
    std::unique_ptr<uchar[]> FBuffer; // the row above the window, then the window's rows
    qsizetype FPitch = 0;
    int FFirst = 0, FEnd = 0;
};
