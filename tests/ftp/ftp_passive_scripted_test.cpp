// Passive data connections against a scripted server: the replies to EPSV and PASV that real
// servers give (refusals, private and zero addresses, no address at all), data connections that
// cannot be made, and the bytes of an active session, which must not change. Also a host name with
// an IPv6 and an IPv4 address of which the first refuses.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "fakeftpserver.h"
#include "loopback.h"
#include "scriptedclient.h"
#include "socketfaults.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

const std::string kListing = "-rw-r--r-- 1 a b 3 Jan 5 12:34 x.txt\r\ndrwxr-xr-x 2 a b 0 Jan 5 "
                             "12:34 sub\r\n";

// How the recorder shows the log notices about the data connection.
const std::string kNote = "info ftpiDataConnection ";

std::string Pasv(const std::string& dotted, std::uint16_t port) {
    std::string numbers = dotted;
    std::replace(numbers.begin(), numbers.end(), '.', ',');
    return "227 Entering Passive Mode (" + numbers + "," + std::to_string(port >> 8) + "," +
           std::to_string(port & 0xFF) + ").\r\n";
}
std::string Epsv(std::uint16_t port) {
    return "229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n";
}

class FtpPassiveScripted : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    void TearDown() override { ClearSocketFaults(); }

    // A passive client of `fake`, logged in with the usual replies (scripted here).
    void LogIn(FakeFtpServer& fake, const std::string& host = "127.0.0.1") {
        ASSERT_TRUE(fake.Listening());
        fake.Send("220 ready\r\n")
            .Answer("331 pw\r\n")
            .Answer("230 ok\r\n")
            .Answer("215 UNIX\r\n")
            .Answer(kNoFeat);
        ftp.SetFtpServer(host);
        ftp.FtpPort = fake.Port();
        ftp.UserName = "anna";
        ftp.UserPassword = "pw";
        ftp.PassiveMode = true;
        ftp.TimeOutConnect = 5;
        ftp.Login();
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin") || rec.quits > 0; }));
        ASSERT_TRUE(rec.Saw("loggedin"));
        rec.events.clear();
        rec.readies = 0;
    }
    // Runs until `event` or the end of the session, then lets what was posted arrive.
    bool Until(const std::string& event, int timeoutMs = 10000) {
        const bool seen = RunUntil([&] { return rec.Saw(event) || rec.quits > 0; }, timeoutMs);
        DrainPostedEvents();
        return seen && rec.Saw(event);
    }
    void StoreFile(const std::string& bytes, const std::string& remote) {
        const std::string path = folder.filePath("local").toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        ftp.LocalFile = path;
        ftp.RemoteFile = remote;
        ftp.StoreFile();
    }
    // The log notices about the data connection.
    Events Notes() const {
        Events notes;
        for (const std::string& e : rec.events)
            if (e.rfind(kNote, 0) == 0) notes.push_back(e.substr(kNote.size()));
        return notes;
    }

    QTemporaryDir folder;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
};

