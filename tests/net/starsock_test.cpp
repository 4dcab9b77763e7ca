#include "net/sockerr.h"
#include "net/starsock.h"

#include "eventloop.h"
#include "loopback.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace {

TEST(StarSocket, ServerTextIsClassifiedByItsFirstCharacter) {
    TStarSocket s;
    s.SetServer("ftp.example.com");
    EXPECT_EQ(s.ServerHostName, "ftp.example.com");
    EXPECT_EQ(s.ServerAddress, "");
    s.SetServer("127.0.0.9");
    EXPECT_EQ(s.ServerAddress, "127.0.0.9");
    EXPECT_EQ(s.ServerHostName, "");
    s.SetServer("1nvalid.example"); // a digit makes it an address, whatever follows
    EXPECT_EQ(s.ServerAddress, "1nvalid.example");
    s.SetServer("");
    EXPECT_EQ(s.ServerAddress, "1nvalid.example");
    EXPECT_EQ(s.ServerText(), "");
}

TEST(StarSocket, WithoutASocketTheLocalEndpointIsEmpty) {
    TStarSocket s;
    EXPECT_EQ(s.Socket(), -1);
    EXPECT_EQ(s.GetLocalAddress(), "");
    EXPECT_EQ(s.GetLocalPort(), 0);
    EXPECT_TRUE(s.StartWinsock());
    EXPECT_EQ(s.WinsockDescription, "POSIX sockets");
    EXPECT_GT(s.MaxSockets, 0);
}

TEST(StarSocket, AddressThatDoesNotParseIsNeverConnected) {
    TStarSocket s;
    s.CreateSocket();
    s.SetAddress("1nvalid.example");
    s.SetPort(21);
    s.Connect();
    EXPECT_EQ(s.LastError(), WSAEADDRNOTAVAIL);
    EXPECT_FALSE(s.Connected());
}

// A listener, a client and the accepted end, all on loopback.
class StarSocketPair : public testing::Test {
  protected:
    void SetUp() override {
        listener.CreateSocket();
        listener.SetAddress("127.0.0.1");
        listener.SetPort(0);
        listener.Listen();
        ASSERT_EQ(listener.LastError(), 0);
        ASSERT_EQ(listener.GetLocalAddress(), "127.0.0.1");
        const std::uint16_t port = listener.GetLocalPort();
        ASSERT_NE(port, 0);

        listener.OnSocketAccept = [this](TStarSocket& l) {
            events.push_back("accept");
            server.Accept(l);
        };
        client.OnSocketConnect = [this](TStarSocket& c) {
            events.push_back("connect " + std::to_string(c.LastError()));
        };
        client.OnSocketWrite = [this](TStarSocket&) { events.push_back("write"); };
        client.CreateSocket();
        client.SetAddress("127.0.0.1");
        client.SetPort(port);
        client.Connect();
        ASSERT_EQ(client.LastError(), 0);
        ASSERT_TRUE(RunUntil([&] { return client.Connected() && server.Connected(); }));
    }
    void TearDown() override { ClearSocketFaults(); }

    TStarSocket listener, client, server;
    std::vector<std::string> events;
};

TEST_F(StarSocketPair, ConnectAndAcceptAreReported) {
    EXPECT_EQ(client.LastError(), 0);
    EXPECT_NE(client.GetLocalPort(), 0);
    ASSERT_TRUE(RunUntil([&] { return events.size() == 3; }));
    // The accept may come before or after the client hears of its connect.
    EXPECT_NE(std::find(events.begin(), events.end(), "accept"), events.end());
    const auto connect = std::find(events.begin(), events.end(), "connect 0");
    ASSERT_NE(connect, events.end());
    ASSERT_NE(connect + 1, events.end());
    EXPECT_EQ(*(connect + 1), "write");
}

TEST_F(StarSocketPair, DataArrivesAsReadEventsAndThePeersCloseFollows) {
    std::string got;
    int closes = 0;
    client.OnSocketRead = [&](TStarSocket& c) {
        char buffer[3]; // small on purpose: the rest comes with the next event
        const int n = c.Receive(buffer, sizeof buffer);
        got.append(buffer, static_cast<std::size_t>(n));
    };
    client.OnSocketClose = [&](TStarSocket& c) {
        ++closes;
        EXPECT_EQ(c.LastError(), 0);
    };
    ASSERT_EQ(server.Send("hello world", 11), 11);
    ASSERT_TRUE(RunUntil([&] { return got == "hello world"; }));
    server.CloseSocket();
    ASSERT_TRUE(RunUntil([&] { return closes == 1; }));
    // The handler did not close it: the component did, after the event.
    EXPECT_EQ(client.Socket(), -1);
    EXPECT_FALSE(client.Connected());
    DrainPostedEvents();
    EXPECT_EQ(closes, 1);
}

