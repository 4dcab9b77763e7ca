#include "ftp/ftplist.h"

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

// "12:34" or "2019": the column after the day.
bool LooksLikeTimeOrYear(std::string_view word) {
    bool digit = false;
    for (const char c : word) {
        if (IsDigit(c))
            digit = true;
        else if (c != ':')
            return false;
    }
    return digit;
}

// "-rw-r--r--   1 owner    group        1234 Jan  5 12:34 read me.txt"
// "lrwxrwxrwx   1 owner    group           7 Jan  5  2019 latest -> v1.2"
// The name is whatever follows the date, so names with spaces stay whole. When the date columns are
// not where they should be, fall back to the last word.
std::string UnixName(std::string_view line, const Words& words, bool bracketed, bool link) {
    const std::size_t dayWord = bracketed ? 5 : 6;
    if (!LooksLikeDay(words[dayWord]) || !LooksLikeTimeOrYear(words[dayWord + 1]))
        return ListName(line);

    std::string_view rest = line.substr(words.At(dayWord + 1).end);
    const std::size_t start = rest.find_first_not_of(' ');
    rest = start == std::string_view::npos ? std::string_view() : rest.substr(start);
    if (link) rest = rest.substr(0, rest.find(" -> "));
    rest = TrimTrailingSpaces(rest);
    return rest.empty() ? ListName(line) : CapName(rest);
}

bool ParseUnix(std::string_view line, std::string& name, std::string& size, std::string& date,
               bool& isDirectory) {
    const char kind = line.empty() ? '\0' : line[0];
    const bool file = kind == '-' || kind == 'f';
    const bool folder = kind == 'd' || kind == 'l';
    if (!file && !folder) {
        name = ListName(line);
        return false;
    }
    const Words words(line);
    const bool bracketed = words[1].starts_with('[');
    name = UnixName(line, words, bracketed, kind == 'l');
    isDirectory = folder;
    const std::size_t sizeWord = bracketed ? 3 : 4;
    size = words[sizeWord];
    date = Join(words[sizeWord + 1], words[sizeWord + 2], words[sizeWord + 3]);
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
