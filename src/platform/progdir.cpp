#include "platform/progdir.h"

#include "platform/codepage.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// $VARIABLE/wendup, or the home folder + `fallback` + "/wendup"; a relative value is invalid and
// ignored, as the base-directory rules say.
std::string XdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    const std::string base = value && value[0] == '/' ? value : HomeFolder() + fallback;
    return base + "/wendup";
}

} // namespace

std::string UserConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string UserStateFolder() {
    return XdgFolder("XDG_STATE_HOME", "/.local/state");
}

bool MakePrivateFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ProgramFolderOf(std::string_view executableFolder, bool create) {
    std::string folder;
    if (const char* home = std::getenv("WENDUP_HOME"); home && *home) {
        folder = home;
    } else if (IsFile(std::string(executableFolder) + "/wendup.ini")) {
        folder = executableFolder;
    } else {
        folder = UserConfigFolder();
        if (create) MakePrivateFolders(folder);
    }
    // A folder whose name has no exact CP932 form cannot hold our files under their own names;
    // keep the bytes as they are rather than open some other folder.
    std::string sjis = Utf8ToSystem(folder).value_or(folder);
    if (sjis.empty() || sjis.back() != '/') sjis += '/';
    return sjis;
}

std::string ProgramFolder(bool create) {
    if (const char* home = std::getenv("WENDUP_HOME"); home && *home)
        return ProgramFolderOf({}, create);
    return ProgramFolderOf(QCoreApplication::applicationDirPath().toStdString(), create);
}
