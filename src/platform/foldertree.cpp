#include "platform/foldertree.h"

#include <algorithm>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace {

// Deeper than any real tree; a bind mount of a folder inside itself would otherwise go on.
constexpr int MaxDepth = 64;

struct TWalk {
    TFolderTree tree;
    std::set<std::pair<dev_t, ino_t>> entered; // folders on the way down, by identity
};

// The names of a folder split into files and subfolders, each sorted; false when unreadable.
bool ReadFolder(const std::string& path, std::vector<std::string>& files,
                std::vector<std::string>& folders, std::vector<std::string>& links) {
    DIR* dir = opendir(path.c_str());
    if (!dir) return false;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string full = path + "/" + name;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0) {
            files.push_back(name); // gone meanwhile: it fails when its turn comes
        } else if (S_ISDIR(st.st_mode)) {
            folders.push_back(name);
        } else if (S_ISLNK(st.st_mode) && stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            links.push_back(full);
        } else {
            files.push_back(name);
        }
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    return true;
}

void AddFolder(TWalk& walk, const std::string& path, const std::string& folder,
               const std::string& name, int depth) {
    const std::size_t at = walk.tree.Entries.size();
    walk.tree.Entries.push_back({path, folder, true, false, 0});
    const std::string inside = folder.empty() ? name : folder + "/" + name;
    struct stat st {};
    std::vector<std::string> files, folders;
    const bool known = stat(path.c_str(), &st) == 0;
    if (!known || depth >= MaxDepth || !walk.entered.insert({st.st_dev, st.st_ino}).second ||
        !ReadFolder(path, files, folders, walk.tree.Links)) {
        walk.tree.Entries[at].Unreadable = true;
        return;
    }
    for (const std::string& file : files)
        walk.tree.Entries.push_back({path + "/" + file, inside, false, false, 0});
    for (const std::string& sub : folders)
        AddFolder(walk, path + "/" + sub, inside, sub, depth + 1);
    walk.entered.erase({st.st_dev, st.st_ino});
    walk.tree.Entries[at].Inside = static_cast<int>(walk.tree.Entries.size() - at - 1);
}

} // namespace

TFolderTree WalkFolder(std::string_view root) {
    std::string path(root);
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    TWalk walk;
    struct stat st {};
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return walk.tree;
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    // The root of the file system has no name to give a folder on the server.
    if (name.empty()) return walk.tree;
    AddFolder(walk, path, {}, name, 0);
    return std::move(walk.tree);
}
