// The shapes and colour treatments in list order: their command-line names, their list texts in
// English and Japanese and, for the treatments, whether they are always opaque. The window's
// lists, vorm-cli's parser and help, and the SVG writer's opacity switch all read from here; the
// README's lists follow the same order.
#pragma once

#include "mosaic_model.h"

#include <QStringList>
#include <array>

struct TShapeEntry {
    const char* Key;    // command-line name
    const char* Text;   // English list text
    const char* TextJa; // Japanese list text, UTF-8
    TBitmapToItemXsInit Init;
};

struct TColorEntry {
    const char* Key;
    const char* Text;
    const char* TextJa;
    TColorConv Conv;
    bool Opaque; // the alpha is always 255, so the SVG writer leaves out the opacity attributes
};

extern const std::array<TShapeEntry, 7> kShapes;
extern const std::array<TColorEntry, 10> kColors;

// Whether the treatment at that list position is always opaque; false for any other position.
bool IsOpaqueColorIndex(int AIndex);

// The window's lists, in list order.
QStringList TilingTexts(bool AJapanese);
QStringList ColorTexts(bool AJapanese);

// The command-line names joined by ", ", the first marked "(default)".
QString ShapeKeysText();
QString ColorKeysText();

// The command-line names in list order (vorm-cli's shell completion offers them).
QStringList ShapeKeys();
QStringList ColorKeys();
