// The control session against a scripted server, for replies and failures a real server does not
// produce on demand.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "fakeftpserver.h"
#include "loopback.h"
#include "scriptedclient.h"
#include "socketfaults.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

class FtpScripted : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server.Listening());
        Aim(ftp, server);
    }
    void TearDown() override { ClearSocketFaults(); }

    bool WaitFor(const std::string& event, int timeoutMs = 5000) {
        return RunUntil([&] { return rec.Saw(event); }, timeoutMs);
    }
    // The usual login up to the SYST reply.
    FakeFtpServer& ScriptLogin() {
        return server.Send("220 ready\r\n")
            .Answer("331 pw\r\n")
            .Answer("230 ok\r\n")
            .Answer("215 UNIX Type: L8\r\n")
            .Answer(kNoFeat);
    }

    FakeFtpServer server;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
};

// Multi-line replies: only the final line of the open code counts, whatever comes in between.
TEST_F(FtpScripted, MultiLineGreetingsGiveOneUser) {
    const std::string greetings[] = {
        "220-Welcome\r\n220-to the test\r\n220 ready\r\n",
        "220-Welcome\r\n230-not a login\r\n230 still not a login\r\n220 ready\r\n",
        "220-Welcome\r\n220\r\n 220 indented\r\n220 ready\r\n",
    };
    for (const std::string& greeting : greetings) {
        SCOPED_TRACE(greeting);
        FakeFtpServer fake;
        fake.Send(greeting)
            .Answer("331 pw\r\n")
            .Answer("230 ok\r\n")
            .Answer("215 UNIX\r\n")
            .Answer(kNoFeat);
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin"); }));
        EXPECT_EQ(fake.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT"}));
    }
}

TEST_F(FtpScripted, UserAnsweredWith230SkipsThePassword) {
    server.Send("220 ready\r\n")
        .Answer("230 no password needed\r\n")
        .Answer("215 UNIX\r\n")
        .Answer(kNoFeat);
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "SYST", "FEAT"}));
}

TEST_F(FtpScripted, MissingValuesAreAskedForAndAnAccountIsSent) {
    ftp.UserName = "";
    ftp.UserPassword = "";
    rec.answers = {"", "bob", "pw2", "acct"};
    server.Send("220 ready\r\n")
        .Answer("331 pw\r\n")
        .Answer("332 account\r\n")
        .Answer("230 ok\r\n")
        .Answer("215 UNIX\r\n")
        .Answer(kNoFeat);
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Commands(), (Lines{"USER bob", "PASS pw2", "ACCT acct", "SYST", "FEAT"}));
    EXPECT_EQ(rec.events,
              (Events{"info ftpiConnected 127.0.0.1", "need 1", "sent USER bob\r\n", "need 2",
                      "sent PASS pw2\r\n", "need 3", "sent ACCT acct\r\n", "sent SYST\r\n",
                      "sent FEAT\r\n", "info ftpiLoggedIn Logged in", "ready", "loggedin"}));
}

TEST_F(FtpScripted, RefusedAccountEndsWithTheComponentsQuit) {
    ftp.UserAccount = "acct";
    server.Send("220 ready\r\n")
        .Answer("331 pw\r\n")
        .Answer("332 account\r\n")
        .Answer("530 no such account\r\n")
        .Answer("221 bye\r\n")
        .Close();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "PASS pw", "ACCT acct", "QUIT"}));
    EXPECT_TRUE(rec.Saw("error ftpeLoginRefused Error"));
}

TEST_F(FtpScripted, SystReplySetsTheServerType) {
    const struct {
        const char* reply;
        TFTPServerType type;
    } rows[] = {
        {"215 UNIX Type: L8", ftpstUNIX},
        {"215 unix type: l8", ftpstUNIX},
        {"215 VMS MultiNet V4.4", ftpstVmsMultinet},
        {"215 VMS", ftpstVmsUcx},
        {"215 VM/CMS Level 12", ftpstVM},
        {"215 VM/VPS", ftpstVMVPS},
        {"215 MVS is the operating system of this server", ftpstMVS},
        {"215 UNIX emulated by NCSA", ftpstNCSA}, // the later word wins
        {"215 Windows_NT", ftpstDefault},
        {"500 SYST not understood", ftpstDefault},
        {"502 UNIX but refused", ftpstDefault}, // a refusal says nothing about the system
        {"215", ftpstDefault},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        FakeFtpServer fake;
        fake.Send("220 ready\r\n")
            .Answer("230 ok\r\n")
            .Answer(std::string(row.reply) + "\r\n")
            .Answer(kNoFeat);
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.ServerType = ftpstChameleon; // replaced at login
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin"); }));
        EXPECT_EQ(client.ServerType, row.type);
    }
}

