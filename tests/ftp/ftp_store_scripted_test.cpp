// What follows a store's transfer against a scripted server: the size check, the rename of the
// temporary name and its fall-backs, ABOR left unanswered, and calls refused while a store runs.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "fakeftpserver.h"
#include "scriptedclient.h"
#include "socketfaults.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <regex>

using Events = std::vector<std::string>;
using Lines = std::vector<std::string>;

namespace {

const std::string kSizeFeat = "211-Features:\r\n SIZE\r\n MDTM\r\n211 End\r\n";
const std::string kTemp = "/up/.wendup-a.bin";

Lines Normalised(Lines commands) {
    const std::regex port(R"(PORT 127,0,0,1,\d{1,3},\d{1,3})");
    for (std::string& c : commands)
        if (std::regex_match(c, port)) c = "PORT";
    return commands;
}

// True when `wanted` occurs in `events` in this order, other events in between.
bool InOrder(const Events& events, const Events& wanted) {
    auto at = events.begin();
    for (const std::string& w : wanted) {
        at = std::find(at, events.end(), w);
        if (at == events.end()) return false;
        ++at;
    }
    return true;
}

// TYPE (unless the connection is in that type already), PORT and STOR accepted, the file taken
// whole, then `final` as STOR's final reply.
void Transfer(FakeFtpServer& s, const std::string& final = "226 Transfer complete\r\n",
              bool typeSent = true) {
    if (typeSent) s.Answer("200 Type set\r\n");
    s.Answer("200 PORT ok\r\n")
        .Answer("150 Go ahead\r\n")
        .ConnectData()
        .AwaitDataClosed()
        .Send(final);
}

class FtpStoreScripted : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        local = folder.filePath("a.bin").toStdString();
        std::ofstream(local, std::ios::binary) << "abc";
    }
    void TearDown() override { ClearSocketFaults(); }

    // A client logged in to `s` (whose FEAT reply is `feat`), about to store "abc" as /up/a.bin.
    void Prepare(TStarFtp& client, FakeFtpServer& s, const std::string& feat) {
        s.Send("220 ready\r\n").Answer("230 ok\r\n").Answer("215 UNIX\r\n").Answer(feat);
        client.SetFtpServer("127.0.0.1");
        client.FtpPort = s.Port();
        client.UserName = "anna";
        client.LocalFile = local;
        client.RemoteFile = "/up/a.bin";
    }

    QTemporaryDir folder;
    std::string local;
};

