// Listings and stores against a scripted server that opens the data connections itself, for the
// orders, refusals and failures a real server does not produce on demand.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "fakeftpserver.h"
#include "scriptedclient.h"
#include "socketfaults.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <regex>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

// The PORT argument varies with the listener's port: only its shape is compared.
Lines Normalised(Lines commands) {
    const std::regex port(R"(PORT 127,0,0,1,\d{1,3},\d{1,3})");
    for (std::string& c : commands)
        if (std::regex_match(c, port)) c = "PORT <port>";
    return commands;
}

const std::string kSyst = "215 UNIX Type: L8\r\n";

class FtpTransferScripted : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Listening());
        ASSERT_TRUE(folder.isValid());
        ftp.SetFtpServer("127.0.0.1");
        ftp.FtpPort = server.Port();
        ftp.UserName = "anna";
        ftp.UserPassword = "pw";
    }
    void TearDown() override { ClearSocketFaults(); }

    // Logs in (the SYST reply chooses the listing format) and forgets what the login reported.
    void LogIn(const std::string& syst = kSyst) {
        server.Send("220 ready\r\n").Answer("230 ok\r\n").Answer(syst).Answer(kNoFeat);
        ftp.Login();
        ASSERT_TRUE(RunUntil([&] { return rec.Saw("loggedin"); }));
        rec.events.clear();
    }
    // The replies up to LIST, which opens the data connection.
    FakeFtpServer& ScriptListingStart() {
        return server.Answer("257 \"/pub\" is the current directory\r\n")
            .Answer("200 Type A\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Here it comes\r\n")
            .ConnectData();
    }
    FakeFtpServer& ScriptStoreStart() {
        return server.Answer("200 Type set\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Go ahead\r\n")
            .ConnectData();
    }
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    bool WaitFor(const std::string& event, int timeoutMs = 10000) {
        return RunUntil([&] { return rec.Saw(event); }, timeoutMs);
    }
    // Waits for a completion event, then lets anything posted after it arrive.
    bool Complete(const std::string& event) {
        if (!WaitFor(event)) return false;
        DrainPostedEvents();
        return true;
    }

    QTemporaryDir folder;
    FakeFtpServer server;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
};

