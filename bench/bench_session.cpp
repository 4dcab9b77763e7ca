// The upload through the program itself, against its peers, on a local pyftpdlib server:
//
// Arguments: [MiB of the big file, 512] [rounds of the big file, 9] [rounds of the small files, 9];
// each figure is the median of its rounds. The server's folder and the local files are in shared
// memory when it has room (see ScratchFolder).
//
// 1. One big binary file (512 MiB, or the MiB given as the first argument): the program
//    (`wendup /SERVER:bench /NOMSG FILE`, offscreen, with its progress dialog), the FTP component
//    alone in this process, and `curl -T FILE -P 127.0.0.1`. Prints MiB/s and CPU seconds of each
//    and the ratios to curl: showing progress must not cost the program more than 10 % of the
//    component's own ratio.
// 2. 200 files of 4 KiB into a remote folder of 5,000 entries: the program (one listing of the
//    folder, then the stores) against lftp doing `ls` then `put` for each file in one session.
//    Prints ms per file and the ratio (target <= 1.0).
//
// The program and the peers are child processes measured with wait4; the component's figures are
// getrusage deltas of this process. The server is a child too and is never counted.

#include "crypto/deskey.h"
#include "crypto/desunit2.h"
#include "ftp/ftp.h"

#include "benchsupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Figures {
    double seconds = 0;
    double cpu = 0;
    bool ok = false;
};

