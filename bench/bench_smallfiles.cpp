// Many small files into a big folder, through the program itself, against its peers, on
// pyftpdlib and on vsftpd (both on 127.0.0.1, active mode):
//
// 200 files of 4 KiB into a remote folder of 5,000 other entries. The program runs with the policy
// "新しい日付のときは転送" (transfer when newer), temporary names and time keeping on
// (`wendup /SERVER:bench /NOMSG FILE...`, offscreen). Before every run the folder is set back to
// the same state: every other one of the 200 files is there already, 1,000 bytes and two days
// older than the local file, the rest are missing. So the date decision is taken for every file
// and both of its answers occur ("missing" and "older", each: store), while every client still
// stores all 200 files, the same work as the peers, which check no dates. Every run must leave
// all 200 at 4,096 bytes.
//
// Peers, each in one session: lftp `mput` with `set xfer:use-temp-file yes` (its own safe
// upload: a temporary name, then a rename), the target's yardstick; curl with the 200 files in
// one command (no temporary names); ncftpput -T (temporary names). Prints ms a file and CPU
// seconds of each (medians of the rounds, the clients taking turns in a rotating order) and the
// ratio program/lftp as the median of the rounds' ratios (target <= 1.0). Beside them, pyftpdlib's
// own CPU seconds for each run: the server works one command at a time, so a client's run takes
// at least that long, however little the client costs itself. After the rounds, one more run of
// the program and of lftp through a relay that notes each command and reply: the commands each
// sends for a file, and how long the server and the client take for each. Then the
// program and lftp again where every round trip costs 2 ms more (the control connection through a
// relay that delays it). Last, the start-up alone of the program and of lftp: runs whose
// connection is refused at once.
//
// Arguments: rounds=N (7; "quick": 3). The server's folders and the local files are in shared
// memory when it has room (see ScratchFolder).

#include "benchsupport.h"
#include "controlrelay.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kFiles = 200;
constexpr int kEntries = 5000;
constexpr std::int64_t kFileSize = 4096;
constexpr double kTimeout = 300;
// A run through the relay that takes this long has stalled.
constexpr double kRelayTimeout = 30;

std::string SmallName(int i) {
    return "small" + std::to_string(i) + ".txt";
}

