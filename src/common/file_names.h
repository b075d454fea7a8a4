// Which pictures the window opens, and how a save treats a file that already exists: it is moved
// aside to the first free numbered name ("photo (1).svg"), so nothing is ever overwritten.
#pragma once

#include <QString>
#include <functional>

// True for names ending in .psd, .jpg, .png, .gif or .bmp, in any letter case.
bool IsAcceptedFile(const QString& AFileName);

// The first "base (n).ext" in the same folder that nothing has, not even a broken symbolic link;
// a name already numbered continues from its number.
QString FreeFileName(const QString& AFileName);

// Told the old and new file names (without folders) before the move; it cannot decline.
using TRenameNotify = std::function<void(const QString& AOldName, const QString& ANewName)>;

// Moves an existing AFileName aside to FreeFileName(AFileName), after telling ANotify, and
// returns where it went. A symbolic link is moved itself, never followed. When another program
// takes the free name first, the next one is tried (and told). Does nothing and returns an
// empty string when nothing has the name. Throws EVormError with the system's reason when the
// move fails; the existing file then stays where it was.
QString RenameExisting(const QString& AFileName, const TRenameNotify& ANotify);

// After a save of AFileName that wrote nothing: the earlier file, moved aside to AMovedTo, gets
// its name back. True when it did; false when there was none or the name is taken again, which
// is never replaced.
bool PutBackEarlier(const QString& AFileName, const QString& AMovedTo);

// The message that tells the user of the move, in English or Japanese.
QString RenameMessage(const QString& AOldName, const QString& ANewName, bool AJapanese);