// Runs `argv` with `env` added, waits, and measures it.
Figures RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                 const char* quietStdout = "/dev/null") {
    Figures f;
    std::fflush(stdout);
    const double start = Now();
    const pid_t child = fork();
    if (child == 0) {
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        if (quietStdout) std::freopen(quietStdout, "w", stdout);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    f.seconds = Now() - start;
    f.cpu = CpuSeconds(usage);
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

// Figures of several rounds; the median of each figure, so one disturbed round on a busy machine
// does not decide.
struct Rounds {
    std::vector<Figures> runs;
    void Add(const Figures& f) { runs.push_back(f); }
    Figures Median() const {
        std::vector<double> seconds, cpu;
        bool ok = !runs.empty();
        for (const Figures& f : runs) {
            seconds.push_back(f.seconds);
            cpu.push_back(f.cpu);
            ok = ok && f.ok;
        }
        std::sort(seconds.begin(), seconds.end());
        std::sort(cpu.begin(), cpu.end());
        return {seconds[seconds.size() / 2], cpu[cpu.size() / 2], ok};
    }
};

std::int64_t FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<std::int64_t>(in.tellg()) : -1;
}

Figures UploadComponent(std::uint16_t port, const std::string& local, const std::string& remote) {
    TStarFtp ftp;
    bool loggedIn = false, stored = false, failed = false;
    ftp.SetFtpServer("127.0.0.1");
    ftp.FtpPort = port;
    ftp.UserName = kUser;
    ftp.UserPassword = kPassword;
    ftp.OnLoggedIn = [&](TStarFtp&) { loggedIn = true; };
    ftp.OnFileStored = [&](TStarFtp&) { stored = true; };
    ftp.OnFtpError = [&](TStarFtp&, FtpError, const std::string&) { failed = true; };
    ftp.Login();
    Figures f;
    if (!RunUntil([&] { return loggedIn || failed; }, 20000) || failed) return f;
    ftp.LocalFile = local;
    ftp.RemoteFile = remote;
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const double start = Now();
    ftp.StoreFile();
    f.ok = RunUntil([&] { return stored || failed; }, 1200000) && ftp.Success() && !failed;
    f.seconds = Now() - start;
    getrusage(RUSAGE_SELF, &after);
    f.cpu = CpuSeconds(after) - CpuSeconds(before);
    return f;
}

// A settings file and the profile "bench" in `home`, with the password sealed as the program
// will unseal it (the machine key comes from the same XDG_CONFIG_HOME).
void WriteProfile(const std::string& home, std::uint16_t port, int policy, const std::string& dir) {
    TDES des;
    des.SetKey(GetMachineKey());
    std::ofstream(home + "/wendup.ini") << "[Default]\r\nTimeOut=10\r\n";
    std::ofstream(home + "/bench.inf")
        << "[Server]\r\nserver=127.0.0.1\r\nport=" << port << "\r\nPWDImplement=1\r\n[User]\r\n"
        << "anonymous=0\r\nuser=" << kUser << "\r\npassword=" << SealPassword(des, kPassword)
        << "\r\nSavePassword=1\r\nDefaultDir=" << dir
        << "\r\n[Preferences]\r\nSameFileExist=" << policy << "\r\nJapaneseCode=1\r\n";
}

std::vector<std::string> ProgramEnv(const std::string& home, const std::string& base) {
    // No run logs in the user's home, and no notification on the user's desktop at each round.
    return {"WENDUP_HOME=" + home,
            "QT_QPA_PLATFORM=offscreen",
            "XDG_RUNTIME_DIR=" + base + "/run",
            "XDG_CONFIG_HOME=" + base + "/config",
            "XDG_DATA_HOME=" + base + "/data",
            "XDG_STATE_HOME=" + base + "/state",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + base + "/no-bus"};
}

double MiBps(std::int64_t bytes, const Figures& f) {
    return f.seconds > 0 ? static_cast<double>(bytes) / kMiB / f.seconds : 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::int64_t mib = argc > 1 ? std::atoll(argv[1]) : 512;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    const int smallRounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 9;
    QCoreApplication app(argc, argv);
    // The big file, one upload of it at a time on the server, and room to spare.
    QTemporaryDir tmp(ScratchFolder(3 * mib * kMiB) + "/wendup-bench-XXXXXX");
    const std::string base = tmp.path().toStdString();
    for (const char* d : {"/root", "/local", "/home", "/run", "/config", "/data"})
        QDir().mkpath(QString::fromStdString(base + d));
    QFile::setPermissions(QString::fromStdString(base + "/run"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(base + "/config"));
    const std::string root = base + "/root", home = base + "/home";
    Server server;
    if (!server.Start(QString::fromStdString(root))) {
        std::fprintf(stderr, "cannot start pyftpdlib\n");
        return 1;
    }
    const std::string port = std::to_string(server.Port());
    std::printf("files in %s\n", qPrintable(tmp.path()));

    // 1. The big file.
    const std::int64_t size = mib * kMiB;
    const std::string big = base + "/local/big.bin";
    MakeFile(big, size);
    WriteProfile(home, server.Port(), 3, "");
    const std::string tiny = base + "/local/tiny.bin";
    MakeFile(tiny, 1);
    Rounds curlRounds, componentRounds, programRounds, fixedRounds;
    bool curlOk = true, componentOk = true, programOk = true;
    // Each upload makes a new file on the server: overwriting the one of the round before would
    // charge one case the truncation of 512 MiB and the write-back of its pages. The cases take
    // turns in a different order each round, so no case always follows the same one.
    const std::vector<std::function<void()>> cases = {
        [&] {
            curlRounds.Add(RunChild({"curl", "-s", "-S", "-T", big, "-P", "127.0.0.1",
                                     "ftp://" + std::string(kUser) + ":" + kPassword +
                                         "@127.0.0.1:" + port + "/curl.bin"},
                                    {}));
            curlOk = curlOk && FileSize(root + "/curl.bin") == size;
            std::remove((root + "/curl.bin").c_str());
        },
        [&] {
            componentRounds.Add(UploadComponent(server.Port(), big, "component.bin"));
            componentOk = componentOk && FileSize(root + "/component.bin") == size;
            std::remove((root + "/component.bin").c_str());
        },
        [&] {
            programRounds.Add(
                RunChild({WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG", big}, ProgramEnv(home, base)));
            programOk = programOk && FileSize(root + "/big.bin") == size;
            std::remove((root + "/big.bin").c_str());
        },
        [&] {
            // What a run costs besides the file: start-up, login, listing, quit (a 1-byte file).
            fixedRounds.Add(RunChild({WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG", tiny},
                                     ProgramEnv(home, base)));
        }};
    for (int round = 0; round < rounds; ++round)
        for (std::size_t i = 0; i < cases.size(); ++i)
            cases[(i + static_cast<std::size_t>(round)) % cases.size()]();
    const Figures curl = curlRounds.Median(), component = componentRounds.Median(),
                  program = programRounds.Median(), fixed = fixedRounds.Median();
    curlOk = curlOk && curl.ok;
    componentOk = componentOk && component.ok;
    programOk = programOk && program.ok;
    std::printf("%lld MiB binary upload, median of %d rounds   MiB/s    CPU s\n",
                static_cast<long long>(mib), rounds);
    std::printf("  program (wendup, offscreen) %8.1f %8.2f %s\n", MiBps(size, program), program.cpu,
                programOk ? "" : "FAILED");
    std::printf("  component alone             %8.1f %8.2f %s\n", MiBps(size, component),
                component.cpu, componentOk ? "" : "FAILED");
    std::printf("  curl -T -P                  %8.1f %8.2f %s\n", MiBps(size, curl), curl.cpu,
                curlOk ? "" : "FAILED");
    const double programTp = MiBps(size, program) / MiBps(size, curl);
    const double componentTp = MiBps(size, component) / MiBps(size, curl);
    const double programCpu = program.cpu / curl.cpu, componentCpu = component.cpu / curl.cpu;
    std::printf("  throughput ratio to curl: program %.2f, component %.2f (program/component "
                "%.2f)\n",
                programTp, componentTp, programTp / componentTp);
    std::printf("  CPU ratio to curl:        program %.2f, component %.2f (program/component "
                "%.2f)\n",
                programCpu, componentCpu, programCpu / componentCpu);
    // The same without the program's fixed cost of a run, which has nothing to do with progress.
    const Figures net{program.seconds - fixed.seconds, program.cpu - fixed.cpu, fixed.ok};
    const double netTp = MiBps(size, net) / MiBps(size, curl), netCpu = net.cpu / curl.cpu;
    std::printf("  a run of a 1-byte file: %.2f s, %.2f CPU s; without it the program's ratios "
                "are %.2f and %.2f (program/component %.2f and %.2f)\n",
                fixed.seconds, fixed.cpu, netTp, netCpu, netTp / componentTp,
                netCpu / componentCpu);
    std::printf("  progress costs within 10 %% of the component: throughput %s, CPU %s (with the "
                "fixed cost of a run: %s, %s)\n",
                netTp >= componentTp * 0.9 ? "yes" : "NO",
                netCpu <= componentCpu * 1.1 ? "yes" : "NO",
                programTp >= componentTp * 0.9 ? "yes" : "NO",
                programCpu <= componentCpu * 1.1 ? "yes" : "NO");
    std::remove(big.c_str());

    // 2. Small files into a big folder.
    const int files = 200, entries = 5000;
    QDir().mkpath(QString::fromStdString(root + "/many"));
    for (int i = 0; i < entries; ++i)
        std::ofstream(root + "/many/entry" + std::to_string(i) + ".dat") << i;
    std::vector<std::string> params = {WENDUP_PROGRAM, "/SERVER:bench", "/NOMSG"};
    std::string lftpScript = "set ftp:passive-mode off; cd many;";
    QDir().mkpath(QString::fromStdString(base + "/local/small"));
    for (int i = 0; i < files; ++i) {
        const std::string name = "small" + std::to_string(i) + ".txt";
        const std::string path = base + "/local/small/" + name;
        std::ofstream(path, std::ios::binary) << std::string(4096, static_cast<char>('a' + i % 26));
        params.push_back(path);
        lftpScript += " ls; put " + path + " -o lftp-" + name + ";";
    }
    lftpScript += " quit";
    WriteProfile(home, server.Port(), 3, "/many");
    Rounds programSmallRounds, lftpRounds;
    for (int round = 0; round < smallRounds; ++round) {
        programSmallRounds.Add(RunChild(params, ProgramEnv(home, base)));
        lftpRounds.Add(RunChild({"lftp", "-u", std::string(kUser) + "," + kPassword, "-p", port,
                                 "-e", lftpScript, "127.0.0.1"},
                                {}));
    }
    const Figures programSmall = programSmallRounds.Median(), lftp = lftpRounds.Median();
    const bool smallOk = FileSize(root + "/many/small199.txt") == 4096;
    const bool lftpOk = lftp.ok && FileSize(root + "/many/lftp-small199.txt") == 4096;
    std::printf("%d files of 4 KiB into a folder of %d entries, median of %d rounds   ms/file    "
                "CPU s\n",
                files, entries, smallRounds);
    std::printf("  program (one list, stores)  %8.1f %8.2f %s\n",
                programSmall.seconds * 1000 / files, programSmall.cpu,
                programSmall.ok && smallOk ? "" : "FAILED");
    std::printf("  lftp (ls, then put)         %8.1f %8.2f %s\n", lftp.seconds * 1000 / files,
                lftp.cpu, lftpOk ? "" : "FAILED");
    // Each round runs the two back to back, so the ratio of a round is free of the machine's
    // slower and faster spells; the median of those is the verdict.
    std::vector<double> roundRatios;
    for (std::size_t i = 0; i < programSmallRounds.runs.size(); ++i)
        roundRatios.push_back(programSmallRounds.runs[i].seconds / lftpRounds.runs[i].seconds);
    std::sort(roundRatios.begin(), roundRatios.end());
    const double roundRatio = roundRatios[roundRatios.size() / 2];
    std::printf("  ratio program/lftp: %.2f of the medians, %.2f the median of the rounds' ratios "
                "(target <= 1.0: %s)\n",
                programSmall.seconds / lftp.seconds, roundRatio, roundRatio <= 1.0 ? "yes" : "NO");
    return programOk && componentOk && curlOk && smallOk && lftpOk ? 0 : 1;
}
