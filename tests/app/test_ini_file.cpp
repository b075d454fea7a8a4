#include "ini_file.h"
#include "ini_location.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

QString WriteText(const QTemporaryDir& ADir, const QByteArray& AText,
                  const QString& AName = QStringLiteral("settings.ini")) {
    const QString path = ADir.filePath(AName);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(AText);
    return path;
}

QByteArray ReadText(const QString& APath) {
    QFile f(APath);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

} // namespace

TEST(IniFile, WritesSectionsWithBomAndABlankLineAfterEach) {
    QTemporaryDir dir;
    const QString path = dir.filePath("new.ini");
    TIniFile ini(path);
    ini.WriteString("System", "OpenPath", "/home/u/Pictures/");
    ini.WriteInteger("System", "OpenIndex", -2);
    ini.WriteString("Other", "Name", QString::fromUtf8("写真"));
    ini.UpdateFile();
    EXPECT_EQ(ReadText(path), kBom +
                                  "[System]\nOpenPath=/home/u/Pictures/\nOpenIndex=-2\n\n"
                                  "[Other]\nName=" +
                                  QString::fromUtf8("写真").toUtf8() + "\n\n");
}

TEST(IniFile, ReadsWithOrWithoutBomAndAnyLineEnd) {
    for (const QByteArray& bom : {kBom, QByteArray()})
        for (const char* eol : {"\n", "\r\n"}) {
            SCOPED_TRACE(QByteArray(eol).size() + 10 * bom.size());
            QTemporaryDir dir;
            const QByteArray text =
                bom + "[System]" + eol + "OpenPath = /a b/" + eol + "InitIndex=6" + eol;
            const TIniFile ini(WriteText(dir, text));
            EXPECT_EQ(ini.ReadString("System", "OpenPath", "-"), "/a b/");
            EXPECT_EQ(ini.ReadInteger("System", "InitIndex", 0), 6);
        }
}

TEST(IniFile, NamesMatchWithoutRegardToCase) {
    QTemporaryDir dir;
    const TIniFile ini(WriteText(dir, "[SYSTEM]\nopenpath=/x/\nOPENINDEX=3\n"));
    EXPECT_EQ(ini.ReadString("System", "OpenPath", ""), "/x/");
    EXPECT_EQ(ini.ReadInteger("system", "OpenIndex", 0), 3);
}

TEST(IniFile, UnknownEntriesSurviveARewriteAndCommentsDoNot) {
    QTemporaryDir dir;
    const QString path = WriteText(dir, kBom + "; made by hand\n[Extra]\nKeep=1=2\n\n"
                                               "[system]\n;old\nOpenPath=/old/\nMine=x\n");
    TIniFile ini(path);
    ini.WriteString("System", "OpenPath", "/new/");
    ini.WriteInteger("System", "SaveIndex", 2);
    ini.UpdateFile();
    EXPECT_EQ(ReadText(path),
              kBom + "[Extra]\nKeep=1=2\n\n[system]\nOpenPath=/new/\nMine=x\nSaveIndex=2\n\n");
}

TEST(IniFile, AnInvalidIntegerCountsAsAbsent) {
    const struct {
        const char* Value;
        int Expected;
    } cases[] = {
        {"12", 12},        {"-3", -3},  {" 7 ", 7},   {"abc", 99}, {"", 99},
        {"12x", 99},       {"1.5", 99}, {"0x10", 99}, {"$10", 99}, {"2147483647", 2147483647},
        {"2147483648", 99}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Value);
        QTemporaryDir dir;
        const TIniFile ini(WriteText(dir, QByteArray("[System]\nWidthIndex=") + c.Value + "\n"));
        EXPECT_EQ(ini.ReadInteger("System", "WidthIndex", 99), c.Expected);
    }
}

