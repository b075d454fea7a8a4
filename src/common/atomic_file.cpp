#include "atomic_file.h"

#include "vorm_error.h"

#include <QFile>
#include <atomic>
#include <mutex>

namespace {

std::atomic<bool (*)()> gStopRequested{nullptr};
std::mutex gNotifyMutex;
TRenameNotify gRenameNotify;

// However often other writers race for the name, a save gives up after this many rounds.
constexpr int kPublishAttempts = 100;

std::string Native(const QString& AFileName) {
    return QFile::encodeName(AFileName).toStdString();
}

} // namespace

TAtomicFile::TAtomicFile(const QString& AFileName, TMode AMode)
    : FFileName(AFileName), FMode(AMode) {
    // A settings file replaces its predecessor by rename, which needs a named temporary file.
    if (const int error = CreatePendingFile(Native(AFileName), AMode == TMode::Publish, FFile))
        throw EVormError(CannotWriteMessage(FFileName, qt_error_string(error)));
}

TAtomicFile::~TAtomicFile() {
    DiscardPendingFile(FFile);
}

void TAtomicFile::fail(int AError) {
    DiscardPendingFile(FFile);
    throw EVormError(CannotWriteMessage(FFileName, qt_error_string(AError)));
}

void TAtomicFile::write(const void* AData, qint64 ASize) {
    if (FFile.Fd < 0)
        fail(EBADF);
    if (ASize > 0)
        if (const int error = WritePendingFile(FFile, AData, size_t(ASize)))
            fail(error);
}

void TAtomicFile::commit() {
    if (FFile.Fd < 0)
        fail(EBADF);
    if (const int error = SyncPendingFile(FFile))
        fail(error);
    if (const auto stop = gStopRequested.load(); stop && stop()) {
        DiscardPendingFile(FFile);
        throw ECanceled();
    }
    publish();
}

void TAtomicFile::commitWithoutStop() {
    if (FFile.Fd < 0)
        fail(EBADF);
    if (const int error = SyncPendingFile(FFile))
        fail(error);
    publish();
}

void TAtomicFile::publish() {
    const std::string target = Native(FFileName);
    const bool replace = FMode == TMode::Replace;
    for (int attempt = 0; attempt < kPublishAttempts; ++attempt) {
        const int error = PublishPendingFile(FFile, target, replace);
        if (error == 0)
            return;
        if (error != EEXIST)
            fail(error);
        // Taken while we wrote: the other file steps aside, and keeps its bytes.
        TRenameNotify notify;
        {
            std::lock_guard<std::mutex> lock(gNotifyMutex);
            notify = gRenameNotify;
        }
        try {
            RenameExisting(FFileName, notify);
        } catch (...) {
            DiscardPendingFile(FFile);
            throw;
        }
    }
    fail(EEXIST);
}

void WriteFileAtomically(const QString& AFileName, const QByteArray& AData,
                         TAtomicFile::TMode AMode) {
    TAtomicFile file(AFileName, AMode);
    file.write(AData);
    file.commit();
}

void SetStopBeforePublish(bool (*AStopRequested)()) {
    gStopRequested = AStopRequested;
}

void SetPublishRenameNotify(TRenameNotify ANotify) {
    std::lock_guard<std::mutex> lock(gNotifyMutex);
    gRenameNotify = std::move(ANotify);
}
