#include "platform/keysource.h"

#include "platform/codepage.h"
#include "platform/progdir.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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
    return UserConfigFolder() + "/key";
}

std::string ReadStoredKey() {
    return ReadWholeFile(StoredKeyPath()).value_or(std::string());
}

bool WriteStoredKey(std::string_view key) {
    if (!MakePrivateFolders(UserConfigFolder())) return false;
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
