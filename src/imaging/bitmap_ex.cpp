#include "bitmap_ex.h"

#include "atomic_file.h"
#include "bmp.h"
#include "codec_support.h"
#include "gif.h"
#include "hdr.h"
#include "jpeg_decoder.h"
#include "jpeg_partial.h"
#include "memory_budget.h"
#include "platform.h"
#include "png_reader.h"
#include "psd.h"
#include "tga.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTransform>

namespace {

QString Extension(const QString& AFileName) {
    const QString name = QDir::fromNativeSeparators(AFileName);
    const QString last = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    QString ext = last.mid(dot);
    for (QChar& c : ext) // ASCII only: no locale may change what an extension means
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    return ext;
}

} // namespace

TBitmapFileKind GetBitmapFileKind(const QString& AFileName) {
    const QString ext = Extension(AFileName);
    if (ext == u".jpg" || ext == u".jpeg" || ext == u".png" || ext == u".bmp" || ext == u".gif")
        return bfkPlatform;
    if (ext == u".psd")
        return bfkPSD;
    if (ext == u".tga")
        return bfkTGA;
    if (ext == u".hdr")
        return bfkHDR;
    return bfkOther;
}

TFMXBitmapEx::TFMXBitmapEx(int AWidth, int AHeight)
    : Author(QStringLiteral("ORVANTE")), hasAlpha(true), FBitmap(AWidth, AHeight, kBitmapFormat) {
    FBitmap.fill(Qt::transparent);
}

namespace {

bool JpegCutShort(const QByteArray& AData) {
    QByteArray data = AData; // shared, not copied
    QBuffer buffer(&data);
    return buffer.open(QIODevice::ReadOnly) && IsJpegCutShort(buffer);
}

const QString kJpegCutShort =
    QStringLiteral("it is read as far as it goes, and what is missing comes out grey or blurred");

// What Qt's decoder holds beside the bitmap while it decodes into a deeper format.
qint64 DecodeBytesPerPixel(QImage::Format AFormat) {
    const int depth = QImage::toPixelFormat(AFormat).bitsPerPixel();
    return depth > 32 ? depth / 8 : 0;
}

// A picture through Qt's decoders, once the size its header declares has passed the memory
// budget: CMYK JPEGs, any JPEG in a build without libjpeg-turbo, and content that is none of the
// four formats, which Qt refuses in its own words.
QImage ReadQtPicture(const QString& AFileName, const QByteArray& AData, QString& AWarning) {
    QImageReader reader(AFileName);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    const QByteArray format = reader.format();
    if (size.isValid())
        CheckPictureFits(size.width(), size.height(), DecodeBytesPerPixel(reader.imageFormat()));
    ApplyMemoryLimitToQt();
    QImage image = reader.read();
    if (image.isNull() && reader.error() == QImageReader::UnsupportedFormatError) {
        // A PNG whose signature was changed (bytes added, lost or altered, as by a transfer in
        // text mode) still names its first chunk near the start.
        if (AData.left(24).contains("IHDR") || AData.left(8).contains("PNG"))
            Fail(QStringLiteral("its PNG signature is damaged"));
        Fail(QStringLiteral("it is not a JPEG, PNG, GIF or BMP picture"));
    }
    if (image.isNull())
        Fail(reader.errorString());
    if (format == "jpeg" && JpegCutShort(AData))
        AWarning = kJpegCutShort;
    return AsBitmap(std::move(image));
}

// A name whose extension the loader does not know, or that has none (vorm-cli's copy of standard
// input), is read by its content: PSD and HDR by their signatures, anything else that Qt's image
// plugins recognise (WebP and TIFF with Debian's qt6-image-formats-plugins) through Qt.
TBitmapFileKind KindByContent(const QString& AFileName) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        return bfkPlatform; // Qt says why
    const QByteArray head = file.read(16);
    if (head.startsWith("8BPS"))
        return bfkPSD;
    if (head.startsWith("#?RADIANCE") || head.startsWith("#?RGBE"))
        return bfkHDR;
    file.close();
    return head.isEmpty() || !QImageReader(AFileName).format().isEmpty() ? bfkPlatform : bfkOther;
}