TEST_F(FtpTransferScripted, ListingLinesAreKeptAndNamesReadByServerType) {
    const struct {
        const char* what;
        std::string syst;
        std::string data;
        Lines lines;
        Lines files;
        Lines folders;
    } rows[] = {
        {"unix",
         kSyst,
         "total 2\r\n-rw-r--r-- 1 a b 12 Jan  5 12:34 read me.txt\r\n"
         "drwxr-xr-x 2 a b 4096 Jan  5 12:34 docs\r\nlrwxrwxrwx 1 a b 4 Jan 5 12:34 up -> ..\r\n",
         {"total 2", "-rw-r--r-- 1 a b 12 Jan  5 12:34 read me.txt",
          "drwxr-xr-x 2 a b 4096 Jan  5 12:34 docs", "lrwxrwxrwx 1 a b 4 Jan 5 12:34 up -> .."},
         {"read me.txt", "up"},
         {"docs"}},
        // Some servers end their listing lines with LF alone.
        {"lf only",
         kSyst,
         "-rw-r--r-- 1 a b 1 Jan 5 12:34 x\n-rw-r--r-- 1 a b 1 Jan 5 12:34 y\n",
         {"-rw-r--r-- 1 a b 1 Jan 5 12:34 x", "-rw-r--r-- 1 a b 1 Jan 5 12:34 y"},
         {"x", "y"},
         {}},
        {"lf and cr lf mixed, a lone cr kept inside a line",
         kSyst,
         "-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n-rw-r--r-- 1 a b 1 Jan 5 12:34 a\rb\n",
         {"-rw-r--r-- 1 a b 1 Jan 5 12:34 x", "-rw-r--r-- 1 a b 1 Jan 5 12:34 a\rb"},
         {"x", "a\rb"},
         {}},
        {"last line without line end",
         kSyst,
         "-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n-rw-r--r-- 1 a b 1 Jan 5 12:34 y",
         {"-rw-r--r-- 1 a b 1 Jan 5 12:34 x"},
         {"x"},
         {}},
        {"vms, split entries and .DIR;1",
         "215 VMS MultiNet V4.4\r\n",
         "Directory DKA0:[ANNA]\r\n\r\nLONG_FILE_NAME_INDEED.TXT;12\r\n"
         "     12/14  7-MAR-2001 10:11:12  [X,Y]  (RWED,RWED,,)\r\n"
         "MAIL.DIR;1  1/3  1-FEB-1999 09:00:00  [X,Y]  (RWE,RWE,,)\r\n"
         "LONG_DIRECTORY_NAME.DIR;1\r\n   1/3   8-MAR-2001 10:11:12  [X,Y]  (RWE,RWE,,)\r\n"
         "\r\nTotal of 3 files, 14/20 blocks.\r\n",
         {"Directory DKA0:[ANNA]", "", "LONG_FILE_NAME_INDEED.TXT;12",
          "     12/14  7-MAR-2001 10:11:12  [X,Y]  (RWED,RWED,,)",
          "MAIL.DIR;1  1/3  1-FEB-1999 09:00:00  [X,Y]  (RWE,RWE,,)", "LONG_DIRECTORY_NAME.DIR;1",
          "   1/3   8-MAR-2001 10:11:12  [X,Y]  (RWE,RWE,,)", "",
          "Total of 3 files, 14/20 blocks."},
         {"LONG_FILE_NAME_INDEED.TXT"},
         {"MAIL", "LONG_DIRECTORY_NAME"}},
        {"vm",
         "215 VM/CMS Level 12\r\n",
         "PROFILE  EXEC     V         72         11          1 1999-01-27 11:43:09 A1\r\n",
         {"PROFILE  EXEC     V         72         11          1 1999-01-27 11:43:09 A1"},
         {"PROFILE.EXEC"},
         {}},
        {"vm/vps",
         "215 VM/VPS\r\n",
         "PROFILE  EXEC  12 F 80 A1 11:43:09 1999-01-27 X\r\n  totals: 1 file\r\n",
         {"PROFILE  EXEC  12 F 80 A1 11:43:09 1999-01-27 X", "  totals: 1 file"},
         {"PROFILE.EXEC"},
         {}},
        {"mvs",
         "215 MVS is the operating system of this server\r\n",
         "  WYOSPT 3420   2003/05/21  1  200  FB      80  8053  PS  MVS.FILE\r\n",
         {"  WYOSPT 3420   2003/05/21  1  200  FB      80  8053  PS  MVS.FILE"},
         {},
         {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer(row.syst).Answer(kNoFeat);
        fake.Answer("257 \"/pub\"\r\n")
            .Answer("200 Type A\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Here it comes\r\n")
            .ConnectData()
            .SendData(row.data)
            .CloseData()
            .Send("226 Done\r\n");
        TStarFtp client;
        FtpRecorder r(client);
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("listed"); }));
        DrainPostedEvents();
        EXPECT_EQ(Normalised(fake.Commands()),
                  (Lines{"USER anna", "SYST", "FEAT", "PWD", "TYPE A", "PORT <port>", "LIST"}));
        EXPECT_EQ(client.ListingLines, row.lines);
        EXPECT_EQ(client.FileNames, row.files);
        EXPECT_EQ(client.DirectoryNames, row.folders);
        EXPECT_EQ(client.InitialDirectory, "/pub");
        EXPECT_EQ(client.BytesTransferred, static_cast<std::int64_t>(row.data.size()));
        EXPECT_TRUE(client.Success());
        EXPECT_FALSE(client.Listing);
        EXPECT_EQ(r.readies, 2); // the login's and the listing's
    }
}

