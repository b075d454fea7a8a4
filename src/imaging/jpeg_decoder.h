// Decodes JPEG pictures straight into the bitmap's layout with libjpeg-turbo's scanline API: 8-bit
// greyscale, YCbCr and RGB, baseline, progressive or arithmetic-coded, with any sampling factors
// that libjpeg takes (1×3 and the like too), turned upright by their EXIF orientation exactly as
// Qt's reader turns them. The settings are Qt's reader's (and TurboJPEG's): the accurate inverse
// DCT and smooth upsampling, so the pixels are those of Qt's reader, one conversion pass fewer.
// CMYK and YCCK pictures, and builds without libjpeg-turbo, are left to Qt.
//
// Data cut short (or with stray bytes) are read as libjpeg reads them, as Qt's reader did: what
// is missing comes out grey, or blurred in a progressive file. Data that end before the first
// row of blocks is whole are refused, since nothing of the picture would come out.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// True when the build has the decoder.
bool JpegDecoderAvailable();

// True, with the picture in ABitmap (premultiplied ARGB32), when AData is a JPEG that this
// decoder takes; false, leaving ABitmap alone, for other data, which the caller gives to Qt.
// Throws ECodecError with the reason for damaged data or data that end before the first row of
// blocks, and EPictureTooBig, from the header's size (and, for progressive files, the
// coefficients libjpeg keeps) before anything is allocated, for a picture that does not fit the
// memory budget.
bool DecodeJpeg(const QByteArray& AData, QImage& ABitmap);

// The same for a file whose content (not its name) says JPEG; false when it is no JPEG or
// cannot be opened, so that Qt's reader gives its own answer. Throws EVormError naming the file.
bool LoadJpegFile(const QString& AFileName, QImage& ABitmap);
