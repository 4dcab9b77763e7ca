#include "ftp/ftptime.h"

#include "ftp/ftpnames.h"
#include "platform/localfile.h"

#include <chrono>
#include <cstdio>

namespace {

bool AllDigits(std::string_view text) {
    for (const char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

int Number(std::string_view digits) {
    int value = 0;
    for (const char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

} // namespace

std::optional<std::int64_t> ParseFtpTime(std::string_view text) {
    if (const std::size_t dot = text.find('.'); dot != std::string_view::npos) {
        const std::string_view fraction = text.substr(dot + 1);
        if (fraction.empty() || !AllDigits(fraction)) return std::nullopt;
        text = text.substr(0, dot);
    }
    if (text.size() != 14 || !AllDigits(text)) return std::nullopt;
    const TDateTime t{Number(text.substr(0, 4)),  Number(text.substr(4, 2)),
                      Number(text.substr(6, 2)),  Number(text.substr(8, 2)),
                      Number(text.substr(10, 2)), Number(text.substr(12, 2))};
    if (!IsValidDateTime(t)) return std::nullopt;
    return MinutesSinceEpoch(t) * 60 + t.Second;
}

std::optional<std::int64_t> FtpTimeOfReply(std::string_view reply) {
    if (!HasReplyCode(reply, ReplyCode::FileStatus) || reply.size() < 5 || reply[3] != ' ')
        return std::nullopt;
    std::string_view value = reply.substr(4);
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    return ParseFtpTime(value);
}

std::optional<std::string> FormatFtpTime(std::int64_t utc) {
    using namespace std::chrono;
    // 0000-01-01 00:00:00 and 9999-12-31 23:59:59; also keeps the day count in range.
    if (utc < -62167219200 || utc > 253402300799) return std::nullopt;
    const sys_seconds at{seconds(utc)};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    const int year = static_cast<int>(date.year());
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02u%02u%02d%02d%02d", year,
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return std::string(text);
}