// Whichever of the final reply and the data connection's close comes second completes the listing,
// once. The script waits until the client has seen the first before it sends the second.
TEST_F(FtpTransferScripted, ListingCompletesOnceWhateverEndsFirst) {
    for (const bool replyFirst : {true, false}) {
        SCOPED_TRACE(replyFirst ? "226 first" : "close first");
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer(kSyst).Answer(kNoFeat);
        fake.Answer("257 \"/\"\r\n")
            .Answer("200 ok\r\n")
            .Answer("200 ok\r\n")
            .Answer("150 go\r\n")
            .ConnectData()
            .SendData("-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n");
        const auto sawReply = [&r] {
            return std::any_of(r.received.begin(), r.received.end(), [](const std::string& text) {
                return text.find("226 Done") != std::string::npos;
            });
        };
        if (replyFirst)
            fake.Send("226 Done\r\n").Until(sawReply).CloseData();
        else
            fake.CloseData()
                .Until([&r] { return r.Saw("info ftpiListingReady Listing ready"); })
                .Send("226 Done\r\n");
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin"); }));
        r.events.clear();
        client.GetListing();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("listed"); }));
        ASSERT_TRUE(fake.ScriptDone());
        DrainPostedEvents();
        EXPECT_EQ(r.events,
                  (Events{"sent PWD\r\n", "sent TYPE A\r\n", r.events.at(2), "sent LIST\r\n",
                          "info ftpiProgress -rw-r--r-- 1 a b 1 Jan 5 12:34 x",
                          "info ftpiListingLine -rw-r--r-- 1 a b 1 Jan 5 12:34 x",
                          "info ftpiListingReady Listing ready",
                          "info ftpiTransferDone Transfer done", "ready", "listed"}));
        EXPECT_EQ(client.FileNames, (Lines{"x"}));
    }
}

TEST_F(FtpTransferScripted, OverlongListingLineIsDroppedAndTheRestRead) {
    LogIn();
    const std::string good = "-rw-r--r-- 1 a b 1 Jan 5 12:34 good\r\n";
    // The over-long line ends in CR | LF split over two writes: the LF must not start a line.
    const std::string longLine =
        "-rw-r--r-- 1 a b 1 Jan 5 12:34 " + std::string(TStarFtp::MaxListingLine * 3, 'x') + "\r";
    ScriptListingStart()
        .SendData(longLine)
        .Until([&] { return ftp.BytesTransferred == static_cast<std::int64_t>(longLine.size()); })
        .SendData("\n" + good)
        .CloseData()
        .Send("226 Done\r\n");
    ftp.GetListing();
    ASSERT_TRUE(Complete("listed"));
    EXPECT_EQ(ftp.ListingLines, (Lines{good.substr(0, good.size() - 2)}));
    EXPECT_EQ(ftp.FileNames, (Lines{"good"}));
    EXPECT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(longLine.size() + 1 + good.size()));
}

TEST_F(FtpTransferScripted, RefusedStepOfAListingIsFatal) {
    const struct {
        const char* what;
        Lines replies;    // the last one is the refusal
        std::size_t sent; // commands after USER, SYST and FEAT: TYPE A goes out behind PWD
    } rows[] = {
        {"PWD", {"550 no\r\n"}, 2},
        {"TYPE", {"257 \"/\"\r\n", "504 no\r\n"}, 2},
        {"PORT", {"257 \"/\"\r\n", "200 ok\r\n", "501 no\r\n"}, 3},
        {"LIST", {"257 \"/\"\r\n", "200 ok\r\n", "200 ok\r\n", "425 no data connection\r\n"}, 4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer(kSyst).Answer(kNoFeat);
        for (const std::string& reply : row.replies)
            fake.Answer(reply);
        TStarFtp client;
        FtpRecorder r(client);
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.quits == 1; }));
        DrainPostedEvents();
        EXPECT_TRUE(r.Saw("error ftpeCommandFailed Error"));
        EXPECT_FALSE(r.Saw("listed"));
        EXPECT_FALSE(client.Success());
        EXPECT_EQ(client.Socket(), -1);
        EXPECT_EQ(fake.Commands().size(), 3 + row.sent);
    }
}

