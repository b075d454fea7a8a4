// Writes a file all or nothing. The data go to a file beside the target that has no name (or a
// temporary one) until every byte is on disk; any failure discards it and leaves whatever had
// the name as it was.
//
// A picture is published without replacing anything: when another program took the name while
// the file was written, that file is moved aside to the next numbered name first, so both
// survive and the newest save has the chosen name. Only the settings file replaces its
// predecessor.
#pragma once

#include "file_names.h"
#include "platform.h"

#include <QByteArray>
#include <QString>

class TAtomicFile {
public:
    enum class TMode { Publish, Replace };

    // Throws EVormError when the file cannot be created.
    explicit TAtomicFile(const QString& AFileName, TMode AMode = TMode::Publish);
    // Destroying an uncommitted file discards it.
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Each throws EVormError with the file name and the system's reason on a failed write.
    void write(const void* AData, qint64 ASize);
    void write(const QByteArray& AData) { write(AData.constData(), AData.size()); }
    // Publishes the file. Throws ECanceled, and discards the file, when a stop was requested
    // (see SetStopBeforePublish); after it returns, the file is in place.
    void commit();
    // As commit, without asking about a stop: for a file that completes a set whose first file
    // is already published (the files beside a mosaic), so that a stop never leaves a new
    // mosaic beside the files of an earlier one.
    void commitWithoutStop();

private:
    void publish();
    [[noreturn]] void fail(int AError);
    QString FFileName;
    TMode FMode;
    TPendingFile FFile;
};

// One-shot form of the above.
void WriteFileAtomically(const QString& AFileName, const QByteArray& AData,
                         TAtomicFile::TMode AMode = TAtomicFile::TMode::Publish);

// For the whole process: asked just before each file is published; true discards the file,
// which then counts as never written. The command line's stop signal is read here, so that the
// exit status can say exactly whether the file was written.
void SetStopBeforePublish(bool (*AStopRequested)());
// For the whole process: told when a name was taken while its file was written, before the
// other file is moved aside. It is called on the thread that saves.
void SetPublishRenameNotify(TRenameNotify ANotify);