// How the server answers EPSV and PASV decides what the client asks and where it connects; the
// answer that worked is asked for again in the next transfer of the session.
TEST_F(FtpPassiveScripted, EpsvOrPasvWhicheverTheServerTakes) {
    // Guards the rows below that name a private address: it must never be connected to.
    ASSERT_EQ(PassiveAddress("192.168.1.5", "127.0.0.1"), "127.0.0.1");
    ASSERT_EQ(PassiveAddress("0.0.0.0", "127.0.0.1"), "127.0.0.1");
    const struct {
        const char* what;
        // The replies to the first passive command of each transfer, and to PASV after a refusal.
        std::function<std::vector<std::string>(std::uint16_t port)> replies;
        const char* command; // what the second transfer asks with
        Events notes;        // of the first transfer, with <port> for the passive port
    } rows[] = {
        {"EPSV taken",
         [](std::uint16_t p) { return std::vector<std::string>{Epsv(p)}; },
         "EPSV",
         {"Data connection to 127.0.0.1 port <port>"}},
        {"EPSV refused",
         [](std::uint16_t p) {
             return std::vector<std::string>{"500 'EPSV': command not understood.\r\n",
                                             Pasv("127.0.0.1", p)};
         },
         "PASV",
         {"Data connection to 127.0.0.1 port <port>"}},
        {"EPSV answered without a port",
         [](std::uint16_t p) {
             return std::vector<std::string>{"229 Entering Extended Passive Mode\r\n",
                                             Pasv("127.0.0.1", p)};
         },
         "PASV",
         {"Data connection to 127.0.0.1 port <port>"}},
        {"PASV names a private address",
         [](std::uint16_t p) {
             return std::vector<std::string>{"502 EPSV not implemented\r\n",
                                             Pasv("192.168.1.5", p)};
         },
         "PASV",
         {"PASV named 192.168.1.5, which cannot be reached from here; using the server's address "
          "127.0.0.1",
          "Data connection to 127.0.0.1 port <port>"}},
        {"PASV names the zero address",
         [](std::uint16_t p) {
             return std::vector<std::string>{"500 no\r\n", Pasv("0.0.0.0", p)};
         },
         "PASV",
         {"PASV named 0.0.0.0, which cannot be reached from here; using the server's address "
          "127.0.0.1",
          "Data connection to 127.0.0.1 port <port>"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        const std::uint16_t port = fake.PassivePort();
        ASSERT_NE(port, 0);
        const std::vector<std::string> replies = row.replies(port);
        TStarFtp client;
        FtpRecorder r(client);
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(kNoFeat);
        fake.Answer("257 \"/pub\"\r\n").Answer("200 Type A\r\n");
        for (const std::string& reply : replies)
            fake.Answer(reply);
        fake.Answer("150 Here it comes\r\n")
            .AcceptData()
            .SendData(kListing)
            .CloseData()
            .Send("226 Done\r\n");
        // The store asks at once with what worked.
        fake.Answer("200 Type I\r\n")
            .Answer(row.command == std::string("EPSV") ? Epsv(port) : Pasv("127.0.0.1", port))
            .Answer("150 Go ahead\r\n")
            .AcceptData()
            .AwaitDataClosed()
            .Send("226 Stored\r\n");
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.PassiveMode = true;
        client.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
        std::string path = folder.filePath("up").toStdString();
        std::ofstream(path, std::ios::binary) << "abc";
        client.OnListingDone = [&](TStarFtp& f) {
            r.events.push_back("listed");
            f.LocalFile = path;
            f.RemoteFile = "up.txt";
            f.StoreFile();
        };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("stored") || r.quits > 0; }));
        DrainPostedEvents();
        ASSERT_TRUE(r.Saw("stored"));
        Lines expected = {"USER anna", "SYST", "FEAT", "PWD", "TYPE A", "EPSV"};
        if (replies.size() == 2) expected.push_back("PASV");
        for (const char* c : {"LIST", "TYPE I", row.command, "STOR up.txt"})
            expected.push_back(c);
        EXPECT_EQ(fake.Commands(), expected);
        EXPECT_EQ(client.FileNames, Lines{"x.txt"});
        EXPECT_EQ(client.DirectoryNames, Lines{"sub"});
        EXPECT_EQ(fake.DataReceived(), "abc");
        EXPECT_TRUE(client.Success());
        EXPECT_EQ(fake.DataConnections(), 2);
        Events notes;
        for (const std::string& e : r.events) {
            if (e == "listed") break;
            if (e.rfind(kNote, 0) == 0)
                notes.push_back(std::regex_replace(e.substr(kNote.size()),
                                                   std::regex(std::to_string(port)), "<port>"));
        }
        EXPECT_EQ(notes, row.notes);
    }
}