// Every outcome of a store after its data: the commands that follow, what the owner is told, and
// whether the temporary name stays in use.
TEST_F(FtpStoreScripted, WhatFollowsTheTransfer) {
    const struct {
        const char* what;
        bool tempName;
        std::string feat;
        std::function<void(FakeFtpServer&)> script;
        Lines after; // the commands after the login's USER, SYST and FEAT
        bool success;
        bool tempNameAfter;
        Events seen;           // in this order, among the others
        int fileSizes;         // stores that began: each tells the size of the file anew
        int bytes;             // BytesTransferred at the end: of the last store
        const char* lastReply; // the reply that decided, not the DELE's after it
    } rows[] = {
        {"renamed once complete",
         true,
         kNoFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("350 Ready for RNTO\r\n").Answer("250 Renamed\r\n");
         },
         {"TYPE I", "PORT", "STOR " + kTemp, "RNFR " + kTemp, "RNTO /up/a.bin"},
         true,
         true,
         {"info ftpiTransferDone Transfer done", "sent RNFR " + kTemp + "\r\n", "ready", "stored"},
         1,
         3,
         "250 Renamed"},
        {"refused RNTO: deleted, then stored under the final name",
         true,
         kNoFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("350 Ready for RNTO\r\n")
                 .Answer("553 Rename not allowed\r\n")
                 .Answer("250 Deleted\r\n");
             Transfer(s, "226 Transfer complete\r\n", false);
         },
         {"TYPE I", "PORT", "STOR " + kTemp, "RNFR " + kTemp, "RNTO /up/a.bin", "DELE " + kTemp,
          "PORT", "STOR /up/a.bin"},
         true,
         false,
         {"info ftpiCommandFailed ", "sent DELE " + kTemp + "\r\n",
          "info ftpiLogNote The server refused to rename " + kTemp +
              " to /up/a.bin; files are now stored directly under their final names",
          "sent STOR /up/a.bin\r\n", "info ftpiFileSize 3", "ready", "stored"},
         2,
         3,
         "226 Transfer complete"},
        {"refused RNFR, and the direct store refused too",
         true,
         kNoFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("550 No rename here\r\n")
                 .Answer("503 Bad sequence of commands\r\n")
                 .Answer("550 No delete either\r\n");
             s.Answer("200 PORT ok\r\n").Answer("553 Not allowed\r\n");
         },
         {"TYPE I", "PORT", "STOR " + kTemp, "RNFR " + kTemp, "RNTO /up/a.bin", "DELE " + kTemp,
          "PORT", "STOR /up/a.bin"},
         false,
         false,
         {"info ftpiCommandFailed ",
          "info ftpiLogNote The temporary file " + kTemp +
              " is left on the server: 550 No delete either",
          "info ftpiCommandFailed ", "ready", "stored"},
         1,
         0,
         "553 Not allowed"},
        {"wrong size: the temporary file goes, the final name is never touched",
         true,
         kSizeFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("213 2\r\n").Answer("250 Deleted\r\n");
         },
         {"TYPE I", "PORT", "STOR " + kTemp, "SIZE " + kTemp, "DELE " + kTemp},
         false,
         true,
         {"info ftpiSizeMismatch 3 2", "sent DELE " + kTemp + "\r\n", "ready", "stored"},
         1,
         3,
         "213 2"},
        {"wrong size without a temporary name",
         false,
         kSizeFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("213 4\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin", "SIZE /up/a.bin"},
         false,
         false,
         {"info ftpiSizeMismatch 3 4", "ready", "stored"},
         1,
         3,
         "213 4"},
        {"SIZE refused: not checked",
         false,
         kSizeFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("550 Could not get file size\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin", "SIZE /up/a.bin"},
         true,
         false,
         {"info ftpiLogNote The server gave no size for /up/a.bin; the size is not checked",
          "stored"},
         1,
         3,
         "550 Could not get file size"},
        {"a size past 64 bits is no size",
         false,
         kSizeFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("213 99999999999999999999\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin", "SIZE /up/a.bin"},
         true,
         false,
         {"info ftpiLogNote The server gave no size for /up/a.bin; the size is not checked",
          "stored"},
         1,
         3,
         "213 99999999999999999999"},
        {"refused STOR created nothing: no DELE",
         true,
         kNoFeat,
         [](FakeFtpServer& s) {
             s.Answer("200 Type set\r\n").Answer("200 PORT ok\r\n").Answer("553 Not allowed\r\n");
         },
         {"TYPE I", "PORT", "STOR " + kTemp},
         false,
         true,
         {"info ftpiCommandFailed ", "ready", "stored"},
         0,
         0,
         "553 Not allowed"},
        {"STOR taken, then failed: the temporary file is deleted",
         true,
         kNoFeat,
         [](FakeFtpServer& s) {
             s.Answer("200 Type set\r\n")
                 .Answer("200 PORT ok\r\n")
                 .Answer("150 Go ahead\r\n451 Local error\r\n")
                 .Answer("250 Deleted\r\n");
         },
         {"TYPE I", "PORT", "STOR " + kTemp, "DELE " + kTemp},
         false,
         true,
         {"info ftpiCommandFailed ", "sent DELE " + kTemp + "\r\n", "ready", "stored"},
         0,
         0,
         "451 Local error"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Prepare(client, fake, row.feat);
        row.script(fake);
        client.UseTempName = row.tempName;
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("stored") || r.quits > 0; }));
        DrainPostedEvents();
        Lines expected = {"USER anna", "SYST", "FEAT"};
        expected.insert(expected.end(), row.after.begin(), row.after.end());
        EXPECT_EQ(Normalised(fake.Commands()), expected);
        EXPECT_EQ(client.Success(), row.success);
        EXPECT_EQ(client.UseTempName, row.tempNameAfter);
        EXPECT_TRUE(InOrder(r.events, row.seen)) << testing::PrintToString(r.events);
        EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "info ftpiFileSize 3"),
                  row.fileSizes);
        EXPECT_EQ(std::count(r.events.begin(), r.events.end(), "stored"), 1);
        EXPECT_EQ(r.Last(), "stored");
        EXPECT_EQ(client.BytesTransferred, row.bytes);
        EXPECT_EQ(client.LastReply(), row.lastReply);
        EXPECT_TRUE(client.ControlConnected());
        EXPECT_FALSE(client.Busy());
    }
}

