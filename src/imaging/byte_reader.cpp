#include "byte_reader.h"

#include "vorm_error.h"

#include <QDir>
#include <QFile>

void TByteReader::CutShort() {
    throw EVormError(QStringLiteral("the file is cut short"));
}

void TByteReader::seek(qint64 APos) {
    if (APos < 0 || APos > FSize)
        CutShort();
    FPos = APos;
}

void TByteReader::skip(qint64 ACount) {
    need(ACount);
    FPos += ACount;
}

const uint8_t* TByteReader::take(qint64 ACount) {
    need(ACount);
    const uint8_t* p = FData + FPos;
    FPos += ACount;
    return p;
}

uint16_t TByteReader::u16le() {
    const uint8_t* p = take(2);
    return uint16_t(p[0] | p[1] << 8);
}

uint16_t TByteReader::u16be() {
    const uint8_t* p = take(2);
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t TByteReader::u32le() {
    const uint8_t* p = take(4);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t TByteReader::u32be() {
    const uint8_t* p = take(4);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

QString CannotReadMessage(const QString& AFileName, const QString& AReason) {
    return QStringLiteral("Cannot read \"%1\": %2.")
        .arg(QDir::toNativeSeparators(AFileName), AReason);
}

QByteArray ReadPictureFile(const QString& AFileName) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EVormError(CannotReadMessage(AFileName, file.errorString()));
    if (file.isSequential())
        throw EVormError(CannotReadMessage(AFileName, QStringLiteral("it is not a regular file")));
    if (file.size() > kMaxPictureFileBytes)
        throw EVormError(CannotReadMessage(
            AFileName, QStringLiteral("the file is larger than the %1 MiB that a picture may have")
                           .arg(kMaxPictureFileBytes >> 20)));
    QByteArray data;
    try {
        data.resize(file.size());
    } catch (const std::bad_alloc&) {
        throw EVormError(CannotReadMessage(AFileName, QStringLiteral("not enough memory")));
    }
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = file.read(data.data() + done, data.size() - done);
        if (n < 0)
            throw EVormError(CannotReadMessage(AFileName, file.errorString()));
        if (n == 0)
            break; // the file shrank while we read it
        done += n;
    }
    data.truncate(done);
    return data;
}

QString CannotWriteMessage(const QString& AFileName, const QString& AReason) {
    return QStringLiteral("Cannot write \"%1\": %2.")
        .arg(QDir::toNativeSeparators(AFileName), AReason);
}

QImage AsBitmap(QImage ABitmap, const QString& AFileName) {
    if (ABitmap.format() == kBitmapFormat || ABitmap.isNull())
        return ABitmap;
    // In place where the pixel size allows (a decoded JPEG's RGB32 costs nothing): a large
    // picture is not copied, nor is fresh memory touched for it.
    QImage converted = std::move(ABitmap);
    converted.convertTo(kBitmapFormat);
    if (converted.isNull() || converted.format() != kBitmapFormat) {
        const QString reason = QStringLiteral("there is not enough memory to convert the picture");
        throw EVormError(AFileName.isEmpty() ? reason : CannotWriteMessage(AFileName, reason));
    }
    return converted;
}
