#include "benchsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTimer>

#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <vector>

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QTimer wake;
    wake.start(10);
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool MakeFile(const std::string& path, std::int64_t size) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint64_t> block(static_cast<std::size_t>(kMiB / 8));
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (std::int64_t done = 0; done < size; done += kMiB) {
        for (std::uint64_t& word : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            word = x;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(std::min(kMiB, size - done)));
    }
    return static_cast<bool>(out);
}

QString ScratchFolder(std::int64_t bytes) {
    struct statvfs fs {};
    if (statvfs("/dev/shm", &fs) == 0 &&
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize) > bytes)
        return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}

bool Server::Start(const QString& root, int readLimit, const QString& tlsPem) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments = {QStringLiteral(WENDUP_SOURCE_DIR "/tests/support/ftpserver.py"), root,
                             kUser, kPassword};
    if (readLimit > 0 || !tlsPem.isEmpty()) arguments << QString::number(readLimit);
    if (!tlsPem.isEmpty())
        arguments << "127.0.0.1"
                  << "0"
                  << "0"
                  << "0" << tlsPem;
    process_.start("/usr/bin/python3", arguments);
    if (!process_.waitForStarted(10000)) return false;
    while (!process_.canReadLine())
        if (!process_.waitForReadyRead(10000)) return false;
    port_ = static_cast<std::uint16_t>(process_.readLine().trimmed().toUInt());
    return port_ != 0;
}

Server::~Server() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(5000);
}
