// The PNG reader, through libspng: every colour type and bit depth, interlaced or not, with
// transparency from tRNS in each form. libspng gives each scanline as the file stores it and the
// reader makes the pixels itself, by the PNG format's own rules: a tRNS value is compared with the
// sample at the image's bit depth (its higher bits masked off), 16-bit samples become 8 bits by
// round(v / 257), and colour is then premultiplied by alpha as Qt does it. Gamma, sBIT and
// colour profiles are not applied, as Qt's reader did not apply them.
//
// A file cut short is read as far as its data go; a damaged one is refused with what is
// damaged.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <memory>
#include <optional>

// True when AData starts with the PNG signature.
bool IsPng(QByteArrayView AData);

// True when ADevice, read from its start, holds a PNG signature and ends before its IEND chunk
// does. Only the chunks' headers are read.
bool IsPngCutShort(QIODevice& ADevice);
bool IsPngCutShort(QByteArrayView AData);

// What a PNG's first 33 bytes (signature and IHDR) say: its size, whether its samples have 16
// bits, and the least number of bytes any file of that picture can take, as deflate packs at
// most 1032 bytes into one. Empty when they are not a PNG's.
struct TPngHeader {
    qint64 Width = 0, Height = 0;
    bool Deep = false;
    qint64 LeastFileBytes = 0;
};
std::optional<TPngHeader> ReadPngHeader(QByteArrayView AHead);
// Throws ECodecError when the header in AHead declares a picture that a file of AFileBytes
// bytes cannot hold even at the densest compression.
void CheckPngFileHolds(QByteArrayView AHead, qint64 AFileBytes);

// The picture in the PNG data AData, premultiplied ARGB32. Throws ECodecError with the reason
// when the data are no PNG, are damaged, or are cut short before the first row; EPictureTooBig
// when the picture does not fit the memory budget, before anything large is allocated. For
// data cut short, AWarning becomes the reason for the warning, without the file name ("57 of
// its 200 rows are read; the rest is transparent"); otherwise it is emptied.
QImage ReadPng(QByteArrayView AData, QString& AWarning);

// The pixel rules above for a reader that goes one scanline at a time (png_rows.h): scanlines
// as libspng gives them with SPNG_FMT_PNG, to premultiplied ARGB32.
struct spng_ctx;
struct spng_ihdr;
class TPngRowPixels {
public:
    TPngRowPixels(spng_ctx* ACtx, const spng_ihdr& AHeader);
    ~TPngRowPixels();
    static size_t scanlineBytes(const spng_ihdr& AHeader);
    void convert(const uint8_t* AIn, uint32_t AWidth, QRgb* AOut) const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

// The reason ReadPng gives for libspng's error ACode.
QString PngDamageReason(int ACode);
