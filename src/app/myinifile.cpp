#include "app/myinifile.h"

#include "kanji/jstrm.h"
#include "platform/codepage.h"
#include "platform/filehandle.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr unsigned char FoldAscii(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 0x20 : c;
}

// The line of a key: the first whose text before its first "=" is the key.
template <typename Lines> auto FindKey(Lines& lines, std::string_view ident) {
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        const std::size_t eq = it->find('=');
        if (eq != std::string::npos && SameIniName(std::string_view(*it).substr(0, eq), ident))
            return it;
    }
    return lines.end();
}

bool HasLineEnd(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::optional<int> ParseInteger(std::string_view text) {
    int value = 0;
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
        if (text[0] == '-' || text[0] == '+') return std::nullopt;
    } else if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '-') return std::nullopt;
    }
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

} // namespace

bool SameIniName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (IsSjisLeadByte(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (FoldAscii(x) != FoldAscii(y)) {
            return false;
        }
    }
    return true;
}

EIniFileError::EIniFileError(std::string path, int error)
    : std::runtime_error("INI file " + path + ": " + std::strerror(error)), Path(std::move(path)),
      ErrorCode(error) {}

TMyMemIniFile::TMyMemIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    const auto host = SystemToUtf8(fileName_);
    if (!host) return; // no file can have this name here; a write will say so
    FileHandle fd(::open(host->c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;
        throw EIniFileError(fileName_, errno);
    }
    std::string text;
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EIniFileError(fileName_, errno);
        if (n == 0) break;
        text.append(buf, std::size_t(n));
    }

    Section* current = nullptr;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + at, end - at);
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);

        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[' && line.back() == ']' && line.size() >= 2) {
            sections_.push_back({std::string(line.substr(1, line.size() - 2)), {}});
            current = &sections_.back();
        } else if (current) {
            current->lines.emplace_back(line);
        }
    }
}

const TMyMemIniFile::Section* TMyMemIniFile::Find(std::string_view section) const {
    for (const Section& s : sections_)
        if (SameIniName(s.name, section)) return &s;
    return nullptr;
}

TMyMemIniFile::Section* TMyMemIniFile::Find(std::string_view section) {
    return const_cast<Section*>(std::as_const(*this).Find(section));
}

std::string TMyMemIniFile::ReadString(std::string_view section, std::string_view ident,
                                      std::string_view def) const {
    const Section* s = Find(section);
    if (!s) return std::string(def);
    const auto line = FindKey(s->lines, ident);
    if (line == s->lines.end()) return std::string(def);
    return line->substr(line->find('=') + 1);
}

int TMyMemIniFile::ReadInteger(std::string_view section, std::string_view ident, int def) const {
    const Section* s = Find(section);
    if (!s) return def;
    const auto line = FindKey(s->lines, ident);
    if (line == s->lines.end()) return def;
    return ParseInteger(std::string_view(*line).substr(line->find('=') + 1)).value_or(def);
}

bool TMyMemIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

std::vector<std::string> TMyMemIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    if (const Section* s = Find(section)) {
        for (const std::string& line : s->lines) {
            const std::size_t eq = line.find('=');
            keys.push_back(eq == std::string::npos ? std::string() : line.substr(0, eq));
        }
    }
    return keys;
}

bool TMyMemIniFile::SectionExists(std::string_view section) const {
    return Find(section) != nullptr;
}

void TMyMemIniFile::WriteString(std::string_view section, std::string_view ident,
                                std::string_view value) {
    // Anything that would read back as another line, a comment or a section would corrupt the file.
    if (HasLineEnd(section) || HasLineEnd(ident) || HasLineEnd(value))
        throw std::invalid_argument("line end in an INI name, key or value");
    if (ident.find('=') != std::string_view::npos || (!ident.empty() && ident[0] == ';'))
        throw std::invalid_argument("INI key holds \"=\" or starts with \";\"");
    std::string line = std::string(ident) + "=" + std::string(value);
    if (line[0] == '[' && line.back() == ']')
        throw std::invalid_argument("INI line would read as a section header");

    Section* s = Find(section);
    if (!s) {
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    if (auto found = FindKey(s->lines, ident); found != s->lines.end())
        *found = std::move(line);
    else
        s->lines.push_back(std::move(line));
    UpdateFile();
}

void TMyMemIniFile::WriteInteger(std::string_view section, std::string_view ident, int value) {
    WriteString(section, ident, std::to_string(value));
}

void TMyMemIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

void TMyMemIniFile::EraseSection(std::string_view section) {
    // Every section of that name goes: otherwise a second one would take the erased one's place.
    const auto erased =
        std::erase_if(sections_, [&](const Section& s) { return SameIniName(s.name, section); });
    if (erased > 0) UpdateFile();
}

void TMyMemIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    Section* s = Find(section);
    if (!s) return;
    const auto line = FindKey(s->lines, ident);
    if (line == s->lines.end()) return;
    s->lines.erase(line);
    UpdateFile();
}

// The image goes to a new file beside the old one, which replaces it only once it is complete and
// on disk: a crash or a full disk leaves the old file, never a truncated one.
void TMyMemIniFile::UpdateFile() const {
    std::string image;
    for (const Section& s : sections_) {
        image += "[" + s.name + "]\r\n";
        for (const std::string& line : s.lines)
            image += line + "\r\n";
        image += "\r\n";
    }

    auto host = SystemToUtf8(fileName_);
    if (!host) throw EIniFileError(fileName_, EILSEQ);
    // A settings file that is a link stays one: the file it points at is replaced.
    if (char* target = ::realpath(host->c_str(), nullptr)) {
        host = target;
        std::free(target);
    }
    const std::size_t slash = host->rfind('/');
    const std::string folder = slash == std::string::npos ? "." : host->substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? *host : host->substr(slash + 1);

    static unsigned counter = 0;
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = folder + (slash == std::string::npos ? "/." : ".") + base + "." +
               std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp";
        // Private until it is known to replace a file with other rights: profiles hold sealed
        // passwords.
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (raw < 0 && errno != EEXIST) break;
    }
    if (raw < 0) throw EIniFileError(fileName_, errno);
    FileHandle fd(raw);

    auto fail = [&](int error) {
        ::unlink(temp.c_str());
        throw EIniFileError(fileName_, error);
    };
    struct stat old;
    if (::stat(host->c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(fd.Get(), old.st_mode & 07777) != 0)
        fail(errno);
    for (std::size_t done = 0; done < image.size();) {
        const ssize_t n = ::write(fd.Get(), image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : ENOSPC);
        done += std::size_t(n);
    }
    if (::fsync(fd.Get()) != 0) fail(errno);
    if (fd.Close() != 0) fail(errno);
    if (std::rename(temp.c_str(), host->c_str()) != 0) fail(errno);
    // The rename itself reaches the disk with the folder.
    if (const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}
