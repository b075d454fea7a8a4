// The GIF reader, through giflib: the first frame, on the logical screen, which is the picture.
// What the frame does not cover, and its pixels of the transparent colour, are transparent black
// (browsers leave them clear too; Pillow paints the background colour outside the frame). Indices
// past the colour table are opaque black, as Pillow makes them.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>

// True when AData start as a GIF file does ("GIF87a" or "GIF89a").
bool IsGif(QByteArrayView AData);

// The first picture in the GIF data AData, premultiplied ARGB32. Throws ECodecError with the
// reason when the data are no GIF, are damaged, hold no picture or end before its first row,
// or when the screen or the frame is larger than the file's bytes could fill, before anything
// is allocated for it; EPictureTooBig when the picture does not fit the memory budget. When
// the data end inside the frame, AWarning becomes the reason for the warning, without the file
// name ("57 of its 200 rows are read; the rest is transparent"); otherwise it is emptied.
QImage ReadGif(QByteArrayView AData, QString& AWarning);
