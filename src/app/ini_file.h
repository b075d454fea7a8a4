// A small INI file kept whole in memory: read once, changed, written back once. Section and key
// names match without regard to letter case; sections and keys this program does not know are
// carried over on a rewrite, comment lines (";") are not.
#pragma once

#include <QString>
#include <vector>

class TIniFile {
public:
    // Loads AFileName as UTF-8; a byte-order mark is skipped. A missing or unreadable file
    // behaves like an empty one.
    explicit TIniFile(const QString& AFileName);

    QString ReadString(const QString& ASection, const QString& AKey, const QString& ADefault) const;
    bool HasSection(const QString& ASection) const { return FindSection(ASection) != nullptr; }
    // ADefault also when the value is not a whole decimal number that fits 32 bits.
    int ReadInteger(const QString& ASection, const QString& AKey, int ADefault) const;

    // A value with a line break cannot be kept in one line: the key is removed instead, so that
    // it reads back as absent rather than as a broken file.
    void WriteString(const QString& ASection, const QString& AKey, const QString& AValue);
    void WriteInteger(const QString& ASection, const QString& AKey, int AValue);

    // The whole file, with a byte-order mark, each section followed by one blank line.
    QByteArray Text() const;
    // Writes Text() atomically; throws EVormError when the file cannot be written.
    void UpdateFile() const;

    const QString& FileName() const { return FFileName; }

private:
    struct TKey {
        QString Name;
        QString Value;
    };
    struct TSection {
        QString Name;
        std::vector<TKey> Keys;
    };

    void Parse(const QString& AText);
    const TSection* FindSection(const QString& AName) const;
    TSection& SectionFor(const QString& AName);
    const TKey* FindKey(const QString& ASection, const QString& AKey) const;

    QString FFileName;
    std::vector<TSection> FSections;
};
