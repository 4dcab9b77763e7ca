#pragma once
// What the benchmarks share: the test server's user, the clock and CPU figures, an event loop run
// to a condition, sample files, and pyftpdlib on 127.0.0.1.

#include <QProcess>
#include <QString>

#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <string>

constexpr const char* kUser = "anna";
constexpr const char* kPassword = "s3cret";
constexpr std::int64_t kMiB = 1 << 20;

// Seconds on the steady clock.
double Now();
// User and system seconds of a resource count.
double CpuSeconds(const rusage& r);
// Runs the event queue until `done`; false when `timeoutMs` passed first.
bool RunUntil(const std::function<bool()>& done, int timeoutMs);
// `size` bytes of a fixed pseudo-random sequence (nothing compresses or repeats).
bool MakeFile(const std::string& path, std::int64_t size);
// A folder for the files of a run that holds `bytes`: shared memory when it has room, so that
// the disk's write-back of earlier uploads does not slow a later one at random; else /tmp.
QString ScratchFolder(std::int64_t bytes);

// The test suite's pyftpdlib handler on 127.0.0.1 with an ephemeral port, serving `root`.
class Server {
  public:
    // readLimit: bytes a second the server reads from a data connection, 0 for no limit. With
    // `tlsPem` (certificate and key) it is an FTPS server that requires TLS.
    bool Start(const QString& root, int readLimit = 0, const QString& tlsPem = {});
    ~Server();
    std::uint16_t Port() const { return port_; }

  private:
    QProcess process_;
    std::uint16_t port_ = 0;
};