// A 421 greeting ends the session once, even when more text follows in the same read.
TEST_F(FtpScripted, GreetingOtherThan2xxIsFatal) {
    server.Send("421 Too many users\r\n421 Still too many\r\n");
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events,
              (Events{"info ftpiConnected 127.0.0.1", "error ftpeServerNotReady Error", "quit"}));
    EXPECT_EQ(ftp.ErrorCode(), ftpeServerNotReady);
    EXPECT_FALSE(ftp.Success());
    EXPECT_FALSE(ftp.ControlConnected());
    EXPECT_EQ(ftp.Socket(), -1);
    EXPECT_TRUE(server.Commands().empty());
}

TEST_F(FtpScripted, RepliesSentOneByteAtATimeAreAssembled) {
    server.SendBytewise("220-split\r\n220 greeting\r\n")
        .AwaitCommand()
        .SendBytewise("331 pw\r\n")
        .AwaitCommand()
        .SendBytewise("230 ok\r\n")
        .AwaitCommand()
        .SendBytewise("215 UNIX\r\n")
        .AwaitCommand()
        .SendBytewise("211-Features:\r\n SIZE\r\n211 End\r\n");
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT"}));
    EXPECT_EQ(ftp.ServerType, ftpstUNIX);
    const auto reads = std::count_if(rec.received.begin(), rec.received.end(),
                                     [](const std::string& r) { return !r.empty(); });
    EXPECT_GT(reads, 4);
}

TEST_F(FtpScripted, ALineWithoutEndIsCutOffPastItsBound) {
    server.Send(std::string(TStarFtp::MaxReplyLine + 4096, 'x'));
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"info ftpiConnected 127.0.0.1",
                                  "error ftpeConnectionAborted Error", "quit"}));
    EXPECT_EQ(ftp.Socket(), -1);
    EXPECT_TRUE(server.Commands().empty());
    ASSERT_TRUE(RunUntil([&] { return server.ClientClosed(); }));
}

TEST_F(FtpScripted, ALongLineWithinTheBoundIsAReply) {
    server.Send("220 " + std::string(TStarFtp::MaxReplyLine - 100, 'x') + "\r\n")
        .Answer("230 ok\r\n")
        .Answer("215 UNIX\r\n")
        .Answer(kNoFeat);
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "SYST", "FEAT"}));
}

TEST_F(FtpScripted, RefusedConnectionGivesErrorTwelveAndTwoQuits) {
    ftp.FtpPort = RefusingLoopbackPort();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 2; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events,
              (Events{"error ftpeConnectionRefused Connection Refused", "quit", "quit"}));
    EXPECT_EQ(ftp.ErrorCode(), ftpeConnectionRefused);
}

TEST_F(FtpScripted, FailedLookupIsAnAddressResolutionError) {
    ftp.SetFtpServer("bad..name"); // refused by the resolver without asking any name server
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 2; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events,
              (Events{"info ftpiResolving bad..name",
                      "error ftpeAddressResolution Address resolution error", "quit", "quit"}));
}

TEST_F(FtpScripted, HostNameIsResolvedThenConnected) {
    ftp.SetFtpServer("localhost");
    ScriptLogin();
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(rec.events.at(0), "info ftpiResolving localhost");
    EXPECT_EQ(rec.events.at(1), "info ftpiResolved 127.0.0.1");
    EXPECT_EQ(rec.events.at(2), "info ftpiConnected 127.0.0.1");
    EXPECT_EQ(ftp.ServerAddress, "127.0.0.1");
}

TEST_F(FtpScripted, ServerTextStartingWithADigitIsNeverLookedUp) {
    ftp.SetFtpServer("1nvalid.example");
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 2; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events,
              (Events{"error ftpeAddressNotAvailable Address not available", "quit", "quit"}));
}

