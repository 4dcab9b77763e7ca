// Modification times against a scripted server: MFMT after a store (KeepModifiedTime) and MDTM on
// request (GetFileTime). The local file's time is set to 2024-01-02 03:04:05 UTC, which
// `date -u -d '2024-01-02 03:04:05' +%s` gives as 1704164645.
#include "ftp/ftp.h"
#include "ftprecorder.h"

#include "eventloop.h"
#include "fakeftpserver.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/time.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>

using Lines = std::vector<std::string>;

namespace {

constexpr std::int64_t kLocalTime = 1704164645;
const std::string kStamp = "20240102030405";
const std::string kMfmtFeat = "211-Features:\r\n MFMT\r\n MDTM\r\n211 End\r\n";
const std::string kSizeMfmtFeat = "211-Features:\r\n SIZE\r\n MFMT\r\n211 End\r\n";
const std::string kNoMfmtFeat = "211-Features:\r\n MDTM\r\n211 End\r\n";
const std::string kTemp = "/up/.wendup-a.bin";

Lines Normalised(Lines commands) {
    const std::regex port(R"(PORT 127,0,0,1,\d{1,3},\d{1,3})");
    for (std::string& c : commands)
        if (std::regex_match(c, port)) c = "PORT";
    return commands;
}

void Transfer(FakeFtpServer& s) {
    s.Answer("200 Type set\r\n")
        .Answer("200 PORT ok\r\n")
        .Answer("150 Go ahead\r\n")
        .ConnectData()
        .AwaitDataClosed()
        .Send("226 Transfer complete\r\n");
}

class FtpFileTimes : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        local = folder.filePath("a.bin").toStdString();
        std::ofstream(local, std::ios::binary) << "abc";
        const timeval times[2] = {{kLocalTime, 0}, {kLocalTime, 0}};
        ASSERT_EQ(utimes(local.c_str(), times), 0);
    }

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

} // namespace

TEST_F(FtpFileTimes, StoreKeepsTheLocalTime) {
    const struct {
        const char* what;
        bool keep;
        bool tempName;
        std::string feat;
        std::function<void(FakeFtpServer&)> script; // after FEAT
        Lines after;                                // the commands after FEAT
        bool success;
        std::optional<std::int64_t> kept;
        const char* note; // a log note that must be among the events, or nullptr
    } rows[] = {
        {"kept, stored directly",
         true,
         false,
         kMfmtFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("213 Modify=20240102030405; /up/a.bin\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin", "MFMT " + kStamp + " /up/a.bin"},
         true,
         kLocalTime,
         nullptr},
        {"kept after the rename, under the final name",
         true,
         true,
         kMfmtFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("350 Ready\r\n").Answer("250 Renamed\r\n").Answer("213 Modify ok\r\n");
         },
         {"TYPE I", "PORT", "STOR " + kTemp, "RNFR " + kTemp, "RNTO /up/a.bin",
          "MFMT " + kStamp + " /up/a.bin"},
         true,
         kLocalTime,
         nullptr},
        {"refused: logged, the file stays stored",
         true,
         false,
         kMfmtFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("550 Not allowed\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin", "MFMT " + kStamp + " /up/a.bin"},
         true,
         std::nullopt,
         "info ftpiLogNote The server did not set the time of /up/a.bin: 550 Not allowed"},
        {"the server has no MFMT",
         true,
         false,
         kNoMfmtFeat,
         [](FakeFtpServer& s) { Transfer(s); },
         {"TYPE I", "PORT", "STOR /up/a.bin"},
         true,
         std::nullopt,
         nullptr},
        {"not asked for",
         false,
         false,
         kMfmtFeat,
         [](FakeFtpServer& s) { Transfer(s); },
         {"TYPE I", "PORT", "STOR /up/a.bin"},
         true,
         std::nullopt,
         nullptr},
        {"a failed store keeps no time",
         true,
         false,
         kSizeMfmtFeat,
         [](FakeFtpServer& s) {
             Transfer(s);
             s.Answer("213 2\r\n");
         },
         {"TYPE I", "PORT", "STOR /up/a.bin", "SIZE /up/a.bin"},
         false,
         std::nullopt,
         nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Prepare(client, fake, row.feat);
        row.script(fake);
        client.UseTempName = row.tempName;
        client.KeepModifiedTime = row.keep;
        client.OnLoggedIn = [](TStarFtp& f) { f.StoreFile(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("stored") || r.quits > 0; }));
        DrainPostedEvents();
        Lines expected = {"USER anna", "SYST", "FEAT"};
        expected.insert(expected.end(), row.after.begin(), row.after.end());
        EXPECT_EQ(Normalised(fake.Commands()), expected);
        EXPECT_EQ(client.Success(), row.success);
        EXPECT_EQ(client.KeptTime(), row.kept);
        if (row.note) {
            EXPECT_TRUE(r.Saw(row.note)) << testing::PrintToString(r.events);
        }
        EXPECT_EQ(r.Last(), "stored");
        EXPECT_FALSE(client.Busy());
    }
}

TEST_F(FtpFileTimes, GetFileTimeAsksMdtm) {
    const struct {
        const char* what;
        std::string remote;
        const char* reply; // nullptr: nothing is sent
        bool success;
        std::optional<std::int64_t> time;
    } rows[] = {
        {"answered", "/up/a b.txt", "213 20240102030405", true, kLocalTime},
        {"fractions dropped", "/up/a.bin", "213 20240102030405.987", true, kLocalTime},
        {"refused", "/up/a.bin", "550 No such file", false, std::nullopt},
        {"not a time", "/up/a.bin", "213 yesterday", false, std::nullopt},
        {"a line break is never sent", "/up/a\r\nDELE x", nullptr, false, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFtpServer fake;
        TStarFtp client;
        FtpRecorder r(client);
        Prepare(client, fake, kMfmtFeat);
        if (row.reply) fake.Answer(std::string(row.reply) + "\r\n");
        client.RemoteFile = row.remote;
        client.OnLoggedIn = [](TStarFtp& f) { f.GetFileTime(); };
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return r.Saw("filetime") || r.quits > 0; }));
        DrainPostedEvents();
        Lines expected = {"USER anna", "SYST", "FEAT"};
        if (row.reply) expected.push_back("MDTM " + row.remote);
        EXPECT_EQ(fake.Commands(), expected);
        EXPECT_EQ(client.Success(), row.success);
        EXPECT_EQ(client.FileTime(), row.time);
        EXPECT_EQ(r.Last(), "filetime");
        EXPECT_FALSE(client.Busy());
        EXPECT_TRUE(client.ControlConnected());
    }
}
