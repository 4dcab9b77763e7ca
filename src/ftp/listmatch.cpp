#include "ftp/listmatch.h"

#include "ftp/ftplist.h"
#include "kanji/jstrm.h"

#include <charconv>
#include <vector>

namespace {

constexpr std::size_t MaxTokens = 10;

bool IsTrimmed(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsTrimmed(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsTrimmed(text.back()))
        text.remove_suffix(1);
    return text;
}

// A whole decimal integer with an optional sign; nullopt for anything else.
std::optional<int> Number(std::string_view text) {
    if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::vector<std::string_view> Tokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    for (std::size_t space = text.find(' ');
         space != std::string_view::npos && tokens.size() < MaxTokens; space = text.find(' ')) {
        tokens.push_back(text.substr(0, space));
        text = Trim(text.substr(space + 1));
    }
    if (tokens.size() < MaxTokens) tokens.push_back(text);
    return tokens;
}

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            // Equal so far, so both have a character starting here.
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// "INDEX.HTML;3" without its ";3".
std::string_view WithoutVersion(std::string_view name) {
    const std::size_t semicolon = name.rfind(';');
    if (semicolon == std::string_view::npos || semicolon + 1 == name.size()) return name;
    for (const char c : name.substr(semicolon + 1))
        if (c < '0' || c > '9') return name;
    return name.substr(0, semicolon);
}

// Two-digit years from 80 count from 1900, below from 2000; three-digit ones ("04-23-103" of
// servers that print the years since 1900) from 1900.
int FullYear(int year) {
    if (year >= 80 && year < 1000) return year + 1900;
    if (year < 80) return year + 2000;
    return year;
}

// "12:34", and MS-DOS listings' "12:09PM" (12 AM is midnight, 12 PM noon). False when the hour or
// the minute is no number.
bool ReadClock(std::string_view token, TDateTime& date) {
    const std::size_t colon = token.find(':');
    std::string_view minutes = token.substr(colon + 1);
    const int half = HalfOfDay(minutes);
    if (half >= 0) minutes.remove_suffix(2);
    const auto hour = Number(token.substr(0, colon));
    const auto minute = Number(minutes);
    if (!hour || !minute) return false;
    date.Hour = *hour;
    date.Minute = *minute;
    // With AM/PM only 1 to 12 are hours; 24 makes the date unknown.
    if (half >= 0) date.Hour = *hour >= 1 && *hour <= 12 ? *hour % 12 + 12 * half : 24;
    return true;
}

// Digits only, one to four of them; -1 for anything else.
int DigitsValue(std::string_view text) {
    if (text.empty() || text.size() > 4) return -1;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "09-26" (month and day), and with a year: "2024-09-26" (year first), "04-27-00" and
// "12-07-2026" (the month first, as MS-DOS listings write it), "24-04-2003" (the day first, when
// the first number cannot be a month), "97-10-14" (a two-digit year first, when the first number
// can be neither). False, changing nothing, when the token is no such date.
bool ReadDashDate(std::string_view token, TDateTime& date, bool& yearGiven) {
    std::string_view parts[3];
    std::size_t count = 0;
    for (std::size_t start = 0;;) {
        if (count == 3) return false;
        const std::size_t dash = token.find('-', start);
        if (dash == std::string_view::npos) {
            parts[count++] = token.substr(start);
            break;
        }
        parts[count++] = token.substr(start, dash - start);
        start = dash + 1;
    }
    if (count < 2) return false;
    int value[3] = {};
    for (std::size_t i = 0; i < count; ++i)
        if ((value[i] = DigitsValue(parts[i])) < 0) return false;
    if (count == 2) {
        date.Month = value[0];
        date.Day = value[1];
        return true;
    }
    int year = value[2], month = value[0], day = value[1];
    if (parts[0].size() == 4 || value[0] > 31) {
        year = value[0];
        month = value[1];
        day = value[2];
    } else if (value[0] > 12) {
        month = value[1];
        day = value[0];
    }
    date.Year = FullYear(year);
    date.Month = month;
    date.Day = day;
    yearGiven = true;
    return true;
}

// "4月", "18日", "2003年", "11月12日", "14時21分"; other tokens change nothing.
void ReadKanjiDate(std::string_view token, TDateTime& date, bool& yearGiven) {
    const TKanjiDateWord word = ReadKanjiDateWord(token);
    for (int i = 0; i < word.Parts; ++i) {
        const int value = word.Value[i];
        switch (word.Unit[i]) {
        case TDateUnit::Year:
            date.Year = FullYear(value);
            yearGiven = true;
            break;
        case TDateUnit::Month:
            date.Month = value;
            break;
        case TDateUnit::Day:
            date.Day = value;
            break;
        case TDateUnit::Hour:
            date.Hour = value;
            break;
        case TDateUnit::Minute:
            date.Minute = value;
            break;
        case TDateUnit::None:
            break;
        }
    }
}

} // namespace

bool SameRemoteName(TFTPServerType type, std::string_view listed, std::string_view local) {
    switch (type) {
    case ftpstVmsMultinet:
    case ftpstVmsUcx:
        return EqualIgnoringAsciiCase(WithoutVersion(listed), local);
    case ftpstVM:
    case ftpstVMVPS:
        return EqualIgnoringAsciiCase(listed, local);
    default:
        return listed == local;
    }
}

int MonthFromName(std::string_view text) {
    static constexpr std::string_view names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i)
        if (text == names[i]) return i + 1;
    return 0;
}

