#include "palette.h"

#include "vorm_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <cctype>
#include <set>

#ifndef VORM_INSTALL_PALETTES
#define VORM_INSTALL_PALETTES ""
#endif
#ifndef VORM_SOURCE_PALETTES
#define VORM_SOURCE_PALETTES ""
#endif

namespace {

constexpr int kMaxLineChars = 4096;

[[noreturn]] void Fail(const QString& AFileName, int ALine, const QString& AReason) {
    const QString where = QDir::toNativeSeparators(AFileName);
    if (ALine > 0)
        throw EVormError(QStringLiteral("Cannot read the palette \"%1\": line %2: %3.")
                             .arg(where)
                             .arg(ALine)
                             .arg(AReason));
    throw EVormError(QStringLiteral("Cannot read the palette \"%1\": %2.").arg(where, AReason));
}

enum class TFormat { Gpl, Hex, Csv };

QString Hex6(TAlphaColor c) {
    return QStringLiteral("%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0')).toUpper();
}

// "RRGGBB" or "#RRGGBB", nothing else.
bool ParseHexColor(QString AText, TAlphaColor& AOut) {
    if (AText.startsWith(QLatin1Char('#')))
        AText.remove(0, 1);
    if (AText.size() != 6)
        return false;
    bool ok = false;
    const uint v = AText.toUInt(&ok, 16);
    if (!ok)
        return false;
    for (QChar c : AText)
        if (!std::isxdigit(c.toLatin1()))
            return false;
    AOut = 0xFF000000u | v;
    return true;
}

// A name may hold any printable character; a tab counts as a blank.
bool CleanName(QString& AName) {
    AName.replace(QLatin1Char('\t'), QLatin1Char(' '));
    AName = AName.trimmed();
    for (QChar c : AName)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F ||
            (c.unicode() >= 0x80 && c.unicode() < 0xA0))
            return false;
    return true;
}

// Fields of one CSV line: commas separate, double quotes enclose a field that holds commas or
// quotes ("" inside is one quote). False for a quote that never closes.
bool SplitCsv(const QString& ALine, QStringList& AFields) {
    AFields.clear();
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < ALine.size(); ++i) {
        const QChar c = ALine[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < ALine.size() && ALine[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            field.clear();
            quoted = wasQuoted = true;
        } else if (c == QLatin1Char(',')) {
            AFields << (wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    if (quoted)
        return false;
    AFields << (wasQuoted ? field : field.trimmed());
    return true;
}

TFormat FormatOf(const QString& AFileName, const QString& AFirstLine) {
    const QString ext = QFileInfo(AFileName).suffix().toLower();
    if (ext == u"gpl")
        return TFormat::Gpl;
    if (ext == u"hex")
        return TFormat::Hex;
    if (ext == u"csv")
        return TFormat::Csv;
    if (AFirstLine.trimmed().startsWith(QLatin1String("GIMP Palette")))
        return TFormat::Gpl;
    Fail(AFileName, 0,
         QStringLiteral("unknown palette format; use a GIMP palette (.gpl), a list of RRGGBB "
                        "colours (.hex) or name,#RRGGBB[,code] lines (.csv)"));
}

} // namespace

QString TPaletteEntry::label() const {
    return Name.isEmpty() ? QLatin1Char('#') + Hex6(Rgb) : Name;
}

TPalette ParsePalette(const QByteArray& AData, const QString& AFileName) {
    if (AData.size() > kMaxPaletteBytes)
        Fail(AFileName, 0, QStringLiteral("the file is larger than 4 MB"));
    QByteArrayView bytes(AData);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    // Lines as bytes first, so that a NUL is found with its line.
    QString text;
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(bytes);
        if (utf8.hasError())
            text = QString::fromLatin1(bytes);
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].contains(QChar(0)))
            Fail(AFileName, i + 1, QStringLiteral("the file is not text (it holds a NUL byte)"));
        if (lines[i].size() > kMaxLineChars)
            Fail(AFileName, i + 1,
                 QStringLiteral("the line is longer than %1 characters").arg(kMaxLineChars));
    }
    TPalette pal;
    pal.File = AFileName;
    const TFormat format = FormatOf(AFileName, lines.isEmpty() ? QString() : lines[0]);
    if (format == TFormat::Gpl &&
        (lines.isEmpty() || !lines[0].trimmed().startsWith(QLatin1String("GIMP Palette"))))
        Fail(AFileName, 1, QStringLiteral("a GIMP palette starts with the line \"GIMP Palette\""));
    auto add = [&](int ALine, TAlphaColor ARgb, QString AName, QString ACode) {
        if (int(pal.Entries.size()) >= kMaxPaletteColors)
            Fail(AFileName, ALine,
                 QStringLiteral("more than %1 colours; a palette may hold at most %1")
                     .arg(kMaxPaletteColors));
        if (!CleanName(AName) || !CleanName(ACode))
            Fail(AFileName, ALine, QStringLiteral("the name holds a control character"));
        pal.Entries.push_back({AName, ARgb, ACode});
    };
    static const QRegularExpression gplColor(
        QStringLiteral("^\\s*(\\S+)\\s+(\\S+)\\s+(\\S+)(?:\\s+(.*))?$"));
    bool titles = false; // a .csv's first line has been seen
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QString line = lines[i];
        const QString trimmed = line.trimmed();
        switch (format) {
        case TFormat::Gpl: {
            if (i == 0) {
                if (!trimmed.startsWith(QLatin1String("GIMP Palette")))
                    Fail(AFileName, 1,
                         QStringLiteral("a GIMP palette starts with the line \"GIMP Palette\""));
                continue;
            }
            if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
                continue;
            if (trimmed.startsWith(QLatin1String("Name:"), Qt::CaseInsensitive)) {
                QString name = trimmed.mid(5);
                if (!CleanName(name))
                    Fail(AFileName, lineNo, QStringLiteral("the name holds a control character"));
                pal.Name = name;
                continue;
            }
            if (trimmed.startsWith(QLatin1String("Columns:"), Qt::CaseInsensitive))
                continue; // only a hint for GIMP's palette view
            const QRegularExpressionMatch m = gplColor.match(line);
            int v[3] = {-1, -1, -1};
            if (m.hasMatch())
                for (int k = 0; k < 3; ++k) {
                    bool ok = false;
                    const int n = m.captured(k + 1).toInt(&ok, 10);
                    v[k] = ok && n >= 0 && n <= 255 ? n : -1;
                }
            if (v[0] < 0 || v[1] < 0 || v[2] < 0)
                Fail(AFileName, lineNo,
                     QStringLiteral("expected red, green and blue from 0 to 255, then a name, "
                                    "not \"%1\"")
                         .arg(trimmed.left(60)));
            QString name = m.captured(4);
            if (name.trimmed() == u"Untitled")
                name.clear(); // what GIMP writes for a colour without a name
            add(lineNo, 0xFF000000u | TAlphaColor(v[0]) << 16 | TAlphaColor(v[1]) << 8 | v[2], name,
                QString());
            break;
        }
        case TFormat::Hex: {
            if (trimmed.isEmpty())
                continue;
            TAlphaColor c = 0;
            if (!ParseHexColor(trimmed, c))
                Fail(AFileName, lineNo,
                     QStringLiteral("expected a colour as RRGGBB, not \"%1\"")
                         .arg(trimmed.left(60)));
            add(lineNo, c, QString(), QString());
            break;
        }
        case TFormat::Csv: {
            if (trimmed.isEmpty())
                continue;
            QStringList fields;
            TAlphaColor c = 0;
            const bool split = SplitCsv(line, fields);
            const bool good =
                split && (fields.size() == 2 || fields.size() == 3) && ParseHexColor(fields[1], c);
            const bool first = !titles;
            titles = true;
            if (!good) {
                if (first && split && fields.size() >= 2 && fields.size() <= 3)
                    continue; // column titles
                Fail(AFileName, lineNo,
                     QStringLiteral("expected name,#RRGGBB or name,#RRGGBB,code, not \"%1\"")
                         .arg(trimmed.left(60)));
            }
            add(lineNo, c, fields[0], fields.size() == 3 ? fields[2] : QString());
            break;
        }
        }
    }
    if (pal.Entries.empty())
        Fail(AFileName, 0, QStringLiteral("it holds no colours"));
    if (pal.Name.isEmpty())
        pal.Name = QFileInfo(AFileName).completeBaseName();
    return pal;
}

