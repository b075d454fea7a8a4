// The palette readers: each format, the leniency the programs that write them agree on, and a
// table of files that must be refused with the file and the line named.
#include "palette.h"
#include "vorm_error.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

TPalette Parse(const char* AText, const char* AName) {
    return ParsePalette(QByteArray(AText), QString::fromLatin1(AName));
}

TEST(Palette, GimpPaletteAsGimpInkscapeAndKritaWriteIt) {
    // A byte order mark, CR LF, headers, comments, blank lines, tabs before names, loose spacing.
    const TPalette p = Parse("\xEF\xBB\xBFGIMP Palette\r\n"
                             "Name: Bricks\r\n"
                             "Columns: 4\r\n"
                             "#\r\n"
                             "# a comment\r\n"
                             "  0   0   0\tBlack\r\n"
                             "\r\n"
                             "255 255 255\t  Pure white  \r\n"
                             "12 34 56 Untitled\r\n"
                             "200 10 10\r\n",
                             "bricks.gpl");
    EXPECT_EQ(p.Name, "Bricks");
    ASSERT_EQ(p.Entries.size(), 4u);
    EXPECT_EQ(p.Entries[0].Rgb, 0xFF000000u);
    EXPECT_EQ(p.Entries[0].Name, "Black");
    EXPECT_EQ(p.Entries[1].Name, "Pure white");
    EXPECT_EQ(p.Entries[2].Rgb, 0xFF0C2238u);
    EXPECT_EQ(p.Entries[2].Name, ""); // GIMP's word for no name
    EXPECT_EQ(p.Entries[2].label(), "#0C2238");
    EXPECT_EQ(p.Entries[3].label(), "#C80A0A");
    // Inkscape takes the headers anywhere.
    const TPalette late = Parse("GIMP Palette\n1 2 3 one\nName: Late\n", "late.gpl");
    EXPECT_EQ(late.Name, "Late");
    // Without a name, the file's.
    EXPECT_EQ(Parse("GIMP Palette\n1 2 3\n", "dir/plain.gpl").Name, "plain");
}

TEST(Palette, HexAndCsv) {
    const TPalette hex = Parse("ff0000\n#00FF00\r\n\n0000ff\n", "lospec.hex");
    ASSERT_EQ(hex.Entries.size(), 3u);
    EXPECT_EQ(hex.Entries[0].Rgb, 0xFFFF0000u);
    EXPECT_EQ(hex.Entries[1].Rgb, 0xFF00FF00u);
    EXPECT_EQ(hex.Entries[2].Rgb, 0xFF0000FFu);
    const TPalette csv = Parse("name,hex,code\n"
                               "Bright Red,#C91A09,21\n"
                               "\"Tan, light\",#E4CD9E,5\n"
                               "\"Say \"\"hi\"\"\",#000000\n"
                               " Blue ,#0055BF,\n",
                               "bricks.csv");
    ASSERT_EQ(csv.Entries.size(), 4u);
    EXPECT_EQ(csv.Entries[0].Name, "Bright Red");
    EXPECT_EQ(csv.Entries[0].Code, "21");
    EXPECT_EQ(csv.Entries[0].Rgb, 0xFFC91A09u);
    EXPECT_EQ(csv.Entries[1].Name, "Tan, light");
    EXPECT_EQ(csv.Entries[2].Name, "Say \"hi\"");
    EXPECT_EQ(csv.Entries[2].Code, "");
    EXPECT_EQ(csv.Entries[3].Name, "Blue");
    // No titles: the first line is a colour.
    EXPECT_EQ(Parse("Red,#FF0000\n", "x.csv").Entries.size(), 1u);
    // Any other extension: sniffed.
    EXPECT_EQ(Parse("GIMP Palette\n1 2 3 a\n", "palette.txt").Entries.size(), 1u);
}

TEST(Palette, NamesThatAreNotUtf8AreReadAsLatin1) {
    const TPalette p = Parse("GIMP Palette\n1 2 3 Caf\xE9\n", "old.gpl");
    EXPECT_EQ(p.Entries[0].Name, QString::fromUtf8("Café"));
}

