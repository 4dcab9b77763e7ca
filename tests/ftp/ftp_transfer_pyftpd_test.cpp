// Listings and stores against a real server, pyftpdlib on 127.0.0.1: the bytes that arrive on the
// server are compared with the local file, or with iconv's conversion of it.
#include "ftp/ftp.h"
#include "ftp/mlsd.h"
#include "ftprecorder.h"
#include "platform/codepage.h"

#include "eventloop.h"
#include "pyftpserver.h"
#include "randombytes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

// The connected TCP socket of this process whose peer is on this host but not at `controlPort`:
// the data connection of a store in hand; -1 when there is none.
int DataConnectionSocket(std::uint16_t controlPort) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) == controlPort ||
            getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) != 0 || type != SOCK_STREAM)
            continue;
        return fd;
    }
    return -1;
}

// The kernel's send queue of a socket (SO_SNDBUF: twice what was asked for), 0 when unknown.
int SendQueue(int fd) {
    int queue = 0;
    socklen_t length = sizeof queue;
    return fd >= 0 && getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &queue, &length) == 0 ? queue : 0;
}

constexpr std::size_t kBlock = TStarFtp::BlockSize;

bool IsLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Shift_JIS text of assigned JIS X 0208 characters (hiragana, katakana, a row of kanji) and ASCII
// letters, in CR LF lines; iconv's SHIFT_JIS decodes all of it.
std::string JapaneseText(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        for (int n = static_cast<int>(random() % 60); n > 0; --n) {
            switch (random() % 4) {
            case 0:
                text += static_cast<char>('a' + random() % 26);
                break;
            case 1:
                text += {'\x82', static_cast<char>(0x9F + random() % 83)}; // ぁ-ん
                break;
            case 2: {
                const unsigned second = 0x40 + random() % 62; // ァ-ミ, below 0x7F
                text += {'\x83', static_cast<char>(second)};
                break;
            }
            default:
                text += {'\x88', static_cast<char>(0x9F + random() % 94)}; // 亜-
                break;
            }
        }
        text += "\r\n";
    }
    return text;
}

// The pieces the uploader sends in a text mode: 2,048 bytes at most; a full piece gives its last
// character (one or two bytes) to the next one. Character starts are found from the front.
std::vector<std::string> Pieces(const std::string& text) {
    std::vector<bool> starts(text.size() + 1, false);
    for (std::size_t i = 0; i < text.size();
         i += IsLead(static_cast<unsigned char>(text[i])) ? 2 : 1)
        starts[i] = true;
    std::vector<std::string> pieces;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.size();
        if (text.size() - pos >= kBlock) {
            end = pos + kBlock - 1;
            while (!starts[end])
                --end;
        }
        pieces.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return pieces;
}

// EUC-JP has no shift state, and every CR LF of a CR LF file becomes LF wherever the blocks are
// cut.
std::string ExpectedEuc(const std::string& sjis) {
    std::string out = IconvConvert("EUC-JP", "SHIFT_JIS", sjis).value_or("<iconv failed>");
    for (std::size_t at; (at = out.find("\r\n")) != std::string::npos;)
        out.erase(at, 1);
    return out;
}