TEST_F(FtpTransferScripted, PwdRefusedWithoutPwdImplementedSkipsTheListing) {
    LogIn();
    ftp.PWDImplemented = false;
    server.Answer("502 PWD not implemented\r\n");
    ftp.GetListing();
    ASSERT_TRUE(Complete("listed"));
    EXPECT_EQ(rec.events, (Events{"sent PWD\r\n", "ready", "listed"}));
    EXPECT_TRUE(ftp.ControlConnected());
}

TEST_F(FtpTransferScripted, RefusedTypeOrPortOfAStoreIsFatal) {
    for (const bool typeRefused : {true, false}) {
        SCOPED_TRACE(typeRefused ? "TYPE" : "PORT");
        FakeFtpServer fake;
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer(kSyst).Answer(kNoFeat);
        if (typeRefused)
            fake.Answer("504 no\r\n");
        else
            fake.Answer("200 ok\r\n").Answer("500 no\r\n");
        TStarFtp client;
        FtpRecorder r(client);
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.LocalFile = WriteFile("a.bin", "abc");
        client.RemoteFile = "a.bin";
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.quits == 1; }));
        DrainPostedEvents();
        EXPECT_TRUE(r.Saw("error ftpeCommandFailed Error"));
        EXPECT_FALSE(r.Saw("stored"));
        EXPECT_FALSE(client.Success());
    }
}

// A refused STOR fails only the store: OnFileStored follows, and the session goes on. It moved no
// data, so it reports no bytes and no time (not the counts of the listing before it).
TEST_F(FtpTransferScripted, RefusedStorFailsTheStoreOnly) {
    LogIn();
    const std::string line = "-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n";
    ScriptListingStart()
        .SendData(line)
        .Until([&] { return ftp.ListingLines.size() == 1; })
        .Do([] { QThread::msleep(20); })
        .CloseData()
        .Send("226 Done\r\n");
    ftp.GetListing();
    ASSERT_TRUE(Complete("listed"));
    ASSERT_EQ(ftp.BytesTransferred, static_cast<std::int64_t>(line.size()));
    ASSERT_GT(ftp.ElapsedTime, 0);
    rec.events.clear();
    server.Answer("200 Type set\r\n").Answer("200 PORT ok\r\n").Answer("553 not allowed\r\n");
    server.Answer("250 ok\r\n");
    ftp.LocalFile = WriteFile("a.bin", "abc");
    ftp.RemoteFile = "a.bin";
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    EXPECT_EQ(ftp.BytesTransferred, 0);
    EXPECT_EQ(ftp.ElapsedTime, 0);
    EXPECT_EQ(rec.events, (Events{"sent TYPE I\r\n", rec.events.at(1), "sent STOR a.bin\r\n",
                                  "info ftpiCommandFailed ", "ready", "stored"}));
    EXPECT_FALSE(ftp.Success());
    EXPECT_TRUE(ftp.ControlConnected());
    ftp.ChangeDirectory("/");
    ASSERT_TRUE(Complete("dirchanged"));
    EXPECT_TRUE(ftp.Success());
}

TEST_F(FtpTransferScripted, StoreThatCannotStartStillCompletes) {
    const std::string file = WriteFile("a.bin", "abc");
    const struct {
        const char* what;
        std::string local;
        std::string remote;
        const char* error;
    } rows[] = {
        {"no remote name", file, "", "error ftpeNoRemoteFile Error"},
        {"a line break in the remote name", file, "a\r\nDELE b", "error ftpeNoRemoteFile Error"},
        {"no local name", "", "a.bin", "error ftpeLocalFileOpen Error"},
        {"missing local file", file + ".missing", "a.bin", "error ftpeLocalFileOpen Error"},
        {"a folder", folder.path().toStdString(), "a.bin", "error ftpeLocalFileOpen Error"},
    };
    LogIn();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        rec.events.clear();
        ftp.LocalFile = row.local;
        ftp.RemoteFile = row.remote;
        ftp.StoreFile();
        ASSERT_TRUE(Complete("stored"));
        EXPECT_EQ(rec.events, (Events{row.error, "ready", "stored"}));
        EXPECT_FALSE(ftp.Success());
    }
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "SYST", "FEAT"}));
}