TEST_F(FtpScripted, ConnectTimesOut) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.Ready());
    ftp.FtpPort = stalled.Port();
    ftp.TimeOutConnect = 1;
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }, 10000));
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"error ftpeTimeOut Error", "quit"}));
    EXPECT_EQ(ftp.Socket(), -1);
}

TEST_F(FtpScripted, MissingServerIsAskedForThenRefused) {
    ftp.SetFtpServer("");
    ftp.Login();
    EXPECT_EQ(rec.events, (Events{"need 0", "error ftpeNoServer Error"}));
    EXPECT_EQ(ftp.Socket(), -1);

    rec.events.clear();
    rec.answers[0] = "127.0.0.1";
    ScriptLogin();
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(rec.events.at(0), "need 0");
    EXPECT_EQ(ftp.FtpServer(), "127.0.0.1");
}

// Calls refused as busy leave the running operation (here QUIT) alone: it completes with no
// directory event.
TEST_F(FtpScripted, BusyRefusalLeavesThePendingEventAlone) {
    ScriptLogin().Answer("221 bye\r\n").Close();
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    rec.events.clear();

    ftp.Quit();
    ftp.ChangeDirectory("/elsewhere");
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"sent QUIT\r\n", "info ftpiBusy ", "info ftpiBusy ",
                                  "info ftpiNotConnected Disconnected", "ready", "quit"}));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT", "QUIT"}));
}

TEST_F(FtpScripted, OperationsWithoutAConnectionOnlySaySo) {
    ftp.Quit();
    ftp.ChangeDirectory("/x");
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"info ftpiNotConnected ", "info ftpiNotConnected "}));
}

TEST_F(FtpScripted, ServerClosingTheConnectionEndsTheSession) {
    ScriptLogin().Close();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    const Events tail(rec.events.end() - 3, rec.events.end());
    EXPECT_EQ(tail, (Events{"info ftpiNotConnected Disconnected", "ready", "quit"}));
    EXPECT_FALSE(ftp.ControlConnected());
    EXPECT_EQ(ftp.Socket(), -1);
}

TEST_F(FtpScripted, RefusedQuitIsFatalErrorZero) {
    ScriptLogin().Answer("500 not now\r\n");
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    rec.events.clear();
    ftp.Quit();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"sent QUIT\r\n", "error ftpeNoError Error", "quit"}));
}

// Servers that wait for CR LF never answer a bare LF: the EUC code changes the text, not the line
// end.
TEST_F(FtpScripted, EucModeEncodesCommandsEndsThemWithCrLfAndDecodesReplies) {
    ftp.TransferMode = textEUC;
    ftp.UserPassword = "\x88\x9f"; // Shift_JIS 889F is EUC B0A1
    server.Send("220 ready\r\n")
        .Answer("331 pw\r\n")
        .Answer("230 \xb0\xa1\r\n")
        .Answer("215 UNIX\r\n")
        .Answer(kNoFeat);
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Received(), "USER anna\r\nPASS \xb0\xa1\r\nSYST\r\nFEAT\r\n");
    EXPECT_TRUE(rec.Saw("sent USER anna\r\n"));
    // EUC B0A1 is Shift_JIS 889F.
    EXPECT_NE(std::find(rec.received.begin(), rec.received.end(), "230 \x88\x9f\r\n"),
              rec.received.end());
}

TEST_F(FtpScripted, JisModeSendsJisAndKeepsCrLf) {
    ftp.TransferMode = textJIS;
    ftp.UserPassword = "\x88\x9f"; // one kanji in Shift_JIS
    ScriptLogin();
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Received(), "USER anna\r\nPASS \x1b$B0!\x1b(J\r\nSYST\r\nFEAT\r\n");
}