class FtpTransferRealServer : public testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Start(why)) << why;
        ASSERT_TRUE(local.isValid());
        ftp.SetFtpServer("127.0.0.1");
        ftp.FtpPort = server.Port();
        ftp.UserName = PyFtpServer::User;
        ftp.UserPassword = PyFtpServer::Password;
        ftp.Login();
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }));
        ASSERT_TRUE(rec.Saw("loggedin"));
        rec.events.clear();
        rec.readies = 0;
    }

    std::string LocalFile(const std::string& name, const std::string& bytes) {
        const std::string path = local.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string OnServer(const std::string& name) {
        QFile file(server.Root() + "/" + QString::fromStdString(name));
        if (!file.open(QIODevice::ReadOnly)) return "<missing>";
        const QByteArray bytes = file.readAll();
        return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
    // Stores and waits for OnFileStored; false when it did not come.
    bool Store(const std::string& bytes, const std::string& remote, TTransferType mode) {
        rec.events.clear();
        rec.readies = 0;
        ftp.LocalFile = LocalFile("local-" + remote, bytes);
        ftp.RemoteFile = remote;
        ftp.TransferMode = mode;
        ftp.StoreFile();
        if (!RunUntil([&] { return rec.Saw("stored") || rec.quits > 0; }, 60000)) return false;
        DrainPostedEvents();
        return rec.Saw("stored");
    }

    PyFtpServer server;
    QTemporaryDir local;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
};

TEST_F(FtpTransferRealServer, ListsFilesFoldersLinksAndNamesWithSpaces) {
    const QString root = server.Root();
    ASSERT_TRUE(QDir(root).mkdir("docs"));
    ASSERT_TRUE(QDir(root).mkdir("sub folder"));
    QFile spaced(root + "/read me now.txt");
    ASSERT_TRUE(spaced.open(QIODevice::WriteOnly));
    spaced.write("hello");
    spaced.close();
    QFile plain(root + "/plain.bin");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_EQ(::symlink("docs", (root + "/shortcut").toLocal8Bit().constData()), 0);

    ftp.GetListing();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("listed"); }));
    DrainPostedEvents();
    Lines files = ftp.FileNames, folders = ftp.DirectoryNames;
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    // A link is listed as a file, whatever it leads to.
    EXPECT_EQ(files, (Lines{"plain.bin", "read me now.txt", "shortcut"}));
    EXPECT_EQ(folders, (Lines{"docs", "sub folder"}));
    EXPECT_EQ(ftp.ListingLines.size(), 5u);
    EXPECT_EQ(ftp.InitialDirectory, "/");
    EXPECT_TRUE(ftp.Success());
    EXPECT_FALSE(ftp.Listing);
    EXPECT_EQ(rec.readies, 1);
    const Events head(rec.events.begin(), rec.events.begin() + 4);
    EXPECT_EQ(head, (Events{"sent PWD\r\n", "sent TYPE A\r\n", rec.events.at(2), "sent LIST\r\n"}));
    EXPECT_EQ(rec.events.at(2).rfind("sent PORT 127,0,0,1,", 0), 0u);
    std::size_t lineBytes = 0;
    for (const std::string& line : ftp.ListingLines)
        lineBytes += line.size() + 2;
    EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(lineBytes));
    const Events tail(rec.events.end() - 4, rec.events.end());
    EXPECT_EQ(tail, (Events{"info ftpiListingReady Listing ready",
                            "info ftpiTransferDone Transfer done", "ready", "listed"}));
}

// With MLSD: the same names, and each file's exact size and modification time (UTC, to the second)
// as the server's file system holds them.
TEST_F(FtpTransferRealServer, MlsdListsExactSizesAndTimes) {
    ASSERT_TRUE(ftp.HasFeature("MLST"));
    const QString root = server.Root();
    ASSERT_TRUE(QDir(root).mkdir("sub folder"));
    const std::string spaced = (root + "/read me now.txt").toStdString();
    std::ofstream(spaced, std::ios::binary) << "hello";
    const timeval times[2] = {{1439506125, 0}, {1439506125, 0}}; // 2015-08-13 22:48:45 UTC
    ASSERT_EQ(utimes(spaced.c_str(), times), 0);

    ftp.UseMlsd = true;
    ftp.GetListing();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("listed") || rec.quits > 0; }));
    DrainPostedEvents();
    EXPECT_TRUE(ftp.Success());
    EXPECT_TRUE(ftp.MlsdListing);
    EXPECT_TRUE(rec.Saw("sent MLSD\r\n"));
    EXPECT_FALSE(rec.Saw("sent LIST\r\n"));
    EXPECT_EQ(ftp.FileNames, Lines{"read me now.txt"});
    EXPECT_EQ(ftp.DirectoryNames, Lines{"sub folder"});
    bool seen = false;
    for (const std::string& line : ftp.ListingLines) {
        const auto entry = ParseMlsdLine(line);
        if (!entry || entry->Name != "read me now.txt") continue;
        seen = true;
        EXPECT_EQ(entry->Size, 5);
        EXPECT_EQ(entry->Modified, 1439506125);
    }
    EXPECT_TRUE(seen);

    // The next listing without it is LIST's again.
    ftp.UseMlsd = false;
    rec.events.clear();
    ftp.GetListing();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("listed") || rec.quits > 0; }));
    DrainPostedEvents();
    EXPECT_FALSE(ftp.MlsdListing);
    EXPECT_TRUE(rec.Saw("sent LIST\r\n"));
    EXPECT_EQ(ftp.FileNames, Lines{"read me now.txt"});
}

