// The FTP component alone in this process, against curl, on pyftpdlib (127.0.0.1):
//
// Uploads a big file (512 MiB) with TStarFtp (binary, active mode) and, in the same run, with curl
// in active mode (curl -T FILE -P 127.0.0.1), three times each in turns, checks the bytes on the
// server (size and a hash) and prints MiB/s, CPU seconds and peak RSS of both and the ratio
// ours/curl of the medians. Ours is also run with a 64 MiB file, to show whether its peak memory
// grows with the file. Then both upload 20 MiB to a second pyftpdlib that reads at 4 MiB/s through
// a small window (the throttled data handler), where the socket is full most of the time: CPU
// seconds of both. Then lists a folder of 100,000 entries and prints the time of the listing and
// of parsing every line. The big files are deleted at the end.
//
// Over TLS (explicit, passive mode on both sides: Debian's curl sends active-mode FTPS data in
// clear), the big file to pyftpdlib's TLS handler, ours against curl --ssl-reqd -T, three rounds
// in turns, with the ratios of the medians. "bench_component tls" runs only that part.
//
// Arguments: mib=N (512), rounds=N (3); "quick" makes them 64 and 1.
//
// Our figures: getrusage deltas of this process (the server is a child and is not counted), peak
// RSS from VmHWM after resetting it (/proc/self/clear_refs). curl's: wait4 on the child.

#include "ftp/ftp.h"
#include "ftp/ftplist.h"

#include "benchsupport.h"
#include "testcerts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

rusage OwnUsage() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r;
}

long VmHWM() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// From here on VmHWM is the peak of what follows.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// FNV-1a over the file, 64 bits; -1 when it cannot be read.
std::int64_t HashFile(const QString& path, std::int64_t& size) {
    QFile file(path);
    size = -1;
    if (!file.open(QIODevice::ReadOnly)) return -1;
    std::uint64_t hash = 1469598103934665603ull;
    size = 0;
    std::vector<char> buffer(kMiB);
    for (qint64 n; (n = file.read(buffer.data(), kMiB)) > 0;) {
        for (qint64 i = 0; i < n; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[static_cast<std::size_t>(i)])) *
                   1099511628211ull;
        size += n;
    }
    return static_cast<std::int64_t>(hash);
}

struct Session {
    TStarFtp ftp;
    bool loggedIn = false;
    bool stored = false;
    bool listed = false;
    bool failed = false;

    explicit Session(std::uint16_t port, const std::string& directory = {}, bool tls = false) {
        ftp.UseTls = tls;
        ftp.PassiveMode = tls;
        ftp.SetFtpServer("127.0.0.1");
        ftp.FtpPort = port;
        ftp.UserName = kUser;
        ftp.UserPassword = kPassword;
        ftp.InitialDirectory = directory;
        ftp.OnLoggedIn = [this](TStarFtp&) { loggedIn = true; };
        ftp.OnFileStored = [this](TStarFtp&) { stored = true; };
        ftp.OnListingDone = [this](TStarFtp&) { listed = true; };
        ftp.OnFtpError = [this](TStarFtp&, FtpError, const std::string&) { failed = true; };
        ftp.Login();
    }
    bool WaitLoggedIn() {
        return RunUntil([this] { return loggedIn || failed; }, 20000) && loggedIn;
    }
};

bool UploadOurs(std::uint16_t port, const QString& local, const std::string& remote, Figures& f,
                bool tls = false) {
    Session s(port, {}, tls);
    if (!s.WaitLoggedIn()) return false;
    s.ftp.LocalFile = local.toStdString();
    s.ftp.RemoteFile = remote;
    s.ftp.TransferMode = BinaryTransfer;
    ResetPeak();
    const rusage before = OwnUsage();
    const double start = Now();
    s.ftp.StoreFile();
    const bool ok = RunUntil([&] { return s.stored || s.failed; }, 600000) && s.ftp.Success();
    f.seconds = Now() - start;
    const rusage after = OwnUsage();
    f.cpu = CpuSeconds(after) - CpuSeconds(before);
    f.system = SystemSeconds(after) - SystemSeconds(before);
    f.peakKiB = VmHWM();
    return ok && !s.failed;
}

