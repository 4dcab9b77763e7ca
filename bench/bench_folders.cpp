// A whole folder through the program itself against lftp's `mirror -R`, on pyftpdlib and on
// vsftpd (both on 127.0.0.1, active mode):
//
// A tree of 2,000 files of 4 KiB in 50 folders, three levels deep (5 folders, 3 in each of them,
// 2 in each of those; 40 files in every one), sent into an empty remote folder. The program gets
// the tree's top folder on its command line (`wendup /SERVER:bench /NOMSG FOLDER`, offscreen) with
// "MakeDir" on, once with the profile of the small-files benchmark (policy
// "新しい日付のときは転送", temporary names and time keeping on) and once with plain stores (no
// temporary names); the peers are `lftp -e "mirror -R LOCAL REMOTE"` (the target's yardstick) and
// the same with `set xfer:use-temp-file yes`. Prints each one's wall time and CPU seconds (medians
// of the rounds, the clients taking turns in a rotating order) and the ratio of wall times
// program/lftp mirror (target <= 1.0) as the median of the rounds' ratios; every run must leave all
// 2,000 files whole in their folders. Beside them, pyftpdlib's own CPU seconds for each run, the
// least a run can take there. One more run of the program and of lftp through a relay that
// notes each command and reply shows the commands each sends and where the time goes.
//
// A program that refuses a folder ("wendup: FOLDER: reason") has no whole-folder upload: then only
// the peers are measured and the program's line says so.
//
// Arguments: rounds=N (5; "quick": 1).

#include "benchsupport.h"
#include "controlrelay.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kFilesPerFolder = 40;
constexpr std::int64_t kFileSize = 4096;
constexpr double kTimeout = 600;
// A run through the relay that takes this long has stalled.
constexpr double kRelayTimeout = 30;

// The tree under `top`; the number of folders made (the top not counted).
int MakeTree(const std::string& top) {
    int folders = 0, files = 0;
    const auto fill = [&](const std::string& folder) {
        std::filesystem::create_directories(folder);
        ++folders;
        for (int i = 0; i < kFilesPerFolder; ++i, ++files)
            std::ofstream(folder + "/file " + std::to_string(i) + ".dat", std::ios::binary)
                << std::string(kFileSize, static_cast<char>('a' + files % 26));
    };
    for (int a = 0; a < 5; ++a) {
        const std::string level1 = top + "/a" + std::to_string(a);
        fill(level1);
        for (int b = 0; b < 3; ++b) {
            const std::string level2 = level1 + "/b" + std::to_string(b);
            fill(level2);
            for (int c = 0; c < 2; ++c)
                fill(level2 + "/c" + std::to_string(c));
        }
    }
    return folders;
}

// Files of the tree's size and folders below `top` on the server.
std::pair<int, int> CountTree(const std::string& top) {
    int files = 0, folders = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(top, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_directory())
            ++folders;
        else if (FileSize(it->path().string()) == kFileSize)
            ++files;
    }
    return {files, folders};
}

struct Client {
    Client(std::string name, std::function<Figures()> run, bool program)
        : name(std::move(name)), run(std::move(run)), program(program) {}
    std::string name;
    std::function<Figures()> run;
    bool program;
    Rounds rounds;
    bool allArrived = true;
};

