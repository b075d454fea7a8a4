#include "ini_file.h"

#include "atomic_file.h"

#include <QFile>
#include <QStringView>

namespace {

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

TIniFile::TIniFile(const QString& AFileName) : FFileName(AFileName) {
    QFile file(AFileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray data = file.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    Parse(QString::fromUtf8(data));
}

void TIniFile::Parse(const QString& AText) {
    TSection* current = nullptr;
    for (QStringView raw : QStringView(AText).split(u'\n')) {
        const QStringView line = raw.trimmed(); // also drops the CR of CRLF files
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = &SectionFor(line.mid(1, line.size() - 2).trimmed().toString());
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        // Lines before the first section, and lines that are no name=value pair, have no place
        // in the model.
        if (!current || eq <= 0)
            continue;
        const QString name = line.left(eq).trimmed().toString();
        if (name.isEmpty())
            continue;
        // The first of duplicate keys is the one that counts.
        bool known = false;
        for (const TKey& k : current->Keys)
            known = known || SameName(k.Name, name);
        if (!known)
            current->Keys.push_back({name, line.mid(eq + 1).trimmed().toString()});
    }
}

const TIniFile::TSection* TIniFile::FindSection(const QString& AName) const {
    for (const TSection& s : FSections)
        if (SameName(s.Name, AName))
            return &s;
    return nullptr;
}

TIniFile::TSection& TIniFile::SectionFor(const QString& AName) {
    for (TSection& s : FSections)
        if (SameName(s.Name, AName))
            return s;
    FSections.push_back({AName, {}});
    return FSections.back();
}

const TIniFile::TKey* TIniFile::FindKey(const QString& ASection, const QString& AKey) const {
    const TSection* s = FindSection(ASection);
    if (!s)
        return nullptr;
    for (const TKey& k : s->Keys)
        if (SameName(k.Name, AKey))
            return &k;
    return nullptr;
}

QString TIniFile::ReadString(const QString& ASection, const QString& AKey,
                             const QString& ADefault) const {
    const TKey* k = FindKey(ASection, AKey);
    return k ? k->Value : ADefault;
}

int TIniFile::ReadInteger(const QString& ASection, const QString& AKey, int ADefault) const {
    const TKey* k = FindKey(ASection, AKey);
    if (!k)
        return ADefault;
    bool ok = false;
    const int value = k->Value.toInt(&ok, 10);
    return ok ? value : ADefault;
}

void TIniFile::WriteString(const QString& ASection, const QString& AKey, const QString& AValue) {
    TSection& s = SectionFor(ASection);
    const bool storable = !AValue.contains(u'\n') && !AValue.contains(u'\r');
    for (auto it = s.Keys.begin(); it != s.Keys.end(); ++it)
        if (SameName(it->Name, AKey)) {
            if (storable)
                *it = {AKey, AValue};
            else
                s.Keys.erase(it);
            return;
        }
    if (storable)
        s.Keys.push_back({AKey, AValue});
}

void TIniFile::WriteInteger(const QString& ASection, const QString& AKey, int AValue) {
    WriteString(ASection, AKey, QString::number(AValue));
}

QByteArray TIniFile::Text() const {
    QString text;
    for (const TSection& s : FSections) {
        text += QLatin1Char('[') + s.Name + QStringLiteral("]\n");
        for (const TKey& k : s.Keys)
            text += k.Name + u'=' + k.Value + u'\n';
        text += u'\n';
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

void TIniFile::UpdateFile() const {
    WriteFileAtomically(FFileName, Text(), TAtomicFile::TMode::Replace);
}