// A folder whose listing spans many read blocks, more than one read event takes: every entry is
// seen once, and no line is lost or cut where the blocks or the events meet.
TEST_F(FtpTransferRealServer, BigFolderListingKeepsEveryEntry) {
    const QString root = server.Root();
    Lines expected;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "entry number " + std::to_string(i) + ".dat";
        QFile file(root + "/" + QString::fromStdString(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());

    ftp.GetListing();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("listed") || rec.quits > 0; }, 30000));
    DrainPostedEvents();
    Lines files = ftp.FileNames;
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, expected);
    EXPECT_TRUE(ftp.DirectoryNames.empty());
    ASSERT_EQ(ftp.ListingLines.size(), expected.size());
    std::size_t lineBytes = 0;
    for (const std::string& line : ftp.ListingLines)
        lineBytes += line.size() + 2;
    EXPECT_GT(lineBytes, 64 * kBlock);
    EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(lineBytes));
    EXPECT_TRUE(ftp.Success());
    EXPECT_FALSE(ftp.Listing);
    EXPECT_EQ(rec.readies, 1);
}

TEST_F(FtpTransferRealServer, BinaryFilesArriveByteForByte) {
    constexpr std::size_t kPiece = TStarFtp::KernelChunk;
    const TFtpInfoEvent record = ftp.OnFtpInfo;
    std::vector<std::int64_t> counted; // BytesTransferred at each progress notice
    ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
        record(f, info, addinfo);
        if (info == ftpiProgress) counted.push_back(f.BytesTransferred);
    };
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kBlock - 1, kBlock, kBlock + 1,
                                   kPiece, 3 * kPiece + 1, std::size_t{5} << 20}) {
        SCOPED_TRACE(size);
        const std::string bytes = RandomBytes(size, static_cast<unsigned>(size));
        const std::string name = "bin" + std::to_string(size);
        counted.clear();
        ASSERT_TRUE(Store(bytes, name, BinaryTransfer));
        // A notice for every block once it has gone whole, however the bytes went out.
        std::vector<std::int64_t> blockEnds;
        for (std::size_t end = kBlock; end < size + kBlock; end += kBlock)
            blockEnds.push_back(static_cast<std::int64_t>(std::min(end, size)));
        EXPECT_EQ(counted, blockEnds);
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(OnServer(name), bytes);
        // TYPE I once, for the first store of the session: the rest are in that type already.
        EXPECT_EQ(rec.events.at(0).rfind(size == 0 ? "sent TYPE I\r\n" : "sent PORT ", 0), 0u)
            << rec.events.at(0);
        EXPECT_TRUE(rec.Saw("info ftpiFileSize " + std::to_string(size)));
        EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "info ftpiProgress "),
                  static_cast<long>((size + kBlock - 1) / kBlock));
        EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(size));
        EXPECT_EQ(rec.readies, 1);
        EXPECT_EQ(rec.Last(), "stored");
    }
}

