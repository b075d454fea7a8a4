#include "bitmap_ex.h"

#include "atomic_file.h"
#include "codec_support.h"
#include "hdr.h"
#include "psd.h"
#include "tga.h"

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

namespace {

QImage ReadPlatformPicture(const QString& AFileName) {
    QImageReader reader(AFileName);
    reader.setAutoTransform(true);
    reader.setAllocationLimit(kPlatformAllocationLimitMiB);
    QImage image = reader.read();
    if (image.isNull())
        Fail(reader.errorString());
    return AsBitmap(std::move(image));
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
    const TBitmapFileKind kind = GetBitmapFileKind(AFileName);
    // A PSD or HDR file that cannot be opened raises; every other failure returns false.
    const QByteArray data =
        kind == bfkPSD || kind == bfkHDR ? ReadPictureFile(AFileName) : QByteArray();
    QImage picture = FBitmap; // shares the pixels until a reader replaces them
    QString author = Author;
    bool decoded = false;
    try {
        ForFile(TFileAction::Read, AFileName, [&] {
            switch (kind) {
            case bfkPlatform:
                picture = ReadPlatformPicture(AFileName);
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
                Fail(
                    QStringLiteral("only JPEG, PNG, GIF, BMP, PSD, TGA and HDR pictures are read"));
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
