#include "app/settings.h"

#include "app/cmdline.h"
#include "app/myinifile.h"
#include "platform/codepage.h"
#include "platform/dirsearch.h"
#include "platform/progdir.h"
#include "platform/sendto.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

constexpr std::string_view TextModeSection = "TextMode";

} // namespace

std::string SettingsFilePath() {
    return ProgramFolder() + "wendup.ini";
}

bool IsTextModeFile(std::string_view fileName) {
    return IsTextModeFile(fileName, ReadTextModeList());
}

bool IsTextModeFile(std::string_view fileName, const std::vector<std::string>& textExtensions) {
    const std::size_t at = fileName.find_last_of("./");
    if (at == std::string_view::npos || fileName[at] != '.') return false;
    // The list's extensions are in the system code page, like every settings file.
    const auto extension = Utf8ToSystem(fileName.substr(at + 1));
    if (!extension || extension->empty()) return false;
    return std::any_of(textExtensions.begin(), textExtensions.end(),
                       [&](const std::string& listed) { return SameIniName(listed, *extension); });
}

std::vector<std::string> ReadTextModeList() {
    const std::string path = SettingsFilePath();
    if (!FileExists(path)) return DefaultTextModeList();
    const TMyMemIniFile ini(path);
    std::vector<std::string> list;
    for (std::string& key : ini.ReadSection(TextModeSection))
        if (ini.ReadBool(TextModeSection, key, false)) list.push_back(std::move(key));
    return list;
}

void WriteTextModeList(const std::vector<std::string>& extensions) {
    TMyMemIniFile ini(SettingsFilePath());
    ini.EraseSection(TextModeSection);
    for (const std::string& extension : extensions)
        ini.WriteBool(TextModeSection, extension, true);
}

const std::vector<std::string>& DefaultTextModeList() {
    static const std::vector<std::string> list = {"txt", "htm", "html", "css", "js",
                                                  "csv", "xml", "php",  "cgi", "pl"};
    return list;
}

void WriteDefaultTextModeList(TMyMemIniFile& ini) {
    for (const std::string& extension : DefaultTextModeList())
        ini.WriteBool(TextModeSection, extension, true);
}

std::vector<std::string> ListProfiles() {
    std::vector<std::string> names;
    const auto pattern = SystemToUtf8(ProgramFolder() + "*.inf");
    if (!pattern) return names;
    // A profile is named in the system code page; a file without such a name is none.
    for (const TSearchEntry& entry : FindEntries(*pattern))
        if (const auto name = Utf8ToSystem(entry.Name); name && !entry.Directory)
            names.push_back(name->substr(0, name->size() - 4));
    return names;
}

bool SettingsFileExists(const std::string& path) {
    const auto host = SystemToUtf8(path);
    return host && FileExists(*host);
}

std::string ProfileFilePath(std::string_view name) {
    return ProgramFolder() + std::string(name) + ".inf";
}

void UpdateSendToShortcut(bool install) {
    if (install)
        WriteSendToFiles(QCoreApplication::applicationFilePath());
    else
        RemoveSendToFiles();
}

bool IsValidProfileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    // Trail bytes of Shift_JIS are 0x40 and above, so a byte below 0x20, 0x7F or "/" is that
    // character wherever it stands.
    for (const char c : name)
        if (c == '/' || (unsigned char)c < 0x20 || c == 0x7F) return false;
    return true;
}
