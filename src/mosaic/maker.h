// The maker options: what turns a mosaic picture into something that can be built from real
// materials. Colours limited to a palette or to a number of colours, dithering, grout between
// the tiles, outlines around them, and files beside the mosaic: a bill of materials, a list of
// the tiles, and cut lines. All of them are off by default, and with all of them off every
// output is the same, byte for byte, as without this step.
//
// The step sits between the treated colours and painting or writing:
//   tiles → sums → treated colours → mapped colours (MapTileColors) → paint or write.
// The drivers (drivers.h) take one TMakerOptions and apply it, for the window and vorm-cli alike.
#pragma once

#include "mosaic_model.h"
#include "palette.h"

#include <QString>
#include <cstdint>
#include <vector>

struct TMakerOptions {
    TPalette Palette;    // no entries: no palette
    int Colors = 0;      // 0: every colour; 2 to 256: that many, from the picture or the palette
    bool Dither = false; // spread each tile's colour error to its later neighbours
    double Grout = 0;    // joint width in pixels: each tile is inset by half of it
    TAlphaColor GroutColor = 0; // 0xAARRGGBB painted in the joints; 0 (transparent) by default
    double Outline = 0;         // stroke width in pixels around every tile; 0 for none
    TAlphaColor OutlineColor = 0xFF000000;
    QString BomFile;      // .csv or .json; empty for none
    QString TilesFile;    // .json
    QString CutLinesFile; // .svg

    bool hasPalette() const { return !Palette.Entries.empty(); }
    // The tiles take colours from a list: the palette's, or one made for the picture.
    bool mapsColors() const { return hasPalette() || Colors > 0; }
    bool changesPicture() const {
        return mapsColors() || Grout > 0 || (GroutColor >> 24) != 0 || Outline > 0;
    }
    bool any() const {
        return changesPicture() || !BomFile.isEmpty() || !TilesFile.isEmpty() ||
               !CutLinesFile.isEmpty();
    }
    // The files beside the mosaic, in the order they are written.
    QStringList sideFiles() const;
};

// A colour of the mosaic's list, as the bill of materials and the SVG's layers show it.
struct TMakerColor {
    TAlphaColor Rgb; // 0xFFRRGGBB
    QString Name;    // the palette's name; empty for a colour without one
    QString Code;
    QString label() const; // Name, or #RRGGBB
};

constexpr uint16_t kNoSlot = 0xFFFF;

// The result of the mapped-colour step, a few bytes a tile.
struct TTileColors {
    std::vector<TAlphaColor> Color;  // per tile: the colour painted and written, treated alpha kept
    std::vector<uint16_t> Slot;      // per tile: its colour in Colors; kNoSlot when not written
    std::vector<TMakerColor> Colors; // in palette order (a computed list: by lightness)
    bool Grouped = false;            // the SVG groups the tiles in one layer per colour
};

// The mapped-colour step. Every tile with pixels takes its treated colour (AConv) and then,
// with a palette or a colour count, the nearest colour of the list by CIEDE2000 (or, dithered,
// of its colour plus the error its earlier neighbours passed on). Tiles that the grout would
// turn inside out get kNoSlot. Without a colour list each distinct colour is its own slot, in
// the order of first use. Throws ECanceled when AProgress asks to stop.
TTileColors MapTileColors(const TItemXs& AItems, TColorConv AConv, const TMakerOptions& AOptions,
                          TProgress* AProgress);

// False when a grout of AGrout pixels would leave nothing of the tiles of that shape and cell.
bool GroutLeavesTiles(TBitmapToItemXsInit AInit, float w, double AGrout);

// "#RRGGBB", "#RRGGBBAA" or "transparent" (letter case ignored) as 0xAARRGGBB; false otherwise.
bool ParseMakerColor(const QString& AText, TAlphaColor& AOut);
