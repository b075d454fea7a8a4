// Palettes of real materials: the colours a mosaic may use, read from a file. Three formats:
//   .gpl  GIMP's palette, as GIMP, Inkscape and Krita write it: "GIMP Palette" on the first line,
//         then "R G B name" lines; "Name:" and "Columns:" headers and "#" comments anywhere;
//   .hex  one RRGGBB a line (a leading # allowed), as palette sites offer them;
//   .csv  name,#RRGGBB[,code] a line, the code being a maker's own product number; a first line
//         of column titles is skipped.
// A file is untrusted input: anything these readers disagree on, or that makes no sense, is
// refused with a message naming the file and the line. CR LF, a UTF-8 byte order mark, loose
// spacing and blank lines are accepted everywhere; a file that is not UTF-8 is read as Latin-1.
#pragma once

#include "alpha_color.h"

#include <QString>
#include <QStringList>
#include <vector>

struct TPaletteEntry {
    QString Name;    // as the file gives it, trimmed; may be empty
    TAlphaColor Rgb; // 0xFFRRGGBB
    QString Code;    // the maker's product number, from a .csv; may be empty
    // The name a bill of materials or a layer shows: the name, or #RRGGBB when there is none.
    QString label() const;
};

struct TPalette {
    QString Name; // the file's "Name:" header, or its base name
    QString File; // where it was read from; empty for one made in memory
    std::vector<TPaletteEntry> Entries;
};

constexpr int kMaxPaletteColors = 4096;
constexpr qint64 kMaxPaletteBytes = 4 << 20;

// Parses palette text. AFileName names the file in messages and picks the format by its
// extension (.gpl, .hex, .csv; any other is sniffed: "GIMP Palette" makes a .gpl). Throws
// EVormError "Cannot read the palette "file": line N: reason."
TPalette ParsePalette(const QByteArray& AData, const QString& AFileName);
// Reads and parses a palette file; throws EVormError naming the file.
TPalette LoadPalette(const QString& AFileName);

// The folders searched for palettes by name, in order: VORM's own (beside the program, then
// where it is installed), then those of GIMP, Inkscape and Krita in the XDG data folders and
// GIMP's configuration folder. Only existing folders are listed.
QStringList PaletteFolders();
// A palette file by name: ASpec itself when it names an existing file, otherwise the first file
// in PaletteFolders() whose base name (or whole name) is ASpec, letter case ignored. An empty
// string when there is none.
QString FindPaletteFile(const QString& ASpec);
// FindPaletteFile, then LoadPalette; throws EVormError when there is no such palette.
TPalette ResolvePalette(const QString& ASpec);

struct TPaletteListing {
    QString Name; // the base name that --palette takes
    QString File;
    int Colors = -1; // -1 when the file cannot be read
    QString Problem; // why not
};
// Every palette file in PaletteFolders(), folder by folder, by name; a name already found in an
// earlier folder is left out, since --palette would never reach it.
std::vector<TPaletteListing> ListPalettes();
