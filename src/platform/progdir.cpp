#include "platform/progdir.h"

#include "platform/codepage.h"

#include <QCoreApplication>

#include <cstdlib>

std::string ProgramFolder() {
    std::string folder;
    if (const char* home = std::getenv("WENDUP_HOME"); home && *home) {
        folder = home;
    } else {
        folder = QCoreApplication::applicationDirPath().toStdString();
    }
    // A folder whose name has no exact CP932 form cannot hold our files under their own names;
    // keep the bytes as they are rather than open some other folder.
    std::string sjis = Utf8ToSystem(folder).value_or(folder);
    if (sjis.empty() || sjis.back() != '/') sjis += '/';
    return sjis;
}
