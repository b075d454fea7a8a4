// The shapes and colour treatments in list order, as the window's lists and the command line
// name them.
#pragma once

#include "mosaic_model.h"

#include <array>

struct TShapeEntry {
    const char* Key;  // command-line name
    const char* Text; // English list text
    TBitmapToItemXsInit Init;
};

struct TColorEntry {
    const char* Key;
    const char* Text;
    TColorConv Conv;
};

extern const std::array<TShapeEntry, 7> kShapes;
extern const std::array<TColorEntry, 10> kColors;

// The two treatments whose alpha is always 255: "Color" and "Gray".
inline bool IsOpaqueColorIndex(int AIndex) {
    return AIndex == 0 || AIndex == 5;
}
