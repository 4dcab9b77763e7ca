#pragma once
// The session's picture of its remote folder: read from one listing (MLSD or LIST) and kept up to
// date as files are stored, so that a file's same-file check needs no listing of its own.

#include "ftp/ftptypes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TRemoteEntry {
    std::string Name;
    bool Directory = false;
    std::string Size;                // as listed; empty when not given
    std::string Date;                // a LIST line's date text
    std::optional<std::int64_t> Utc; // MLSD's modification time, seconds since 1970 UTC
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
    // to the minute.
    void Stored(const std::string& name, std::int64_t size, std::int64_t when);
    // A folder has been made under `name`.
    void Made(const std::string& name);

  private:
    TFTPServerType type_ = ftpstDefault;
    bool mlsd_ = false;
    std::vector<TRemoteEntry> entries_;
};