// A big binary file to a server on this host, long enough for the send loop to run the event
// queue many times: every byte arrives, and the data connection keeps its short send queue (a
// deep one costs such a server a third of its throughput) at every notice.
TEST_F(FtpTransferRealServer, BigBinaryFileArrivesWholeOverAShortSendQueue) {
    const std::string bytes = RandomBytes(std::size_t{48} << 20, 48);
    const TFtpInfoEvent record = ftp.OnFtpInfo;
    int dataSocket = -1;
    std::vector<int> queues; // SO_SNDBUF of the data connection at each progress notice
    ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
        record(f, info, addinfo);
        if (info == ftpiFileSize) dataSocket = DataConnectionSocket(server.Port());
        if (info == ftpiProgress) queues.push_back(SendQueue(dataSocket));
    };
    ASSERT_TRUE(Store(bytes, "big.bin", BinaryTransfer));
    EXPECT_TRUE(ftp.Success());
    EXPECT_TRUE(OnServer("big.bin") == bytes);
    ASSERT_GE(dataSocket, 0);
    ASSERT_EQ(queues.size(), bytes.size() / kBlock);
    // The kernel doubles what it is asked for (socket(7)).
    EXPECT_EQ(*std::min_element(queues.begin(), queues.end()), 2 * TStarFtp::LoopbackSendQueue);
    EXPECT_EQ(*std::max_element(queues.begin(), queues.end()), 2 * TStarFtp::LoopbackSendQueue);
}

// Texts cut where it matters: the 2,048th byte the first half of a character, the second half,
// and the end of a block between CR and LF; and a longer random text.
TEST_F(FtpTransferRealServer, JisAndEucTextMatchIconvPieceByPiece) {
    std::string crlfLines;
    for (std::size_t n = 1; crlfLines.size() < 200000; n = n % 97 + 1)
        crlfLines += std::string(n, 'c') + "\r\n";
    const std::string line = std::string(100, 'x') + "\r\n";
    std::string lines;
    for (int i = 0; i < 20; ++i)
        lines += line;
    const std::string texts[] = {
        std::string(kBlock - 1, 'a') + "\x82\xa0\x82\xa2\r\nend\r\n", // lead byte at 2048
        std::string(kBlock - 2, 'a') + "\x82\xa0\x82\xa2\r\nend\r\n", // trail byte at 2048
        lines + "abcdef\r\n" + line + line,                           // CR at 2047, LF at 2048
        std::string(kBlock, 'b'),                                     // exactly one block
        JapaneseText(20000, 7),
        crlfLines, // CR LF cut at many block ends
    };
    int n = 0;
    for (const std::string& text : texts) {
        SCOPED_TRACE(n);
        const std::string name = "t" + std::to_string(n++);
        ASSERT_TRUE(Store(text, name + ".euc", textEUC));
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(OnServer(name + ".euc"), ExpectedEuc(text));

        ASSERT_TRUE(Store(text, name + ".jis", textJIS));
        EXPECT_TRUE(ftp.Success());
        const std::string jis = OnServer(name + ".jis");
        EXPECT_TRUE(std::all_of(jis.begin(), jis.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
        EXPECT_EQ(IconvConvert("UTF-8", "ISO-2022-JP", jis),
                  IconvConvert("UTF-8", "SHIFT_JIS", text));
        // The text was read whole first, and read as Shift_JIS; both codes go in type I, which
        // is in force already after the session's first store.
        EXPECT_EQ(rec.events.at(0), "info ftpiTextSource Shift_JIS");
        EXPECT_EQ(rec.events.at(1).rfind("sent PORT ", 0), 0u) << rec.events.at(1);
        EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "info ftpiProgress "),
                  static_cast<long>(Pieces(text).size()));
        EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(text.size()));
    }
}

