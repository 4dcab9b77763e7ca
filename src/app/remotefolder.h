#pragma once
// The session's picture of its remote folder: read from one listing (MLSD or LIST) and kept up to
// date as files are stored, so that a file's same-file check needs no listing of its own.

#include "ftp/ftptypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct TRemoteEntry {
    std::string Name;
    bool Directory = false;
    std::string Size;                // as listed; empty when not given
    std::string Date;                // a LIST line's date text
    std::optional<std::int64_t> Utc; // the exact modification time (MLSD's, the server's answer
                                     // to MDTM, or the one kept by a store), seconds since 1970 UTC
    bool TimeAsked = false;          // the server was asked for the exact time
};

class TRemoteFolder {
  public:
    // The entries of a listing's lines, in listing order: MLSD lines when `mlsd`, else LIST lines
    // read by the server type.
    void Take(TFTPServerType type, bool mlsd, const std::vector<std::string>& lines);
    // The last entry that names `name` on this server (SameRemoteName); null when there is none.
    // A listing may name a file twice (VMS versions): the last one decides, as it always has.
    const TRemoteEntry* Find(std::string_view name) const;
    // A file of `size` bytes has been stored under `name` at `when` (seconds since 1970 UTC). Its
    // date is what the folder's next listing would show: MLSD's exact time, or LIST's local time
    // to the minute; or `kept`, the time the store gave the file, which is exact on any server.
    void Stored(const std::string& name, std::int64_t size, std::int64_t when,
                std::optional<std::int64_t> kept = std::nullopt);
    // The server was asked for the exact time of the entry named `name` (exactly as listed): `utc`
    // is its answer, nullopt when it gave none; either way it is not asked again.
    void TimeAnswered(std::string_view name, std::optional<std::int64_t> utc);
    // A folder has been made under `name`.
    void Made(const std::string& name);

  private:
    // Where the entries that may name `name` are filed: every server's name rule (SameRemoteName)
    // holds only between names of one key, so a key's few entries are all a search looks at.
    static std::string KeyOf(std::string_view name);
    void Index(TRemoteEntry entry);
    static constexpr std::size_t NotFound = static_cast<std::size_t>(-1);
    template <typename Matches> std::size_t Latest(std::string_view name, Matches matches) const;
    // The local time of `when` to the minute, as LIST shows it.
    const std::string& ListDate(std::int64_t when);

    TFTPServerType type_ = ftpstDefault;
    bool mlsd_ = false;
    // The LIST date of the last store's second: stores come many to a second.
    std::int64_t dateSecond_ = -1;
    std::string dateText_;
    // In listing order; an entry replaced by a store stays here but leaves the index.
    std::vector<TRemoteEntry> entries_;
    std::unordered_multimap<std::string, std::size_t> index_; // positions in entries_ by KeyOf
};