// Nothing was stored, so the completion must not say it was.
TEST_F(FtpTransferScripted, StoreWithoutAConnectionCompletesAsFailed) {
    ftp.LocalFile = WriteFile("a.bin", "abc");
    ftp.RemoteFile = "a.bin";
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    EXPECT_EQ(rec.events, (Events{"info ftpiNotConnected ", "ready", "stored"}));
    EXPECT_FALSE(ftp.Success());
}

// The server closes the data connection in the middle of the file: the store fails, the session
// goes on.
TEST_F(FtpTransferScripted, DataConnectionDroppedInTheMiddleOfAStore) {
    LogIn();
    const std::string bytes(64 << 20, 'z');
    ftp.LocalFile = WriteFile("big.bin", bytes);
    ftp.RemoteFile = "big.bin";
    ScriptStoreStart()
        .AwaitDataBytes(20000)
        .CloseData()
        .Until([&] { return rec.Saw("info ftpiTransferDone Transfer done"); })
        .Send("426 Connection closed; transfer aborted\r\n");
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "ready"), 1);
    const Events tail(rec.events.end() - 4, rec.events.end());
    EXPECT_EQ(tail, (Events{"info ftpiTransferDone Transfer done", "info ftpiCommandFailed ",
                            "ready", "stored"}));
    EXPECT_FALSE(ftp.Success());
    EXPECT_TRUE(ftp.ControlConnected());
    EXPECT_LT(ftp.BytesTransferred, static_cast<std::int64_t>(bytes.size()));
}

TEST_F(FtpTransferScripted, AbortSendsTelnetInterruptUrgentMarkAndAbor) {
    LogIn();
    const std::string bytes(8 << 20, 'q');
    ftp.LocalFile = WriteFile("big.bin", bytes);
    ftp.RemoteFile = "big.bin";
    std::string beforeAbort;
    // Abort runs from the server's script, inside the client's send loop, as the cancel button
    // would.
    ScriptStoreStart()
        .AwaitDataBytes(10000)
        .Do([&] {
            beforeAbort = server.Received();
            ftp.Abort();
            ftp.Abort(); // a second call adds nothing
        })
        .AwaitCommand()
        .Until([&] { return !server.Urgent().empty(); })
        .Send("426 Transfer aborted\r\n226 ABOR ok\r\n")
        .AwaitDataClosed();
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    ASSERT_TRUE(RunUntil([&] { return server.ScriptDone(); }));
    // The data mark's last byte travels as urgent data, outside the stream.
    EXPECT_EQ(server.Received().substr(beforeAbort.size()),
              std::string("\xff\xf4\xff") + "ABOR\r\n");
    EXPECT_EQ(server.Urgent(), "\xf2");
    EXPECT_EQ(Normalised(server.Commands()).back(), "\xff\xf4\xff"
                                                    "ABOR");
    EXPECT_FALSE(ftp.Success());
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "ready"), 1);
    const Events tail(rec.events.end() - 3, rec.events.end());
    EXPECT_EQ(tail, (Events{"info ftpiTransferDone Transfer done", "ready", "stored"}));
    EXPECT_TRUE(rec.Saw("sent ABOR\r\n"));
    EXPECT_LT(server.DataReceived().size(), bytes.size());
    EXPECT_TRUE(ftp.ControlConnected());
}

// The time-out covers replies outside a transfer only: a final reply that takes longer than
// TimeOutConnect after the data has gone still completes the store.
TEST_F(FtpTransferScripted, SlowFinalReplyOfAStoreIsNoTimeOut) {
    ftp.TimeOutConnect = 1;
    LogIn();
    const std::string bytes(100000, 's');
    ftp.LocalFile = WriteFile("s.bin", bytes);
    ftp.RemoteFile = "s.bin";
    QElapsedTimer clock;
    ScriptStoreStart()
        .AwaitDataClosed()
        .Do([&] { clock.start(); })
        .Until([&] { return clock.elapsed() > 1600; })
        .Send("226 Done at last\r\n");
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    EXPECT_TRUE(ftp.Success());
    EXPECT_FALSE(rec.Saw("error ftpeTimeOut Error"));
    EXPECT_EQ(server.DataReceived(), bytes);
}

