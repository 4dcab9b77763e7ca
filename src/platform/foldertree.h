#pragma once
// A local folder with everything inside it, as a list an upload can go through in order: each
// folder comes before its contents, its files before its subfolders, names sorted by their bytes.
// Links to folders are not followed, so a link that points back up cannot make the walk endless.
// Paths and names are as the host gives them.

#include <string>
#include <string_view>
#include <vector>

struct TTreeEntry {
    std::string Path;   // the full local path, the root's path followed by the names inside
    std::string Folder; // the folder the entry lies in, from the root's own name on ("photos",
                        // "photos/2024"); empty for the root
    bool IsFolder = false;
    bool Unreadable = false; // a folder whose contents could not be read
    int Inside = 0;          // for a folder: how many entries after it lie inside it
};

struct TFolderTree {
    std::vector<TTreeEntry> Entries; // the root first
    std::vector<std::string> Links;  // links to folders, left out
};

// The tree of the folder `root` (trailing slashes ignored); no entries when `root` is no folder.
// Anything that is not a folder (a file, a link to one, a dangling link, a FIFO) is a file entry:
// whether it can be read is found out when it is read.
TFolderTree WalkFolder(std::string_view root);