bool BenchServerTree(BenchServer& server, const std::string& base, const std::string& tree,
                     int folders, int rounds) {
    const int files = folders * kFilesPerFolder;
    const std::string dest = server.Root() + "/dest";
    std::filesystem::create_directories(dest);
    const std::vector<std::string> program = {WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG", tree};
    const std::string error = base + "/program.err";
    const ProfileOptions safe{
        0, server.RemotePath("dest"), {{"TempName", "1"}, {"KeepTime", "1"}}, true};
    const ProfileOptions plain{
        0, server.RemotePath("dest"), {{"TempName", "0"}, {"KeepTime", "1"}}, true};
    const std::string mirror = "mirror -R " + tree + " dest/tree";
    const std::vector<std::string> lftp = LftpArgs(server, mirror);
    const std::vector<std::string> lftpTemp =
        LftpArgs(server, "set xfer:use-temp-file yes; " + mirror);
    std::vector<Client> clients;
    clients.emplace_back(
        "program (date check, temp names, time kept)",
        [&] {
            WriteProfile(base + "/home", server, safe);
            return RunChild(program, ProgramEnv(base), kTimeout, {}, error);
        },
        true);
    clients.emplace_back(
        "program (plain stores, time kept)",
        [&] {
            WriteProfile(base + "/home", server, plain);
            return RunChild(program, ProgramEnv(base), kTimeout, {}, error);
        },
        true);
    clients.emplace_back(
        "lftp mirror -R", [&] { return RunChild(lftp, PeerEnv(base), kTimeout); }, false);
    clients.emplace_back(
        "lftp mirror -R, xfer:use-temp-file yes",
        [&] { return RunChild(lftpTemp, PeerEnv(base), kTimeout); }, false);

    std::string refused; // the program's words when it cannot send a folder
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < clients.size(); ++i) {
            Client& c = clients[(i + static_cast<std::size_t>(round)) % clients.size()];
            if (c.program && !refused.empty()) continue;
            EmptyFolder(dest);
            WaitForFreePorts();
            c.rounds.Add(WithServerCpu(server, c.run));
            const auto [arrived, made] = CountTree(dest + "/tree");
            c.allArrived = c.allArrived && arrived == files && made == folders;
            if (c.program && arrived == 0 && !c.rounds.runs.back().ok) {
                std::ifstream in(error);
                for (std::string line; std::getline(in, line);)
                    if (line.rfind("wendup: " + tree + ":", 0) == 0) refused = line;
            }
        }

    std::printf("%s: a tree of %d files of 4 KiB in %d folders, three levels deep, into an empty "
                "folder, median of %d rounds\n",
                server.Name().c_str(), files, folders, rounds);
    std::printf("  %-46s %9s %8s %12s\n", "", "s", "CPU s", "server CPU s");
    bool ok = true;
    for (const Client& c : clients) {
        if (c.program && !refused.empty()) {
            std::printf("  %-46s whole-folder upload: not available in this build\n",
                        c.name.c_str());
            continue;
        }
        const Figures m = c.rounds.Median();
        std::printf("  %-46s %9.2f %8.2f %12s %s\n", c.name.c_str(), m.seconds, m.cpu,
                    ServerCpuText(m).c_str(), m.ok && c.allArrived ? "" : "FAILED");
        ok = ok && m.ok && c.allArrived;
    }
    if (!refused.empty()) {
        std::printf("  the program said: %s\n", refused.c_str());
        return ok;
    }
    const double ratio = clients[0].rounds.MedianRatio(clients[2].rounds);
    std::printf("  ratio program/lftp mirror -R %.2f (target <= 1.0: %s); with plain stores "
                "%.2f; temp names on both sides %.2f\n",
                ratio, ratio <= 1.0 ? "reached" : "NOT reached",
                clients[1].rounds.MedianRatio(clients[2].rounds),
                clients[0].rounds.MedianRatio(clients[3].rounds));
    std::printf("  the rounds' ratios program/lftp mirror -R: %s\n",
                clients[0].rounds.Ratios(clients[2].rounds).c_str());
    // The server's own work for the program's commands is a floor under the program's run.
    if (const double serverCpu = clients[0].rounds.Median().serverCpu; serverCpu >= 0)
        std::printf("  the server's CPU for the program's run is %.2f of lftp mirror -R's whole "
                    "run\n",
                    serverCpu / clients[2].rounds.Median().seconds);
    // The commands: one more run of the program (temporary names) and of lftp mirror -R through
    // a relay that notes every command and reply.
    ControlRelay relay;
    if (relay.Start(server.Port())) {
        const RelayedServer relayed(server, relay);
        EmptyFolder(dest);
        WriteProfile(base + "/home", relayed, safe);
        WaitForFreePorts();
        const Figures relayedRun = RunChild(program, ProgramEnv(base), kRelayTimeout);
        const int relayedArrived = CountTree(dest + "/tree").first;
        const CommandTrace ours(relay.Take());
        EmptyFolder(dest);
        WaitForFreePorts();
        RunChild(LftpArgs(relayed, mirror), PeerEnv(base), kTimeout);
        const CommandTrace theirs(relay.Take());
        std::printf("  through a relay noting each command, one run each:\n");
        std::printf("  program (temp names): %s\n", ours.Counts().c_str());
        if (relayedRun.ok && relayedArrived == files)
            std::printf("    %s\n", ours.Timing(files).c_str());
        else
            std::printf("    the program did NOT finish through the relay: %d of %d files stored, "
                        "stopped after %.0f s\n",
                        relayedArrived, files, relayedRun.seconds);
        std::printf("  lftp mirror -R: %s\n    %s\n", theirs.Counts().c_str(),
                    theirs.Timing(files).c_str());
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = static_cast<int>(
        std::max(1LL, Argument(argc, argv, "rounds", QuickRun(argc, argv) ? 1 : 5)));
    QCoreApplication app(argc, argv);
    umask(0);
    QTemporaryDir tmp(ScratchFolder(256 * kMiB) + "/wendup-bench-XXXXXX");
    const std::string base = tmp.path().toStdString();
    PrepareHome(base);
    const std::string tree = base + "/local/tree";
    const int folders = MakeTree(tree);
    auto servers = StartServers(base);
    bool ok = !servers.empty();
    for (auto& server : servers)
        ok = BenchServerTree(*server, base, tree, folders, rounds) && ok;
    return ok ? 0 : 1;
}
