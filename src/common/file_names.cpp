#include "file_names.h"

#include "platform.h"
#include "vorm_error.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <cerrno>

namespace {

struct PathParts {
    QString Folder; // with its trailing separator; empty for a bare name
    QString Base;   // file name without folder and extension
    QString Ext;    // from the last dot, dot included; may be empty
};

PathParts Split(const QString& APath) {
    const qsizetype slash = APath.lastIndexOf(QLatin1Char('/'));
    PathParts p;
    p.Folder = APath.left(slash + 1);
    const QString name = APath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    p.Base = dot >= 0 ? name.left(dot) : name;
    p.Ext = dot >= 0 ? name.mid(dot) : QString();
    return p;
}

QString FileNameOnly(const QString& APath) {
    return APath.mid(APath.lastIndexOf('/') + 1);
}

std::string Native(const QString& AFileName) {
    return QFile::encodeName(AFileName).toStdString();
}

// However many names other programs take meanwhile, a move aside gives up after this many.
constexpr int kMoveAttempts = 1000;

} // namespace

bool IsAcceptedFile(const QString& AFileName) {
    const QString ext = Split(QDir::fromNativeSeparators(AFileName)).Ext.toUpper();
    return ext == u".PSD" || ext == u".JPG" || ext == u".PNG" || ext == u".GIF" || ext == u".BMP";
}

QString FreeFileName(const QString& AFileName) {
    PathParts p = Split(QDir::fromNativeSeparators(AFileName));
    static const QRegularExpression numbered(QStringLiteral("^(.*) \\(([0-9]+)\\)$"));
    int64_t n = 0;
    const QRegularExpressionMatch m = numbered.match(p.Base);
    if (m.hasMatch()) {
        p.Base = m.captured(1);
        bool ok = false;
        const int value = m.captured(2).toInt(&ok); // too large for 32 bits counts as 0
        n = ok ? value : 0;
    }
    QString candidate;
    do {
        ++n;
        candidate = p.Folder + p.Base + QStringLiteral(" (") + QString::number(n) +
                    QLatin1Char(')') + p.Ext;
    } while (NameTaken(Native(candidate))); // a link, even a broken one, takes its name
    return candidate;
}

QString RenameExisting(const QString& AFileName, const TRenameNotify& ANotify) {
    // The name itself is moved, never what a link points to.
    if (!NameTaken(Native(AFileName)))
        return {};
    QString target = AFileName;
    for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
        target = FreeFileName(target);
        if (ANotify)
            ANotify(FileNameOnly(QDir::fromNativeSeparators(AFileName)), FileNameOnly(target));
        const int error = RenameNoReplace(Native(AFileName), Native(target));
        if (error == 0)
            return target;
        // ENOENT: another writer moved it away meanwhile; nothing to move, unless yet another
        // has published under the name since, which is then moved in the next round.
        if (error == ENOENT) {
            if (!NameTaken(Native(AFileName)))
                return {};
            continue;
        }
        // EEXIST: the free name was taken meanwhile; on to the next.
        if (error != EEXIST)
            throw EVormError(QStringLiteral("Cannot rename \"%1\" to \"%2\": %3.")
                                 .arg(QDir::toNativeSeparators(AFileName),
                                      QDir::toNativeSeparators(target), qt_error_string(error)));
    }
    throw EVormError(QStringLiteral("Cannot rename \"%1\": no numbered name stays free.")
                         .arg(QDir::toNativeSeparators(AFileName)));
}

bool PutBackEarlier(const QString& AFileName, const QString& AMovedTo) {
    return !AMovedTo.isEmpty() && RenameNoReplace(Native(AMovedTo), Native(AFileName)) == 0;
}

QString RenameMessage(const QString& AOldName, const QString& ANewName, bool AJapanese) {
    const QString quotedOld = QLatin1Char('"') + AOldName + QLatin1Char('"');
    const QString quotedNew = QLatin1Char('"') + ANewName + QLatin1Char('"');
    if (AJapanese)
        return quotedOld + QStringLiteral(" は ") + quotedNew +
               QStringLiteral(" にリネームされます。");
    return quotedOld + QStringLiteral(" will be renamed to ") + quotedNew + QStringLiteral(" .");
}
