// Explicit TLS against scripted servers that do not give it: the session ends at the refusal or at
// the failed handshake, and neither the user name nor the password is sent in clear.
#include "ftp/ftp.h"
#include "ftprecorder.h"
#include "scriptedclient.h"

#include "eventloop.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct TCase {
    const char* title;
    std::string afterAuth; // the server's bytes after AUTH TLS
    const char* failure;   // the start of TlsFailure
};

} // namespace

TEST(FtpTlsScripted, RefusalOrFailedHandshakeEndsTheSessionWithoutTheLogin) {
    const TCase cases[] = {
        {"refused", "534 TLS not available\r\n", "534 TLS not available"},
        {"not implemented", "502 AUTH not implemented\r\n", "502 AUTH not implemented"},
        // Says yes, then goes on in clear: no TLS record, the handshake fails.
        {"clear after 234", "234 go ahead\r\n", "TLS handshake: "},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.title);
        FakeFtpServer fake;
        fake.Send("220 ready\r\n").AwaitCommand().Send(c.afterAuth);
        // Once the client's hello has come, a server that goes on in clear.
        if (c.afterAuth.starts_with("234"))
            fake.Until([&] { return fake.Received().size() > 20; }).Send("230 logged in\r\n");
        TStarFtp client;
        FtpRecorder rec(client);
        Aim(client, fake);
        client.UseTls = true;
        client.TimeOutConnect = 10;
        client.Login();
        ASSERT_TRUE(RunUntil([&] { return rec.quits > 0; }, 15000));
        DrainPostedEvents();
        EXPECT_EQ(client.ErrorCode(), ftpeSecureConnection);
        EXPECT_EQ(client.TlsFailure().rfind(c.failure, 0), 0u) << client.TlsFailure();
        EXPECT_FALSE(rec.Saw("loggedin"));
        EXPECT_EQ(fake.Commands().at(0), "AUTH TLS");
        // Whatever followed AUTH TLS (a TLS hello at most) holds no login.
        EXPECT_EQ(fake.Received().find("USER"), std::string::npos);
        EXPECT_EQ(fake.Received().find("pw"), std::string::npos);
        const auto sent = std::find_if(rec.events.begin(), rec.events.end(),
                                       [](const std::string& e) { return e.starts_with("sent "); });
        ASSERT_NE(sent, rec.events.end());
        EXPECT_EQ(*sent, "sent AUTH TLS\r\n");
    }
}

// Clear text the server sends in one piece with its 234 is never read as a reply from inside TLS:
// it is dropped, and the handshake waits for the server's TLS answer until the time-out.
TEST(FtpTlsScripted, ClearTextBehind234IsNotTakenAsAReply) {
    FakeFtpServer fake;
    fake.Send("220 ready\r\n").AwaitCommand().Send("234 go ahead\r\n230 logged in\r\n");
    TStarFtp client;
    FtpRecorder rec(client);
    Aim(client, fake);
    client.UseTls = true;
    client.TimeOutConnect = 2;
    client.Login();
    ASSERT_TRUE(RunUntil([&] { return rec.quits > 0; }, 10000));
    DrainPostedEvents();
    EXPECT_EQ(client.ErrorCode(), ftpeTimeOut);
    EXPECT_FALSE(rec.Saw("loggedin"));
    EXPECT_EQ(fake.Received().find("USER"), std::string::npos);
    EXPECT_EQ(fake.Commands().at(0), "AUTH TLS");
}
