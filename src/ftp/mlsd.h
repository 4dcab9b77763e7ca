#pragma once
// Reading the lines of an MLSD reply (RFC 3659): facts, each ending in ";", then one space, then
// the name, which may hold spaces and semicolons of its own.
//   "type=file;size=1234;modify=20261207103040;UNIX.mode=0644; index.html"
// Unlike a LIST line, the facts are the same on every server: exact sizes, and modification times
// in UTC to the second.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TMlsdEntry {
    std::string Name;
    bool IsDirectory = false;
    std::optional<std::int64_t> Size;     // "size"; folders have none
    std::optional<std::int64_t> Modified; // "modify": seconds since 1970-01-01 00:00 UTC
};

// One line of an MLSD reply, without its line end. nullopt when it names no entry of the folder:
// no name, facts that do not end in ";", or "type=cdir"/"type=pdir" (the folder itself and its
// parent). Fact names and the type's value are read without regard to case. A type other than
// "dir" (a file, a link, a device, or none given) is taken for a file: the server decides whether
// it can be overwritten when the store comes. A size or time that is not a valid number or date is
// left out.
std::optional<TMlsdEntry> ParseMlsdLine(std::string_view line);