// A read error in the middle of a store: ABOR, and the data connection closed at once, so that a
// server that waits for more data ends the transfer; the store completes (failed) on the replies.
TEST_F(FtpTransferScripted, LocalReadErrorAbortsAndClosesTheDataConnection) {
    LogIn();
    ftp.TransferMode = textSJIS;
    // A NUL byte is no text: the second block cannot be read as text.
    std::string text(5000, 'a');
    text[3000] = '\0';
    ftp.LocalFile = WriteFile("t.txt", text);
    ftp.RemoteFile = "t.txt";
    bool storedBeforeReplies = true;
    ScriptStoreStart()
        .AwaitCommand()
        .AwaitDataClosed()
        .Do([&] { storedBeforeReplies = rec.Saw("stored"); })
        .Send("426 Transfer aborted\r\n226 ABOR ok\r\n");
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    ASSERT_TRUE(server.ScriptDone());
    EXPECT_FALSE(storedBeforeReplies);
    EXPECT_EQ(Normalised(server.Commands()).back(), "\xff\xf4\xff"
                                                    "ABOR");
    EXPECT_EQ(server.DataReceived(), std::string(2047, 'a'));
    EXPECT_TRUE(rec.Saw("error ftpeLocalFileRead Error"));
    EXPECT_FALSE(rec.Saw("info ftpiTransferDone Transfer done"));
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "ready"), 1);
    EXPECT_EQ(rec.Last(), "stored");
    EXPECT_FALSE(ftp.Success());
    EXPECT_TRUE(ftp.ControlConnected());
}

// Servers answer an aborted transfer in different ways. Whatever the codes and their order, the
// operation completes only when the last of them is in, and the next command gets its own reply:
// here CWD, refused, must come out as refused. Replies are sent apart, so that a store completed
// too early would show.
TEST_F(FtpTransferScripted, RepliesAfterAborAreAllConsumedBeforeTheStoreCompletes) {
    const struct {
        const char* what;
        bool dataComplete;     // abort after the whole file went out
        bool replyBeforeAbort; // the server had answered STOR before the abort
        Lines afterAbor;
        const char* abortPhase;
    } rows[] = {
        {"426 then 226",
         false,
         false,
         {"426 Transfer aborted", "226 ABOR ok"},
         "AbortTransferReply"},
        {"226 then 225, data complete",
         true,
         false,
         {"226 Transfer complete", "225 No transfer to ABOR"},
         "AbortTransferReply"},
        {"226 then 226, data complete",
         true,
         false,
         {"226 Transfer complete", "226 Abort successful"},
         "AbortTransferReply"},
        {"225 alone, nothing had moved",
         false,
         false,
         {"225 ABOR command successful; data channel closed"},
         "AbortTransferReply"},
        {"226 alone, STOR answered before",
         false,
         true,
         {"226 Abort successful"},
         "AbortAborReply"},
        {"225 alone, STOR answered before",
         false,
         true,
         {"225 No transfer to ABOR"},
         "AbortAborReply"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = fake.Port();
        client.UserName = "anna";
        client.LocalFile = WriteFile("a.bin", std::string(row.dataComplete ? 3000 : 8 << 20, 'a'));
        client.RemoteFile = "a.bin";
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer(kSyst).Answer(kNoFeat);
        fake.Answer("200 Type set\r\n").Answer("200 PORT ok\r\n").Answer("150 Go ahead\r\n");
        if (row.replyBeforeAbort) {
            // Answered before any data moved: the data side has not ended when the abort comes.
            fake.Send("226 Transfer complete\r\n").Until([&] {
                return client.Phase() == TransferPhase::ReplyFirst;
            });
        } else if (row.dataComplete) {
            fake.ConnectData().AwaitDataClosed().Until(
                [&] { return client.Phase() == TransferPhase::DataFirst; });
        } else {
            fake.ConnectData().AwaitDataBytes(10000);
        }
        fake.Do([&] { client.Abort(); }).AwaitCommand();
        bool storedEarly = false;
        QElapsedTimer pause;
        for (const std::string& reply : row.afterAbor) {
            fake.Send(reply + "\r\n")
                .Do([&] { pause.start(); })
                .Until([&] { return r.Saw("stored") || pause.elapsed() > 150; })
                .Do([&] {
                    if (&reply != &row.afterAbor.back())
                        storedEarly = storedEarly || r.Saw("stored");
                });
        }
        fake.Answer("550 No such directory\r\n");
        client.OnFileStored = [&](TStarFtp& f) {
            r.events.push_back("stored");
            f.ChangeDirectory("/elsewhere");
        };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("dirchanged") || r.quits > 0; }, 20000));
        DrainPostedEvents();
        EXPECT_FALSE(storedEarly);
        EXPECT_TRUE(fake.ScriptDone());
        EXPECT_EQ(Normalised(fake.Commands()),
                  (Lines{"USER anna", "SYST", "FEAT", "TYPE I", "PORT <port>", "STOR a.bin",
                         "\xff\xf4\xff"
                         "ABOR",
                         "CWD /elsewhere"}));
        EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "stored"), 1);
        EXPECT_EQ(r.Last(), "dirchanged");
        EXPECT_FALSE(client.Success()); // the CWD's own refusal
        EXPECT_TRUE(client.ControlConnected());
        EXPECT_NE(std::find(r.phases.begin(), r.phases.end(), row.abortPhase), r.phases.end());
    }
}

