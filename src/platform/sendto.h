#pragma once
// The file manager's entry for the program: the desktop entry "Wendup FTP.desktop" in the user's
// applications folder. It is hidden from menus and offers the program in "Open With", which then
// starts it with the chosen files as arguments.

#include <QString>

// $XDG_DATA_HOME/applications, or ~/.local/share/applications when XDG_DATA_HOME is not set.
QString SendToFolder();

// SendToFolder() + "/Wendup FTP.desktop".
QString SendToEntryPath();

// The desktop entry's text for the program at `programPath`.
QString SendToEntryText(const QString& programPath);

// Writes the entry for `programPath`, replacing any file of that name; creates the folder when it
// is missing. False when it could not be written.
bool WriteSendToEntry(const QString& programPath);