// When no data connection can be made, LIST is never sent, the error says so and the log tells
// why and where.
TEST_F(FtpPassiveScripted, NoDataConnectionNoListAndAClearError) {
    LoopbackSocket refusing(false); // a port where connects are refused
    ASSERT_TRUE(refusing.Ready());
    StalledListener stalled; // a port where connects hang
    ASSERT_TRUE(stalled.Ready());
    const struct {
        const char* what;
        std::vector<std::string> replies; // to EPSV, and to PASV when it follows
        Lines passive;                    // the passive commands sent
        std::string error;
        Events notes;
    } rows[] = {
        {"both refused",
         {"500 EPSV not understood\r\n", "500 PASV not understood\r\n"},
         {"EPSV", "PASV"},
         "error ftpeCommandFailed Error",
         {}},
        {"no address in the PASV reply",
         {"500 no\r\n", "227 Entering Passive Mode\r\n"},
         {"EPSV", "PASV"},
         "error ftpeDataConnection Error",
         {"No address in the reply to PASV"}},
        {"refused data connection",
         {Epsv(refusing.Port())},
         {"EPSV"},
         "error ftpeDataConnection Error",
         {"Data connection to 127.0.0.1 port " + std::to_string(refusing.Port()),
          "Data connection to 127.0.0.1 port " + std::to_string(refusing.Port()) +
              " failed: Connection Refused"}},
        {"data connection that times out",
         {"500 no\r\n", Pasv("127.0.0.1", stalled.Port())},
         {"EPSV", "PASV"},
         "error ftpeDataConnection Error",
         {"Data connection to 127.0.0.1 port " + std::to_string(stalled.Port()),
          "Data connection to 127.0.0.1 port " + std::to_string(stalled.Port()) +
              " failed: timeout"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(kNoFeat);
        fake.Answer("257 \"/pub\"\r\n").Answer("200 Type A\r\n");
        for (const std::string& reply : row.replies)
            fake.Answer(reply);
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.PassiveMode = true;
        client.TimeOutConnect = 1;
        client.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.quits > 0; }, 10000));
        DrainPostedEvents();
        Lines expected = {"USER anna", "SYST", "FEAT", "PWD", "TYPE A"};
        expected.insert(expected.end(), row.passive.begin(), row.passive.end());
        EXPECT_EQ(fake.Commands(), expected);
        EXPECT_TRUE(r.Saw(row.error));
        EXPECT_EQ(std::count_if(r.events.begin(), r.events.end(),
                                [](const std::string& e) { return e.rfind("error ", 0) == 0; }),
                  1);
        Events notes;
        for (const std::string& e : r.events)
            if (e.rfind(kNote, 0) == 0) notes.push_back(e.substr(kNote.size()));
        EXPECT_EQ(notes, row.notes);
        EXPECT_FALSE(client.Success());
        EXPECT_FALSE(client.ControlConnected());
    }
}

// The cancel button while the data connection is still being opened: the listing ends at once,
// failed, without LIST and without an error, and the session goes on.
TEST_F(FtpPassiveScripted, CancelWhileTheDataConnectionIsOpened) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.Ready());
    FakeFtpServer fake;
    ASSERT_NO_FATAL_FAILURE(LogIn(fake));
    ftp.TimeOutConnect = 30;
    fake.Answer("257 \"/\"\r\n").Answer("200 Type A\r\n").Answer(Epsv(stalled.Port()));
    // The server never heard of the cancelled transfer: its type stays in force.
    fake.Answer("257 \"/\"\r\n")
        .Answer(Epsv(fake.PassivePort()))
        .Answer("150 ok\r\n")
        .AcceptData()
        .SendData(kListing)
        .CloseData()
        .Send("226 Done\r\n");
    const TFtpInfoEvent record = ftp.OnFtpInfo;
    ftp.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
        record(f, info, addinfo);
        if (info == ftpiDataConnection &&
            addinfo.find(std::to_string(stalled.Port())) != std::string::npos)
            f.Abort();
    };
    const auto started = std::chrono::steady_clock::now();
    ftp.GetListing();
    ASSERT_TRUE(Until("listed"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(ftp.Success());
    EXPECT_FALSE(rec.Saw("sent LIST\r\n"));
    EXPECT_TRUE(ftp.ControlConnected());
    EXPECT_EQ(std::count_if(rec.events.begin(), rec.events.end(),
                            [](const std::string& e) { return e.rfind("error ", 0) == 0; }),
              0);

    rec.events.clear();
    ftp.GetListing();
    ASSERT_TRUE(Until("listed"));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(ftp.FileNames, Lines{"x.txt"});
    EXPECT_EQ(fake.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT", "PWD", "TYPE A",
                                      "EPSV", "PWD", "EPSV", "LIST"}));
}

// On IPv6 there is no PASV: a refused EPSV ends the transfer.
TEST_F(FtpPassiveScripted, OverIPv6ARefusedEpsvIsNotFollowedByPasv) {
    FakeFtpServer fake(QHostAddress(QHostAddress::LocalHostIPv6));
    ASSERT_NO_FATAL_FAILURE(LogIn(fake, "::1"));
    fake.Answer("257 \"/\"\r\n").Answer("200 Type A\r\n").Answer("500 EPSV not understood\r\n");
    ftp.GetListing();
    ASSERT_TRUE(RunUntil([&] { return rec.quits > 0; }));
    EXPECT_EQ(fake.Commands(),
              (Lines{"USER anna", "PASS pw", "SYST", "FEAT", "PWD", "TYPE A", "EPSV"}));
    EXPECT_TRUE(rec.Saw("error ftpeCommandFailed Error"));
    EXPECT_EQ(fake.DataConnections(), 0);
}