// An aborted listing: its lines are partial, so it fails, and ABOR's replies are consumed first.
TEST_F(FtpTransferScripted, AbortedListingFailsAndStaysInStep) {
    LogIn();
    bool listedEarly = true;
    ScriptListingStart()
        .SendData("-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n")
        .Until([&] { return ftp.ListingLines.size() == 1; })
        .Do([&] { ftp.Abort(); })
        .AwaitCommand()
        .Send("426 Listing aborted\r\n")
        .Until([&] { return server.DataClosedByClient(); })
        .Do([&] { listedEarly = rec.Saw("listed"); })
        .Send("226 ABOR ok\r\n")
        .Answer("550 No such directory\r\n");
    ftp.OnListingDone = [&](TStarFtp& f) {
        rec.events.push_back("listed");
        EXPECT_FALSE(f.Success());
        f.ChangeDirectory("/elsewhere");
    };
    ftp.GetListing();
    ASSERT_TRUE(Complete("dirchanged"));
    EXPECT_FALSE(listedEarly);
    EXPECT_FALSE(ftp.Success());
    EXPECT_EQ(server.Commands().back(), "CWD /elsewhere");
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "listed"), 1);
}

// Cancel pressed while PWD and TYPE A, out together, are unanswered: PORT and LIST never go out,
// the listing completes, failed, at TYPE's reply, and the next command is answered by its own
// reply (a refusal here, which a reply taken out of step would hide).
TEST_F(FtpTransferScripted, AbortWhilePwdAndTypeAreOutSendsNoList) {
    LogIn();
    server.AwaitCommand()
        .AwaitCommand()
        .Do([&] { ftp.Abort(); })
        .Send("257 \"/pub\"\r\n")
        .Send("200 Type A\r\n")
        .Answer("550 No such directory\r\n");
    ftp.OnListingDone = [&](TStarFtp& f) {
        rec.events.push_back("listed");
        EXPECT_FALSE(f.Success());
        f.ChangeDirectory("/next");
    };
    ftp.GetListing();
    ASSERT_TRUE(Complete("dirchanged"));
    EXPECT_EQ(server.Commands(),
              (Lines{"USER anna", "SYST", "FEAT", "PWD", "TYPE A", "CWD /next"}));
    EXPECT_EQ(std::count(rec.events.begin(), rec.events.end(), "listed"), 1);
    EXPECT_FALSE(ftp.Success());
}

