#include "app/settings.h"

#include "app/myinifile.h"
#include "platform/dirsearch.h"
#include "platform/progdir.h"
#include "platform/sendto.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr std::string_view TextModeSection = "TextMode";

} // namespace

std::string SettingsFilePath() {
    return ProgramFolder() + "wendup.ini";
}

bool IsTextModeFile(std::string_view fileName) {
    const std::size_t at = fileName.find_last_of("./");
    if (at == std::string_view::npos || fileName[at] != '.') return false;
    const std::string_view extension = fileName.substr(at + 1);
    if (extension.empty()) return false;
    return TMyMemIniFile(SettingsFilePath()).ReadBool(TextModeSection, extension, false);
}

std::vector<std::string> ReadTextModeList() {
    const TMyMemIniFile ini(SettingsFilePath());
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

std::vector<std::string> ListProfiles() {
    std::vector<std::string> names;
    for (const TSearchEntry& entry : FindEntries(ProgramFolder() + "*.inf"))
        if (!entry.Directory) names.push_back(entry.Name.substr(0, entry.Name.size() - 4));
    return names;
}

std::string ProfileFilePath(std::string_view name) {
    return ProgramFolder() + std::string(name) + ".inf";
}

void UpdateSendToShortcut(bool install) {
    if (install) {
        WriteSendToEntry(QCoreApplication::applicationFilePath());
        return;
    }
    const QString entry = SendToEntryPath();
    if (QFileInfo::exists(entry)) QFile::moveToTrash(entry);
}
