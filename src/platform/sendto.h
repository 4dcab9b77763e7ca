#pragma once
// The file managers' ways to hand files to the program, all installed and removed together:
// - the desktop entry "Wendup FTP.desktop" in the user's applications folder, hidden from menus
//   and registered for no file type: a type whose only registered program is this one would get it
//   as its default (double-clicking an unknown file would upload it). "Open With Other
//   Application" still lists it, and starts it with the chosen files;
// - Thunar's "Send To" entry, Dolphin's service menu for all files and a Nautilus script.
// Each starts the program with the chosen files as arguments.

#include <QString>

#include <vector>

// $XDG_DATA_HOME, or ~/.local/share when XDG_DATA_HOME is unset or relative.
QString UserDataFolder();

// UserDataFolder() + "/applications".
QString SendToFolder();

// SendToFolder() + "/Wendup FTP.desktop".
QString SendToEntryPath();

// One file of the hand-off: where it goes, what it holds, whether it must be executable.
struct TSendToFile {
    QString Path;
    QString Text;
    bool Executable = false;
};

// Every file of the hand-off for the program at `programPath`, the desktop entry first.
std::vector<TSendToFile> SendToFiles(const QString& programPath);

// Writes every file, replacing files of the same names and creating missing folders, then
// refreshes the applications folder's MIME cache. False when a file could not be written.
bool WriteSendToFiles(const QString& programPath);

// Deletes each file of the hand-off that the program wrote (a file of the same name with other
// contents is the user's and stays), and refreshes the MIME cache when the desktop entry was among
// them. Nothing happens when none exists. Not to the trash: restoring one from there would bring
// back a hand-off the user turned off.
void RemoveSendToFiles();

// Whether `text`, the contents of a hand-off file, has the form the program writes, for any
// program path.
bool IsWrittenSendToFile(const QByteArray& text);
