#include "jpeg_decoder.h"

#include "codec_support.h"
#include "memory_budget.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>
#include <climits>
#include <memory>
#include <new>

#ifndef VORM_HAVE_TURBOJPEG
#define VORM_HAVE_TURBOJPEG 0
#endif
#if VORM_HAVE_TURBOJPEG
#include "jpeg_lib.h"

#include <vector>
#endif

namespace {

// Start of image, then the first marker.
bool IsJpeg(const char* AData, qsizetype ASize) {
    return ASize >= 3 && uchar(AData[0]) == 0xFF && uchar(AData[1]) == 0xD8 &&
           uchar(AData[2]) == 0xFF;
}

#if VORM_HAVE_TURBOJPEG

// The turn that Qt's reader gives the picture: it reads the EXIF orientation itself, from the
// header alone, so the two cannot differ.
QImageIOHandler::Transformations Orientation(const QByteArray& AData) {
    QByteArray data = AData; // shared, not copied
    QBuffer buffer(&data);
    if (!buffer.open(QIODevice::ReadOnly))
        return QImageIOHandler::TransformationNone;
    QImageReader reader(&buffer, "jpeg");
    return reader.transformation();
}

// As Qt's reader applies it: mirror and flip first, then a quarter turn clockwise; a turn of
// 270 degrees alone.
QImage Turned(QImage AImage, QImageIOHandler::Transformations AHow) {
    if (AHow == QImageIOHandler::TransformationNone)
        return AImage;
    if (AHow == QImageIOHandler::TransformationRotate270)
        return AImage.transformed(QTransform().rotate(270));
    const bool mirror = AHow & QImageIOHandler::TransformationMirror;
    const bool flip = AHow & QImageIOHandler::TransformationFlip;
    if (mirror || flip)
        AImage = std::move(AImage).mirrored(mirror, flip);
    if (AHow & QImageIOHandler::TransformationRotate90)
        AImage = AImage.transformed(QTransform().rotate(90));
    return AImage;
}

#endif

} // namespace

bool JpegDecoderAvailable() {
    return VORM_HAVE_TURBOJPEG;
}

bool DecodeJpeg(const QByteArray& AData, QImage& ABitmap) {
    if (!IsJpeg(AData.constData(), AData.size()))
        return false;
#if VORM_HAVE_TURBOJPEG
    TJpegDecompressor d;
    jpeg_decompress_struct& c = d.Info;
    // libjpeg counts bytes in an unsigned long; picture files are far smaller.
    if (!BeginJpeg(&d, reinterpret_cast<const unsigned char*>(AData.constData()),
                   static_cast<unsigned long>(AData.size())))
        JpegFailed(d.Errors);
    if (d.Errors.DataEnded)
        Fail(QStringLiteral("the file is cut short in its header"));
    qint64 coefficients = 0;
    if (!PrepareJpegDecoding(c, coefficients))
        return false;
    const qint64 W = c.image_width, H = c.image_height;
    // Within the memory budget, as Qt's reader is, before anything is allocated: the bitmap, and
    // the coefficients of a progressive file.
    QImage image =
        AllocateBitmap(int(W), int(H), kBitmapFormat, (coefficients + W * H - 1) / (W * H));
    if (!StartJpeg(&d)) // a progressive file is read whole here
        JpegFailed(d.Errors);
    if (EndedBeforeFirstRow(d.Errors))
        JpegEndedBeforeFirstRow();
    std::vector<JSAMPROW> rows(static_cast<size_t>(H));
    for (qint64 y = 0; y < H; ++y)
        rows[size_t(y)] = image.scanLine(int(y));
    bool read = false;
    FillMappingPagesAhead(image, [&] { read = ReadJpegRows(&d, rows.data(), 0, c.output_height); });
    if (!read)
        JpegFailed(d.Errors);
    if (EndedBeforeFirstRow(d.Errors))
        JpegEndedBeforeFirstRow();
    if (!d.Errors.DataEnded && !FinishJpeg(&d))
        JpegDamaged(d.Errors.Message);
    image = Turned(std::move(image), Orientation(AData));
    if (image.isNull())
        Fail(QStringLiteral("there is not enough memory to turn the picture upright"));
    ABitmap = std::move(image);
    return true;
#else
    Q_UNUSED(ABitmap);
    return false;
#endif
}

bool LoadJpegFile(const QString& AFileName, QImage& ABitmap) {
    if (!JpegDecoderAvailable())
        return false;
    {
        QFile file(AFileName);
        char head[3];
        if (!file.open(QIODevice::ReadOnly) || file.read(head, 3) != 3 || !IsJpeg(head, 3))
            return false;
    }
    return ForFile(TFileAction::Read, AFileName,
                   [&] { return DecodeJpeg(ReadPictureFile(AFileName), ABitmap); });
}