// Every way a file may be wrong: the message names the file, and the line where there is one.
TEST(Palette, MalformedFilesAreRefusedWithFileAndLine) {
    const struct {
        const char* Name;
        QByteArray Data;
        int Line; // 0: no line in the message
        const char* Reason;
    } cases[] = {
        {"empty.gpl", "", 1, "GIMP Palette"},
        {"nomagic.gpl", "Name: x\n1 2 3\n", 1, "GIMP Palette"},
        {"jasc.gpl", "JASC-PAL\n0100\n1\n1 2 3\n", 1, "GIMP Palette"},
        {"short.gpl", "GIMP Palette\n1 2\n", 2, "red, green and blue"},
        {"big.gpl", "GIMP Palette\n1 2 3 a\n256 0 0 b\n", 3, "red, green and blue"},
        {"negative.gpl", "GIMP Palette\n-1 0 0 b\n", 2, "red, green and blue"},
        {"word.gpl", "GIMP Palette\nred green blue\n", 2, "red, green and blue"},
        {"float.gpl", "GIMP Palette\n1.5 2 3\n", 2, "red, green and blue"},
        {"hexin.gpl", "GIMP Palette\n0x10 2 3\n", 2, "red, green and blue"},
        {"onlyheader.gpl", "GIMP Palette\nName: nothing\n", 0, "no colours"},
        {"control.gpl",
         "GIMP Palette\n1 2 3 a\x01"
         "b\n",
         2, "control character"},
        {"nul.gpl", QByteArray("GIMP Palette\n1 2 3 a\0b\n", 23), 2, "not text"},
        {"long.gpl", "GIMP Palette\n1 2 3 " + QByteArray(5000, 'x') + "\n", 2, "longer than"},
        {"bad.hex", "ff0000\nff00\n", 2, "RRGGBB"},
        {"word.hex", "ff0000\nzzzzzz\n", 2, "RRGGBB"},
        {"comment.hex", "; palette\nff0000\n", 1, "RRGGBB"},
        {"blank.hex", "\n\n", 0, "no colours"},
        {"short.csv", "Red,#FF0000\nGreen\n", 2, "name,#RRGGBB"},
        {"many.csv", "Red,#FF0000,1,extra\n", 1, "name,#RRGGBB"},
        {"badcolour.csv", "name,hex\nRed,#FF00000\n", 2, "name,#RRGGBB"},
        {"quote.csv", "\"Red,#FF0000\n", 1, "name,#RRGGBB"},
        {"titles.csv", "name,hex\n", 0, "no colours"},
        {"palette.txt", "ff0000\n", 0, "unknown palette format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            ParsePalette(c.Data, QString::fromLatin1(c.Name));
            ADD_FAILURE() << "accepted";
        } catch (const EVormError& e) {
            const QString m = e.message();
            EXPECT_TRUE(m.contains(QLatin1String(c.Name))) << m.toStdString();
            EXPECT_TRUE(m.contains(QLatin1String(c.Reason))) << m.toStdString();
            if (c.Line > 0)
                EXPECT_TRUE(m.contains(QStringLiteral("line %1:").arg(c.Line))) << m.toStdString();
            else
                EXPECT_FALSE(m.contains(QStringLiteral("line "))) << m.toStdString();
        }
    }
}

TEST(Palette, AtMost4096Colours) {
    QByteArray ok = "GIMP Palette\n", over;
    for (int i = 0; i < 4096; ++i)
        ok += QByteArray::number(i % 256) + " 0 0\n";
    EXPECT_EQ(ParsePalette(ok, "ok.gpl").Entries.size(), 4096u);
    over = ok + "1 1 1\n";
    try {
        ParsePalette(over, "over.gpl");
        ADD_FAILURE();
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("line 4098: more than 4096 colours"))
            << e.message().toStdString();
    }
    EXPECT_THROW(ParsePalette(QByteArray(5 << 20, ' '), "huge.hex"), EVormError);
}

TEST(Palette, FilesAndNames) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mine.hex");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("112233\n");
    }
    EXPECT_EQ(LoadPalette(path).Entries.size(), 1u);
    EXPECT_EQ(ResolvePalette(path).Entries.size(), 1u);
    try {
        LoadPalette(dir.filePath("missing.gpl"));
        ADD_FAILURE();
    } catch (const EVormError& e) {
        EXPECT_TRUE(e.message().contains("missing.gpl")) << e.message().toStdString();
    }
    EXPECT_THROW(LoadPalette(dir.path()), EVormError);
    // The palettes that come with VORM, by name in any letter case.
    EXPECT_EQ(ResolvePalette("black-white").Entries.size(), 2u);
    EXPECT_EQ(ResolvePalette("Greys-4").Entries.size(), 4u);
    EXPECT_EQ(ResolvePalette("greys-8.gpl").Entries.size(), 8u);
    EXPECT_EQ(ResolvePalette("greys-16").Entries.size(), 16u);
    const TPalette web = ResolvePalette("web-safe");
    ASSERT_EQ(web.Entries.size(), 216u);
    EXPECT_EQ(web.Entries[0].Rgb, 0xFF000000u);
    EXPECT_EQ(web.Entries[215].Rgb, 0xFFFFFFFFu);
    EXPECT_THROW(ResolvePalette("no-such-palette"), EVormError);
    bool listed = false;
    for (const TPaletteListing& l : ListPalettes())
        listed = listed || (l.Name == "web-safe" && l.Colors == 216);
    EXPECT_TRUE(listed);
}

} // namespace
