#pragma once
// The program's own folder, where "wendup.ini" and the profile files live.

#include <string>

// The folder of the executable, or the folder that WENDUP_HOME names when it is set (tests and
// installed copies use it). In the system code page, ending in "/". Needs a QCoreApplication unless
// WENDUP_HOME is set.
std::string ProgramFolder();
