// The control session against a real server, pyftpdlib on 127.0.0.1.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "pyftpserver.h"

#include <QDir>
#include <gtest/gtest.h>

#include <algorithm>

using Events = std::vector<std::string>;

namespace {

const std::string kPass = std::string("sent PASS ") + PyFtpServer::Password + "\r\n";
const std::string kUser = std::string("sent USER ") + PyFtpServer::User + "\r\n";

class FtpRealServer : public testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(server.Start(why)) << why;
        ASSERT_TRUE(QDir(server.Root()).mkdir("incoming"));
        ftp.SetFtpServer("127.0.0.1");
        ftp.FtpPort = server.Port();
        ftp.UserName = PyFtpServer::User;
        ftp.UserPassword = PyFtpServer::Password;
    }

    bool LogIn() {
        ftp.Login();
        return RunUntil([&] { return rec.readies == 1 || rec.quits > 0; }) && rec.readies == 1;
    }

    PyFtpServer server;
    TStarFtp ftp;
    FtpRecorder rec{ftp};
};

TEST_F(FtpRealServer, LogsInChangesToTheInitialDirectoryAndQuits) {
    ftp.InitialDirectory = "/incoming";
    ftp.ServerType = ftpstVM; // replaced at every login
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    EXPECT_TRUE(ftp.Success());
    EXPECT_EQ(ftp.ServerType, ftpstUNIX);
    EXPECT_EQ(ftp.Version, "TFtp 1.4.2");
    EXPECT_FALSE(ftp.Busy());
    EXPECT_TRUE(ftp.ControlConnected());

    ftp.Quit();
    EXPECT_TRUE(ftp.Busy());
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_EQ(
        rec.events,
        (Events{"info ftpiConnected 127.0.0.1", kUser, kPass, "sent SYST\r\n", "sent FEAT\r\n",
                "sent CWD /incoming\r\n", "info ftpiLoggedIn Logged in", "ready", "loggedin",
                "sent QUIT\r\n", "info ftpiNotConnected Disconnected", "ready", "quit"}));
    EXPECT_FALSE(ftp.ControlConnected());
    EXPECT_FALSE(ftp.Busy());
    EXPECT_EQ(ftp.Socket(), -1);
    // The final read of every read event is reported too, empty.
    EXPECT_NE(std::find(rec.received.begin(), rec.received.end(), ""), rec.received.end());
}

TEST_F(FtpRealServer, AnonymousLoginWithoutInitialDirectorySendsNoCwd) {
    ftp.UserName = "anonymous";
    ftp.UserPassword = "guest@example.com";
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    EXPECT_EQ(rec.events,
              (Events{"info ftpiConnected 127.0.0.1", "sent USER anonymous\r\n",
                      "sent PASS guest@example.com\r\n", "sent SYST\r\n", "sent FEAT\r\n",
                      "info ftpiLoggedIn Logged in", "ready", "loggedin"}));
    EXPECT_TRUE(ftp.Success());
}

TEST_F(FtpRealServer, WrongPasswordIsRefusedAndTheComponentQuitsItself) {
    ftp.UserPassword = "wrong";
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));
    DrainPostedEvents();
    EXPECT_EQ(rec.events, (Events{"info ftpiConnected 127.0.0.1", kUser, "sent PASS wrong\r\n",
                                  "error ftpeLoginRefused Error", "sent QUIT\r\n",
                                  "info ftpiNotConnected Disconnected", "ready", "quit"}));
    EXPECT_FALSE(ftp.Success());
}

TEST_F(FtpRealServer, RefusedCwdAfterLoginStillCompletesTheLogin) {
    ftp.InitialDirectory = "/missing";
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    EXPECT_EQ(rec.events,
              (Events{"info ftpiConnected 127.0.0.1", kUser, kPass, "sent SYST\r\n",
                      "sent FEAT\r\n", "sent CWD /missing\r\n", "info ftpiCommandFailed ",
                      "info ftpiLoggedIn Logged in", "ready", "loggedin"}));
    EXPECT_TRUE(ftp.Success());
}

TEST_F(FtpRealServer, ChangeDirectoryReportsRefusalThroughSuccess) {
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    rec.events.clear();

    ftp.ChangeDirectory("/missing");
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "dirchanged"; }));
    EXPECT_EQ(rec.events,
              (Events{"sent CWD /missing\r\n", "info ftpiCommandFailed ", "ready", "dirchanged"}));
    EXPECT_FALSE(ftp.Success());
    EXPECT_EQ(ftp.InitialDirectory, "/missing");

    rec.events.clear();
    ftp.ChangeDirectory("/incoming");
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "dirchanged"; }));
    EXPECT_EQ(rec.events, (Events{"sent CWD /incoming\r\n", "ready", "dirchanged"}));
    EXPECT_TRUE(ftp.Success());
}

TEST_F(FtpRealServer, AnOperationStartedInsideOnFtpReadyKeepsItsOwnCompletion) {
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    rec.events.clear();
    bool started = false;
    ftp.OnFtpReady = [&](TStarFtp& f) {
        rec.events.push_back("ready");
        if (!started) {
            started = true;
            f.ChangeDirectory("/incoming");
        }
    };
    ftp.ChangeDirectory("/");
    ASSERT_TRUE(RunUntil(
        [&] { return std::count(rec.events.begin(), rec.events.end(), "dirchanged") == 2; }));
    EXPECT_EQ(rec.events, (Events{"sent CWD /\r\n", "ready", "sent CWD /incoming\r\n", "dirchanged",
                                  "ready", "dirchanged"}));
}

// The address found by the first lookup is kept: the next login of the instance connects to it.
TEST_F(FtpRealServer, SecondLoginReusesTheResolvedAddress) {
    ftp.SetFtpServer("localhost");
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    EXPECT_EQ(rec.events.at(0), "info ftpiResolving localhost");
    EXPECT_EQ(rec.events.at(1), "info ftpiResolved 127.0.0.1");
    ftp.Quit();
    ASSERT_TRUE(RunUntil([&] { return rec.quits == 1; }));

    rec.events.clear();
    ftp.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.Last() == "loggedin"; }));
    EXPECT_EQ(rec.events,
              (Events{"info ftpiConnected 127.0.0.1", kUser, kPass, "sent SYST\r\n",
                      "sent FEAT\r\n", "info ftpiLoggedIn Logged in", "ready", "loggedin"}));
}

} // namespace
