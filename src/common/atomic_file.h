// Writes a file all or nothing. The data go to a temporary file beside the target, which
// replaces the target only when every byte is on disk; any failure removes the temporary file
// and leaves an earlier file of that name as it was.
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

class TAtomicFile {
public:
    // Throws EVormError when the temporary file cannot be created.
    explicit TAtomicFile(const QString& AFileName);
    // Destroying an uncommitted file discards it.
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Each throws EVormError with the file name and the system's reason on a short write.
    void write(const void* AData, qint64 ASize);
    void write(const QByteArray& AData) { write(AData.constData(), AData.size()); }
    void commit();

private:
    [[noreturn]] void fail();
    QString FFileName;
    QSaveFile FFile;
};

// One-shot form of the above.
void WriteFileAtomically(const QString& AFileName, const QByteArray& AData);
