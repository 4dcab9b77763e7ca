#include "benchsupport.h"

#include "crypto/deskey.h"
#include "crypto/desunit2.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds(const rusage& r) {
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double SystemSeconds(const rusage& r) {
    return static_cast<double>(r.ru_stime.tv_sec) + static_cast<double>(r.ru_stime.tv_usec) / 1e6;
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

std::int64_t FileSize(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? -1 : static_cast<std::int64_t>(size);
}

QString ScratchFolder(std::int64_t bytes) {
    struct statvfs fs {};
    if (statvfs("/dev/shm", &fs) == 0 &&
        static_cast<std::int64_t>(fs.f_bavail) * static_cast<std::int64_t>(fs.f_frsize) > bytes)
        return QStringLiteral("/dev/shm");
    return QDir::tempPath();
}

void ShowFile(const std::string& what, const std::string& path) {
    std::ifstream in(path);
    std::string line;
    for (int n = 0; n < 10 && std::getline(in, line); ++n)
        std::printf("  %s: %s\n", what.c_str(), line.c_str());
}

namespace {

// Lines of /proc/net/tcp and tcp6 whose state is 06, TIME_WAIT.
int TimeWaitCount() {
    int count = 0;
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line); // the heading
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state;
            fields >> slot >> local >> remote >> state;
            if (state == "06") ++count;
        }
    }
    return count;
}

} // namespace

void WaitForFreePorts() {
    constexpr int kQuiet = 10000;
    for (int i = 0; i < 240 && TimeWaitCount() > kQuiet; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
}

void EmptyFolder(const std::string& folder) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        std::filesystem::remove_all(entry.path(), error);
}

