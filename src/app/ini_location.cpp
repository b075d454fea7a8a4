#include "ini_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString IniFileNameFor(const QString& AProgramPath, const QString& AConfigFolder) {
    const QFileInfo program(AProgramPath);
    const QString suffix = program.suffix();
    QString beside = AProgramPath;
    if (!suffix.isEmpty())
        beside.chop(suffix.size() + 1);
    beside += QStringLiteral(".ini");
    if (QFileInfo::exists(beside) || QFileInfo(program.absolutePath()).isWritable())
        return beside;
    return QDir(AConfigFolder).filePath(QStringLiteral("vorm.ini"));
}

QString IniFileName() {
    return IniFileNameFor(QCoreApplication::applicationFilePath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}
