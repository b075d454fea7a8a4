// Decodes JPEG pictures straight into the bitmap's layout with libjpeg-turbo's TurboJPEG API:
// 8-bit greyscale, YCbCr and RGB, baseline, progressive or arithmetic-coded, turned upright by
// their EXIF orientation exactly as Qt's reader turns them. The pixels are those of Qt's reader,
// which decodes with the same library and settings, one conversion pass fewer. CMYK and YCCK
// pictures, and builds without libjpeg-turbo, are left to Qt.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// True when the build has the decoder.
bool JpegDecoderAvailable();

// True, with the picture in ABitmap (premultiplied ARGB32), when AData is a JPEG that this
// decoder takes; false, leaving ABitmap alone, for other data, which the caller gives to Qt.
// Data that make libjpeg warn (cut short, stray bytes) are left to Qt too, whose reader keeps
// some such pictures and refuses others. Throws ECodecError with the reason for damaged data,
// and EPictureTooBig, from the header's size before anything is allocated, for a picture that
// does not fit the memory budget.
bool DecodeJpeg(const QByteArray& AData, QImage& ABitmap);

// The same for a file whose content (not its name) says JPEG; false when it is no JPEG or
// cannot be opened, so that Qt's reader gives its own answer. Throws EVormError naming the file.
bool LoadJpegFile(const QString& AFileName, QImage& ABitmap);