// The server answered STOR with 226 and never answers ABOR. The abort ends AborReplyWait after
// that 226, not at the reply time-out, and the session stays in step: a late reply to ABOR is not
// taken for the answer to the next command.
TEST_F(FtpStoreScripted, UnansweredAborEndsTheAbortAndTheSessionStaysInStep) {
    const struct {
        const char* what;
        std::string late; // sent once NOOP has come, a while before NOOP's own reply
        std::string cwdReply;
        bool cwdSucceeds;
    } rows[] = {
        {"ABOR never answered", "", "250 ok\r\n", true},
        {"ABOR answered late", "225 ABOR command successful\r\n", "550 No such directory\r\n",
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Prepare(client, fake, kNoFeat);
        client.TimeOutConnect = 10; // the whole reply time-out would be much longer
        QElapsedTimer clock, pause;
        fake.Answer("200 Type set\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Go ahead\r\n")
            .ConnectData()
            .AwaitDataClosed()
            .Until([&] { return client.Phase() == TransferPhase::DataFirst; })
            .Do([&] {
                clock.start();
                client.Abort();
            })
            .AwaitCommand() // ABOR
            .Send("226 Transfer complete\r\n")
            .AwaitCommand() // NOOP
            .Send(row.late)
            .Do([&] { pause.start(); })
            .Until([&] { return pause.elapsed() > 200; })
            .Send("200 NOOP ok\r\n")
            .Answer(row.cwdReply);
        qint64 abortTook = -1;
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        client.OnFileStored = [&](TStarFtp& f) {
            r.events.push_back("stored");
            abortTook = clock.elapsed();
            f.ChangeDirectory("/next");
        };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("dirchanged") || r.quits > 0; }, 15000));
        DrainPostedEvents();
        EXPECT_GE(abortTook, TStarFtp::AborReplyWait - 100);
        EXPECT_LT(abortTook, TStarFtp::AborReplyWait + 2000);
        EXPECT_EQ(Normalised(fake.Commands()),
                  (Lines{"USER anna", "SYST", "FEAT", "TYPE I", "PORT", "STOR /up/a.bin",
                         "\xff\xf4\xff"
                         "ABOR",
                         "NOOP", "CWD /next"}));
        EXPECT_TRUE(InOrder(r.events, {"stored", "sent CWD /next\r\n", "ready", "dirchanged"}));
        EXPECT_EQ(client.Success(), row.cwdSucceeds);
        EXPECT_EQ(client.LastReply(), row.cwdReply.substr(0, row.cwdReply.size() - 2));
        EXPECT_EQ(r.quits, 0);
        EXPECT_FALSE(r.Saw("error ftpeTimeOut Error"));
    }
}