namespace {

// Waits for `child` at most `timeoutSeconds`; the process is killed when it takes longer.
bool WaitChild(pid_t child, double timeoutSeconds, int& status, rusage& usage) {
    // A pidfd wakes poll the moment the child ends, so the wait adds nothing to its wall time.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    const double deadline = Now() + timeoutSeconds;
    bool ended = false;
    while (!ended && Now() < deadline) {
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            ended = poll(&p, 1, static_cast<int>((deadline - Now()) * 1000) + 1) > 0;
        } else {
            siginfo_t info{};
            ended =
                waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
                info.si_pid == child;
            if (!ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    if (pidfd >= 0) close(pidfd);
    if (!ended) kill(child, SIGKILL);
    return wait4(child, &status, 0, &usage) == child && ended;
}

} // namespace

Figures RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 double timeoutSeconds, const std::string& stdoutFile,
                 const std::string& stderrFile) {
    Figures f;
    std::fflush(stdout);
    std::fflush(stderr);
    const double start = Now();
    const pid_t child = fork();
    if (child == 0) {
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        if (!std::freopen(stdoutFile.empty() ? "/dev/null" : stdoutFile.c_str(), "w", stdout) ||
            !std::freopen(stderrFile.empty() ? "/dev/null" : stderrFile.c_str(), "w", stderr))
            _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (child < 0) return f;
    int status = 0;
    rusage usage{};
    const bool ended = WaitChild(child, timeoutSeconds, status, usage);
    f.seconds = Now() - start;
    f.cpu = CpuSeconds(usage);
    f.system = SystemSeconds(usage);
    f.peakKiB = usage.ru_maxrss;
    f.ok = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Figures Rounds::Median() const {
    std::vector<double> seconds, cpu, system, peak, serverCpu;
    bool ok = !runs.empty();
    for (const Figures& f : runs) {
        seconds.push_back(f.seconds);
        cpu.push_back(f.cpu);
        system.push_back(f.system);
        peak.push_back(static_cast<double>(f.peakKiB));
        serverCpu.push_back(f.serverCpu);
        ok = ok && f.ok;
    }
    return {.seconds = ::Median(seconds),
            .cpu = ::Median(cpu),
            .ok = ok,
            .system = ::Median(system),
            .peakKiB = static_cast<long>(::Median(peak)),
            .serverCpu = ::Median(serverCpu)};
}

double Rounds::MedianRatio(const Rounds& other, bool cpu) const {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < runs.size() && i < other.runs.size(); ++i) {
        const double ours = cpu ? runs[i].cpu : runs[i].seconds;
        const double theirs = cpu ? other.runs[i].cpu : other.runs[i].seconds;
        if (theirs > 0) ratios.push_back(ours / theirs);
    }
    return ::Median(ratios);
}

std::string Rounds::Ratios(const Rounds& other) const {
    std::string out;
    char text[32];
    for (std::size_t i = 0; i < runs.size() && i < other.runs.size(); ++i) {
        std::snprintf(text, sizeof text, "%s%.2f", out.empty() ? "" : " ",
                      other.runs[i].seconds > 0 ? runs[i].seconds / other.runs[i].seconds : 0.0);
        out += text;
    }
    return out;
}

namespace {

// User and system seconds of a running process; -1 when unknown.
double ProcessCpuSeconds(pid_t pid) {
    if (pid <= 0) return -1;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name, which is in parentheses and may hold spaces.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    double ticks = 0;
    // utime and stime are fields 14 and 15; the text here starts at field 3.
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n >= 14) ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace

std::string ServerCpuText(const Figures& f) {
    char text[32] = "-";
    if (f.serverCpu >= 0) std::snprintf(text, sizeof text, "%.2f", f.serverCpu);
    return text;
}

Figures WithServerCpu(const BenchServer& server, const std::function<Figures()>& run) {
    const double before = ProcessCpuSeconds(server.ProcessId());
    Figures f = run();
    if (before < 0) return f;
    // The server may still be closing the session when the client has gone: the figure is taken
    // when it has stopped changing.
    double after = ProcessCpuSeconds(server.ProcessId());
    for (int i = 0; i < 50; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double now = ProcessCpuSeconds(server.ProcessId());
        if (now == after) break;
        after = now;
    }
    if (after >= 0) f.serverCpu = after - before;
    return f;
}

bool Server::Start(const QString& root, int readLimit, const QString& tlsPem) {
    root_ = root.toStdString();
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

namespace {

// A port nobody listens on now; the kernel hands out each ephemeral port in turn, so it stays
// free for the moment the server needs to bind it (and a failed start is tried again).
std::uint16_t FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    std::uint16_t port = 0;
    if (s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) == 0)
        port = ntohs(a.sin_port);
    if (s >= 0) close(s);
    return port;
}

bool Accepts(std::uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (s >= 0) close(s);
    return ok;
}

} // namespace

bool Vsftpd::Start(const std::string& folder, bool protocolLog) {
    folder_ = folder;
    const bool root = geteuid() == 0;
    locked_ = root;
    std::filesystem::create_directories(Root());
    std::filesystem::create_directories(folder + "/empty");
    // Locked into its root, vsftpd refuses a root that its session user could write.
    std::filesystem::permissions(Root(), std::filesystem::perms(root ? 0755 : 0777));
    std::filesystem::permissions(folder + "/empty", std::filesystem::perms(0755));
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
        port_ = FreePort();
        std::ofstream conf(folder + "/vsftpd.conf");
        conf << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port_
             << "\nbackground=NO\n"
             << (root ? "" : "run_as_launching_user=YES\n")
             << "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=NO\nanon_root=" << Root()
             << "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                "anon_other_write_enable=YES\nanon_world_readable_only=NO\nanon_umask=022\n"
                "port_enable=YES\npasv_enable=YES\nconnect_from_port_20=NO\nssl_enable=NO\n"
                "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\nsecure_chroot_dir="
             << folder << "/empty\nsyslog_enable=NO\nmax_clients=0\nmax_per_ip=0\n";
        if (protocolLog)
            conf << "xferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\n"
                    "vsftpd_log_file="
                 << LogFile() << "\n";
        else
            conf << "xferlog_enable=NO\n";
        conf.close();
        const pid_t child = fork();
        if (child == 0) {
            // It ends with the benchmark, also with one that was killed.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (!std::freopen((folder + "/vsftpd.out").c_str(), "w", stdout) ||
                !std::freopen((folder + "/vsftpd.out").c_str(), "a", stderr))
                _exit(126);
            execl("/usr/sbin/vsftpd", "vsftpd", (folder + "/vsftpd.conf").c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        if (child < 0) return false;
        for (int wait = 0; wait < 500; ++wait) {
            if (Accepts(port_)) {
                pid_ = child;
                break;
            }
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (pid_ < 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
    }
    return pid_ > 0;
}

Vsftpd::~Vsftpd() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int wait = 0; wait < 500; ++wait) {
        if (waitpid(pid_, &status, WNOHANG) == pid_) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
}

std::vector<std::unique_ptr<BenchServer>> StartServers(const std::string& scratch) {
    std::vector<std::unique_ptr<BenchServer>> servers;
    auto py = std::make_unique<Server>();
    QDir().mkpath(QString::fromStdString(scratch + "/pyftpdlib"));
    if (py->Start(QString::fromStdString(scratch + "/pyftpdlib")))
        servers.push_back(std::move(py));
    else
        std::printf("pyftpdlib could not start (python3-pyftpdlib): left out\n");
    auto vs = std::make_unique<Vsftpd>();
    if (vs->Start(scratch + "/vsftpd"))
        servers.push_back(std::move(vs));
    else
        std::printf("vsftpd could not start (see %s/vsftpd/vsftpd.out): left out\n",
                    scratch.c_str());
    return servers;
}

void WriteProfile(const std::string& home, const BenchServer& server, const ProfileOptions& o) {
    TDES des;
    des.SetKey(GetMachineKey());
    std::ofstream(home + "/wendup.ini")
        << "[Default]\r\nTimeOut=10\r\nMakeDir=" << (o.makeDir ? 1 : 0) << "\r\n";
    std::ofstream profile(home + "/bench.inf");
    profile << "[Server]\r\nserver=127.0.0.1\r\nport=" << server.Port()
            << "\r\nPWDImplement=1\r\n[User]\r\nanonymous=0\r\nuser=" << server.User()
            << "\r\npassword=" << SealPassword(des, server.Password())
            << "\r\nSavePassword=1\r\nDefaultDir=" << o.folder
            << "\r\n[Preferences]\r\nSameFileExist=" << o.policy << "\r\nJapaneseCode=1\r\n";
    for (const auto& [key, value] : o.preferences)
        profile << key << "=" << value << "\r\n";
}

void PrepareHome(const std::string& base) {
    for (const char* d : {"/home", "/run", "/config", "/data", "/state", "/peer"})
        QDir().mkpath(QString::fromStdString(base + d));
    QFile::setPermissions(QString::fromStdString(base + "/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(base + "/config"));
}

std::vector<std::string> ProgramEnv(const std::string& base) {
    return {"WENDUP_HOME=" + base + "/home",
            "QT_QPA_PLATFORM=offscreen",
            "XDG_RUNTIME_DIR=" + base + "/run",
            "XDG_CONFIG_HOME=" + base + "/config",
            "XDG_DATA_HOME=" + base + "/data",
            "XDG_STATE_HOME=" + base + "/state",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + base + "/no-bus"};
}

std::vector<std::string> PeerEnv(const std::string& base) {
    return {"HOME=" + base + "/peer", "XDG_CONFIG_HOME=" + base + "/peer/.config",
            "XDG_DATA_HOME=" + base + "/peer/.local/share"};
}

std::vector<std::string> LftpArgs(const BenchServer& server, const std::string& script) {
    return {"lftp",
            "-u",
            server.User() + "," + server.Password(),
            "-p",
            std::to_string(server.Port()),
            "-e",
            "set ftp:passive-mode off; set net:max-retries 1; set net:timeout 20; " + script +
                "; quit",
            "127.0.0.1"};
}

std::string FtpUrl(const BenchServer& server, const std::string& path) {
    return "ftp://" + server.User() + ":" + server.Password() +
           "@127.0.0.1:" + std::to_string(server.Port()) + "/" + path;
}

std::vector<std::string> NcftpputArgs(const BenchServer& server) {
    return {"ncftpput",
            "-u",
            server.User(),
            "-p",
            server.Password(),
            "-P",
            std::to_string(server.Port()),
            "-E",
            "-t",
            "30"};
}

bool QuickRun(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "quick") return true;
    return false;
}

long long Argument(int argc, char** argv, const std::string& name, long long fallback) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind(name + "=", 0) == 0) return std::atoll(a.c_str() + name.size() + 1);
    }
    return fallback;
}
