// Where the window keeps its settings.
#pragma once

#include <QString>

// The program's own path with ".ini" for its extension when that file exists: a vorm.ini
// beside the program always wins. Otherwise an installed copy, one whose "../share/
// applications" holds its desktop entry, keeps vorm.ini in the user's configuration folder;
// any other copy (a run from the build tree, a portable folder) keeps it beside the program
// when that folder is writable, and in the configuration folder when it is not.
QString IniFileName();

// The rule above for a given program path and configuration folder.
QString IniFileNameFor(const QString& AProgramPath, const QString& AConfigFolder);

// The file name of the desktop entry that marks an installed copy, "ID.desktop".
QString DesktopEntryName();