TEST_F(StarSocketPair, ResetByThePeerIsACloseWithItsError) {
    std::uint16_t error = 0;
    client.OnSocketClose = [&](TStarSocket& c) { error = c.LastError(); };
    server.OnSocketRead = [](TStarSocket&) {}; // leaves the byte unread, so close resets
    ASSERT_EQ(client.Send("x", 1), 1);
    ASSERT_TRUE(RunUntil([&] {
        char probe;
        return ::recv(server.Socket(), &probe, 1, MSG_PEEK) == 1;
    }));
    server.CloseSocket();
    ASSERT_TRUE(RunUntil([&] { return client.Socket() == -1; }));
    EXPECT_EQ(error, 10054);
}

TEST_F(StarSocketPair, FullSendBufferIsNothingMovedNotAnError) {
    const std::string block(64 * 1024, 'z');
    int sent = -1;
    for (int i = 0; i < 1000 && sent != 0; ++i)
        sent = client.Send(block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(client.LastError(), 0);
}

TEST_F(StarSocketPair, InjectedFailuresShowInLastError) {
    FailNextSocketCalls(TSocketCall::Send, EPIPE);
    EXPECT_EQ(client.Send("x", 1), 0);
    EXPECT_EQ(client.LastError(), 10054);
    EXPECT_EQ(client.Send("x", 1), 1); // only the next call fails
    EXPECT_EQ(client.LastError(), 0);

    FailNextSocketCalls(TSocketCall::Recv, EAGAIN);
    char buffer[4];
    EXPECT_EQ(server.Receive(buffer, 4), 0);
    EXPECT_EQ(server.LastError(), 0); // would-block is no error

    FailNextSocketCalls(TSocketCall::Accept, EMFILE);
    TStarSocket extra;
    extra.Accept(listener);
    EXPECT_EQ(extra.LastError(), 10024);
    EXPECT_EQ(extra.Socket(), -1);
}

TEST(StarSocket, RefusedConnectIsReported) {
    TStarSocket s;
    std::uint16_t error = 0;
    bool fired = false;
    s.OnSocketConnect = [&](TStarSocket& c) {
        fired = true;
        error = c.LastError();
    };
    s.CreateSocket();
    s.SetAddress("127.0.0.1");
    s.SetPort(RefusingLoopbackPort());
    s.Connect();
    // Loopback may refuse at once or through the connect event.
    if (s.LastError() == 0) {
        ASSERT_TRUE(RunUntil([&] { return fired; }));
        EXPECT_EQ(error, WSAECONNREFUSED);
    } else {
        EXPECT_EQ(s.LastError(), WSAECONNREFUSED);
    }
    EXPECT_FALSE(s.Connected());
}

TEST(StarSocket, ConnectTimeOutClosesTheSocketFirst) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.Ready());
    TStarSocket s;
    int socketAtTimeOut = 0;
    bool timedOut = false;
    bool connected = false;
    s.OnTimeOut = [&](TStarSocket& c) {
        timedOut = true;
        socketAtTimeOut = c.Socket();
    };
    s.OnSocketConnect = [&](TStarSocket&) { connected = true; };
    s.TimeOutConnect = 1;
    s.CreateSocket();
    s.SetAddress("127.0.0.1");
    s.SetPort(stalled.Port());
    s.Connect();
    ASSERT_EQ(s.LastError(), 0);
    ASSERT_TRUE(RunUntil([&] { return timedOut; }, 10000));
    EXPECT_EQ(socketAtTimeOut, -1);
    EXPECT_FALSE(connected);
}

TEST(StarSocket, LookupOfALongNameAndOfAnInvalidOne) {
    TStarSocket s;
    int resolved = 0;
    s.OnHostResolved = [&](TStarSocket&) { ++resolved; };
    // Far longer than 67 characters, and answered without any name server: 0177 is 127 in octal.
    const std::string longName = std::string(90, '0') + "177.0.0.1";
    s.ResolveHost(longName);
    EXPECT_EQ(s.LastError(), 0);
    ASSERT_TRUE(RunUntil([&] { return resolved == 1; }));
    EXPECT_EQ(s.LastError(), 0);
    s.UseResolvedAddress();
    EXPECT_EQ(s.GetAddressText(), "127.0.0.1");

    s.SetAddress("127.0.0.5");
    s.ResolveHost("bad..name");
    ASSERT_TRUE(RunUntil([&] { return resolved == 2; }));
    EXPECT_EQ(s.LastError(), WSAHOST_NOT_FOUND);
    s.UseResolvedAddress(); // the last good lookup still counts
    EXPECT_EQ(s.GetAddressText(), "127.0.0.1");
}

TEST(StarSocket, PostedMessagesArriveInOrderAfterTheCaller) {
    TStarSocket s;
    std::vector<unsigned> got;
    s.OnMessage = [&](TSocketMessage& m) { got.push_back(m.Msg); };
    s.PostMessage(WM_USER + 4);
    s.PostMessage(WM_USER + 2);
    s.PostMessage(WM_USER + 3);
    EXPECT_TRUE(got.empty());
    DrainPostedEvents();
    EXPECT_EQ(got, (std::vector<unsigned>{WM_USER + 4, WM_USER + 2, WM_USER + 3}));
}

} // namespace