// CR or LF in an argument would carry a second command: nothing of it is sent, and the step
// fails the way a refusal of that command fails.
TEST_F(FtpScripted, LineBreaksInLoginArgumentsAreNeverSent) {
    const struct {
        const char* name;
        std::string user, password, account, directory;
        Lines replies; // to the commands that do come
        Lines commands;
        const char* outcome;
        const char* notice;
    } rows[] = {
        {"user",
         "anna\r\nDELE x",
         "pw",
         "",
         "",
         {"221 bye"},
         {"QUIT"},
         "error ftpeLoginRefused Error",
         "sent QUIT\r\n"},
        {"password",
         "anna",
         "pw\nDELE x",
         "",
         "",
         {"331 pw", "221 bye"},
         {"USER anna", "QUIT"},
         "error ftpeLoginRefused Error",
         "sent QUIT\r\n"},
        {"account",
         "anna",
         "pw",
         "a\rDELE x",
         "",
         {"331 pw", "332 account", "221 bye"},
         {"USER anna", "PASS pw", "QUIT"},
         "error ftpeLoginRefused Error",
         "sent QUIT\r\n"},
        {"directory",
         "anna",
         "pw",
         "",
         "/in\r\nDELE x",
         {"331 pw", "230 ok", "215 UNIX", "500 no FEAT"},
         {"USER anna", "PASS pw", "SYST", "FEAT"},
         "loggedin",
         "info ftpiCommandFailed "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeFtpServer fake;
        fake.Send("220 ready\r\n");
        for (const std::string& reply : row.replies)
            fake.Answer(reply + "\r\n");
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.UserName = row.user;
        client.UserPassword = row.password;
        client.UserAccount = row.account;
        client.InitialDirectory = row.directory;
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw(row.outcome) && fake.ScriptDone(); }));
        DrainPostedEvents();
        EXPECT_EQ(fake.Commands(), row.commands);
        EXPECT_TRUE(r.Saw(row.notice));
        for (const std::string& e : r.events)
            EXPECT_EQ(e.find("DELE"), std::string::npos) << e;
    }
}

TEST_F(FtpScripted, LineBreakInChangeDirectoryFailsTheChange) {
    ScriptLogin();
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    rec.events.clear();
    ftp.ChangeDirectory("/a\r\nDELE b");
    ASSERT_TRUE(WaitFor("dirchanged"));
    EXPECT_EQ(rec.events, (Events{"info ftpiCommandFailed ", "ready", "dirchanged"}));
    EXPECT_FALSE(ftp.Success());
    EXPECT_FALSE(ftp.Busy());
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT"}));
}

// Socket failures anywhere close the session: the mapped error, then two quit notifications.
TEST_F(FtpScripted, SocketFailuresAreMappedAndEndTheSession) {
    const struct {
        TSocketCall call;
        int posixErrno;
        const char* error;
    } rows[] = {
        {TSocketCall::Connect, ENETUNREACH, "error ftpeNetworkUnreachable Network unreachable"},
        {TSocketCall::Connect, EHOSTUNREACH, "error ftpeHostUnreachable Host Unreachable"},
        {TSocketCall::Recv, ECONNRESET,
         "error ftpeConnectionReset Connection reset by remote side"},
        {TSocketCall::Recv, ETIMEDOUT, "error ftpeTimeOut timeout"},
        {TSocketCall::Send, EPIPE, "error ftpeConnectionReset Connection reset by remote side"},
        {TSocketCall::Send, ENOBUFS, "error ftpeGeneralWinsock General Winsock Error"},
        {TSocketCall::Send, EPERM, "error ftpeUnknown Unknown Error"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.error);
        FakeFtpServer fake;
        fake.Send("220 ready\r\n").Answer("331 pw\r\n");
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        FailNextSocketCalls(row.call, row.posixErrno);
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.quits == 2; }));
        DrainPostedEvents();
        ClearSocketFaults();
        EXPECT_TRUE(r.Saw(row.error));
        EXPECT_EQ(r.Last(), "quit");
        EXPECT_EQ(r.quits, 2);
        EXPECT_EQ(client.Socket(), -1);
        // Shut down for good: no command goes out any more.
        client.Quit();
        client.ChangeDirectory("/x");
        EXPECT_EQ(r.Last(), "info ftpiNotConnected ");
    }
}

