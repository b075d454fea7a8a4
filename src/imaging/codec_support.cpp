#include "codec_support.h"

#include "parallel.h"
#include "platform.h"

#include <QFile>
#include <atomic>

QString FileMessage(TFileAction AAction, const QString& AFileName, const QString& AReason) {
    return AAction == TFileAction::Read ? CannotReadMessage(AFileName, AReason)
                                        : CannotWriteMessage(AFileName, AReason);
}

QString ECodecError::messageFor(TFileAction AAction, const QString& AFileName) const {
    return FileMessage(AAction, AFileName, message());
}

QString SizeText(qint64 W, qint64 H) {
    return QStringLiteral("%1 × %2").arg(W).arg(H);
}

void CheckSaveSize(const QImage& ABitmap, int AMaxSide, const QString& ALimit) {
    if (ABitmap.isNull())
        Fail(QStringLiteral("there is no picture to save"));
    if (ABitmap.width() > AMaxSide || ABitmap.height() > AMaxSide)
        Fail(ALimit + QStringLiteral(", not ") + SizeText(ABitmap.width(), ABitmap.height()));
}

QByteArray ReadPictureFile(const QString& AFileName) {
    return ForFile(TFileAction::Read, AFileName, [&] {
        if (IsSpecialFile(QFile::encodeName(AFileName).toStdString()))
            Fail(QStringLiteral("it is not a regular file")); // opening a FIFO would block
        QFile file(AFileName);
        if (!file.open(QIODevice::ReadOnly))
            Fail(file.errorString());
        if (file.isSequential())
            Fail(QStringLiteral("it is not a regular file"));
        if (file.size() > kMaxPictureFileBytes)
            Fail(QStringLiteral("the file is larger than the %1 MiB that a picture may have")
                     .arg(kMaxPictureFileBytes >> 20));
        QByteArray data(file.size(), Qt::Uninitialized);
        qint64 done = 0;
        while (done < data.size()) {
            const qint64 n = file.read(data.data() + done, data.size() - done);
            if (n < 0)
                Fail(file.errorString());
            if (n == 0)
                break; // the file shrank while we read it
            done += n;
        }
        data.truncate(done);
        return data;
    });
}

QImage AsBitmap(QImage ABitmap) {
    if (ABitmap.format() == kBitmapFormat || ABitmap.isNull())
        return ABitmap;
    // In place where the pixel size allows (a decoded JPEG's RGB32 costs nothing): a large
    // picture is not copied, nor is fresh memory touched for it.
    QImage converted = std::move(ABitmap);
    converted.convertTo(kBitmapFormat);
    if (converted.isNull() || converted.format() != kBitmapFormat)
        Fail(QStringLiteral("there is not enough memory to convert the picture"));
    return converted;
}

void FillMappingPagesAhead(QImage& ABitmap, const std::function<void()>& AFill) {
    uchar* const pixels = ABitmap.bits(); // detached here, before the threads share it
    const size_t bytes = size_t(ABitmap.sizeInBytes());
    std::atomic<bool> done{false};
    ParallelFor(2, [&](int AItem) {
        if (AItem == 0) {
            struct TDone {
                std::atomic<bool>& Flag;
                ~TDone() { Flag = true; }
            } done0{done};
            AFill();
            return;
        }
        // In steps, so that it stops soon after the filling does.
        constexpr size_t kStep = size_t(4) << 20;
        for (size_t at = 0; at < bytes && !done; at += kStep)
            MapPagesAhead(pixels + at, std::min(kStep, bytes - at));
    });
}
