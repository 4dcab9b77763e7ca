#include "ftp/listmatch.h"

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
        if (const std::size_t colon = token.find(':'); colon != std::string_view::npos) {
            const auto hour = Number(token.substr(0, colon));
            const auto minute = Number(token.substr(colon + 1));
            if (!hour || !minute) return std::nullopt;
            date.Hour = *hour;
            date.Minute = *minute;
        } else if (const std::size_t slash = token.find('/'); slash != std::string_view::npos) {
            auto year = Number(token.substr(0, slash));
            const std::string_view rest = token.substr(slash + 1);
            const std::size_t second = rest.find('/');
            if (!year || second == std::string_view::npos) return std::nullopt;
            if (*year >= 80 && *year < 1000)
                *year += 1900;
            else if (*year < 80)
                *year += 2000;
            date.Year = *year;
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
        }
    }
    if (!IsValidDateTime(date)) return std::nullopt;
    if (!yearGiven && MinutesSinceEpoch(date) > MinutesSinceEpoch(now) + 24 * 60) {
        --date.Year;
        if (!IsValidDateTime(date)) return std::nullopt;
    }
    return date;
}