// A JPEG, PNG, GIF or BMP picture, by its content: the program's own readers (libjpeg-turbo,
// libspng, giflib and its BMP reader) read it straight into the bitmap's layout, and set
// AWarning to what a picture that the file holds only in part lacks.
QImage ReadPlatformPicture(const QString& AFileName, QString& AWarning) {
    const QByteArray data = ReadPictureFile(AFileName);
    if (IsPng(data))
        return ReadPng(data, AWarning);
    if (IsGif(data))
        return ReadGif(data, AWarning);
    if (IsBmp(data))
        return ReadBmp(data, AWarning);
    if (QImage jpeg; DecodeJpeg(data, jpeg)) {
        if (JpegCutShort(data))
            AWarning = kJpegCutShort;
        return jpeg;
    }
    return ReadQtPicture(AFileName, data, AWarning);
}

QImage Rotated(const QImage& APicture, float ADegrees) {
    QImage rotated = APicture.transformed(QTransform().rotate(ADegrees), Qt::SmoothTransformation);
    if (rotated.isNull())
        Fail(QStringLiteral("there is not enough memory to rotate the picture"));
    return AsBitmap(std::move(rotated));
}

} // namespace

bool TFMXBitmapEx::LoadFromFileEx(const QString& AFileName, float Rotate) {
    FLastError.clear();
    FLastWarning.clear();
    // A FIFO would block the reader until someone writes to it, and a device might do worse:
    // only regular files are opened.
    if (IsSpecialFile(QFile::encodeName(AFileName).toStdString())) {
        FLastError = CannotReadMessage(AFileName, QStringLiteral("it is not a regular file"));
        return false;
    }
    TBitmapFileKind kind = GetBitmapFileKind(AFileName);
    if (kind == bfkOther)
        kind = KindByContent(AFileName);
    // A PSD or HDR file that cannot be opened raises; every other failure returns false.
    const QByteArray data =
        kind == bfkPSD || kind == bfkHDR ? ReadPictureFile(AFileName) : QByteArray();
    QImage picture = FBitmap; // shares the pixels until a reader replaces them
    QString author = Author;
    QString lacks; // what a picture read in part lacks
    bool decoded = false;
    try {
        ForFile(TFileAction::Read, AFileName, [&] {
            if (const QFileInfo info(AFileName); kind != bfkOther && info.isFile() && !info.size())
                Fail(QStringLiteral("the file is empty"));
            switch (kind) {
            case bfkPlatform:
                picture = ReadPlatformPicture(AFileName, lacks);
                break;
            case bfkPSD:
                LoadPSDData(data, picture);
                break;
            case bfkTGA:
                LoadTGAFile(AFileName, picture, author);
                break;
            case bfkHDR:
                LoadHDRData(data, picture);
                break;
            case bfkOther:
                Fail(QStringLiteral("only JPEG, PNG, GIF, BMP, PSD, TGA and HDR pictures are "
                                    "read, and those that Qt's image plugins recognise by their "
                                    "content"));
            }
            decoded = true;
            if (Rotate != 0)
                picture = Rotated(picture, Rotate);
        });
    } catch (const EVormError& e) {
        FLastError = e.message();
        if (!decoded) // unchanged, but for the lines of an HDR file before a damaged scanline
            FBitmap = std::move(picture);
        return false;
    }
    FBitmap = std::move(picture);
    Author = author;
    if (!lacks.isEmpty())
        FLastWarning = QStringLiteral("\"%1\" is cut short: %2.")
                           .arg(QDir::toNativeSeparators(AFileName), lacks);
    return true;
}

void TFMXBitmapEx::SaveToFileEx(const QString& AFileName, PBitmapCodecSaveParams SaveParams) const {
    switch (GetBitmapFileKind(AFileName)) {
    case bfkPlatform:
        ForFile(TFileAction::Write, AFileName, [&] {
            // Encoded in memory first, so that a failed encoding leaves no file behind.
            QByteArray encoded;
            QBuffer buffer(&encoded);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, Extension(AFileName).mid(1).toLatin1());
            if (SaveParams)
                writer.setQuality(SaveParams->Quality);
            if (!writer.write(FBitmap))
                Fail(writer.errorString());
            WriteFileAtomically(AFileName, encoded);
        });
        break;
    case bfkPSD:
        SavePSDFile(AFileName, FBitmap);
        break;
    case bfkTGA:
        SaveTGAFile(AFileName, FBitmap, Author, hasAlpha);
        break;
    case bfkHDR:
    case bfkOther:
        break;
    }
}

QImage LoadPicture(const QString& AFileName, QString* AWarning) {
    TFMXBitmapEx bitmap;
    if (!bitmap.LoadFromFileEx(AFileName, 0))
        throw EVormError(bitmap.LastError());
    if (AWarning)
        *AWarning = bitmap.LastWarning();
    return std::move(bitmap.Bitmap());
}
