#include "ftp/tempname.h"

std::string TemporaryName(const std::string& remoteFile) {
    // '/' is never the second byte of a Shift_JIS character, so the last one ends the folder.
    const std::size_t slash = remoteFile.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return remoteFile.substr(0, base) + ".wendup-" + remoteFile.substr(base);
}
