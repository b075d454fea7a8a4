// TGA codec: Truevision TGA 2.0 true-colour pictures of 24 or 32 bits, uncompressed or
// run-length compressed, with the extension area (author, job name, date stamp, key colour,
// pixel aspect and gamma). Colour-mapped and greyscale pictures and other depths are refused.
// 32-bit pixels are straight alpha unless the extension area says they are premultiplied.
#pragma once

#include "byte_reader.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>
#include <cstdint>

struct TRGB {
    uint8_t b = 0, g = 0, r = 0;
};

// The header stores each side in 16 bits.
constexpr int kTGAMaxSide = 65535;

// Days since 30 December 1899 start there: the date stamp of a new TTGAParamsVals.
QDateTime TGADateZero();

// A file's metadata, between the stream-level reader and writer and their file-level callers.
class TTGAParamsVals {
public:
    int Width = 0, Height = 0;
    int OriginalWidth = 0, OriginalHeight = 0;
    int BitsPerSample = 0;
    int SamplesPerPixel = 0;
    bool AlphaUsed = false;      // writer: 32-bit pixels with alpha, else 24-bit
    bool TGA_Compressed = false; // image type 10; the writer compresses 24-bit pixels only
    QByteArray TGA_Descriptor;   // the image ID
    QByteArray TGA_Author;
    QDateTime TGA_Date = TGADateZero(); // no time zone: the file's stamp has none
    QByteArray TGA_ImageName;           // the extension area's job name
    TRGB TGA_Background;                // the key colour
    double TGA_AspectRatio = 0;
    double TGA_Gamma = 0;
    uint8_t TGA_AttributesType = 0; // extension area byte 494; 4 is premultiplied alpha

    // Empties the three texts and leaves everything else.
    void ResetInfo();
};

// Reads a whole TGA file held in memory into ABitmap (which it replaces only on success) and
// AParams. Throws ECodecError with the reason when the picture cannot be read; ABitmap is then
// unchanged, while AParams may hold what was read of the metadata.
void ReadTGA(QByteArrayView AData, QImage& ABitmap, TTGAParamsVals& AParams);

// Writes ABitmap as a complete TGA file to AStream: 32-bit uncompressed when AParams.AlphaUsed,
// else 24-bit, run-length compressed when AParams.TGA_Compressed. Throws ECodecError with the
// reason when the picture does not fit the format, before anything is written.
void WriteTGA(const TByteSink& AStream, const QImage& ABitmap, TTGAParamsVals& AParams);

// File level: throw EVormError naming the file on any failure. A failed load leaves ABitmap and
// AAuthor as they were; a failed save leaves an earlier file of that name as it was.
void LoadTGAFile(const QString& AFileName, QImage& ABitmap, QString& AAuthor);
void SaveTGAFile(const QString& AFileName, const QImage& ABitmap, const QString& AAuthor,
                 bool AAlpha);
