#include "ftp/ftplist.h"

#include "ftp/listmatch.h"
#include "kanji/jstrm.h"

#include <array>

namespace {

constexpr std::size_t kMaxName = 999;

struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool found = false;
};

// Walks words 0 to count-1 by ListWord's rules (a word ends at a space; runs of spaces part words)
// and hands each one found to `take`; stops at the first that is not there.
template <typename Take> void WalkWords(std::string_view line, std::size_t count, Take take) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t space = line.find(' ', at);
        if (space == std::string_view::npos) return;
        take(i, Span{at, space, true});
        at = line.find_first_not_of(' ', space);
        if (at == std::string_view::npos) return;
    }
}

Span FindWord(std::string_view line, std::size_t n) {
    Span word;
    WalkWords(line, n + 1, [&](std::size_t i, Span w) {
        if (i == n) word = w;
    });
    return word;
}

// The first words of a line, found in one pass: a big folder's listing has thousands of lines,
// and a parser asks for up to eight words of each.
class Words {
  public:
    explicit Words(std::string_view line) : line_(line) {
        WalkWords(line, spans_.size(), [&](std::size_t i, Span w) { spans_[i] = w; });
    }
    Span At(std::size_t n) const { return spans_[n]; }
    std::string_view operator[](std::size_t n) const {
        const Span s = spans_[n];
        return s.found ? line_.substr(s.begin, s.end - s.begin) : std::string_view();
    }

  private:
    std::string_view line_;
    std::array<Span, 8> spans_{};
};

std::string Join(std::string_view a, std::string_view b) {
    std::string out;
    out.reserve(a.size() + 1 + b.size());
    out.append(a).append(" ").append(b);
    return out;
}

std::string Join(std::string_view a, std::string_view b, std::string_view c) {
    std::string out = Join(a, b);
    out.append(" ").append(c);
    return out;
}

