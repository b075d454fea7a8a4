// vorm-cli's maker options (mosaic/maker.h): their texts, and their values read into one
// TMakerOptions. Kept beside main.cpp so that the converter's own flow stays short.
#pragma once

#include "maker.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <functional>

struct TMakerCommandLine {
    QCommandLineOption Palette{"palette",
                               "Limit the colours to a palette: a .gpl, .hex or .csv file, or the "
                               "name of one that --list-palettes shows.",
                               "FILE"};
    QCommandLineOption ListPalettes{"list-palettes", "List the palettes found by name, and exit."};
    QCommandLineOption Colors{"colors",
                              "Use N colours, 2 to 256: made for the picture, or with --palette "
                              "the N palette colours that serve it best.",
                              "N"};
    QCommandLineOption Dither{"dither",
                              "With --palette or --colors: spread each tile's colour error to its "
                              "later neighbours."};
    QCommandLineOption Grout{
        "grout", "Joints of W pixels between the tiles (default 0; decimals allowed).", "W"};
    QCommandLineOption GroutColor{"grout-color",
                                  "Colour of the joints: #RRGGBB, #RRGGBBAA or transparent (the "
                                  "default).",
                                  "COLOR"};
    QCommandLineOption Outline{"outline", "Stroke every tile's edge W pixels wide.", "W"};
    QCommandLineOption OutlineColor{"outline-color",
                                    "Colour of the outlines: #RRGGBB or #RRGGBBAA (default "
                                    "#000000).",
                                    "COLOR"};
    QCommandLineOption Bom{"bom",
                           "Also write a bill of materials, one row per colour: FILE.csv or "
                           "FILE.json.",
                           "FILE"};
    QCommandLineOption Tiles{
        "tiles", "Also write every tile's corners, colour and pixels: FILE.json.", "FILE"};
    QCommandLineOption CutLines{
        "cut-lines", "Also write every tile edge once, as stroked paths: FILE.svg.", "FILE"};

    // In the order of the help.
    QList<QCommandLineOption> listed() const;
};

// Reads the options into AOut. A mistake calls AUsageError (which must not return); a palette
// that cannot be read throws EVormError naming the file and the line. AInit and ACell are the
// shape and cell chosen, for the check that the grout leaves something of the tiles.
void ParseMakerOptions(const QCommandLineParser& AParser, const TMakerCommandLine& ACmd,
                       TBitmapToItemXsInit AInit, float ACell,
                       const std::function<void(const QString&)>& AUsageError, TMakerOptions& AOut);

// What --list-palettes prints.
QString PaletteListText();
