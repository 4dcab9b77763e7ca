// Upload sessions against a scripted server, for what pyftpdlib does not do: a refused STOR, a
// listing without usable dates, a connection dropped in the middle of a store, a VMS server that
// lists names in capitals.
#include "uploadtest.h"

#include "fakeftpserver.h"

#include <algorithm>

namespace {

// A listing of "/up": PWD, TYPE A, PORT, LIST, with `listing` as its data.
void List(FakeFtpServer& s, const std::string& listing) {
    s.Answer("257 \"/up\"\r\n")
        .Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 listing\r\n")
        .ConnectData()
        .SendData(listing)
        .CloseData()
        .Send("226 done\r\n");
}

// The login and the listing of "/up" that every script starts with; `listing` is sent as the data.
void LoginAndList(FakeFtpServer& s, const std::string& listing,
                  const std::string& system = "215 UNIX Type: L8\r\n") {
    s.Send("220 scripted\r\n")
        .Answer("331 password\r\n")
        .Answer("230 in\r\n")
        .Answer(system)
        .Answer("250 here\r\n")  // CWD after login
        .Answer("250 here\r\n"); // CWD of the session
    List(s, listing);
}

} // namespace

TEST_F(TUploadTest, RefusedStoreFailsThatFileAndAnUnknownDateCountsAsOlder) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    const std::string listing = "-rw-r--r-- 1 o g 5 ??? ?? ??:?? a.txt\r\n";
    LoginAndList(s, listing);
    s.Answer("200 type\r\n").Answer("200 port\r\n").Answer("553 Permission denied.\r\n");
    List(s, listing);
    s.Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 go\r\n")
        .ConnectData()
        .AwaitDataClosed()
        .Send("226 stored\r\n")
        .Answer("221 bye\r\n")
        .Close();
    WriteProfile(TProfile().Policy(0).Dir("/up").Port(s.Port()));
    const std::string a = Local("a.txt", "aaaaa"), b = Local("b.bin", "bbb");
    const TRunResult run = Run({"/NOMSG", a, b});
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(s.ScriptDone()) << testing::PrintToString(s.Commands()) << run.errors;
    EXPECT_EQ(s.DataReceived(), "bbb");
    const auto& c = s.Commands();
    EXPECT_NE(std::find(c.begin(), c.end(), "STOR /up/a.txt"), c.end());
    EXPECT_EQ(run.errors.substr(run.errors.find("wendup: ")),
              "wendup: " + a + ": サーバーが拒否しました: 553 Permission denied.\n");
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, ConnectionDroppedInTheMiddleOfAStore) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    LoginAndList(s, "");
    s.Answer("200 type\r\n")
        .Answer("200 port\r\n")
        .Answer("150 go\r\n")
        .ConnectData()
        .AwaitDataBytes(64 * 1024)
        .CloseData()
        .Close();
    WriteProfile(TProfile().Dir("/up").Port(s.Port()));
    const std::string big = Local("big.bin", std::string(16 << 20, 'x'));
    const std::string next = Local("next.bin", "n");
    const TRunResult run = Run({"/NOMSG", big, next});
    ASSERT_TRUE(run.ended);
    const std::string& e = run.errors;
    EXPECT_NE(e.find("wendup: " + big + ": "), std::string::npos) << e;
    EXPECT_NE(e.find("wendup: " + next + ": "), std::string::npos) << e;
    EXPECT_EQ(run.exitStatus, 1);
}

TEST_F(TUploadTest, VmsNameInCapitalsIsTheSameFile) {
    FakeFtpServer s;
    ASSERT_TRUE(s.Listening());
    LoginAndList(s,
                 "Directory DISK$USER:[ANONYMOUS]\r\n\r\n"
                 "00README.TXT;1      2 30-DEC-1996 17:44 [SYSTEM] (RWED,RWED,RE,RE)\r\n"
                 "\r\nTotal of 1 file, 2 blocks.\r\n",
                 "215 VMS MultiNet V3.5 Rev A-X, VAXstation 4000-90, OpenVMS VAX V6.1\r\n");
    s.Answer("221 bye\r\n").Close();
    // "転送しない": the server's copy stays.
    WriteProfile(TProfile().Policy(2).Dir("/up").Port(s.Port()));
    const TRunResult run = Run({"/NOMSG", Local("00readme.txt", "new")});
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(s.ScriptDone()) << testing::PrintToString(s.Commands()) << run.errors;
    EXPECT_EQ(run.results, std::vector<TFileResult>{TFileResult::SkippedByPolicy});
    EXPECT_EQ(run.exitStatus, 0);
}
