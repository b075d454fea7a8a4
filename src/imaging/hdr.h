// Radiance HDR reader: RGBE pictures in run-length scanlines, rows top to bottom (-Y h +X w),
// turned into an 8-bit bitmap by a global tone mapping: the picture's mean luminance goes to
// 0.18, each component is compressed with v / (v + 1) and corrected with the file's gamma.
// Flat (unpacked) scanlines, other orientations and XYZE pictures are refused. No writer.
#pragma once

#include "byte_reader.h"

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <cstdint>
#include <vector>

// Beyond any real Radiance picture (a run-length scanline's width has 15 bits). The reader holds
// 24 bytes per pixel before the tone mapping; the memory budget decides how many it may hold.
constexpr int kHDRMaxSide = 32768;

struct THDRColor {
    double R = 0, G = 0, B = 0;
};

// One scanline's four components.
class THDRBuf {
public:
    explicit THDRBuf(int AWidth)
        : R(size_t(AWidth)), G(size_t(AWidth)), B(size_t(AWidth)), E(size_t(AWidth)) {}
    THDRColor RowColor(int i) const;
    std::vector<uint8_t> R, G, B, E;
};

class THDRRec {
public:
    explicit THDRRec(int AWidth) : RGB(size_t(AWidth)) {}
    // Decodes one scanline; false for a flat line, one of another width, or damaged data.
    bool RGBERead(TByteReader& AStream, int AWidth, THDRBuf& Buffer);
    double L = 0; // the sum of the line's luminance
    std::vector<THDRColor> RGB;
};

class THDRRecArray {
public:
    THDRRecArray(int AWidth, int AHeight);
    bool RGBERead(TByteReader& AStream, int ALine) {
        return Lines[size_t(ALine)].RGBERead(AStream, int(Width), Buffer);
    }
    uint32_t Width, Height;
    std::vector<THDRRec> Lines;
    THDRBuf Buffer;
};

struct THDRHeader {
    int64_t Width = 0, Height = 0;
    double Gamma = 2.2;
};

// Reads the header from the start of AStream and leaves AStream at the first scanline. Throws
// ECodecError with the reason for a header that is not a run-length RGBE picture read top to
// bottom, or whose GAMMA value is not a number; AHeader's sizes are then 0.
void ReadHDRHeader(TByteReader& AStream, THDRHeader& AHeader);

// Decodes one run-length component of exactly AWidth bytes into AOut (at least AWidth long).
// False when the data end first or a packet would pass the end of the component.
bool ReadRLEComponent(int AWidth, TByteReader& AStream, std::vector<uint8_t>& AOut);

// Reads a whole file held in memory into ABitmap, which then holds the tone-mapped picture.
// Throws ECodecError with the reason when the file is refused: with ABitmap unchanged when the
// header or the size was refused; with ABitmap replaced when a scanline was damaged, the lines
// before it tone-mapped and the rest black.
void LoadHDRData(QByteArrayView AData, QImage& ABitmap);

// As LoadHDRData for a file; every EVormError it throws names the file.
void LoadHDRFile(const QString& AFileName, QImage& ABitmap);
