// Every text the window and the About dialog show, in English and Japanese, so that a change of
// wording or a new language touches one file; the option lists' texts stand with the options in
// the engine's catalog.
#pragma once

#include <QString>
#include <QStringList>

// The five tool-bar buttons.
enum class TToolButton { Open, Save, Preview, BgColor, About };
QString ButtonCaption(TToolButton AButton, bool AJapanese);
// The caption with what else the button does and, when AKeys is not empty, the keys that do
// the same: "Open (Ctrl+O)".
QString ButtonToolTip(TToolButton AButton, bool AJapanese, const QString& AKeys);

// The four option lists, by the names screen readers give them.
enum class TOptionList { Shape, Color, CellSize, Opacity };
QString OptionListName(TOptionList AList, bool AJapanese);

// Texts that are the same in both languages.
QStringList CellWidthTexts();
QStringList OpacityTexts();
QString WindowCaption(const QString& AOpenFileName = {});

// The About dialog.
QString AboutCaption(bool AJapanese);
QString AboutVersionLine(const QString& AFileVersion);
QString AboutTitle();
QString AboutMaker();
QString AboutUrl(bool AJapanese);
QString AboutOkCaption();

// The "Tiles" panel, its context menu and its export.
enum class TPanelText {
    Title,   // the panel's heading
    ToolTip, // the heading's tooltip; %1 is the key that shows and hides the panel
    Palette,
    PaletteNone,
    PaletteOpen,   // the last entry of the palette list
    PaletteDialog, // the title of the palette file dialog
    PaletteFilter, // the palette file dialog's filter, without its patterns
    Colors,
    ColorsAll,
    Dither,
    Grout,
    GroutColor,
    Outline,
    OutlineColor,
    Transparent, // a colour button's text for a fully transparent colour
    Bom,         // the heading above the table
    BomSwatch,
    BomName,
    BomCode,
    BomWhole,
    BomCut,
    BomShare,
    Export,
    ExportDialog,
    ExportBomCsv, // the export dialog's filters, without their patterns
    ExportBomJson,
    ExportTiles,
    ExportCutLines,
    ExportNothing, // when no mosaic has been made yet
    MenuPanel,     // the context menu of the picture area
    MenuFit,
    MenuActual,
    MenuCopy,
    Count
};
QString PanelText(TPanelText AText, bool AJapanese);
