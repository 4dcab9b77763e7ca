// One big binary file, active mode, on pyftpdlib and on vsftpd (both on 127.0.0.1): the whole
// program (`wendup /SERVER:bench /NOMSG FILE`, offscreen, with its progress dialog, no temporary
// name) against whole peers: `curl -T FILE -P 127.0.0.1`, lftp `put` (passive mode off) and
// `ncftpput -E`; beside them the FTP component alone in this process. Prints MiB/s and CPU seconds
// of each, and the ratios to ncftpput: throughput (target >= 1.0) and CPU (target <= 1.5), each
// the median of the rounds' own ratios.
//
// Arguments: mib=N (512), rounds=N (5); "quick" makes them 64 and 2. Every upload makes a new file
// on the server (the one before is deleted), so no client pays for truncating another's; the
// clients take turns in a rotating order. The program and the peers are child processes measured
// with wait4; the component's figures are getrusage deltas of this process; the servers are
// never counted in a client's figures. Beside them, pyftpdlib's own CPU seconds for each run.

#include "ftp/ftp.h"

#include "benchsupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double kTimeout = 600;

Figures UploadComponent(const BenchServer& server, const std::string& local,
                        const std::string& remote) {
    TStarFtp ftp;
    bool loggedIn = false, stored = false, failed = false;
    ftp.SetFtpServer("127.0.0.1");
    ftp.FtpPort = server.Port();
    ftp.UserName = server.User();
    ftp.UserPassword = server.Password();
    ftp.OnLoggedIn = [&](TStarFtp&) { loggedIn = true; };
    ftp.OnFileStored = [&](TStarFtp&) { stored = true; };
    ftp.OnFtpError = [&](TStarFtp&, FtpError, const std::string&) { failed = true; };
    ftp.Login();
    Figures f;
    if (!RunUntil([&] { return loggedIn || failed; }, 20000) || failed) return f;
    ftp.LocalFile = local;
    ftp.RemoteFile = remote;
    ftp.TransferMode = BinaryTransfer;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const double start = Now();
    ftp.StoreFile();
    f.ok = RunUntil([&] { return stored || failed; }, static_cast<int>(kTimeout * 1000)) &&
           ftp.Success() && !failed;
    f.seconds = Now() - start;
    getrusage(RUSAGE_SELF, &after);
    f.cpu = CpuSeconds(after) - CpuSeconds(before);
    f.system = SystemSeconds(after) - SystemSeconds(before);
    return f;
}

struct Client {
    Client(std::string name, std::string remote, std::function<Figures()> run)
        : name(std::move(name)), remote(std::move(remote)), run(std::move(run)) {}
    std::string name;
    std::string remote; // the file it makes in the server's folder "up"
    std::function<Figures()> run;
    Rounds rounds;
    bool allArrived = true;
};

bool BenchServerBigFile(BenchServer& server, const std::string& base, const std::string& big,
                        std::int64_t size, int rounds) {
    const std::string folder = server.Root() + "/up";
    std::filesystem::create_directories(folder);
    WriteProfile(base + "/home", server, {3, server.RemotePath("up"), {{"TempName", "0"}}, false});
    std::vector<std::string> ncftp = NcftpputArgs(server);
    ncftp.insert(ncftp.end(), {"127.0.0.1", "up", big});
    std::vector<Client> clients;
    clients.emplace_back("program (wendup, offscreen)", "big.bin", [&] {
        return RunChild({WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG", big}, ProgramEnv(base),
                        kTimeout);
    });
    clients.emplace_back("component alone", "component.bin",
                         [&] { return UploadComponent(server, big, "up/component.bin"); });
    clients.emplace_back("curl -T -P 127.0.0.1", "curl.bin", [&] {
        return RunChild(
            {"curl", "-s", "-S", "-T", big, "-P", "127.0.0.1", FtpUrl(server, "up/curl.bin")},
            PeerEnv(base), kTimeout);
    });
    clients.emplace_back("lftp put", "lftp.bin", [&] {
        return RunChild(LftpArgs(server, "cd up; put " + big + " -o lftp.bin"), PeerEnv(base),
                        kTimeout);
    });
    clients.emplace_back("ncftpput -E", "big.bin",
                         [&] { return RunChild(ncftp, PeerEnv(base), kTimeout); });
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[(i + static_cast<std::size_t>(round)) % clients.size()];
            WaitForFreePorts();
            c.rounds.Add(WithServerCpu(server, c.run));
            c.allArrived = c.allArrived && FileSize(folder + "/" + c.remote) == size;
            EmptyFolder(folder);
        }
    std::printf("%s: %lld MiB binary file, active mode, median of %d rounds\n",
                server.Name().c_str(), static_cast<long long>(size / kMiB), rounds);
    std::printf("  %-30s %8s %8s %8s %12s\n", "", "MiB/s", "CPU s", "kernel", "server CPU s");
    bool ok = true;
    for (const Client& c : clients) {
        const Figures m = c.rounds.Median();
        std::printf("  %-30s %8.1f %8.2f %8.2f %12s %s\n", c.name.c_str(),
                    static_cast<double>(size) / kMiB / m.seconds, m.cpu, m.system,
                    ServerCpuText(m).c_str(), m.ok && c.allArrived ? "" : "FAILED");
        ok = ok && m.ok && c.allArrived;
    }
    const Rounds& program = clients[0].rounds;
    const double throughput = 1 / program.MedianRatio(clients[4].rounds);
    const double cpu = program.MedianRatio(clients[4].rounds, true);
    std::printf("  program/ncftpput: throughput %.2f (target >= 1.0: %s), CPU %.2f (target <= 1.5: "
                "%s)\n",
                throughput, throughput >= 1.0 ? "reached" : "NOT reached", cpu,
                cpu <= 1.5 ? "reached" : "NOT reached");
    std::printf(
        "  program/curl: throughput %.2f, CPU %.2f; program/lftp: throughput %.2f, CPU "
        "%.2f; component/ncftpput: throughput %.2f, CPU %.2f\n",
        1 / program.MedianRatio(clients[2].rounds), program.MedianRatio(clients[2].rounds, true),
        1 / program.MedianRatio(clients[3].rounds), program.MedianRatio(clients[3].rounds, true),
        1 / clients[1].rounds.MedianRatio(clients[4].rounds),
        clients[1].rounds.MedianRatio(clients[4].rounds, true));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = QuickRun(argc, argv);
    const std::int64_t mib = std::max(1LL, Argument(argc, argv, "mib", quick ? 64 : 512));
    const int rounds =
        static_cast<int>(std::max(1LL, Argument(argc, argv, "rounds", quick ? 2 : 5)));
    QCoreApplication app(argc, argv);
    umask(0);
    // The big file, one upload of it at a time on a server, and room to spare.
    QTemporaryDir tmp(ScratchFolder(3 * mib * kMiB) + "/wendup-bench-XXXXXX");
    const std::string base = tmp.path().toStdString();
    PrepareHome(base);
    std::filesystem::create_directories(base + "/local");
    const std::string big = base + "/local/big.bin";
    if (!MakeFile(big, mib * kMiB)) {
        std::printf("cannot write %s\n", big.c_str());
        return 1;
    }
    auto servers = StartServers(base);
    bool ok = !servers.empty();
    for (auto& server : servers)
        ok = BenchServerBigFile(*server, base, big, mib * kMiB, rounds) && ok;
    return ok ? 0 : 1;
}