void SetTime(const std::string& path, std::time_t time) {
    const timespec times[2] = {{time, 0}, {time, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::time_t ModifiedAt(const std::string& path) {
    struct stat s {};
    return stat(path.c_str(), &s) == 0 ? s.st_mtime : -1;
}

// The remote folder as every run starts from it: the 5,000 entries, and the even-numbered files
// there already, older and of another size; nothing else.
void ResetFolder(const std::string& folder, std::time_t localTime) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.path().filename().string().rfind("entry", 0) != 0)
            std::filesystem::remove_all(entry.path(), error);
    for (int i = 0; i < kFiles; i += 2) {
        const std::string path = folder + "/" + SmallName(i);
        std::ofstream(path, std::ios::binary) << std::string(1000, 'o');
        SetTime(path, localTime - 2 * 24 * 3600);
    }
}

struct Client {
    Client(std::string name, std::function<Figures()> run, int files = kFiles)
        : name(std::move(name)), run(std::move(run)), files(files) {}
    std::string name;
    std::function<Figures()> run;
    int files; // that it sends
    Rounds rounds;
    int storedLast = 0; // files of 4,096 bytes after its last run
    bool allStored = true;
};

int CountStored(const std::string& folder) {
    int n = 0;
    for (int i = 0; i < kFiles; ++i)
        if (FileSize(folder + "/" + SmallName(i)) == kFileSize) ++n;
    return n;
}

// The same upload where every round trip costs more, as to a server further away: the control
// connection goes through a relay that delays each way by 1 ms (data connections go straight).
// Commands sent together save that time; the ones that wait for a reply pay it.
void PrintSlowerPath(const BenchServer& server, const std::string& base,
                     const ProfileOptions& profile, const std::vector<std::string>& program,
                     const std::string& mput, std::time_t localTime, int rounds) {
    constexpr double kDelay = 0.001;
    ControlRelay relay;
    if (!relay.Start(server.Port(), kDelay)) return;
    const RelayedServer relayed(server, relay);
    WriteProfile(base + "/home", relayed, profile);
    const std::string folder = server.Root() + "/many";
    Rounds ours, theirs;
    bool allStored = true;
    for (int round = 0; round < rounds; ++round) {
        ResetFolder(folder, localTime);
        WaitForFreePorts();
        ours.Add(RunChild(program, ProgramEnv(base), kTimeout));
        allStored = allStored && CountStored(folder) == kFiles;
        ResetFolder(folder, localTime);
        WaitForFreePorts();
        theirs.Add(RunChild(LftpArgs(relayed, mput), PeerEnv(base), kTimeout));
        allStored = allStored && CountStored(folder) == kFiles;
    }
    relay.Take();
    WriteProfile(base + "/home", server, profile);
    const Figures a = ours.Median(), b = theirs.Median();
    std::printf("  the control connection %.0f ms longer each way, median of %d: program %.2f ms a "
                "file, lftp %.2f; ratio program/lftp %.2f%s\n",
                kDelay * 1000, rounds, a.seconds * 1000 / kFiles, b.seconds * 1000 / kFiles,
                ours.MedianRatio(theirs), a.ok && b.ok && allStored ? "" : " (FAILED)");
}

bool BenchServerFolder(BenchServer& server, const std::string& base,
                       const std::vector<std::string>& locals, std::time_t localTime, int rounds) {
    const std::string folder = server.Root() + "/many";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < kEntries; ++i)
        std::ofstream(folder + "/entry" + std::to_string(i) + ".dat") << i;
    const ProfileOptions profile{
        0, server.RemotePath("many"), {{"TempName", "1"}, {"KeepTime", "1"}}, false};
    WriteProfile(base + "/home", server, profile);

    std::vector<std::string> program = {WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG"};
    program.insert(program.end(), locals.begin(), locals.end());
    std::string mput = "cd many; set xfer:use-temp-file yes; mput";
    std::vector<std::string> curl = {"curl", "-s", "-S", "-P", "127.0.0.1"};
    std::vector<std::string> ncftp = NcftpputArgs(server);
    ncftp.insert(ncftp.end(), {"-T", ".tmp.", "127.0.0.1", "many"});
    for (const std::string& local : locals) {
        mput += " " + local;
        curl.insert(curl.end(), {"-T", local, FtpUrl(server, "many/")});
        ncftp.push_back(local);
    }
    const std::vector<std::string> lftp = LftpArgs(server, mput);

    std::vector<Client> clients;
    clients.emplace_back("program (date check, temp names, time kept)", [&] {
        return RunChild(program, ProgramEnv(base), kTimeout, {}, base + "/program.err");
    });
    clients.emplace_back("lftp mput, xfer:use-temp-file yes",
                         [&] { return RunChild(lftp, PeerEnv(base), kTimeout); });
    clients.emplace_back("curl, one command (no temp names)",
                         [&] { return RunChild(curl, PeerEnv(base), kTimeout); });
    clients.emplace_back("ncftpput -T (temp names)",
                         [&] { return RunChild(ncftp, PeerEnv(base), kTimeout); });
    // What a run costs besides the files: start-up, login, the listing, quit, and one store.
    const std::vector<std::string> single = {WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG", locals[1]};
    clients.emplace_back(
        "program, one file alone", [&] { return RunChild(single, ProgramEnv(base), kTimeout); }, 1);
    int timesKept = 0;
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[(i + static_cast<std::size_t>(round)) % clients.size()];
            ResetFolder(folder, localTime);
            WaitForFreePorts();
            c.rounds.Add(WithServerCpu(server, c.run));
            c.storedLast = CountStored(folder);
            c.allStored = c.allStored && c.storedLast == c.files;
            if (&c == &clients[0]) {
                timesKept = 0;
                for (int f = 0; f < kFiles; ++f)
                    if (ModifiedAt(folder + "/" + SmallName(f)) == localTime) ++timesKept;
            }
        }

    if (!clients[0].allStored) ShowFile("the program said", base + "/program.err");
    std::printf("%s: %d files of 4 KiB into a folder of %d entries (half of the files there, "
                "older), median of %d rounds\n",
                server.Name().c_str(), kFiles, kEntries, rounds);
    std::printf("  %-46s %9s %8s %12s\n", "", "ms a file", "CPU s", "server CPU s");
    for (const Client& c : clients) {
        const Figures m = c.rounds.Median();
        std::printf("  %-46s %9.2f %8.2f %12s %s\n", c.name.c_str(), m.seconds * 1000 / c.files,
                    m.cpu, ServerCpuText(m).c_str(), m.ok && c.allStored ? "" : "FAILED");
    }
    const Figures ours = clients[0].rounds.Median(), lftpFigures = clients[1].rounds.Median();
    const double ratio = clients[0].rounds.MedianRatio(clients[1].rounds);
    std::printf("  ratio program/lftp %.2f (target <= 1.0: %s); of the medians %.2f; "
                "program/curl %.2f, program/ncftpput %.2f\n",
                ratio, ratio <= 1.0 ? "reached" : "NOT reached", ours.seconds / lftpFigures.seconds,
                clients[0].rounds.MedianRatio(clients[2].rounds),
                clients[0].rounds.MedianRatio(clients[3].rounds));
    std::printf("  the rounds' ratios program/lftp: %s\n",
                clients[0].rounds.Ratios(clients[1].rounds).c_str());
    // The server's own work for the program's commands is a floor under the program's run.
    if (ours.serverCpu >= 0)
        std::printf("  the server's CPU for the program's run is %.2f of lftp's whole run\n",
                    ours.serverCpu / lftpFigures.seconds);
    const Figures one = clients[4].rounds.Median();
    std::printf("  a run of one file %.0f ms (%.2f CPU s); the other %d files %.2f ms each\n",
                one.seconds * 1000, one.cpu, kFiles - 1,
                (ours.seconds - one.seconds) * 1000 / (kFiles - 1));
    std::printf("  files of 4,096 bytes after the last run: program %d, lftp %d, curl %d, "
                "ncftpput %d; remote times equal to the local after the program: %d of %d\n",
                clients[0].storedLast, clients[1].storedLast, clients[2].storedLast,
                clients[3].storedLast, timesKept, kFiles);

    // Where the round trips go: one more run of the program and of lftp through a relay that
    // notes every command and reply.
    ControlRelay relay;
    if (relay.Start(server.Port())) {
        const RelayedServer relayed(server, relay);
        WriteProfile(base + "/home", relayed, profile);
        ResetFolder(folder, localTime);
        WaitForFreePorts();
        const Figures relayedRun = RunChild(program, ProgramEnv(base), kRelayTimeout);
        const int relayedStored = CountStored(folder);
        const CommandTrace ours(relay.Take());
        ResetFolder(folder, localTime);
        WaitForFreePorts();
        RunChild(LftpArgs(relayed, mput), PeerEnv(base), kTimeout);
        const CommandTrace theirs(relay.Take());
        WriteProfile(base + "/home", server, profile);
        std::printf("  through a relay noting each command, one run each:\n");
        std::printf("  program: commands a file: %s\n", ours.PerFile(kFiles).c_str());
        std::printf("    the 2nd file (missing): %s; the 3rd (there, older): %s\n",
                    ours.OneTurn(0).c_str(), ours.OneTurn(1).c_str());
        if (relayedRun.ok && relayedStored == kFiles)
            std::printf("    %s\n", ours.Timing(kFiles).c_str());
        else
            std::printf("    the program did NOT finish through the relay: %d of %d files stored, "
                        "stopped after %.0f s\n",
                        relayedStored, kFiles, relayedRun.seconds);
        std::printf("  lftp: commands a file: %s\n", theirs.PerFile(kFiles).c_str());
        std::printf("    one file: %s\n", theirs.OneTurn(1).c_str());
        std::printf("    %s\n", theirs.Timing(kFiles).c_str());
    }
    PrintSlowerPath(server, base, profile, program, mput, localTime, std::max(1, rounds / 3));
    bool ok = true;
    for (const Client& c : clients)
        ok = ok && c.allStored && c.rounds.Median().ok;
    return ok;
}

// A server that is not there: a port of 127.0.0.1 that was free a moment ago.
class ClosedPort : public BenchServer {
  public:
    ClosedPort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0)
            port_ = ntohs(a.sin_port);
        if (fd >= 0) close(fd);
    }
    std::string Name() const override { return "closed port"; }
    std::uint16_t Port() const override { return port_; }
    std::string User() const override { return "nobody"; }
    std::string Password() const override { return "none"; }
    std::string Root() const override { return {}; }

  private:
    std::uint16_t port_ = 0;
};

