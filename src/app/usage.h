#pragma once
// The two options for the terminal: "--help" and "--version" print to standard output and end the
// program without opening a window. They count only as the one and only argument, since any other
// argument may be a file that happens to carry such a name.

#include <string>
#include <vector>

enum class TInfoOption { None, Help, Version };

// The option of the host arguments (argv without the program).
TInfoOption InfoOption(const std::vector<std::string>& arguments);

// "Wendup FTP uploader" and the version, one line.
std::string VersionText();

// The options of the command line and `settingsFolder` (UTF-8), the folder of the settings files.
std::string UsageText(const std::string& settingsFolder);

// Prints the text of `option` to standard output; needs a QCoreApplication. 0 when it was
// written, else 1.
int PrintInfo(TInfoOption option);
