#include "app/remotefolder.h"

#include "ftp/ftplist.h"
#include "ftp/listmatch.h"
#include "ftp/mlsd.h"

#include <QDateTime>

// Letter case folded and everything from the first ";" dropped: names that one server takes for
// the same (a VMS name and its ";version", either case on VMS and VM) share a key everywhere.
std::string TRemoteFolder::KeyOf(std::string_view name) {
    std::string key(name.substr(0, name.find(';')));
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

void TRemoteFolder::Index(TRemoteEntry entry) {
    index_.emplace(KeyOf(entry.Name), entries_.size());
    entries_.push_back(std::move(entry));
}

void TRemoteFolder::Take(TFTPServerType type, bool mlsd, const std::vector<std::string>& lines) {
    type_ = type;
    mlsd_ = mlsd;
    entries_.clear();
    index_.clear();
    entries_.reserve(lines.size());
    index_.reserve(lines.size());
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
        Index(std::move(entry));
    }
}

// The entry listed last among those of `name`'s key that `matches` takes.
template <typename Matches>
std::size_t TRemoteFolder::Latest(std::string_view name, Matches matches) const {
    const auto [first, last] = index_.equal_range(KeyOf(name));
    std::size_t found = NotFound;
    for (auto it = first; it != last; ++it)
        if ((found == NotFound || it->second > found) && matches(entries_[it->second]))
            found = it->second;
    return found;
}

const TRemoteEntry* TRemoteFolder::Find(std::string_view name) const {
    const std::size_t at = Latest(
        name, [&](const TRemoteEntry& entry) { return SameRemoteName(type_, entry.Name, name); });
    return at == NotFound ? nullptr : &entries_[at];
}

void TRemoteFolder::Stored(const std::string& name, std::int64_t size, std::int64_t when,
                           std::optional<std::int64_t> kept) {
    const auto [first, last] = index_.equal_range(KeyOf(name));
    for (auto it = first; it != last;) {
        const TRemoteEntry& entry = entries_[it->second];
        if (!entry.Directory && SameRemoteName(type_, entry.Name, name))
            it = index_.erase(it);
        else
            ++it;
    }
    TRemoteEntry entry{name, false, std::to_string(size), {}, {}};
    if (kept)
        entry.Utc = kept;
    else if (mlsd_)
        entry.Utc = when;
    else
        entry.Date = ListDate(when);
    Index(std::move(entry));
}

const std::string& TRemoteFolder::ListDate(std::int64_t when) {
    if (when != dateSecond_) {
        dateSecond_ = when;
        dateText_ = QDateTime::fromSecsSinceEpoch(when).toString("yyyy/MM/dd HH:mm").toStdString();
    }
    return dateText_;
}

void TRemoteFolder::TimeAnswered(std::string_view name, std::optional<std::int64_t> utc) {
    const std::size_t at =
        Latest(name, [&](const TRemoteEntry& entry) { return entry.Name == name; });
    if (at == NotFound) return;
    entries_[at].TimeAsked = true;
    if (utc) entries_[at].Utc = utc;
}

void TRemoteFolder::Made(const std::string& name) {
    Index({name, true, {}, {}, {}});
}