TEST(IniFile, MissingFileSectionOrKeyGivesTheDefault) {
    QTemporaryDir dir;
    const TIniFile none(dir.filePath("absent.ini"));
    EXPECT_EQ(none.ReadString("System", "OpenPath", "d"), "d");
    const TIniFile other(WriteText(dir, "[Other]\nOpenPath=/x/\nkey without value\n"));
    EXPECT_EQ(other.ReadString("System", "OpenPath", "d"), "d");
    EXPECT_EQ(other.ReadInteger("Other", "key without value", 5), 5);
}

TEST(IniFile, TheFirstOfDuplicateKeysCountsAndKeysBeforeASectionAreDropped) {
    QTemporaryDir dir;
    const QString path = WriteText(dir, "stray=1\n[System]\nA=1\na=2\n[system]\nA=3\nB=4\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("System", "A", 0), 1);
    EXPECT_EQ(ini.ReadInteger("System", "B", 0), 4);
    ini.UpdateFile();
    EXPECT_EQ(ReadText(path), kBom + "[System]\nA=1\nB=4\n\n");
}

TEST(IniFile, AValueWithALineBreakIsNotStored) {
    // A folder name may hold a line break; written as is it would break the file apart.
    QTemporaryDir dir;
    const QString path = WriteText(dir, "[System]\nOpenPath=/old/\n");
    TIniFile ini(path);
    ini.WriteString("System", "OpenPath", "/a\n[Evil]\nx=1/");
    ini.WriteString("System", "SavePath", "/b\r/");
    ini.UpdateFile();
    const TIniFile back(path);
    EXPECT_EQ(back.ReadString("System", "OpenPath", "none"), "none");
    EXPECT_EQ(back.ReadString("System", "SavePath", "none"), "none");
    EXPECT_EQ(ReadText(path), kBom + "[System]\n\n");
}

TEST(IniFile, AnUnwritableFileThrows) {
    QTemporaryDir dir;
    const QString blocker = WriteText(dir, "a file, not a folder");
    const TIniFile ini(blocker + "/sub/vorm.ini");
    EXPECT_ANY_THROW(ini.UpdateFile());
}

TEST(IniFileName, BesideTheProgramWhenWritableElseInTheConfigFolder) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config/vorm");
    const QString missing = dir.filePath("no/such/folder");
    const struct {
        QString Program;
        QString Expected;
    } cases[] = {
        {dir.filePath("vorm"), dir.filePath("vorm.ini")},
        {dir.filePath("mosaic.exe"), dir.filePath("mosaic.ini")},
        {dir.filePath("v.1/vorm"), dir.filePath("v.1/vorm.ini")},
        {missing + "/vorm", config + "/vorm.ini"},
    };
    QDir(dir.path()).mkpath("v.1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Program.toStdString());
        EXPECT_EQ(IniFileNameFor(c.Program, config), c.Expected);
    }
}

// An installed copy (its desktop entry in ../share/applications) keeps its settings in the
// configuration folder even when its own folder is writable, as ~/.local/bin is; a vorm.ini
// already beside it still wins.
TEST(IniFileName, AnInstalledCopyUsesTheConfigFolderUnlessAnIniIsBesideIt) {
    QTemporaryDir dir;
    const QString config = dir.filePath("config/vorm");
    QDir(dir.path()).mkpath("local/bin");
    QDir(dir.path()).mkpath("local/share/applications");
    QDir(dir.path()).mkpath("other/bin");
    QDir(dir.path()).mkpath("other/share/applications");
    WriteText(dir, "", "local/share/applications/" + DesktopEntryName());
    WriteText(dir, "", "other/share/applications/vorm.desktop"); // someone else's entry
    EXPECT_EQ(IniFileNameFor(dir.filePath("local/bin/vorm"), config), config + "/vorm.ini");
    EXPECT_EQ(IniFileNameFor(dir.filePath("other/bin/vorm"), config),
              dir.filePath("other/bin/vorm.ini"));
    WriteText(dir, "[System]\n", "local/bin/vorm.ini");
    EXPECT_EQ(IniFileNameFor(dir.filePath("local/bin/vorm"), config),
              dir.filePath("local/bin/vorm.ini"));
}
