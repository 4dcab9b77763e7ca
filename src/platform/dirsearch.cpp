#include "platform/dirsearch.h"

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace {

bool IsDirectory(const std::string& hostPath) {
    struct stat st {};
    return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string_view FolderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

std::string_view NamePart(std::string_view path) {
    return path.substr(FolderPart(path).size());
}

std::vector<TSearchEntry> FindEntries(std::string_view pattern) {
    std::vector<TSearchEntry> found;
    const std::string folder(FolderPart(pattern));
    std::string mask(pattern.substr(folder.size()));
    if (mask.empty()) return found;
    // The old wildcard "*.*" also meant names without a dot.
    if (mask == "*.*") mask = "*";

    // A name given whole is that file, even when it holds "[" or "?" (the file manager hands
    // such names over as they are).
    if (struct stat st{}; stat((folder + mask).c_str(), &st) == 0) {
        found.push_back({mask, S_ISDIR(st.st_mode)});
        return found;
    }

    const std::string dirName = folder.empty() ? "." : folder;
    DIR* dir = opendir(dirName.c_str());
    if (!dir) return found;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (fnmatch(mask.c_str(), name.c_str(), FNM_NOESCAPE) != 0) continue;
        found.push_back({name, IsDirectory(folder + name)});
    }
    closedir(dir);
    std::sort(found.begin(), found.end(),
              [](const TSearchEntry& a, const TSearchEntry& b) { return a.Name < b.Name; });
    return found;
}

bool FileExists(std::string_view path) {
    if (path.empty()) return false;
    struct stat st {};
    return stat(std::string(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}
