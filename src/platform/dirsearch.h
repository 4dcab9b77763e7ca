#pragma once
// Directory search with wildcards, as the uploader needs it for its command line and its profiles.
// Paths and names are in the system code page; the conversion to the host's UTF-8 happens here.

#include <string>
#include <string_view>
#include <vector>

struct TSearchEntry {
    std::string Name; // the entry's name alone, system code page
    bool Directory = false;
};

// The entries of the folder of `pattern` whose names match its last path component (`*`, `?`,
// `[...]`; "*.*" matches every name, with or without a dot; a last component that names an existing
// entry exactly finds that entry alone). Hidden names (a leading ".") are found;
// "." and ".." are not entries. Case-sensitive, sorted by name bytes. A folder that cannot be read,
// or a pattern without CP932 form, finds nothing. An entry whose host name has no exact CP932 form
// is left out: it could not be opened under its own name.
std::vector<TSearchEntry> FindEntries(std::string_view pattern);

// Everything up to and including the last "/" of `path`; empty when there is none.
std::string_view FolderPart(std::string_view path);
// What follows it: the last component.
std::string_view NamePart(std::string_view path);

// True when `path` names an existing entry that is not a folder.
bool FileExists(std::string_view path);
