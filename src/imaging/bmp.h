// The BMP reader, the program's own: core (OS/2 1.x), OS/2 2.x, and Windows 3 to V5 headers;
// 1, 2, 4, 8, 16, 24 and 32 bits a pixel, bottom-up or top-down; palettes shorter than their
// depth; BI_BITFIELDS and BI_ALPHABITFIELDS masks of any width, each channel scaled to 8 bits by
// round(v × 255 / max); RLE4 and RLE8. Files that hold a JPEG or PNG picture are refused.
//
// Pixel indices past the palette are opaque black, as Pillow and image-rs make them. Pixels that
// RLE data skip are transparent. Rows that the file's data do not reach are transparent too,
// with a warning.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>

// True when AData start as a BMP file does ("BM").
bool IsBmp(QByteArrayView AData);

// The picture in the BMP data AData, premultiplied ARGB32. Throws ECodecError with the reason
// when the data are no BMP, are damaged or hold nothing to show; EPictureTooBig when the
// picture does not fit the memory budget, before anything large is allocated. When the data end
// before the picture does, AWarning becomes the reason for the warning, without the file name
// ("57 of its 200 rows are read; the rest is transparent"); otherwise it is emptied.
QImage ReadBmp(QByteArrayView AData, QString& AWarning);
