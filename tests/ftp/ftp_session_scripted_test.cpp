// The session around the operations against a scripted server: FEAT, EndSession, a new Login on
// the same component, replies split inside a character, and how a command goes out.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "fakeftpserver.h"
#include "loopback.h"
#include "scriptedclient.h"
#include "socketfaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

FakeFtpServer& ScriptLogin(FakeFtpServer& fake, const std::string& feat = kNoFeat) {
    return fake.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(feat);
}

// FEAT once after SYST, before the login's CWD; a refusal is no error, only no features.
TEST(FtpSessionScripted, FeatFollowsSystAndItsLinesBecomeFeatures) {
    const struct {
        const char* what;
        std::string reply;
        Lines features;
    } rows[] = {
        {"listed",
         "211-Features:\r\n SIZE\r\n MDTM\r\n UTF8\r\n REST STREAM\r\n size\r\n211 End\r\n",
         {"SIZE", "MDTM", "UTF8", "REST", "SIZE"}},
        {"lines without the leading space are no features",
         "211-Extensions supported:\r\nSIZE\r\n MLST type*;size*;\r\n211 END\r\n",
         {"MLST"}},
        {"none", "211 No features\r\n", {}},
        {"refused", "500 FEAT not understood\r\n", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        ScriptLogin(fake, row.reply).Answer("250 CWD ok\r\n");
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.InitialDirectory = "/pub";
        client.Features = {"STALE"}; // from an earlier session
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin") || r.quits > 0; }));
        EXPECT_EQ(fake.Commands(), (Lines{"USER anna", "SYST", "FEAT", "CWD /pub"}));
        EXPECT_EQ(client.Features, row.features);
        EXPECT_EQ(client.HasFeature("SIZE"), row.features.size() > 0 && row.features[0] == "SIZE");
        EXPECT_FALSE(r.Saw("info ftpiCommandFailed "));
        EXPECT_EQ(client.LastReply(), "250 CWD ok");
        EXPECT_TRUE(client.Success());
    }
}

// EndSession in every phase: OnFtpQuit exactly once, within the grace time; QUIT when the control
// connection is up; no completion event and no error for what was given up. It is called where an
// owner would: from the test, a completion event, or (during a store) inside the send loop.
TEST(FtpSessionScripted, EndSessionEndsEveryPhaseWithOneQuit) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::string big = folder.filePath("big.bin").toStdString();
    std::ofstream(big, std::ios::binary) << std::string(16 << 20, 'e');
    StalledListener stalled;
    ASSERT_TRUE(stalled.Ready());
    using EndNow = std::function<void()>;
    const auto storeBig = [&](FakeFtpServer& s, TStarFtp& f, const EndNow& end) -> FakeFtpServer& {
        f.LocalFile = big;
        f.RemoteFile = "big.bin";
        f.OnLoggedIn = [](TStarFtp& c) { c.StoreFile(); };
        f.Login();
        return ScriptLogin(s)
            .Answer("200 Type set\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Go ahead\r\n")
            .ConnectData()
            .AwaitDataBytes(20000)
            .Do(end);
    };
    const std::string abor = "\xff\xf4\xff"
                             "ABOR";

    const struct {
        const char* what;
        std::function<void(FakeFtpServer&, TStarFtp&, const EndNow&)> setUp;
        int graceMs;
        Lines tail;   // the last commands the server got
        bool byGrace; // the grace time ends it (the server stays silent)
    } rows[] = {
        {"never logged in",
         [](FakeFtpServer&, TStarFtp&, const EndNow& end) { end(); },
         1000,
         {},
         false},
        {"connecting",
         [&](FakeFtpServer&, TStarFtp& f, const EndNow& end) {
             f.FtpPort = stalled.Port();
             f.TimeOutConnect = 30;
             f.Login();
             end();
         },
         1000,
         {},
         false},
        {"logging in, the server silent",
         [](FakeFtpServer& s, TStarFtp& f, const EndNow& end) {
             s.Send("220 ready\r\n").AwaitCommand().Do(end);
             f.Login();
         },
         500,
         {"USER anna", "QUIT"},
         true},
        {"idle, from OnLoggedIn",
         [](FakeFtpServer& s, TStarFtp& f, const EndNow& end) {
             ScriptLogin(s).Answer("221 Goodbye\r\n").Close();
             f.OnLoggedIn = [end](TStarFtp&) { end(); };
             f.Login();
         },
         1000,
         {"FEAT", "QUIT"},
         false},
        {"storing under a temporary name: aborted, deleted, then QUIT",
         [&](FakeFtpServer& s, TStarFtp& f, const EndNow& end) {
             f.UseTempName = true;
             storeBig(s, f, end)
                 .AwaitCommand()
                 .Send("426 Transfer aborted\r\n226 ABOR ok\r\n")
                 .Answer("250 Deleted\r\n")
                 .Answer("221 Goodbye\r\n")
                 .Close();
         },
         1000,
         {"STOR .wendup-big.bin", abor, "DELE .wendup-big.bin", "QUIT"},
         false},
        {"a temporary file complete, SIZE unanswered: DELE and QUIT at once",
         [&](FakeFtpServer& s, TStarFtp& f, const EndNow& end) {
             ScriptLogin(s, "211-Features:\r\n SIZE\r\n211 End\r\n")
                 .Answer("200 Type set\r\n")
                 .Answer("200 PORT ok\r\n")
                 .Answer("150 Go ahead\r\n")
                 .ConnectData()
                 .AwaitDataClosed()
                 .Send("226 Transfer complete\r\n")
                 .AwaitCommand()
                 .Do(end)
                 .AwaitCommand()
                 .AwaitCommand()
                 .Send("213 16777216\r\n250 Deleted\r\n221 Goodbye\r\n")
                 .Close();
             f.LocalFile = big;
             f.RemoteFile = "big.bin";
             f.UseTempName = true;
             f.OnLoggedIn = [](TStarFtp& c) { c.StoreFile(); };
             f.Login();
         },
         1000,
         {"SIZE .wendup-big.bin", "DELE .wendup-big.bin", "QUIT"},
         false},
        {"storing, the server silent from then on",
         [&](FakeFtpServer& s, TStarFtp& f, const EndNow& end) { storeBig(s, f, end); },
         700,
         {"STOR big.bin", abor},
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        QElapsedTimer clock;
        bool busy = false;
        const EndNow end = [&] {
            ASSERT_FALSE(clock.isValid());
            r.events.clear();
            r.readies = 0;
            clock.start();
            client.EndSession(row.graceMs);
            busy = client.Busy();
            client.ChangeDirectory("/refused"); // busy: nothing goes out
        };
        row.setUp(fake, client, end);
        ASSERT_TRUE(RunUntil([&] { return r.quits > 0; }, 10000));
        const qint64 took = clock.elapsed();
        EXPECT_TRUE(busy);
        EXPECT_LT(took, row.graceMs + 300);
        if (row.byGrace) {
            EXPECT_GE(took, row.graceMs - 50);
        }
        // Nothing else may follow, not even a second quit from the close.
        RunUntil([] { return false; }, 300);
        DrainPostedEvents();
        EXPECT_EQ(r.quits, 1);
        EXPECT_EQ(r.readies, 0);
        for (const std::string& e : r.events) {
            EXPECT_NE(e.rfind("error ", 0), 0u) << e;
            EXPECT_NE(e, "stored");
            EXPECT_NE(e, "sent CWD /refused\r\n");
        }
        EXPECT_EQ(client.Socket(), -1);
        EXPECT_FALSE(client.ControlConnected());
        EXPECT_FALSE(client.Busy());
        const Lines& got = fake.Commands();
        ASSERT_GE(got.size(), row.tail.size());
        EXPECT_EQ(Lines(got.end() - static_cast<long>(row.tail.size()), got.end()), row.tail);
    }
}

// A second Login on the same component after the session ended in any way works like the first:
// here from inside OnFtpQuit, as the owner reconnects, to a second server. The second quit that a
// socket error posts belongs to the ended session and does not end the new one.
TEST(FtpSessionScripted, LoginAgainAfterTheSessionEnded) {
    const struct {
        const char* what;
        std::function<void(FakeFtpServer&, TStarFtp&)> end;
    } rows[] = {
        {"after a socket error",
         [](FakeFtpServer& s, TStarFtp&) {
             s.Send("220 ready\r\n").Answer("331 pw\r\n");
             FailNextSocketCalls(TSocketCall::Recv, ECONNRESET);
         }},
        {"after the server closed the connection",
         [](FakeFtpServer& s, TStarFtp&) {
             ScriptLogin(s, "211-Features:\r\n SIZE\r\n211 End\r\n").Close();
         }},
        {"after Quit",
         [](FakeFtpServer& s, TStarFtp& f) {
             ScriptLogin(s, "211-Features:\r\n SIZE\r\n211 End\r\n")
                 .Answer("221 Goodbye\r\n")
                 .Close();
             f.OnLoggedIn = [](TStarFtp& c) { c.Quit(); };
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer first, second;
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, first);
        row.end(first, client);
        ScriptLogin(second).Answer("250 ok\r\n");
        int quits = 0;
        client.OnFtpQuit = [&](TStarFtp& f) {
            r.events.push_back("quit");
            if (++quits > 1) return;
            ClearSocketFaults();
            f.FtpPort = second.Port();
            f.OnLoggedIn = [](TStarFtp& c) { c.ChangeDirectory("/again"); };
            f.Login();
        };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("dirchanged") || quits > 1; }));
        RunUntil([] { return false; }, 200);
        DrainPostedEvents();
        ClearSocketFaults();
        EXPECT_EQ(quits, 1);
        EXPECT_TRUE(client.Success());
        EXPECT_TRUE(client.ControlConnected());
        EXPECT_FALSE(client.Busy());
        EXPECT_TRUE(client.Features.empty()); // the second server has none
        EXPECT_EQ(client.LastReply(), "250 ok");
        EXPECT_EQ(second.Commands(), (Lines{"USER anna", "SYST", "FEAT", "CWD /again"}));
    }
}

