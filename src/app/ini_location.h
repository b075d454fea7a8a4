// Where the window keeps its settings.
#pragma once

#include <QString>

// The program's own path with ".ini" for its extension, when that file exists or its folder is
// writable (a portable copy, or a run from the build tree); otherwise vorm.ini in the user's
// configuration folder, since an installed program's folder is not writable.
QString IniFileName();

// The rule above for a given program path and configuration folder.
QString IniFileNameFor(const QString& AProgramPath, const QString& AConfigFolder);
