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