// A call refused as busy while a store ends (here from inside its ftpiTransferDone notice, once
// the server has cut the data connection) changes nothing of the store: it completes with
// OnFileStored and its own outcome, failed.
TEST_F(FtpStoreScripted, BusyRefusalLeavesTheRunningStoreAlone) {
    const struct {
        const char* what;
        std::function<void(TStarFtp&)> call;
    } rows[] = {
        {"GetListing", [](TStarFtp& f) { f.GetListing(); }},
        {"ChangeDirectory", [](TStarFtp& f) { f.ChangeDirectory("/elsewhere"); }},
        {"StoreFile", [](TStarFtp& f) { f.StoreFile(); }},
    };
    const std::string big = folder.filePath("big.bin").toStdString();
    std::ofstream(big, std::ios::binary) << std::string(8 << 20, 'z');
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Prepare(client, fake, kNoFeat);
        client.LocalFile = big;
        fake.Answer("200 Type set\r\n")
            .Answer("200 PORT ok\r\n")
            .Answer("150 Go ahead\r\n")
            .ConnectData()
            .AwaitDataBytes(20000)
            .CloseData()
            .Until([&] { return r.Saw("info ftpiTransferDone Transfer done"); })
            .Send("226 Transfer complete\r\n");
        const TFtpInfoEvent record = client.OnFtpInfo;
        client.OnFtpInfo = [&](TStarFtp& f, FtpInfo info, const std::string& addinfo) {
            record(f, info, addinfo);
            if (info == ftpiTransferDone) row.call(f);
        };
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] {
            return r.Saw("stored") || r.Saw("listed") || r.Saw("dirchanged") || r.quits > 0;
        }));
        DrainPostedEvents();
        EXPECT_TRUE(r.Saw("info ftpiBusy "));
        EXPECT_EQ(r.Last(), "stored");
        EXPECT_FALSE(r.Saw("listed"));
        EXPECT_FALSE(r.Saw("dirchanged"));
        EXPECT_FALSE(client.Success());
        EXPECT_EQ(Normalised(fake.Commands()).back(), "STOR /up/a.bin");
    }
}

// Two stores in a row, both binary: the second sends TYPE only when the first left the type in
// doubt. A refused or aborted transfer does; a transfer cancelled before the server heard of it
// does not.
TEST_F(FtpStoreScripted, TheSecondStoreSendsTypeOnlyWhenTheFirstLeftItInDoubt) {
    const struct {
        const char* what;
        std::function<void(FakeFtpServer&, TStarFtp&)> first;
        Lines firstCommands;
        bool typeAgain;
        const char* data; // on data connections, both stores
    } rows[] = {
        {"stored",
         [](FakeFtpServer& s, TStarFtp&) { Transfer(s); },
         {"TYPE I", "PORT", "STOR /up/a.bin"},
         false,
         "abcabc"},
        {"STOR refused",
         [](FakeFtpServer& s, TStarFtp&) {
             s.Answer("200 Type set\r\n").Answer("200 PORT ok\r\n").Answer("553 Not allowed\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin"},
         true,
         "abc"},
        {"aborted with ABOR",
         [](FakeFtpServer& s, TStarFtp& c) {
             s.Answer("200 Type set\r\n")
                 .Answer("200 PORT ok\r\n")
                 .AwaitCommand()
                 .Do([&c] { c.Abort(); })
                 .AwaitCommand()
                 .Send("426 Aborted\r\n226 ABOR ok\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin",
          "\xff\xf4\xff"
          "ABOR"},
         true,
         "abc"},
        {"cancelled before STOR",
         [](FakeFtpServer& s, TStarFtp& c) {
             s.Answer("200 Type set\r\n")
                 .AwaitCommand()
                 .Do([&c] { c.Abort(); })
                 .Send("200 PORT ok\r\n");
         },
         {"TYPE I", "PORT"},
         false,
         "abc"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Prepare(client, fake, kNoFeat);
        row.first(fake, client);
        Transfer(fake, "226 Transfer complete\r\n", row.typeAgain);
        int stores = 0;
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        client.OnFileStored = [&](TStarFtp& f) {
            r.events.push_back("stored");
            if (++stores == 1) f.StoreFile();
        };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return stores == 2 || r.quits > 0; }));
        DrainPostedEvents();
        Lines expected = {"USER anna", "SYST", "FEAT"};
        expected.insert(expected.end(), row.firstCommands.begin(), row.firstCommands.end());
        if (row.typeAgain) expected.push_back("TYPE I");
        expected.insert(expected.end(), {"PORT", "STOR /up/a.bin"});
        EXPECT_EQ(Normalised(fake.Commands()), expected);
        EXPECT_TRUE(fake.ScriptDone());
        EXPECT_TRUE(client.Success());
        EXPECT_EQ(fake.DataReceived(), row.data);
    }
}

} // namespace
