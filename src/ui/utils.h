// Language test and the small desktop services the dialogs need.
#pragma once

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QLocale>
#include <QString>
#include <functional>

class QTranslator;
class QWidget;

// True when the user interface is Japanese: the locale's ISO 639 language is exactly "ja".
// Asks the system each time.
bool IsJapanese();
bool IsJapanese(const QLocale& ALocale);

// The program's version, four numbers joined by "." (1.0.0.0); empty when unknown.
QString FileVersionString();

// For a Japanese user interface, Qt's own texts (file dialogs, message-box buttons, the names
// of keys) in Japanese too, from the translations Qt ships (Debian: qt6-translations-l10n).
// Returns the translator installed in the application, or null: English, or no translation.
QTranslator* InstallQtTranslations(bool AJapanese);

// Opens an address, a document or a program with the desktop's default handler. A target that
// cannot be opened does nothing.
void ShellOpen(const QString& ATarget);

// A PNG picture compiled into the program, by name (ABOUT_ICN60, ABOUT_SKINW, ABOUT_SKINB,
// APP_ICON256). Throws EVormError naming the picture when there is no such resource or it does
// not decode.
QImage LoadBitmapResource(const QString& AName);

// Shows the message of a command that failed, over AParent's window, and returns once the user
// has read it; the program goes on. The tool-bar buttons report what their actions throw here.
void ReportCommandError(QWidget* AParent, const QString& AMessage);
// Replaces the message box (tests); an empty function restores it.
using TErrorReporter = std::function<void(QWidget* AParent, const QString& AMessage)>;
void SetErrorReporter(TErrorReporter AReporter);

// The program's icon, for every window.
QIcon AppIcon();

// AFamily when it is installed, else the desktop's sans-serif, so that a font of Windows that
// Linux lacks does not end up as whatever fontconfig picks. APixelSize is in device-independent
// pixels and may be fractional; ALogicalDpi is that of the device drawn on, so that the text
// keeps its size inside controls whose size is fixed in pixels.
QFont UiFont(const QString& AFamily, double APixelSize, int ALogicalDpi);
