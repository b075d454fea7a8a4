#include "ini_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString DesktopEntryName() {
    return QStringLiteral(VORM_APP_ID ".desktop");
}

QString IniFileNameFor(const QString& AProgramPath, const QString& AConfigFolder) {
    const QFileInfo program(AProgramPath);
    const QString suffix = program.suffix();
    QString beside = AProgramPath;
    if (!suffix.isEmpty())
        beside.chop(suffix.size() + 1);
    beside += QStringLiteral(".ini");
    const QString inConfig = QDir(AConfigFolder).filePath(QStringLiteral("vorm.ini"));
    if (QFileInfo::exists(beside))
        return beside;
    // Installed into a prefix (/usr, /usr/local, ~/.local): its bin folder may well be
    // writable, but is no place for settings.
    const QDir programDir(program.absolutePath());
    if (QFileInfo::exists(
            programDir.filePath(QStringLiteral("../share/applications/") + DesktopEntryName())))
        return inConfig;
    return QFileInfo(program.absolutePath()).isWritable() ? beside : inConfig;
}

QString IniFileName() {
    return IniFileNameFor(QCoreApplication::applicationFilePath(),
                          QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}
