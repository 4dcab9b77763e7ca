#include "ftp/mlsd.h"

#include "ftp/ftptime.h"

#include <charconv>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

// Only digits, all of them: no sign, no space.
std::optional<std::int64_t> Digits(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || error != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<TMlsdEntry> ParseMlsdLine(std::string_view line) {
    // The facts end at the first space; with no facts the line starts with it.
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space + 1 == line.size()) return std::nullopt;
    std::string_view facts = line.substr(0, space);
    if (!facts.empty() && facts.back() != ';') return std::nullopt;
    TMlsdEntry entry;
    entry.Name = std::string(line.substr(space + 1));
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        facts.remove_prefix(end + 1);
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view name = fact.substr(0, equals);
        const std::string_view value = fact.substr(equals + 1);
        if (SameWord(name, "type")) {
            if (SameWord(value, "cdir") || SameWord(value, "pdir")) return std::nullopt;
            entry.IsDirectory = SameWord(value, "dir");
        } else if (SameWord(name, "size")) {
            entry.Size = Digits(value);
        } else if (SameWord(name, "modify")) {
            entry.Modified = ParseFtpTime(value);
        }
    }
    if (entry.IsDirectory) entry.Size.reset();
    return entry;
}