// What a client costs before the network has any part in it: runs whose connection is refused at
// once, the program's and lftp's, taking turns.
void PrintStartUp(const std::string& base, const std::string& local) {
    const ClosedPort closed;
    if (closed.Port() == 0) return;
    const std::string home = base + "/closed";
    std::filesystem::create_directories(home);
    WriteProfile(home, closed, ProfileOptions{0, "/", {}, false});
    std::vector<std::string> env = ProgramEnv(base);
    for (std::string& e : env)
        if (e.rfind("WENDUP_HOME=", 0) == 0) e = "WENDUP_HOME=" + home;
    const std::vector<std::string> program = {WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG", local};
    const std::vector<std::string> lftp = LftpArgs(closed, "put " + local);
    std::vector<double> ours, theirs;
    for (int i = 0; i < 9; ++i) {
        ours.push_back(RunChild(program, env, kRelayTimeout).seconds * 1000);
        theirs.push_back(RunChild(lftp, PeerEnv(base), kRelayTimeout).seconds * 1000);
    }
    std::printf("start-up alone (a connection refused at once), median of 9 runs: program %.1f ms, "
                "lftp %.1f ms\n",
                Median(ours), Median(theirs));
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = static_cast<int>(
        std::max(1LL, Argument(argc, argv, "rounds", QuickRun(argc, argv) ? 3 : 7)));
    QCoreApplication app(argc, argv);
    // Files and folders writable by the servers' session users (vsftpd's "ftp").
    umask(0);
    QTemporaryDir tmp(ScratchFolder(256 * kMiB) + "/wendup-bench-XXXXXX");
    const std::string base = tmp.path().toStdString();
    PrepareHome(base);
    std::filesystem::create_directories(base + "/local");
    std::vector<std::string> locals;
    // A whole second, so that a kept time compares equal.
    const std::time_t localTime = std::time(nullptr) - 60;
    for (int i = 0; i < kFiles; ++i) {
        const std::string path = base + "/local/" + SmallName(i);
        std::ofstream(path, std::ios::binary)
            << std::string(kFileSize, static_cast<char>('a' + i % 26));
        SetTime(path, localTime);
        locals.push_back(path);
    }
    auto servers = StartServers(base);
    bool ok = !servers.empty();
    for (auto& server : servers)
        ok = BenchServerFolder(*server, base, locals, localTime, rounds) && ok;
    PrintStartUp(base, locals[0]);
    return ok ? 0 : 1;
}
