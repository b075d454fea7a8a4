#include "bitmap_ex.h"

#include "atomic_file.h"
#include "byte_reader.h"
#include "hdr.h"
#include "jpeg_decoder.h"
#include "psd.h"
#include "tga.h"
#include "vorm_error.h"

#include <QBuffer>
#include <QDir>
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

bool TFMXBitmapEx::LoadFromFileEx(const QString& AFileName, float Rotate) {
    FLastError.clear();
    bool result = false;
    QString reason;
    QImage picture = FBitmap; // shares the pixels until a reader replaces them
    QString author = Author;
    switch (GetBitmapFileKind(AFileName)) {
    case bfkPlatform:
        // JPEG straight into the bitmap's layout where the build can; the rest through Qt.
        try {
            if (LoadJpegFile(AFileName, picture)) {
                result = true;
                break;
            }
        } catch (const EVormError& e) {
            FLastError = e.message();
            break;
        }
        try {
            QImageReader reader(AFileName);
            reader.setAutoTransform(true);
            reader.setAllocationLimit(kPlatformAllocationLimitMiB);
            QImage image = reader.read();
            if (image.isNull()) {
                reason = reader.errorString();
            } else {
                picture = AsBitmap(std::move(image));
                result = true;
            }
        } catch (const EVormError& e) {
            reason = e.message();
        } catch (const std::bad_alloc&) {
            reason = QStringLiteral("there is not enough memory");
        }
        break;
    case bfkPSD:
        result = LoadPSDFile(AFileName, picture, &reason);
        break;
    case bfkTGA:
        try {
            LoadTGAFile(AFileName, picture, author);
            result = true;
        } catch (const EVormError& e) {
            FLastError = e.message();
        }
        break;
    case bfkHDR:
        result = LoadHDRFile(AFileName, picture, &reason);
        break;
    case bfkOther:
        reason = QStringLiteral("only JPEG, PNG, GIF, BMP, PSD, TGA and HDR pictures are read");
        break;
    }
    if (!result && FLastError.isEmpty())
        FLastError = CannotReadMessage(AFileName, reason);
    if (result && Rotate != 0) {
        QImage rotated = picture.transformed(QTransform().rotate(Rotate), Qt::SmoothTransformation);
        if (rotated.isNull()) {
            FLastError = CannotReadMessage(
                AFileName, QStringLiteral("there is not enough memory to rotate the picture"));
            return false;
        }
        picture = AsBitmap(std::move(rotated));
    }
    FBitmap = std::move(picture);
    Author = author;
    return result;
}

void TFMXBitmapEx::SaveToFileEx(const QString& AFileName, PBitmapCodecSaveParams SaveParams) const {
    switch (GetBitmapFileKind(AFileName)) {
    case bfkPlatform: {
        // Encoded in memory first, so that a failed encoding leaves no file behind.
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, Extension(AFileName).mid(1).toLatin1());
        if (SaveParams)
            writer.setQuality(SaveParams->Quality);
        if (!writer.write(FBitmap))
            throw EVormError(CannotWriteMessage(AFileName, writer.errorString()));
        WriteFileAtomically(AFileName, data);
        break;
    }
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

QImage LoadPicture(const QString& AFileName) {
    TFMXBitmapEx bitmap;
    if (!bitmap.LoadFromFileEx(AFileName, 0))
        throw EVormError(bitmap.LastError());
    return std::move(bitmap.Bitmap());
}
