#include "jpeg_decoder.h"

#include "codec_support.h"
#include "memory_budget.h"
#include "parallel.h"
#include "platform.h"

#include <QBuffer>
#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QTransform>
#include <memory>
#include <new>

#ifndef VORM_HAVE_TURBOJPEG
#define VORM_HAVE_TURBOJPEG 0
#endif
#if VORM_HAVE_TURBOJPEG
#include <turbojpeg.h>
#endif

namespace {

// Start of image, then the first marker.
bool IsJpeg(const char* AData, qsizetype ASize) {
    return ASize >= 3 && uchar(AData[0]) == 0xFF && uchar(AData[1]) == 0xD8 &&
           uchar(AData[2]) == 0xFF;
}

#if VORM_HAVE_TURBOJPEG

[[noreturn]] void Damaged(const char* AWhy) {
    Fail(QStringLiteral("the JPEG data are damaged (%1)").arg(QString::fromUtf8(AWhy)));
}

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
    const std::unique_ptr<void, int (*)(tjhandle)> tj(tjInitDecompress(), tjDestroy);
    if (!tj)
        throw std::bad_alloc();
    const auto* bytes = reinterpret_cast<const unsigned char*>(AData.constData());
    // TurboJPEG counts bytes in an unsigned long; picture files are far smaller.
    const unsigned long size = static_cast<unsigned long>(AData.size());
    int W = 0, H = 0, subsampling = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.get(), bytes, size, &W, &H, &subsampling, &colorspace) != 0) {
        if (tjGetErrorCode(tj.get()) == TJERR_WARNING)
            return false; // see below
        Damaged(tjGetErrorStr2(tj.get()));
    }
    // Four channels from four-channel data would need Qt's handling of inverted Adobe files.
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK)
        return false;
    if (W <= 0 || H <= 0)
        Damaged("no picture size");
    // Within the memory budget, as Qt's reader is, before anything is allocated.
    QImage image = AllocateBitmap(W, H);
    // Qt's reader decodes with libjpeg's defaults too: the accurate inverse DCT and smooth
    // upsampling. BGRA fills the fourth byte with 255, so the pixels are premultiplied as they
    // come. A progressive file of more than 500 scans, made only to stall a decoder, is refused.
    //
    // The kernel maps a fresh page when it is first written, at about 2 µs a page here, a third
    // of libjpeg's time for a photo; the second core maps them while libjpeg fills the first.
    // (Huge pages map faster, but cost far more than that in a process started after a pause.)
    uchar* const pixels = image.bits();
    int rc = 0;
    ParallelFor(2, [&](int AItem) {
        if (AItem == 0)
            rc = tjDecompress2(tj.get(), bytes, size, pixels, W, int(image.bytesPerLine()), H,
                               TJPF_BGRA, TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING);
        else
            MapPagesAhead(pixels, size_t(image.sizeInBytes()));
    });
    if (rc != 0) {
        // Qt's reader keeps a picture after a warning (data cut short, stray bytes), but not
        // after an error that follows one, and TurboJPEG reports both as a warning. Such rare
        // files go to Qt's reader, which then decides as it always has.
        if (tjGetErrorCode(tj.get()) == TJERR_WARNING)
            return false;
        Damaged(tjGetErrorStr2(tj.get()));
    }
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