TEST_F(FtpTransferRealServer, AsciiAndShiftJisTextGoOutUnchanged) {
    const std::string text = JapaneseText(9000, 3);
    ASSERT_TRUE(Store(text, "sjis.txt", textSJIS));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(rec.events.at(0), "info ftpiTextSource Shift_JIS");
    EXPECT_EQ(rec.events.at(1), "sent TYPE I\r\n");
    EXPECT_EQ(OnServer("sjis.txt"), text);

    ASSERT_TRUE(Store(text, "ascii.txt", AsciiTransfer));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(rec.events.at(0), "sent TYPE A\r\n");
    // In type A the server itself stores its own line end, LF.
    std::string expected = text;
    for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;)
        expected.erase(at, 1);
    EXPECT_EQ(OnServer("ascii.txt"), expected);
}

// pyftpdlib answers ABOR with 426 and 226 once data has moved, and with 225 alone before that.
// Either way the session stays in step: the listing after the aborted store gets PWD's own reply,
// and the next file lands in the folder it was meant for.
TEST_F(FtpTransferRealServer, AbortedStoreLeavesTheSessionInStep) {
    ASSERT_TRUE(QDir(server.Root()).mkdir("sub"));
    const struct {
        const char* what;
        FtpInfo trigger; // the abort comes at this notice
        int count;       // its count-th time
    } rows[] = {
        {"before the first block", ftpiFileSize, 1},
        {"after 200 blocks", ftpiProgress, 200},
    };
    const std::string bytes = RandomBytes(std::size_t{64} << 20, 11);
    const TFtpInfoEvent record = ftp.OnFtpInfo;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        int seen = 0;
        ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
            record(f, info, addinfo);
            if (info == row.trigger && ++seen == row.count) f.Abort();
        };
        ASSERT_TRUE(Store(bytes, "big.bin", BinaryTransfer));
        ftp.OnFtpInfo = record;
        EXPECT_FALSE(ftp.Success());
        EXPECT_EQ(rec.readies, 1);
        EXPECT_TRUE(rec.Saw("sent ABOR\r\n"));
        const Events tail(rec.events.end() - 3, rec.events.end());
        EXPECT_EQ(tail, (Events{"info ftpiTransferDone Transfer done", "ready", "stored"}));
        EXPECT_LT(ftp.BytesTransferred, static_cast<std::int64_t>(bytes.size()));

        rec.events.clear();
        ftp.GetListing();
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("listed") || rec.quits > 0; }));
        EXPECT_EQ(ftp.InitialDirectory, "/");
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(ftp.DirectoryNames, (Lines{"sub"}));

        rec.events.clear();
        ftp.ChangeDirectory("/sub");
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("dirchanged") || rec.quits > 0; }));
        ASSERT_TRUE(ftp.Success());
        const std::string next = RandomBytes(100000, 12);
        ASSERT_TRUE(Store(next, "next.bin", BinaryTransfer));
        EXPECT_TRUE(ftp.Success());
        EXPECT_EQ(OnServer("sub/next.bin"), next);
        ftp.ChangeDirectory("/");
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("dirchanged") || rec.quits > 0; }));
    }
}

// The commands of the recorded events, without their line ends.
Lines SentCommands(const Events& events) {
    Lines sent;
    for (const std::string& e : events)
        if (e.rfind("sent ", 0) == 0) sent.push_back(e.substr(5, e.size() - 7));
    for (std::string& c : sent)
        if (c.rfind("PORT ", 0) == 0) c = "PORT";
    return sent;
}

