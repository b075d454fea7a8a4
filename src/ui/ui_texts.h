// Every text the window and the About dialog show, in English and Japanese, so that a change of
// wording or a new language touches one file; the option lists' texts stand with the options in
// the engine's catalog.
#pragma once

#include <QString>
#include <QStringList>

// The five tool-bar buttons.
enum class TToolButton { Open, Save, Preview, BgColor, About };
QString ButtonCaption(TToolButton AButton, bool AJapanese);

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