// Some servers end their replies with LF alone; a CR before the LF is still removed.
TEST_F(FtpScripted, RepliesEndedByBareLfAreUnderstood) {
    const std::string scripts[][5] = {
        {"220 ready\n", "331 pw\n", "230 ok\n", "215 UNIX Type: L8\n", "500 no\n"},
        {"220-Welcome\n220 ready\r\n", "331 pw\r\n", "230-a\n230 ok\n", "215 UNIX\n",
         "211-Features:\n MDTM\n211 End\n"},
    };
    for (const auto& replies : scripts) {
        SCOPED_TRACE(replies[0]);
        FakeFtpServer fake;
        fake.Send(replies[0])
            .Answer(replies[1])
            .Answer(replies[2])
            .Answer(replies[3])
            .Answer(replies[4]);
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin") || r.quits > 0; }));
        EXPECT_EQ(fake.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT"}));
        EXPECT_EQ(client.ServerType, ftpstUNIX);
    }
}

// A NUL is a byte of a line like any other: it neither cuts the rest of a read nor, at the start
// of a read, looks like the connection's end.
TEST_F(FtpScripted, NulBytesInRepliesCostNoLine) {
    const std::string nulInside("220-wel\0come\r\n220 ready\r\n", 25);
    const std::string nulFirst("\0 still greeting\r\n220 ready\r\n", 29);
    server.Send("220-first\r\n")
        .Until([&] { return !rec.received.empty(); })
        .Send(nulFirst)
        .Answer("331 pw\r\n")
        .Answer("230 ok\r\n")
        .Answer("215 UNIX\r\n")
        .Answer(kNoFeat);
    ftp.Login();
    ASSERT_TRUE(WaitFor("loggedin"));
    EXPECT_EQ(server.Commands(), (Lines{"USER anna", "PASS pw", "SYST", "FEAT"}));
    EXPECT_NE(std::find(rec.received.begin(), rec.received.end(), nulFirst), rec.received.end());

    FakeFtpServer fake;
    fake.Send(nulInside).Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(kNoFeat);
    TStarFtp client;
    FtpRecorder r(client);
    Aim(client, fake);
    client.Login();
    ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin") || r.quits > 0; }));
    EXPECT_EQ(fake.Commands(), (Lines{"USER anna", "SYST", "FEAT"}));
}

// A server that stops answering ends the session with the time-out error after TimeOutConnect
// seconds, wherever it stops outside a transfer; a partial line is no answer.
TEST_F(FtpScripted, SilentServerTimesOut) {
    const struct {
        const char* what;
        std::function<void(FakeFtpServer&)> script;
        bool changeDirectory; // the silence follows a CWD of ChangeDirectory
    } rows[] = {
        {"no greeting", [](FakeFtpServer&) {}, false},
        {"half a greeting", [](FakeFtpServer& f) { f.Send("220 rea"); }, false},
        {"no reply to PASS", [](FakeFtpServer& f) { f.Send("220 ready\r\n").Answer("331 pw\r\n"); },
         false},
        {"no reply to CWD",
         [](FakeFtpServer& f) {
             f.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(kNoFeat);
         },
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        row.script(fake);
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.TimeOutConnect = 1;
        if (row.changeDirectory)
            client.OnLoggedIn = [](TStarFtp& f) { f.ChangeDirectory("/slow"); };
        QElapsedTimer clock;
        clock.start();
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.quits > 0; }, 10000));
        DrainPostedEvents();
        EXPECT_GE(clock.elapsed(), 900);
        EXPECT_TRUE(r.Saw("error ftpeTimeOut Error"));
        EXPECT_FALSE(client.Success());
        EXPECT_EQ(client.Socket(), -1);
    }
}

// The control connection closes in the middle of an operation: it completes, and not as a success.
TEST_F(FtpScripted, OperationCutOffByTheServersCloseFails) {
    // The login CWD.
    ftp.InitialDirectory = "/pub";
    ScriptLogin().AwaitCommand().Close();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits > 0; }));
    DrainPostedEvents();
    EXPECT_EQ(server.Commands().back(), "CWD /pub");
    EXPECT_TRUE(rec.Saw("loggedin"));
    EXPECT_FALSE(ftp.Success());

    // A listing whose data has begun.
    FakeFtpServer fake;
    TStarFtp client;
    FtpRecorder r(client);
    Aim(client, fake);
    fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(kNoFeat);
    fake.Answer("257 \"/\"\r\n").Answer("200 ok\r\n").Answer("200 ok\r\n").Answer("150 go\r\n");
    fake.ConnectData()
        .SendData("-rw-r--r-- 1 a b 1 Jan 5 12:34 x\r\n")
        .Until([&] { return client.ListingLines.size() == 1; })
        .Close();
    client.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
    client.Login();
    ASSERT_TRUE(RunUntil([&] { return r.quits > 0; }));
    DrainPostedEvents();
    EXPECT_TRUE(r.Saw("listed"));
    EXPECT_FALSE(client.Success());
    EXPECT_EQ(client.Phase(), TransferPhase::None);
}

} // namespace
