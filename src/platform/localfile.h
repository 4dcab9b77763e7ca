#pragma once
// What an upload needs to know of a local file and of the local clock: size, modification time in
// local time, whether a path is a folder, and the process's current folder. Paths are as the host
// gives them.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A civil date and time of the local time zone, to the second.
struct TDateTime {
    int Year = 0;
    int Month = 0; // 1..12
    int Day = 0;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    auto operator<=>(const TDateTime&) const = default;
};

// A real calendar day and a time of day (leap years counted).
bool IsValidDateTime(const TDateTime& t);
// Minutes since 1970-01-01 00:00 of the same calendar, seconds ignored; only for valid values.
std::int64_t MinutesSinceEpoch(const TDateTime& t);

// The local time now.
TDateTime LocalNow();

struct TLocalFile {
    std::int64_t Size = 0;
    bool Directory = false;
    TDateTime Modified;           // local time
    std::int64_t ModifiedUtc = 0; // the same, as seconds since 1970-01-01 00:00 UTC
};

// nullopt when `path` names nothing.
std::optional<TLocalFile> StatLocalFile(std::string_view path);

// The process's current folder; SetCurrentFolder is false when it cannot be entered.
std::string CurrentFolder();
bool SetCurrentFolder(std::string_view path);