TEST_F(FtpPassiveScripted, ListingOverIPv6UsesTheControlPeersAddress) {
    FakeFtpServer fake(QHostAddress(QHostAddress::LocalHostIPv6));
    ASSERT_NO_FATAL_FAILURE(LogIn(fake, "::1"));
    fake.Answer("257 \"/\"\r\n")
        .Answer("200 Type A\r\n")
        .Answer(Epsv(fake.PassivePort()))
        .Answer("150 ok\r\n")
        .AcceptData()
        .SendData(kListing)
        .CloseData()
        .Send("226 Done\r\n");
    ftp.GetListing();
    ASSERT_TRUE(Until("listed"));
    EXPECT_EQ(Notes(), Events{"Data connection to ::1 port " + std::to_string(fake.PassivePort())});
    EXPECT_EQ(ftp.FileNames, Lines{"x.txt"});
    EXPECT_TRUE(ftp.Success());
}

// A refused STOR: nothing goes out on the data connection we opened, which is closed; the session
// goes on.
TEST_F(FtpPassiveScripted, RefusedStorSendsNothingAndClosesTheDataConnection) {
    FakeFtpServer fake;
    ASSERT_NO_FATAL_FAILURE(LogIn(fake));
    fake.Answer("200 Type I\r\n")
        .Answer(Epsv(fake.PassivePort()))
        .Answer("553 Could not create file.\r\n")
        .AcceptData()
        .AwaitDataClosed();
    StoreFile("never sent", "denied.txt");
    ASSERT_TRUE(Until("stored"));
    EXPECT_FALSE(ftp.Success());
    EXPECT_TRUE(rec.Saw("info ftpiCommandFailed "));
    ASSERT_TRUE(RunUntil([&] { return fake.ScriptDone(); }));
    EXPECT_EQ(fake.DataReceived(), "");
    EXPECT_TRUE(fake.DataClosedByClient());
    EXPECT_TRUE(ftp.ControlConnected());
}

// The file goes out only after the server has accepted STOR, though the connection is ours.
TEST_F(FtpPassiveScripted, StoreWaitsForThePreliminaryReply) {
    FakeFtpServer fake;
    ASSERT_NO_FATAL_FAILURE(LogIn(fake));
    std::size_t beforeReply = 0;
    int polls = 0;
    fake.Answer("200 Type I\r\n")
        .Answer(Epsv(fake.PassivePort()))
        .AwaitCommand()
        .AcceptData()
        .Until([&polls] { return ++polls > 50; }) // time for anything sent too early to arrive
        .Do([&] { beforeReply = fake.DataReceived().size(); })
        .Send("150 Go ahead\r\n")
        .AwaitDataClosed()
        .Send("226 Stored\r\n");
    StoreFile(std::string(5000, 'q'), "late.txt");
    ASSERT_TRUE(Until("stored"));
    EXPECT_EQ(beforeReply, 0u);
    EXPECT_EQ(fake.DataReceived(), std::string(5000, 'q'));
    EXPECT_TRUE(ftp.Success());
    EXPECT_TRUE(rec.Saw("info ftpiFileSize 5000"));
}