// Cancel pressed while TYPE is still unanswered: the server never hears of the transfer, and the
// store completes, failed, on TYPE's reply.
TEST_F(FtpTransferScripted, AbortBeforeStorSendsNoStor) {
    LogIn();
    ftp.LocalFile = WriteFile("a.bin", "abc");
    ftp.RemoteFile = "a.bin";
    server.AwaitCommand().Do([&] { ftp.Abort(); }).Send("200 Type set\r\n").Answer("250 ok\r\n");
    ftp.OnFileStored = [&](TStarFtp& f) {
        rec.events.push_back("stored");
        f.ChangeDirectory("/next");
    };
    ftp.StoreFile();
    ASSERT_TRUE(Complete("dirchanged"));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "SYST", "FEAT", "TYPE I", "CWD /next"}));
    EXPECT_EQ(rec.events, (Events{"sent TYPE I\r\n", "ready", "stored", "sent CWD /next\r\n",
                                  "ready", "dirchanged"}));
    EXPECT_TRUE(ftp.Success());
}

// Servers such as pyftpdlib connect as soon as they get PORT. Nothing may go out on that connection
// before STOR has been sent.
TEST_F(FtpTransferScripted, ConnectionBeforeStorWaitsForIt) {
    LogIn();
    const std::string bytes(300000, 'd');
    ftp.LocalFile = WriteFile("early.bin", bytes);
    ftp.RemoteFile = "early.bin";
    std::size_t beforeStor = 1;
    server.Answer("200 Type set\r\n")
        .AwaitCommand()
        .ConnectData()
        .Send("200 PORT ok\r\n")
        .AwaitCommand()
        .Do([&] { beforeStor = server.DataReceived().size(); })
        .Send("125 Data connection already open\r\n")
        .AwaitDataClosed()
        .Send("226 Done\r\n");
    ftp.StoreFile();
    ASSERT_TRUE(Complete("stored"));
    EXPECT_EQ(beforeStor, 0u);
    EXPECT_EQ(server.DataReceived(), bytes);
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(Normalised(server.Commands()),
              (Lines{"USER anna", "SYST", "FEAT", "TYPE I", "PORT <port>", "STOR early.bin"}));
}

TEST_F(FtpTransferScripted, ConnectionBeforeListIsTaken) {
    LogIn();
    server.Answer("257 \"/\"\r\n")
        .Answer("200 Type A\r\n")
        .AwaitCommand()
        .ConnectData()
        .Send("200 PORT ok\r\n")
        .AwaitCommand()
        .Send("125 Data connection already open\r\n")
        .SendData("-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n")
        .CloseData()
        .Send("226 Done\r\n");
    ftp.GetListing();
    ASSERT_TRUE(Complete("listed"));
    EXPECT_EQ(ftp.FileNames, (Lines{"x"}));
}

// No descriptor left for the listener: no PORT goes out, the transfer fails as a data connection.
TEST_F(FtpTransferScripted, ListenerThatCannotBeCreatedFailsTheTransfer) {
    LogIn();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const auto exhaust = [&] {
        const int lowest = ::dup(0);
        ::close(lowest);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(lowest);
        setrlimit(RLIMIT_NOFILE, &tight);
    };
    server.Answer("257 \"/\"\r\n").AwaitCommand().Do(exhaust).Send("200 Type A\r\n");
    ftp.GetListing();
    const bool quit = RunUntil([&] { return rec.quits == 1; });
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(quit);
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"sent PWD\r\n", "sent TYPE A\r\n",
                                  "error ftpeDataConnection Error", "quit"}));
    EXPECT_EQ(server.Commands().back(), "TYPE A");
}

// A failed accept of the data connection ends the session with a data connection error.
TEST_F(FtpTransferScripted, FailedAcceptIsADataConnectionError) {
    LogIn();
    ScriptListingStart();
    FailNextSocketCalls(TSocketCall::Accept, ECONNABORTED);
    ftp.GetListing();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_TRUE(rec.Saw("error ftpeDataConnection Error"));
    EXPECT_FALSE(rec.Saw("listed"));
}

} // namespace
