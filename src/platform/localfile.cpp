#include "platform/localfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <vector>

namespace {

TDateTime FromTimeT(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::chrono::year_month_day Ymd(const TDateTime& t) {
    return std::chrono::year(t.Year) / std::chrono::month(static_cast<unsigned>(t.Month)) /
           std::chrono::day(static_cast<unsigned>(t.Day));
}

} // namespace

bool IsValidDateTime(const TDateTime& t) {
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Year < -32767 || t.Year > 32767)
        return false;
    return Ymd(t).ok() && t.Hour >= 0 && t.Hour <= 23 && t.Minute >= 0 && t.Minute <= 59 &&
           t.Second >= 0 && t.Second <= 59;
}

std::int64_t MinutesSinceEpoch(const TDateTime& t) {
    const std::int64_t days = std::chrono::sys_days(Ymd(t)).time_since_epoch().count();
    return days * 1440 + t.Hour * 60 + t.Minute;
}

TDateTime LocalNow() {
    return FromTimeT(std::time(nullptr));
}

std::optional<TLocalFile> StatLocalFile(std::string_view path) {
    struct stat info {};
    if (::stat(std::string(path).c_str(), &info) != 0) return std::nullopt;
    return TLocalFile{static_cast<std::int64_t>(info.st_size), S_ISDIR(info.st_mode),
                      FromTimeT(info.st_mtime), static_cast<std::int64_t>(info.st_mtime)};
}

std::string CurrentFolder() {
    std::vector<char> buffer(4096);
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (::getcwd(buffer.data(), buffer.size())) {
            return buffer.data();
        }
        if (errno != ERANGE) break;
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

bool SetCurrentFolder(std::string_view path) {
    return ::chdir(std::string(path).c_str()) == 0;
}