std::string SpacesToUnderscores(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c == ' ') c = '_';
    return result;
}

std::optional<TDateTime> ParseListingDate(std::string_view text, const TDateTime& now) {
    TDateTime date{now.Year, 0, 0, 0, 0, 0};
    bool yearGiven = false;
    bool first = true;
    for (std::string_view token : Tokens(text)) {
        if (first) date.Month = MonthFromName(token);
        first = false;
        if (token.find(':') != std::string_view::npos) {
            if (!ReadClock(token, date)) return std::nullopt;
        } else if (const std::size_t slash = token.find('/'); slash != std::string_view::npos) {
            const auto year = Number(token.substr(0, slash));
            const std::string_view rest = token.substr(slash + 1);
            const std::size_t second = rest.find('/');
            if (!year || second == std::string_view::npos) return std::nullopt;
            date.Year = FullYear(*year);
            yearGiven = true;
            if (date.Month == 0) {
                const auto month = Number(rest.substr(0, second));
                if (!month) return std::nullopt;
                date.Month = *month;
            }
            const auto day = Number(rest.substr(second + 1));
            if (!day) return std::nullopt;
            date.Day = *day;
        } else if (const auto value = Number(token)) {
            if (*value > 1900) {
                date.Year = *value;
                yearGiven = true;
            } else {
                date.Day = *value;
            }
        } else if (!ReadDashDate(token, date, yearGiven)) {
            ReadKanjiDate(token, date, yearGiven);
        }
    }
    if (!IsValidDateTime(date)) return std::nullopt;
    if (!yearGiven && MinutesSinceEpoch(date) > MinutesSinceEpoch(now) + 24 * 60) {
        --date.Year;
        if (!IsValidDateTime(date)) return std::nullopt;
    }
    return date;
}

bool ListingDateLeavesNoDoubt(std::string_view text, const TDateTime& now, std::int64_t localUtc) {
    const std::optional<TDateTime> date = ParseListingDate(text, now);
    if (!date) return false;
    constexpr std::int64_t kHour = 3600;
    const std::int64_t clock = MinutesSinceEpoch(*date) * 60;
    const std::int64_t step = text.find(':') != std::string_view::npos ? 60 : 24 * kHour;
    const std::int64_t latest = clock + 12 * kHour + step - 1;
    const std::int64_t earliest = clock - 14 * kHour;
    return latest < localUtc || earliest >= localUtc;
}