// A binary store under the temporary name: checked with SIZE (pyftpdlib has it), renamed over the
// old copy, and nothing else left in the folder. The aborted one leaves the old copy as it was.
TEST_F(FtpTransferRealServer, TemporaryNameReplacesTheCopyOnlyWhenComplete) {
    ASSERT_TRUE(ftp.HasFeature("SIZE"));
    ASSERT_TRUE(QDir(server.Root()).mkdir("up"));
    QFile old(server.Root() + "/up/t.bin");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old copy");
    old.close();
    ftp.UseTempName = true;
    ftp.ChangeDirectory("/up");
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("dirchanged") || rec.quits > 0; }));
    ASSERT_TRUE(ftp.Success());

    const std::string bytes = RandomBytes(300000, 21);
    ASSERT_TRUE(Store(bytes, "t.bin", BinaryTransfer));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(SentCommands(rec.events),
              (Lines{"TYPE I", "PORT", "STOR .wendup-t.bin", "SIZE .wendup-t.bin",
                     "RNFR .wendup-t.bin", "RNTO t.bin"}));
    EXPECT_TRUE(OnServer("up/t.bin") == bytes);
    EXPECT_EQ(QDir(server.Root() + "/up").entryList(QDir::Files | QDir::Hidden),
              QStringList{"t.bin"});
    EXPECT_TRUE(ftp.UseTempName);
    EXPECT_EQ(rec.Last(), "stored");

    const TFtpInfoEvent record = ftp.OnFtpInfo;
    int blocks = 0;
    ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
        record(f, info, addinfo);
        if (info == ftpiProgress && ++blocks == 50) f.Abort();
    };
    ASSERT_TRUE(Store(RandomBytes(std::size_t{32} << 20, 22), "t.bin", BinaryTransfer));
    ftp.OnFtpInfo = record;
    EXPECT_FALSE(ftp.Success());
    const Lines sent = SentCommands(rec.events);
    EXPECT_EQ(sent.back(), "DELE .wendup-t.bin");
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "RNFR .wendup-t.bin"), 0);
    EXPECT_TRUE(OnServer("up/t.bin") == bytes);
    EXPECT_EQ(QDir(server.Root() + "/up").entryList(QDir::Files | QDir::Hidden),
              QStringList{"t.bin"});
}