// Unticked, the session sends exactly the bytes it always did (PORT's numbers aside).
TEST_F(FtpPassiveScripted, ActiveSessionBytesAreUnchanged) {
    FakeFtpServer fake;
    fake.Send("220 ready\r\n")
        .Answer("331 pw\r\n")
        .Answer("230 ok\r\n")
        .Answer("215 UNIX\r\n")
        .Answer(kNoFeat);
    fake.Answer("257 \"/pub\"\r\n")
        .Answer("200 Type A\r\n")
        .Answer("200 PORT ok\r\n")
        .Answer("150 Here it comes\r\n")
        .ConnectData()
        .SendData(kListing)
        .CloseData()
        .Send("226 Done\r\n")
        .Answer("200 Type I\r\n")
        .Answer("200 PORT ok\r\n")
        .Answer("150 Go ahead\r\n")
        .ConnectData()
        .AwaitDataClosed()
        .Send("226 Stored\r\n")
        .Answer("221 Bye\r\n")
        .Close();
    ftp.SetFtpServer("127.0.0.1");
    ftp.FtpPort = fake.Port();
    ftp.UserName = "anna";
    ftp.UserPassword = "pw";
    ftp.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
    const std::string path = folder.filePath("up").toStdString();
    std::ofstream(path, std::ios::binary) << "abc";
    ftp.OnListingDone = [&](TStarFtp& f) {
        f.LocalFile = path;
        f.RemoteFile = "up.txt";
        f.StoreFile();
    };
    ftp.OnFileStored = [](TStarFtp& f) { f.Quit(); };
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits > 0; }));
    const std::string received = std::regex_replace(
        fake.Received(), std::regex(R"(PORT 127,0,0,1,\d{1,3},\d{1,3}\r\n)"), "PORT <port>\r\n");
    EXPECT_EQ(received,
              "USER anna\r\nPASS pw\r\nSYST\r\nFEAT\r\nPWD\r\nTYPE A\r\nPORT <port>\r\nLIST\r\n"
              "TYPE I\r\nPORT <port>\r\nSTOR up.txt\r\nQUIT\r\n");
    EXPECT_EQ(fake.DataReceived(), "abc");
    EXPECT_EQ(fake.Urgent(), "");
}

// A name with an IPv6 and an IPv4 address, answered by the test seam so that only loopback is
// used. A passive profile tries them in the resolver's order, and whichever comes first refuses;
// any other profile keeps to IPv4, as it always has, even where IPv6 would answer.
TEST_F(FtpPassiveScripted, ANameWithBothKindsOfAddress) {
    const struct {
        const char* what;
        bool passive;
        bool serverOnIPv6;
        bool otherListens; // the other loopback takes connects too (and never greets)
        std::vector<std::string> found;
        Events head; // lookup, first address, connected address (or the error)
    } rows[] = {
        {"passive, ::1 refuses",
         true,
         false,
         false,
         {"::1", "127.0.0.1"},
         {"info ftpiResolving dual.test", "info ftpiResolved ::1", "info ftpiConnected 127.0.0.1"}},
        {"passive, 127.0.0.1 refuses",
         true,
         true,
         false,
         {"127.0.0.1", "::1"},
         {"info ftpiResolving dual.test", "info ftpiResolved 127.0.0.1", "info ftpiConnected ::1"}},
        {"active keeps to IPv4",
         false,
         false,
         true,
         {"::1", "127.0.0.1"},
         {"info ftpiResolving dual.test", "info ftpiResolved 127.0.0.1",
          "info ftpiConnected 127.0.0.1"}},
        {"active, a name with IPv6 only",
         false,
         true,
         false,
         {"::1"},
         {"info ftpiResolving dual.test", "error ftpeAddressResolution Address resolution error",
          "quit"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::uint16_t port = PortFreeOnBothLoopbacks();
        ASSERT_NE(port, 0);
        FakeFtpServer fake(
            QHostAddress(row.serverOnIPv6 ? QHostAddress::LocalHostIPv6 : QHostAddress::LocalHost),
            port);
        ASSERT_TRUE(fake.Listening());
        LoopbackSocket other(!row.serverOnIPv6, port, row.otherListens);
        ASSERT_TRUE(other.Ready());
        AnswerLookups("dual.test", row.found);
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(kNoFeat);
        TStarFtp client;
        FtpRecorder r(client);
        client.SetFtpServer("dual.test");
        client.FtpPort = port;
        client.UserName = "anna";
        client.PassiveMode = row.passive;
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin") || r.quits > 0; }));
        ASSERT_GE(r.events.size(), 3u);
        EXPECT_EQ(Events(r.events.begin(), r.events.begin() + 3), row.head);
        if (row.head.back() == "quit") {
            EXPECT_FALSE(fake.ClientConnected());
            continue;
        }
        EXPECT_TRUE(r.Saw("loggedin"));
        EXPECT_EQ(client.ServerAddress,
                  row.head.back().substr(std::string("info ftpiConnected ").size()));
        EXPECT_EQ(fake.Commands(), (Lines{"USER anna", "SYST", "FEAT"}));
    }
}

} // namespace