TPalette LoadPalette(const QString& AFileName) {
    QFile f(AFileName);
    if (QFileInfo(AFileName).isDir())
        Fail(AFileName, 0, QStringLiteral("it is a folder"));
    if (!f.open(QIODevice::ReadOnly))
        Fail(AFileName, 0, f.errorString());
    const QByteArray data = f.read(kMaxPaletteBytes + 1);
    if (f.error() != QFileDevice::NoError)
        Fail(AFileName, 0, f.errorString());
    return ParsePalette(data, AFileName);
}

QStringList PaletteFolders() {
    QStringList candidates;
    const QStringList data = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString& d : data)
        candidates << d + QStringLiteral("/vorm/palettes");
    if (QCoreApplication::instance())
        candidates << QCoreApplication::applicationDirPath() +
                          QStringLiteral("/../share/vorm/palettes");
    candidates << QStringLiteral(VORM_INSTALL_PALETTES) << QStringLiteral(VORM_SOURCE_PALETTES);
    for (const char* sub : {"/gimp/2.0/palettes", "/inkscape/palettes", "/krita/palettes"})
        for (const QString& d : data)
            candidates << d + QLatin1String(sub);
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    candidates << config + QStringLiteral("/GIMP/2.10/palettes")
               << config + QStringLiteral("/inkscape/palettes");
    QStringList out;
    std::set<QString> seen;
    for (const QString& c : candidates) {
        if (c.isEmpty())
            continue;
        const QFileInfo fi(c);
        if (!fi.isDir())
            continue;
        const QString canonical = fi.canonicalFilePath();
        if (seen.insert(canonical).second)
            out << canonical;
    }
    return out;
}