// With `caFile`, over TLS in passive mode, trusting that CA.
bool UploadCurl(std::uint16_t port, const QString& local, const std::string& remote, Figures& f,
                const std::string& caFile = {}) {
    const std::string url = "ftp://" + std::string(kUser) + ":" + kPassword +
                            "@127.0.0.1:" + std::to_string(port) + "/" + remote;
    const std::string file = local.toStdString();
    if (caFile.empty())
        f = RunChild({"curl", "-s", "-S", "-T", file, "-P", "127.0.0.1", url}, {}, 600);
    else
        f = RunChild({"curl", "-s", "-S", "--ssl-reqd", "--cacert", caFile, "-T", file, url}, {},
                     600);
    return f.ok;
}

// Rounds of each comparison and MiB of the big files; "quick" makes them 1 and 64.
int rounds = 3;
std::int64_t bigMiB = 512;

// The median of each figure by itself.
Figures MedianOf(const std::vector<Figures>& rounds) {
    Rounds r;
    r.runs = rounds;
    return r.Median();
}

void Print(const char* who, std::int64_t bytes, const Figures& f) {
    std::printf("%-18s %7.1f MiB/s  %5.2f s  cpu %5.2f s (kernel %5.2f s)  peak RSS %6.1f MiB\n",
                who, static_cast<double>(bytes) / kMiB / f.seconds, f.seconds, f.cpu, f.system,
                static_cast<double>(f.peakKiB) / 1024.0);
}

bool SameOnServer(const QString& root, const std::string& remote, std::int64_t size,
                  std::int64_t hash) {
    std::int64_t got = 0;
    const std::int64_t h = HashFile(root + "/" + QString::fromStdString(remote), got);
    QFile::remove(root + "/" + QString::fromStdString(remote));
    if (got == size && h == hash) return true;
    std::printf("  %s on the server: %lld bytes, hash %s\n", remote.c_str(),
                static_cast<long long>(got), h == hash ? "equal" : "different");
    return false;
}

int Fail(const char* what) {
    std::printf("bench_upload: %s\n", what);
    return 1;
}

