#pragma once
// The name a store goes to before it is renamed to its own: in the same folder, so the rename is
// a plain RNFR/RNTO and never a move across file systems, and starting with a dot and our prefix,
// so that no listing can take it for the user's file.

#include <string>

// "/up/a.txt" -> "/up/.wendup-a.txt"; "a.txt" -> ".wendup-a.txt".
std::string TemporaryName(const std::string& remoteFile);