// A reply is split into lines on its bytes, and each line is converted once whole: a character of
// the JIS or EUC code that arrives in two reads stays one character.
TEST(FtpSessionScripted, ReplySplitInsideACharacterKeepsTheDirectory) {
    const struct {
        const char* what;
        TTransferType mode;
        std::string first, second; // the PWD reply in two reads; 亜 is Shift_JIS 889F
    } rows[] = {
        {"EUC", textEUC, "257 \"/\xb0", "\xa1\" is the current directory\r\n"},
        {"JIS, inside the character", textJIS, "257 \"/\x1b$B0", "!\x1b(B\" is current\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Aim(client, fake);
        client.TransferMode = row.mode;
        ScriptLogin(fake)
            .AwaitCommand()
            .Send(row.first)
            .Until([&] {
                return std::any_of(r.received.begin(), r.received.end(), [](const std::string& t) {
                    return t.find("257") != std::string::npos;
                });
            })
            .Send(row.second)
            .Answer("200 Type A\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Here it comes\r\n")
            .ConnectData()
            .CloseData()
            .Send("226 Done\r\n");
        client.OnLoggedIn = [](TStarFtp& f) { f.GetListing(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("listed") || r.quits > 0; }));
        EXPECT_EQ(client.InitialDirectory, "/\x88\x9f");
        EXPECT_EQ(client.LastReply(), "226 Done");
        EXPECT_TRUE(client.Success());
    }
}

// A command that the socket takes at once runs no handler on its way: an event posted before it
// is still waiting afterwards. One the socket cannot take at once still goes out whole.
TEST(FtpSessionScripted, CommandsGoOutWithoutRunningTheEventQueue) {
    FakeFtpServer fake;
    TStarFtp client;
    FtpRecorder r(client);
    Aim(client, fake);
    const std::string huge = "/" + std::string(8 << 20, 'd');
    ScriptLogin(fake).Answer("250 ok\r\n").Answer("250 ok\r\n");
    client.Login();
    ASSERT_TRUE(RunUntil([&] { return r.Saw("loggedin"); }));

    bool ran = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    client.ChangeDirectory("/short");
    EXPECT_FALSE(ran);
    ASSERT_TRUE(RunUntil([&] { return r.Saw("dirchanged"); }));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(client.Success());

    r.events.clear();
    client.ChangeDirectory(huge);
    ASSERT_TRUE(RunUntil([&] { return r.Saw("dirchanged") || r.quits > 0; }, 20000));
    EXPECT_TRUE(client.Success());
    ASSERT_EQ(fake.Commands().size(), 5u);
    EXPECT_TRUE(fake.Commands().back() == "CWD " + huge);
}

} // namespace
