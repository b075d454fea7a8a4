// Every text the window and the About dialog show, in English and Japanese, so that a change of
// wording or a new language touches one file.
#pragma once

#include <QString>
#include <QStringList>

// The tiling list, in the order of the mosaic engine's shapes.
QStringList TilingTexts(bool AJapanese);

// The colour-treatment list, in the order of the engine's treatments.
QStringList ColorTexts(bool AJapanese);

// The five tool-bar buttons.
enum class TToolButton { Open, Save, Preview, BgColor, About };
QString ButtonCaption(TToolButton AButton, bool AJapanese);
// The caption with what else the button does and, when AKeys is not empty, the keys that do
// the same: "Open (Ctrl+O)".
QString ButtonToolTip(TToolButton AButton, bool AJapanese, const QString& AKeys);

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
