#pragma once
// The settings file "wendup.ini" in the program's folder, and the operations on settings and
// profile files built on the INI store. Each operation opens the file, does its work and closes it
// again; a settings file that exists but cannot be read raises EIniFileError.

#include <string>
#include <string_view>
#include <vector>

// The program folder + "wendup.ini", in the system code page.
std::string SettingsFilePath();

// True when the name's extension (after its last ".", in its last path component) is not empty and
// its key in [TextMode] reads true; letter case is ignored. The name is a local one, as the host
// gives it. While there is no settings file, the extensions of DefaultTextModeList().
bool IsTextModeFile(std::string_view fileName);
// The same against a list read before (ReadTextModeList), as a session reads it once for all its
// files.
bool IsTextModeFile(std::string_view fileName, const std::vector<std::string>& textExtensions);

// The keys of [TextMode] that read true, in file order; DefaultTextModeList() while there is no
// settings file, since the file the program creates starts with them.
std::vector<std::string> ReadTextModeList();

// The usual extensions of text files.
const std::vector<std::string>& DefaultTextModeList();

class TMyMemIniFile;
// Writes DefaultTextModeList() into [TextMode] of a settings file being created.
void WriteDefaultTextModeList(TMyMemIniFile& ini);

// Replaces [TextMode] by the extensions, in order, each with the value 1. Throws EIniFileError when
// the settings file cannot be written.
void WriteTextModeList(const std::vector<std::string>& extensions);

// The names of the profile files ("*.inf", folders skipped) in the program folder, without their
// ".inf", in the order of the directory search.
std::vector<std::string> ListProfiles();

// The program folder + name + ".inf".
std::string ProfileFilePath(std::string_view name);

// Whether a settings or profile file (a path in the system code page) exists.
bool SettingsFileExists(const std::string& path);

// Installs the file managers' entries for this program, or deletes the ones it wrote. Failures are
// not reported.
void UpdateSendToShortcut(bool install);

// Whether `name` (system code page) can name a profile file in the program folder: not empty, not
// "." or "..", and without "/" or a control character.
bool IsValidProfileName(std::string_view name);
