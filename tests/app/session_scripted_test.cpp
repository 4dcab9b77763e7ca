// Upload sessions against a scripted server that need more than a data case can say: a connection
// dropped in the middle of a big store.
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
void LoginAndList(FakeFtpServer& s, const std::string& listing) {
    s.Send("220 scripted\r\n")
        .Answer("331 password\r\n")
        .Answer("230 in\r\n")
        .Answer("215 UNIX Type: L8\r\n")
        .Answer("500 FEAT not understood\r\n")
        .Answer("250 here\r\n")  // CWD after login
        .Answer("250 here\r\n"); // CWD of the session
    List(s, listing);
}

} // namespace

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
