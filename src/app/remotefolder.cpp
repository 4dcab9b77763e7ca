#include "app/remotefolder.h"

#include "ftp/ftplist.h"
#include "ftp/listmatch.h"
#include "ftp/mlsd.h"

#include <QDateTime>

#include <algorithm>

void TRemoteFolder::Take(TFTPServerType type, bool mlsd, const std::vector<std::string>& lines) {
    type_ = type;
    mlsd_ = mlsd;
    entries_.clear();
    entries_.reserve(lines.size());
    TListState state;
    for (const std::string& line : lines) {
        TRemoteEntry entry;
        if (mlsd) {
            std::optional<TMlsdEntry> facts = ParseMlsdLine(line);
            if (!facts) continue;
            entry.Name = std::move(facts->Name);
            entry.Directory = facts->IsDirectory;
            if (facts->Size) entry.Size = std::to_string(*facts->Size);
            entry.Utc = facts->Modified;
        } else if (!ParseListLine(type, line, entry.Name, entry.Size, entry.Date, entry.Directory,
                                  state)) {
            continue;
        }
        entries_.push_back(std::move(entry));
    }
}

const TRemoteEntry* TRemoteFolder::Find(std::string_view name) const {
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry)
        if (SameRemoteName(type_, entry->Name, name)) return &*entry;
    return nullptr;
}

void TRemoteFolder::Stored(const std::string& name, std::int64_t size, std::int64_t when) {
    std::erase_if(entries_, [&](const TRemoteEntry& entry) {
        return !entry.Directory && SameRemoteName(type_, entry.Name, name);
    });
    TRemoteEntry entry{name, false, std::to_string(size), {}, {}};
    if (mlsd_)
        entry.Utc = when;
    else
        entry.Date = QDateTime::fromSecsSinceEpoch(when).toString("yyyy/MM/dd HH:mm").toStdString();
    entries_.push_back(std::move(entry));
}

void TRemoteFolder::Made(const std::string& name) {
    entries_.push_back({name, true, {}, {}, {}});
}
