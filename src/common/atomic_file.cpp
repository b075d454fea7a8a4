#include "atomic_file.h"

#include "vorm_error.h"

TAtomicFile::TAtomicFile(const QString& AFileName) : FFileName(AFileName), FFile(AFileName) {
    // The temporary file must never fall back to writing the target in place.
    FFile.setDirectWriteFallback(false);
    if (!FFile.open(QIODevice::WriteOnly))
        throw EVormError(CannotWriteMessage(FFileName, FFile.errorString()));
}

void TAtomicFile::fail() {
    const QString reason = FFile.errorString();
    // Cancel before anything can commit: commit() alone may keep a truncated file after a
    // failed write.
    FFile.cancelWriting();
    throw EVormError(CannotWriteMessage(FFileName, reason));
}

void TAtomicFile::write(const void* AData, qint64 ASize) {
    const char* p = static_cast<const char*>(AData);
    while (ASize > 0) {
        const qint64 n = FFile.write(p, ASize);
        if (n <= 0)
            fail();
        p += n;
        ASize -= n;
    }
}

void TAtomicFile::commit() {
    if (!FFile.flush())
        fail();
    if (!FFile.commit())
        throw EVormError(CannotWriteMessage(FFileName, FFile.errorString()));
}

void WriteFileAtomically(const QString& AFileName, const QByteArray& AData) {
    TAtomicFile file(AFileName);
    file.write(AData);
    file.commit();
}
