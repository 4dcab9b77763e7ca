#pragma once
// The program's own folder, where "wendup.ini" and the profile files live, and the per-user folder
// that holds them (and the machine key) for an installed copy.

#include <string>
#include <string_view>

// $XDG_CONFIG_HOME/wendup, or ~/.config/wendup when XDG_CONFIG_HOME is unset or relative; a host
// path without a trailing "/".
std::string UserConfigFolder();

// $XDG_STATE_HOME/wendup, or ~/.local/state/wendup when XDG_STATE_HOME is unset or relative: the
// logs of the runs. A host path without a trailing "/".
std::string UserStateFolder();

// Creates each missing folder of the host path `path` with mode 0700. True when it is a folder.
bool MakePrivateFolders(const std::string& path);

// The folder for a program whose executable lies in `executableFolder` (host path): WENDUP_HOME
// when set; else `executableFolder` when it already holds "wendup.ini" (a portable copy); else
// UserConfigFolder(), created when missing unless `create` is false. A folder that cannot be
// created is still returned: the first write to it reports the failure. In the system code page,
// ending in "/".
std::string ProgramFolderOf(std::string_view executableFolder, bool create = true);

// ProgramFolderOf the running executable's folder. Needs a QCoreApplication unless WENDUP_HOME is
// set.
std::string ProgramFolder(bool create = true);