// 512 MiB over TLS, ours against curl; 0 when both arrived whole every time.
int TlsUploads(const QString& root, const QString& localFolder) {
    QTemporaryDir certFolder;
    TestCertificates certs;
    std::string why;
    if (!certFolder.isValid() || !certs.Make(certFolder.path(), why)) return Fail(why.c_str());
    setenv("SSL_CERT_FILE", certs.caFile.toLocal8Bit().constData(), 1);
    Server server;
    if (!server.Start(root, 0, certs.serverPem)) return Fail("cannot start the TLS server");
    const QString big = localFolder + "/tls.bin";
    if (!MakeFile(big.toStdString(), bigMiB * kMiB)) return Fail("cannot write");
    std::int64_t size = 0;
    const std::int64_t hash = HashFile(big, size);
    std::printf("upload of %lld MiB over TLS to pyftpdlib's TLS handler on 127.0.0.1, passive\n",
                static_cast<long long>(bigMiB));
    bool oursOk = true, curlOk = true;
    std::vector<Figures> oursRounds, curlRounds;
    for (int round = 0; round < rounds; ++round) {
        Figures o, c;
        if (!UploadOurs(server.Port(), big, "tls-ours.bin", o, true))
            return Fail("our TLS upload failed");
        oursOk = SameOnServer(root, "tls-ours.bin", size, hash) && oursOk;
        if (!UploadCurl(server.Port(), big, "tls-curl.bin", c, certs.caFile.toStdString()))
            return Fail("curl's TLS upload failed");
        curlOk = SameOnServer(root, "tls-curl.bin", size, hash) && curlOk;
        Print("  TStarFtp TLS", size, o);
        Print("  curl --ssl-reqd", size, c);
        oursRounds.push_back(o);
        curlRounds.push_back(c);
    }
    QFile::remove(big);
    const Figures ours = MedianOf(oursRounds), curl = MedianOf(curlRounds);
    Print("TStarFtp TLS, median", size, ours);
    Print("curl TLS, median", size, curl);
    const double throughput = curl.seconds / ours.seconds, cpu = ours.cpu / curl.cpu;
    std::printf("bytes on the server: ours %s, curl %s\n", oursOk ? "ok" : "WRONG",
                curlOk ? "ok" : "WRONG");
    std::printf("TLS ratio ours/curl: throughput %.2f (target >= 1.0), cpu %.2f (target <= 1.2): "
                "%s\n",
                throughput, cpu, throughput >= 1.0 && cpu <= 1.2 ? "reached" : "NOT reached");
    return oursOk && curlOk ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (QuickRun(argc, argv)) {
        rounds = 1;
        bigMiB = 64;
    }
    rounds = static_cast<int>(std::max(1LL, Argument(argc, argv, "rounds", rounds)));
    bigMiB = std::max(1LL, Argument(argc, argv, "mib", bigMiB));
    QCoreApplication app(argc, argv);
    QTemporaryDir root, local;
    if (!root.isValid() || !local.isValid()) return Fail("no temporary folder");
    if (std::find(argv + 1, argv + argc, std::string("tls")) != argv + argc)
        return TlsUploads(root.path(), local.path());
    Server server;
    if (!server.Start(root.path())) return Fail("cannot start pyftpdlib (python3-pyftpdlib)");

    // Upload: ours with 64 MiB and the big file, curl with the big file.
    const QString small = local.filePath("small.bin"), big = local.filePath("big.bin");
    if (!MakeFile(small.toStdString(), 64 * kMiB) || !MakeFile(big.toStdString(), bigMiB * kMiB))
        return Fail("cannot write");
    std::int64_t smallSize = 0, bigSize = 0;
    const std::int64_t smallHash = HashFile(small, smallSize), bigHash = HashFile(big, bigSize);

    Figures oursSmall, ours, curl;
    if (!UploadOurs(server.Port(), small, "ours64.bin", oursSmall))
        return Fail("our 64 MiB failed");
    const bool smallOk = SameOnServer(root.path(), "ours64.bin", smallSize, smallHash);
    // Three rounds, ours and curl taking turns, so that a busy moment of a shared machine falls on
    // both; the median of each side's time and CPU is compared.
    std::printf("upload of %lld MiB to pyftpdlib on 127.0.0.1, active mode\n",
                static_cast<long long>(bigMiB));
    Print("TStarFtp (64 MiB)", smallSize, oursSmall);
    bool oursOk = true, curlOk = true;
    std::vector<Figures> oursRounds, curlRounds;
    for (int round = 0; round < rounds; ++round) {
        Figures o, c;
        if (!UploadOurs(server.Port(), big, "ours.bin", o)) return Fail("our upload failed");
        oursOk = SameOnServer(root.path(), "ours.bin", bigSize, bigHash) && oursOk;
        if (!UploadCurl(server.Port(), big, "curl.bin", c)) return Fail("curl failed");
        curlOk = SameOnServer(root.path(), "curl.bin", bigSize, bigHash) && curlOk;
        Print("  TStarFtp", bigSize, o);
        Print("  curl -T -P", bigSize, c);
        oursRounds.push_back(o);
        curlRounds.push_back(c);
    }
    QFile::remove(small);
    QFile::remove(big);
    ours = MedianOf(oursRounds);
    curl = MedianOf(curlRounds);
    Print("TStarFtp, median", bigSize, ours);
    Print("curl, median", bigSize, curl);
    std::printf("bytes on the server: ours 64 MiB %s, ours big %s, curl %s\n",
                smallOk ? "ok" : "WRONG", oursOk ? "ok" : "WRONG", curlOk ? "ok" : "WRONG");
    std::printf("ratio ours/curl: throughput %.2f (target >= 1.0), cpu %.2f, peak RSS %.2f\n",
                curl.seconds / ours.seconds, ours.cpu / curl.cpu,
                static_cast<double>(ours.peakKiB) / static_cast<double>(curl.peakKiB));
    std::printf("our peak RSS big / 64 MiB: %.2f (does not grow with the file when ~1)\n",
                static_cast<double>(ours.peakKiB) / static_cast<double>(oursSmall.peakKiB));
    const bool fastReached = curl.seconds / ours.seconds >= 1.0 && ours.cpu / curl.cpu <= 1.5;
    std::printf("targets throughput >= 1.0 and cpu <= 1.5: %s\n",
                fastReached ? "reached" : "NOT reached");

    // A server slower than the disk: the socket is full, and the loop must wait, not spin.
    constexpr int kSlowRate = 4 << 20;
    Server slowServer;
    if (!slowServer.Start(root.path(), kSlowRate)) return Fail("cannot start the slow server");
    const QString slowFile = local.filePath("slow.bin");
    if (!MakeFile(slowFile.toStdString(), 20 * kMiB)) return Fail("cannot write");
    std::int64_t slowSize = 0;
    const std::int64_t slowHash = HashFile(slowFile, slowSize);
    Figures oursSlow, curlSlow;
    if (!UploadOurs(slowServer.Port(), slowFile, "slow-ours.bin", oursSlow))
        return Fail("our slow upload failed");
    const bool slowOursOk = SameOnServer(root.path(), "slow-ours.bin", slowSize, slowHash);
    if (!UploadCurl(slowServer.Port(), slowFile, "slow-curl.bin", curlSlow))
        return Fail("curl's slow upload failed");
    const bool slowCurlOk = SameOnServer(root.path(), "slow-curl.bin", slowSize, slowHash);
    QFile::remove(slowFile);
    std::printf("upload of 20 MiB to pyftpdlib reading at 4 MiB/s\n");
    Print("TStarFtp", slowSize, oursSlow);
    Print("curl -T -P", slowSize, curlSlow);
    const bool slowReached = oursSlow.cpu <= 2 * curlSlow.cpu + 0.05;
    std::printf("bytes on the server: ours %s, curl %s; cpu ours %.3f s, curl %.3f s, "
                "target ours <= 2 x curl + 0.05 s: %s\n",
                slowOursOk ? "ok" : "WRONG", slowCurlOk ? "ok" : "WRONG", oursSlow.cpu,
                curlSlow.cpu, slowReached ? "reached" : "NOT reached");

    // Listing of 100,000 entries.
    const int kEntries = 100000;
    QDir(root.path()).mkdir("many");
    for (int i = 0; i < kEntries; ++i) {
        std::ofstream((root.path() + "/many/entry " + QString::number(i) + ".txt").toStdString());
    }
    Session lister(server.Port(), "/many");
    if (!lister.WaitLoggedIn()) return Fail("login for the listing failed");
    double start = Now();
    lister.ftp.GetListing();
    if (!RunUntil([&] { return lister.listed || lister.failed; }, 600000) || lister.failed)
        return Fail("listing failed");
    const double listing = Now() - start;
    start = Now();
    std::size_t entries = 0;
    TListState state;
    for (const std::string& line : lister.ftp.ListingLines) {
        std::string name, size, date;
        bool isDirectory = false;
        if (ParseListLine(lister.ftp.ServerType, line, name, size, date, isDirectory, state))
            ++entries;
    }
    const double parsing = Now() - start;
    std::printf("listing of %d entries: %zu lines, %zu files; listing %.3f s (server included), "
                "parsing every line %.3f s (%.0f ns a line); parsed entries %zu\n",
                kEntries, lister.ftp.ListingLines.size(), lister.ftp.FileNames.size(), listing,
                parsing, parsing * 1e9 / static_cast<double>(lister.ftp.ListingLines.size()),
                entries);
    const bool tlsOk = TlsUploads(root.path(), local.path()) == 0;
    const bool ok = tlsOk && smallOk && oursOk && curlOk && slowOursOk && slowCurlOk &&
                    lister.ftp.FileNames.size() == static_cast<std::size_t>(kEntries);
    return ok ? 0 : 1;
}
