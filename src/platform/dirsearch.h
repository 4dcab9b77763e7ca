#pragma once
// Directory search with wildcards, as the uploader needs it for its command line and its profiles.
// Paths and names are as the host gives them (UTF-8 on Linux), whatever characters they hold.

#include <string>
#include <string_view>
#include <vector>

struct TSearchEntry {
    std::string Name; // the entry's name alone, as the host gives it
    bool Directory = false;
};

// The entries of the folder of `pattern` whose names match its last path component (`*`, `?`,
// `[...]`; "*.*" matches every name, with or without a dot; a last component that names an existing
// entry exactly finds that entry alone). Hidden names (a leading ".") are found;
// "." and ".." are not entries. Case-sensitive, sorted by name bytes. A folder that cannot be read
// finds nothing.
std::vector<TSearchEntry> FindEntries(std::string_view pattern);

// Everything up to and including the last "/" of `path`; empty when there is none.
std::string_view FolderPart(std::string_view path);
// What follows it: the last component.
std::string_view NamePart(std::string_view path);

// True when `path` names an existing entry that is not a folder.
bool FileExists(std::string_view path);
