// PNG files that Qt's decoder refuses whole: whether a file is cut short, found from its chunks,
// and the rows such a file holds, read with libspng as far as they go. Also the least number of
// bytes a PNG of a given size can take, to refuse a header whose file cannot hold its picture.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QImage>
#include <QString>
#include <optional>

// True when ADevice, read from its start, holds a PNG signature and ends before its IEND chunk
// does. Only the chunks' headers are read.
bool IsPngCutShort(QIODevice& ADevice);

// What a PNG's first 33 bytes (signature and IHDR) say: its size, whether its samples have 16
// bits, and the least number of bytes any file of that picture can take, as deflate packs at
// most 1032 bytes into one. Empty when they are not a PNG's.
struct TPngHeader {
    qint64 Width = 0, Height = 0;
    bool Deep = false;
    qint64 LeastFileBytes = 0;
};
std::optional<TPngHeader> ReadPngHeader(QByteArrayView AHead);

// What a cut-short PNG holds: its rows as far as the data go, transparent beyond. Throws
// ECodecError when not even one row can be read, EPictureTooBig when the picture does not fit
// the memory budget. AWarning becomes the reason for the warning, without the file name:
// "57 of its 200 rows are read; the rest is transparent".
QImage ReadCutShortPng(QByteArrayView AData, QString& AWarning);