std::string_view TrimTrailingSpaces(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// Names longer than any server allows are cut, but a cut never leaves half a character behind.
std::string CapName(std::string_view name) {
    if (name.size() <= kMaxName) return std::string(name);
    std::size_t keep = kMaxName;
    if (IsTrailByte(name, static_cast<std::ptrdiff_t>(kMaxName + 1))) --keep;
    return std::string(name.substr(0, keep));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool LooksLikeDay(std::string_view word) {
    return (word.size() == 1 || word.size() == 2) && IsDigit(word[0]) && IsDigit(word.back());
}

// Digits, and `other` anywhere among them; at least one digit.
bool DigitsAnd(std::string_view word, char other) {
    bool digit = false;
    for (const char c : word) {
        if (IsDigit(c))
            digit = true;
        else if (c != other)
            return false;
    }
    return digit;
}

// "12:34" or "2019": the column after the day.
bool LooksLikeTimeOrYear(std::string_view word) {
    return DigitsAnd(word, ':');
}

struct UnitBytes {
    std::string_view bytes;
    TDateUnit unit;
};

// 年, 月, 日, 時 and 分 in Shift_JIS, EUC-JP and UTF-8. No entry is the start of another.
constexpr UnitBytes kUnits[] = {
    {"\x94\x4E", TDateUnit::Year},       {"\x8C\x8E", TDateUnit::Month},
    {"\x93\xFA", TDateUnit::Day},        {"\x8E\x9E", TDateUnit::Hour},
    {"\x95\xAA", TDateUnit::Minute},     {"\xC7\xAF", TDateUnit::Year},
    {"\xB7\xEE", TDateUnit::Month},      {"\xC6\xFC", TDateUnit::Day},
    {"\xBB\xFE", TDateUnit::Hour},       {"\xCA\xAC", TDateUnit::Minute},
    {"\xE5\xB9\xB4", TDateUnit::Year},   {"\xE6\x9C\x88", TDateUnit::Month},
    {"\xE6\x97\xA5", TDateUnit::Day},    {"\xE6\x99\x82", TDateUnit::Hour},
    {"\xE5\x88\x86", TDateUnit::Minute},
};

bool IsKanji(const TKanjiDateWord& word, TDateUnit first, TDateUnit second = TDateUnit::None) {
    const int parts = second == TDateUnit::None ? 1 : 2;
    return word.Parts == parts && word.Unit[0] == first && (parts == 1 || word.Unit[1] == second);
}

bool IsKanjiDay(std::string_view word) {
    return IsKanji(ReadKanjiDateWord(word), TDateUnit::Day);
}

// The column after the day: "12:34", "2019", and the Japanese "2003年" and "14時21分".
bool LooksLikeClockOrYear(std::string_view word) {
    if (LooksLikeTimeOrYear(word)) return true;
    const TKanjiDateWord kanji = ReadKanjiDateWord(word);
    return IsKanji(kanji, TDateUnit::Year) || IsKanji(kanji, TDateUnit::Hour, TDateUnit::Minute);
}

// "09-26", "2005-06-07", "04-27-00", "1999/10/12": the number of digit groups (of one to four
// digits, parted by one kind of separator) when there are two or three, else 0.
int NumericDateParts(std::string_view word) {
    int parts = 1;
    std::size_t digits = 0;
    char separator = '\0';
    for (const char c : word) {
        if (IsDigit(c)) {
            if (++digits > 4) return 0;
        } else if ((c == '-' || c == '/') && digits > 0 && (separator == '\0' || c == separator)) {
            separator = c;
            digits = 0;
            ++parts;
        } else {
            return 0;
        }
    }
    return separator != '\0' && digits > 0 && parts <= 3 ? parts : 0;
}

// How many words, starting at `first`, make the date columns of a UNIX line: 3, 2, or 0 when
// they are no date.
std::size_t DateWords(std::string_view first, std::string_view second, std::string_view third) {
    if (first.empty()) return 0;
    if (!IsDigit(first[0]))
        return first.size() == 3 && MonthFromName(first) != 0 && LooksLikeDay(second) &&
                       LooksLikeClockOrYear(third)
                   ? 3
                   : 0;
    // Most words of a line that start with a digit are numbers: link counts, ids, sizes.
    std::size_t digits = 1;
    while (digits < first.size() && IsDigit(first[digits]))
        ++digits;
    if (digits == first.size()) return 0;
    if (first[digits] == '-' || first[digits] == '/')
        return NumericDateParts(first) != 0 && LooksLikeTimeOrYear(second) ? 2 : 0;
    const TKanjiDateWord kanji = ReadKanjiDateWord(first);
    // "4月 18日 2003年", and "1月 26 03:10" as GNU ls writes it in a Japanese locale.
    if (IsKanji(kanji, TDateUnit::Month))
        return (LooksLikeDay(second) || IsKanjiDay(second)) && LooksLikeClockOrYear(third) ? 3 : 0;
    if (IsKanji(kanji, TDateUnit::Month, TDateUnit::Day))
        return LooksLikeClockOrYear(second) ? 2 : 0;
    return 0;
}

std::string_view Text(std::string_view line, Span s) {
    return line.substr(s.begin, s.end - s.begin);
}

struct DateColumns {
    Span size;
    std::array<Span, 3> date{};
    std::size_t count = 0; // date words; 0 when none were found
};

// Looks for the date columns from word 2 on (a size column and the permissions come before
// them): a missing group, an owner with spaces or a link count joined to the permissions moves
// them, so their place says nothing.
DateColumns FindDateColumns(std::string_view line) {
    // Words i-1 .. i+2 at most are needed at once.
    std::array<Span, 4> ring{};
    std::size_t read = 0;
    std::size_t at = 0;
    const auto readWord = [&] {
        if (at == std::string_view::npos) return false;
        const std::size_t space = line.find(' ', at);
        if (space == std::string_view::npos) return false;
        ring[read++ % ring.size()] = Span{at, space, true};
        at = line.find_first_not_of(' ', space);
        return true;
    };
    const auto text = [&](std::size_t n) {
        return n < read ? Text(line, ring[n % ring.size()]) : std::string_view();
    };
    DateColumns found;
    for (std::size_t i = 2;; ++i) {
        while (read < i + 3 && readWord()) {
        }
        if (read <= i) return found;
        const std::size_t count = DateWords(text(i), text(i + 1), text(i + 2));
        if (count == 0) continue;
        found.size = ring[(i - 1) % ring.size()];
        for (std::size_t k = 0; k < count; ++k)
            found.date[k] = ring[(i + k) % ring.size()];
        found.count = count;
        return found;
    }
}

// The name after the date: the rest of the line without a link's target, trailing spaces or the
// "/" that "ls -F" puts after a folder (no name holds a "/").
std::string_view NameAfter(std::string_view line, std::size_t end, bool link) {
    std::string_view rest = line.substr(end);
    const std::size_t start = rest.find_first_not_of(' ');
    if (start == std::string_view::npos) return {};
    rest = rest.substr(start);
    if (link) rest = rest.substr(0, rest.find(" -> "));
    rest = TrimTrailingSpaces(rest);
    if (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
    return rest;
}

// Lines whose date columns were not found: the columns by their place, and the name after them
// when a day and a time or year stand where they should.
std::string UnixNameByPlace(std::string_view line, const Words& words, bool bracketed, bool link) {
    const std::size_t dayWord = bracketed ? 5 : 6;
    if (!LooksLikeDay(words[dayWord]) || !LooksLikeTimeOrYear(words[dayWord + 1]))
        return ListName(line);
    const std::string_view rest = NameAfter(line, words.At(dayWord + 1).end, link);
    return rest.empty() ? ListName(line) : CapName(rest);
}

// "-rw-r--r--   1 owner    group        1234 Jan  5 12:34 read me.txt"
// "lrwxrwxrwx   1 owner    group           7 Jan  5  2019 latest -> v1.2"
// "-rw-r--r--   1 root     sys          8473  4月 18日 2003年 name"
bool ParseUnix(std::string_view line, std::string& name, std::string& size, std::string& date,
               bool& isDirectory) {
    const char kind = line.empty() ? '\0' : line[0];
    if (kind != '-' && kind != 'f' && kind != 'd' && kind != 'l') {
        name = ListName(line);
        return false;
    }
    const bool link = kind == 'l';
    isDirectory = kind == 'd';
    const DateColumns found = FindDateColumns(line);
    const std::string_view rest = found.count == 0
                                      ? std::string_view()
                                      : NameAfter(line, found.date[found.count - 1].end, link);
    if (!rest.empty()) {
        name = CapName(rest);
        size = Text(line, found.size);
        date = found.count == 3 ? Join(Text(line, found.date[0]), Text(line, found.date[1]),
                                       Text(line, found.date[2]))
                                : Join(Text(line, found.date[0]), Text(line, found.date[1]));
        return true;
    }
    const Words words(line);
    const bool bracketed = words[1].starts_with('[');
    name = UnixNameByPlace(line, words, bracketed, link);
    const std::size_t sizeWord = bracketed ? 3 : 4;
    size = words[sizeWord];
    date = Join(words[sizeWord + 1], words[sizeWord + 2], words[sizeWord + 3]);
    return true;
}

// "10:30", "12:09PM", "03:47am": a time of an MS-DOS line.
bool LooksLikeDosTime(std::string_view word) {
    if (HalfOfDay(word) >= 0) word.remove_suffix(2);
    return word.find(':') != std::string_view::npos && LooksLikeTimeOrYear(word);
}

// "04-27-00  12:09PM       <DIR>          name"
// "2002-09-02  19:06                9,730 name with spaces"
bool ParseDos(std::string_view line, std::string& name, std::string& size, std::string& date,
              bool& isDirectory) {
    if (line.empty() || !IsDigit(line[0])) return false;
    const Words words(line);
    const std::string_view kind = words[2];
    const bool folder = kind == "<DIR>";
    // Some servers group a size's digits: "9,730".
    if (NumericDateParts(words[0]) != 3 || !LooksLikeDosTime(words[1]) ||
        (!folder && !DigitsAnd(kind, ',')))
        return false;
    const std::string_view rest = NameAfter(line, words.At(2).end, false);
    if (rest.empty()) return false;
    name = CapName(rest);
    size.clear();
    if (!folder)
        for (const char c : kind)
            if (c != ',') size.push_back(c);
    date = Join(words[0], words[1]);
    isDirectory = folder;
    return true;
}

enum class VmsLine { Entry, Rejected, Continues };

// "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)"
VmsLine ReadVmsLine(std::string_view line, std::string& name, std::string& size, std::string& date,
                    bool& isDirectory) {
    if (line.find(';') == std::string_view::npos) return VmsLine::Rejected;
    const Words words(line);
    const std::string_view word = words[0];
    if (word.empty()) return VmsLine::Continues;

    std::string_view file = word.substr(0, word.find(';'));
    // Only the type DIR makes a folder: "NOTES.DIRTY;1" is a file.
    isDirectory = file.ends_with(".DIR");
    if (isDirectory) file.remove_suffix(4);
    name = file;
    size = words[1];
    date = Join(words[2], words[3]);
    return VmsLine::Entry;
}

bool ParseVms(std::string_view line, std::string& name, std::string& size, std::string& date,
              bool& isDirectory, std::string& pending) {
    if (!pending.empty()) {
        if (line.empty()) return false;
        // Some servers indent the rest of a split entry and some do not; the space keeps the
        // columns apart either way.
        std::string joined;
        joined.reserve(pending.size() + 1 + line.size());
        joined.append(pending).append(" ").append(line);
        if (ReadVmsLine(joined, name, size, date, isDirectory) == VmsLine::Entry) {
            pending.clear();
            return true;
        }
        // A kept line that starts with a space never yields a name; read the new line on its own
        // rather than let it swallow the rest of the listing.
    }
    const VmsLine result = ReadVmsLine(line, name, size, date, isDirectory);
    if (result == VmsLine::Continues)
        pending.assign(line.data(), line.size());
    else
        pending.clear();
    return result == VmsLine::Entry;
}

// "PROFILE  EXEC     V         72         11          1 1999-01-27 11:43:09 A1"
bool ParseVm(std::string_view line, std::string& name, std::string& size, std::string& date,
             bool& isDirectory) {
    const Words words(line);
    std::string file(words[0]);
    file.append(".").append(words[1]);
    name = std::move(file);
    size = words[3];
    date = Join(words[6], words[7]);
    isDirectory = false;
    return true;
}

bool ParseVmVps(std::string_view line, std::string& name, std::string& size, std::string& date,
                bool& isDirectory) {
    for (const std::string_view summary : {"=", "totals:", " rf trks", "track limit"})
        if (line.find(summary) != std::string_view::npos) return false;
    const Words words(line);
    // File name and file type, as on VM/CMS.
    std::string file(words[0]);
    file.append(".").append(words[1]);
    name = std::move(file);
    size = words[2];
    date = Join(words[7], words[6]);
    isDirectory = false;
    return true;
}

} // namespace

std::string ListWord(std::string_view line, std::size_t n) {
    const Span s = FindWord(line, n);
    return s.found ? std::string(line.substr(s.begin, s.end - s.begin)) : std::string();
}

std::string ListName(std::string_view line) {
    const std::string_view text = TrimTrailingSpaces(line.substr(0, line.find("->")));
    const std::size_t space = text.rfind(' ');
    return CapName(space == std::string_view::npos ? text : text.substr(space + 1));
}

bool ParseListLine(TFTPServerType serverType, std::string_view line, std::string& name,
                   std::string& size, std::string& date, bool& isDirectory, TListState& state) {
    switch (serverType) {
    case ftpstDefault:
        if (ParseDos(line, name, size, date, isDirectory)) return true;
        return ParseUnix(line, name, size, date, isDirectory);
    case ftpstUNIX:
    case ftpstULTRIX:
    case ftpstU5000:
    case ftpstSINTFTPD:
        return ParseUnix(line, name, size, date, isDirectory);
    case ftpstVmsMultinet:
    case ftpstVmsUcx:
        return ParseVms(line, name, size, date, isDirectory, state.PendingLine);
    case ftpstVM:
        return ParseVm(line, name, size, date, isDirectory);
    case ftpstVMVPS:
        return ParseVmVps(line, name, size, date, isDirectory);
    case ftpstAutoDetect:
    case ftpstMVS:
    case ftpstMacFtpd:
    case ftpstClix:
    case ftpstQVT:
    case ftpstNCSA:
    case ftpstChameleon:
        break;
    }
    return false;
}

TKanjiDateWord ReadKanjiDateWord(std::string_view word) {
    TKanjiDateWord result;
    TKanjiDateWord none;
    std::size_t at = 0;
    while (at < word.size()) {
        if (result.Parts == 2) return none;
        int value = 0;
        std::size_t digits = 0;
        for (; at < word.size() && IsDigit(word[at]) && digits < 5; ++at, ++digits)
            value = value * 10 + (word[at] - '0');
        if (digits == 0 || digits > 4) return none;
        const std::string_view rest = word.substr(at);
        TDateUnit unit = TDateUnit::None;
        for (const UnitBytes& u : kUnits) {
            if (rest.starts_with(u.bytes)) {
                unit = u.unit;
                at += u.bytes.size();
                break;
            }
        }
        if (unit == TDateUnit::None) return none;
        result.Unit[result.Parts] = unit;
        result.Value[result.Parts] = value;
        ++result.Parts;
    }
    return result;
}

int HalfOfDay(std::string_view time) {
    if (time.size() <= 2) return -1;
    const std::string_view suffix = time.substr(time.size() - 2);
    if (suffix == "AM" || suffix == "am") return 0;
    if (suffix == "PM" || suffix == "pm") return 1;
    return -1;
}
