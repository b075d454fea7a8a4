// PSD codec. Reads the merged image of Photoshop documents (version 1): bitmap (1-bit),
// greyscale and RGB modes at 8 bits per channel, raw or PackBits-compressed, with an alpha
// channel when there is one; layers are skipped. Writes a bitmap as a flat 8-bit RGB document.
#pragma once

#include "byte_reader.h"

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

// Version 1 documents are at most 30000 pixels a side (larger ones are version 2, PSB), which
// also keeps every packed row's byte count within its 16 bits.
constexpr int kPSDMaxSide = 30000;
// Photoshop's own limit on the channels of a document.
constexpr int kPSDMaxChannels = 56;

// The header fields that the reader uses.
struct TPSDFile {
    uint16_t ColorMode = 0; // 0 bitmap, 1 greyscale, 3 RGB
    uint16_t Depth = 0;     // bits per channel: 1 or 8
    uint16_t Channels = 0;
    int Width = 0;
    int Height = 0;
};

// Reads a whole document held in memory into ABitmap, which then holds the merged image. Throws
// ECodecError with the reason when the document is refused; ABitmap is then unchanged.
void LoadPSDData(QByteArrayView AData, QImage& ABitmap);

// As LoadPSDData for a file; every EVormError it throws names the file.
void LoadPSDFile(const QString& AFileName, QImage& ABitmap);

// Writes ABitmap as an 8-bit RGB document, PackBits-compressed, without alpha. Throws
// ECodecError with the reason when the picture does not fit the format, before writing anything.
void WritePSD(const TByteSink& AStream, const QImage& ABitmap);

// Writes the file all or nothing and returns true; throws EVormError naming the file on any
// failure, leaving an earlier file of that name as it was.
bool SavePSDFile(const QString& AFileName, const QImage& ABitmap);

// Appends one row of ACount bytes packed as the writer packs it: runs of 4 or more equal bytes
// as repeat packets, everything else as literals of at most 128 bytes.
void PackBitsRow(const uint8_t* ARow, int ACount, std::vector<uint8_t>& AOut);
