#include "platform/keysource.h"

#include "platform/codepage.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::string KeyFolder() {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules say.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string base = config && config[0] == '/' ? config : HomeFolder() + "/.config";
    return base + "/wendup";
}

// Each missing folder of the path, with mode 0700.
bool MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        text.append(buf, std::size_t(n));
    }
    ::close(fd);
    return text;
}

} // namespace

std::string StoredKeyPath() {
    return KeyFolder() + "/key";
}

std::string ReadStoredKey() {
    return ReadWholeFile(StoredKeyPath()).value_or(std::string());
}

bool WriteStoredKey(std::string_view key) {
    const std::string folder = KeyFolder();
    if (!MakeFolders(folder)) return false;
    const std::string path = StoredKeyPath();
    const std::string temp = path + ".new" + std::to_string(::getpid());
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    for (std::size_t done = 0; ok && done < key.size();) {
        const ssize_t n = ::write(fd, key.data() + done, key.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += std::size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool DeleteStoredKey() {
    return ::unlink(StoredKeyPath().c_str()) == 0 || errno == ENOENT;
}

std::string MachineId() {
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        auto text = ReadWholeFile(path);
        if (!text) continue;
        const std::size_t end = text->find_first_of("\r\n");
        if (end != std::string::npos) text->resize(end);
        if (!text->empty()) return *text;
    }
    return {};
}

std::optional<std::string> LoginName() {
    const passwd* pw = getpwuid(geteuid());
    if (!pw || !pw->pw_name) return std::nullopt;
    const std::string host = pw->pw_name;
    std::string name = Utf8ToSystem(host).value_or(host);
    if (name.size() >= 32) return std::nullopt;
    return name;
}

std::string RandomKeyText() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (quint32 w : words)
        for (int shift = 28; shift >= 0; shift -= 4)
            text += digits[(w >> shift) & 0xF];
    return text;
}