// The server cuts the data connection in the middle of a store (the network failing): the store
// fails, its temporary file is deleted, the copy that was there stays whole, and the session goes
// on.
TEST(FtpDroppingServer, CopyAlreadyThereStaysWholeWhenTheDataConnectionDrops) {
    PyFtpServer server;
    std::string why;
    ASSERT_TRUE(server.Start(why, 0, "127.0.0.1", 64 * 1024)) << why;
    QFile old(server.Root() + "/keep.bin");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(std::string(1000, 'k').c_str());
    old.close();
    QTemporaryDir local;
    ASSERT_TRUE(local.isValid());
    const std::string path = local.filePath("keep.bin").toStdString();
    std::ofstream(path, std::ios::binary) << RandomBytes(std::size_t{4} << 20, 23);

    TStarFtp ftp;
    FtpRecorder rec(ftp);
    ftp.SetFtpServer("127.0.0.1");
    ftp.FtpPort = server.Port();
    ftp.UserName = PyFtpServer::User;
    ftp.UserPassword = PyFtpServer::Password;
    ftp.UseTempName = true;
    ftp.LocalFile = path;
    ftp.RemoteFile = "keep.bin";
    ftp.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
    ftp.OnFileStored = [&](TStarFtp& f) {
        rec.events.push_back("stored");
        EXPECT_FALSE(f.Success());
        f.ChangeDirectory("/");
    };
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("dirchanged") || rec.quits > 0; }, 30000));
    DrainPostedEvents();
    EXPECT_TRUE(ftp.Success()); // the CWD after the failed store
    EXPECT_EQ(rec.quits, 0);
    const Lines sent = SentCommands(rec.events);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "DELE .wendup-keep.bin"), sent.end());
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "RNFR .wendup-keep.bin"), 0);
    QFile kept(server.Root() + "/keep.bin");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll().toStdString(), std::string(1000, 'k'));
    EXPECT_EQ(QDir(server.Root()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bin"});
}

// A NUL byte in the third block of a text file: the store fails with a read error and ends at
// once (the server is not left waiting for more data), and the session goes on.
TEST_F(FtpTransferRealServer, LocalReadErrorEndsTheStoreAndTheSessionGoesOn) {
    std::string text(3 * kBlock, 'a');
    text[2 * kBlock + 5] = '\0';
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Store(text, "nul.txt", textSJIS));
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_FALSE(ftp.Success());
    EXPECT_TRUE(rec.Saw("error ftpeLocalFileRead Error"));
    EXPECT_EQ(rec.readies, 1);
    const std::string next = RandomBytes(5000, 13);
    ASSERT_TRUE(Store(next, "after.bin", BinaryTransfer));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(OnServer("after.bin"), next);
}

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A server that reads more slowly than we send: the send loop waits for the socket instead of
// spinning, the event queue still runs often, no time-out strikes while the data moves, and cancel
// takes effect at once.
TEST(FtpSlowServer, SendLoopWaitsWithoutSpinningAndStaysResponsive) {
    PyFtpServer slow;
    std::string why;
    ASSERT_TRUE(slow.Start(why, 2 << 20)) << why; // 2 MiB a second
    QTemporaryDir local;
    ASSERT_TRUE(local.isValid());
    TStarFtp ftp;
    FtpRecorder rec(ftp);
    ftp.SetFtpServer("127.0.0.1");
    ftp.FtpPort = slow.Port();
    ftp.UserName = PyFtpServer::User;
    ftp.UserPassword = PyFtpServer::Password;
    ftp.TimeOutConnect = 1;
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }));
    ASSERT_TRUE(rec.Saw("loggedin"));

    const std::string bytes = RandomBytes(std::size_t{12} << 20, 21);
    const std::string path = local.filePath("slow.bin").toStdString();
    std::ofstream(path, std::ios::binary) << bytes;
    ftp.LocalFile = path;
    ftp.RemoteFile = "slow.bin";
    // The longest time the event queue went without running a timer, while the data moved.
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (ftp.Phase() == TransferPhase::Moving && sinceTick.isValid())
            longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.start();
    });
    tick.start(5);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = ThreadCpuSeconds();
    ftp.StoreFile();
    // Measured while the file goes out; the server's last buffered bytes are not waited for.
    ASSERT_TRUE(RunUntil(
        [&] { return rec.Saw("info ftpiTransferDone Transfer done") || rec.quits > 0; }, 60000));
    const double cpu = ThreadCpuSeconds() - cpuBefore;
    const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("stored") || rec.quits > 0; }, 60000));
    DrainPostedEvents();
    EXPECT_TRUE(ftp.Success());
    EXPECT_FALSE(rec.Saw("error ftpeTimeOut Error"));
    EXPECT_GT(seconds, 1.5); // the socket really was full for a while
    // A loop that retries at once burns the whole wall time.
    EXPECT_LT(cpu, 0.25 * seconds) << "cpu " << cpu << " s in " << seconds << " s";
    std::printf("slow server: %.2f s sending, cpu %.3f s, longest queue gap %lld ms\n", seconds,
                cpu, static_cast<long long>(longestGap));
    EXPECT_LT(longestGap, 100); // the loop itself pumps every 10 ms; the rest is a busy machine
    QFile stored(slow.Root() + "/slow.bin");
    EXPECT_EQ(stored.size(), static_cast<qint64>(bytes.size()));

    // Cancel in the middle of the next slow store: the data connection is closed at once.
    rec.events.clear();
    ftp.RemoteFile = "cancelled.bin";
    qint64 closedAfter = -1;
    QTimer::singleShot(500, [&] {
        QElapsedTimer latency;
        latency.start();
        ftp.Abort();
        RunUntil([&] { return rec.Saw("info ftpiTransferDone Transfer done"); }, 1000);
        closedAfter = latency.elapsed();
    });
    ftp.StoreFile();
    ASSERT_TRUE(RunUntil([&] { return rec.Saw("stored") || rec.quits > 0; }, 20000));
    EXPECT_FALSE(ftp.Success());
    EXPECT_GE(closedAfter, 0);
    EXPECT_LT(closedAfter, 100);
}

} // namespace
