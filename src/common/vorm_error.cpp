#include "vorm_error.h"

#include "progress.h"

#include <QDir>

QString CannotReadMessage(const QString& AFileName, const QString& AReason) {
    return QStringLiteral("Cannot read \"%1\": %2.")
        .arg(QDir::toNativeSeparators(AFileName), AReason);
}

QString CannotWriteMessage(const QString& AFileName, const QString& AReason) {
    return QStringLiteral("Cannot write \"%1\": %2.")
        .arg(QDir::toNativeSeparators(AFileName), AReason);
}

void ThrowIfCanceled(const TProgress* AProgress) {
    if (AProgress && AProgress->isCanceled())
        throw ECanceled();
}