namespace {

QFileInfoList PaletteFilesIn(const QString& AFolder) {
    return QDir(AFolder).entryInfoList(
        {QStringLiteral("*.gpl"), QStringLiteral("*.hex"), QStringLiteral("*.csv")},
        QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
}

} // namespace

QString FindPaletteFile(const QString& ASpec) {
    if (ASpec.isEmpty())
        return {};
    const QFileInfo direct(ASpec);
    if (direct.exists())
        return ASpec;
    if (ASpec.contains(QLatin1Char('/')))
        return {};
    for (const QString& folder : PaletteFolders())
        for (const QFileInfo& f : PaletteFilesIn(folder))
            if (f.completeBaseName().compare(ASpec, Qt::CaseInsensitive) == 0 ||
                f.fileName().compare(ASpec, Qt::CaseInsensitive) == 0)
                return f.filePath();
    return {};
}

TPalette ResolvePalette(const QString& ASpec) {
    const QString file = FindPaletteFile(ASpec);
    if (file.isEmpty())
        throw EVormError(
            QStringLiteral("There is no palette \"%1\": no such file, and no palette of that "
                           "name in %2. 'vorm-cli --list-palettes' lists them.")
                .arg(ASpec, PaletteFolders().isEmpty()
                                ? QStringLiteral("the palette folders")
                                : PaletteFolders().join(QStringLiteral(", "))));
    return LoadPalette(file);
}

std::vector<TPaletteListing> ListPalettes() {
    std::vector<TPaletteListing> out;
    std::set<QString> names;
    for (const QString& folder : PaletteFolders())
        for (const QFileInfo& f : PaletteFilesIn(folder)) {
            if (!names.insert(f.completeBaseName().toLower()).second)
                continue;
            TPaletteListing l;
            l.Name = f.completeBaseName();
            l.File = f.filePath();
            try {
                l.Colors = int(LoadPalette(l.File).Entries.size());
            } catch (const EVormError& e) {
                l.Problem = e.message();
            }
            out.push_back(l);
        }
    return out;
}
