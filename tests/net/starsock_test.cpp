#include "net/sockerr.h"
#include "net/starsock.h"

#include "eventloop.h"
#include "loopback.h"
#include "randombytes.h"
#include "socketfaults.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
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
    s.SetServer("::1"); // and so does a colon, which no host name holds
    EXPECT_EQ(s.ServerAddress, "::1");
    EXPECT_EQ(s.ServerHostName, "");
    s.SetServer("fe80::1");
    EXPECT_EQ(s.ServerAddress, "fe80::1");
    s.SetServer("");
    EXPECT_EQ(s.ServerAddress, "fe80::1");
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

// A read handler that runs the event queue while more bytes come is not entered a second time:
// those bytes come with the next event, once the handler has returned.
TEST_F(StarSocketPair, AReadEventNeverRunsInsideItsOwn) {
    int depth = 0, deepest = 0, events = 0;
    std::string got;
    client.OnSocketRead = [&](TStarSocket& c) {
        ++events;
        deepest = std::max(deepest, ++depth);
        char buffer[64];
        const int n = c.Receive(buffer, sizeof buffer);
        got.append(buffer, static_cast<std::size_t>(std::max(n, 0)));
        if (events == 1) {
            ASSERT_EQ(server.Send("second", 6), 6);
            // Long enough for the bytes to arrive and to be seen by the queue.
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            while (std::chrono::steady_clock::now() < until)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            EXPECT_EQ(got, "first");
        }
        --depth;
    };
    ASSERT_EQ(server.Send("first", 5), 5);
    ASSERT_TRUE(RunUntil([&] { return got == "firstsecond"; }));
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(events, 2);
}

// A handler that does not read gets no more read events, however long the bytes wait, until the
// owner reads; then they come again as before.
TEST_F(StarSocketPair, NoReadEventsUntilTheOwnerReads) {
    int events = 0;
    bool reading = false;
    std::string got;
    client.OnSocketRead = [&](TStarSocket& c) {
        ++events;
        if (!reading) return;
        char buffer[64];
        const int n = c.Receive(buffer, sizeof buffer);
        got.append(buffer, static_cast<std::size_t>(std::max(n, 0)));
    };
    ASSERT_EQ(server.Send("waiting", 7), 7);
    ASSERT_TRUE(RunUntil([&] { return events == 1; }));
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    RunUntil([&] { return std::chrono::steady_clock::now() >= until; }, 1000);
    EXPECT_EQ(events, 1);
    reading = true;
    char first[3];
    ASSERT_EQ(client.Receive(first, sizeof first), 3);
    got.assign(first, 3);
    ASSERT_TRUE(RunUntil([&] { return got == "waiting"; }));
    EXPECT_EQ(events, 2);
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

// An open file of these bytes, already unlinked: it goes when the test closes it.
int FileOf(const std::string& bytes) {
    char path[] = "/tmp/starsock-sendfile-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return -1;
    unlink(path);
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        close(fd);
        return -1;
    }
    return fd;
}

// Whatever has arrived at `s` so far, read past its component.
void Drain(const TStarSocket& s, std::string& got) {
    char buffer[65536];
    for (ssize_t n; (n = ::recv(s.Socket(), buffer, sizeof buffer, 0)) > 0;)
        got.append(buffer, static_cast<std::size_t>(n));
}

TEST_F(StarSocketPair, FileBytesArriveWholeThroughTheKernel) {
    using TFileSend = TStarSocket::TFileSend;
    // Several times what the socket holds, and no multiple of anything.
    const std::string bytes = RandomBytes((std::size_t{9} << 20) + 4097, 5);
    const int fd = FileOf(bytes);
    ASSERT_GE(fd, 0);
    std::string got;
    std::int64_t offset = 0;
    std::size_t total = 0;
    TFileSend outcome = TFileSend::Moved;
    // Nobody reads at first: the socket fills up.
    for (int i = 0; i < 1000 && outcome == TFileSend::Moved; ++i) {
        std::size_t moved = 0;
        outcome = client.SendFile(fd, offset, 300000, moved);
        total += moved;
    }
    ASSERT_EQ(outcome, TFileSend::Full);
    EXPECT_EQ(client.LastError(), 0);
    EXPECT_EQ(offset, static_cast<std::int64_t>(total));
    ASSERT_LT(total, bytes.size());
    for (int i = 0; i < 100000 && outcome != TFileSend::FileEnd; ++i) {
        std::size_t moved = 1;
        outcome = client.SendFile(fd, offset, 300000, moved);
        ASSERT_TRUE(outcome == TFileSend::Moved || outcome == TFileSend::Full ||
                    outcome == TFileSend::FileEnd)
            << static_cast<int>(outcome);
        EXPECT_EQ(client.LastError(), 0);
        EXPECT_LE(moved, 300000u);
        if (outcome != TFileSend::Moved) {
            EXPECT_EQ(moved, 0u);
        }
        total += moved;
        EXPECT_EQ(offset, static_cast<std::int64_t>(total));
        Drain(server, got);
    }
    close(fd);
    ASSERT_EQ(outcome, TFileSend::FileEnd);
    EXPECT_EQ(offset, static_cast<std::int64_t>(bytes.size()));
    ASSERT_TRUE(RunUntil([&] {
        Drain(server, got);
        return got.size() >= bytes.size();
    }));
    EXPECT_TRUE(got == bytes);
}

// The kernel sends only from files it can read at an offset; nothing moves, and the socket is not
// to blame.
TEST_F(StarSocketPair, FilesTheKernelCannotSendFromAreNoSocketError) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    ASSERT_EQ(write(pipeEnds[1], "abc", 3), 3);
    std::int64_t offset = 0;
    std::size_t moved = 1;
    EXPECT_EQ(client.SendFile(pipeEnds[0], offset, 3, moved), TStarSocket::TFileSend::Unsupported);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(client.LastError(), 0);
    close(pipeEnds[0]);
    // The read end is closed now: no file at all.
    EXPECT_EQ(client.SendFile(pipeEnds[0], offset, 3, moved), TStarSocket::TFileSend::FileFailed);
    EXPECT_EQ(client.LastError(), 0);
    close(pipeEnds[1]);
    // The socket itself is fine.
    EXPECT_EQ(client.Send("x", 1), 1);
}

// sendfile has no flag against SIGPIPE: a peer that has gone must fail the send, not end the
// process, and leave no SIGPIPE behind.
TEST_F(StarSocketPair, FileSendToAPeerThatHasGoneFailsWithoutSigpipe) {
    struct sigaction dflt {
    }, before{};
    dflt.sa_handler = SIG_DFL;
    ASSERT_EQ(sigaction(SIGPIPE, &dflt, &before), 0);
    const std::string bytes = RandomBytes(1 << 20, 7);
    const int fd = FileOf(bytes);
    ASSERT_GE(fd, 0);
    server.CloseSocket();
    std::int64_t offset = 0;
    std::size_t moved = 0;
    TStarSocket::TFileSend outcome = TStarSocket::TFileSend::Moved;
    for (int i = 0; i < 1000 && outcome != TStarSocket::TFileSend::Failed; ++i) {
        if (offset >= static_cast<std::int64_t>(bytes.size())) offset = 0;
        outcome = client.SendFile(fd, offset, 65536, moved);
        if (outcome == TStarSocket::TFileSend::Full) RunUntil([] { return false; }, 5);
    }
    EXPECT_EQ(outcome, TStarSocket::TFileSend::Failed);
    EXPECT_EQ(client.LastError(), WSAECONNRESET);
    // Again, now that the connection is known to be dead (EPIPE for certain).
    EXPECT_EQ(client.SendFile(fd, offset, 65536, moved), TStarSocket::TFileSend::Failed);
    EXPECT_EQ(client.LastError(), WSAECONNRESET);
    sigset_t pending;
    ASSERT_EQ(sigpending(&pending), 0);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    close(fd);
    sigaction(SIGPIPE, &before, nullptr);
}

TEST_F(StarSocketPair, InjectedSendFailuresHitFileSendsToo) {
    const int fd = FileOf("abc");
    ASSERT_GE(fd, 0);
    std::int64_t offset = 0;
    std::size_t moved = 1;
    FailNextSocketCalls(TSocketCall::Send, ENOBUFS);
    EXPECT_EQ(client.SendFile(fd, offset, 3, moved), TStarSocket::TFileSend::Failed);
    EXPECT_EQ(client.LastError(), WSAENOBUFS);
    EXPECT_EQ(moved, 0u);
    EXPECT_EQ(offset, 0);
    EXPECT_EQ(client.SendFile(fd, offset, 3, moved), TStarSocket::TFileSend::Moved);
    EXPECT_EQ(moved, 3u);
    close(fd);
}

TEST_F(StarSocketPair, WritableWaitEndsWhenThePeerMakesRoom) {
    EXPECT_TRUE(client.PeerIsLoopback());
    EXPECT_FALSE(TStarSocket().PeerIsLoopback());
    // The kernel doubles what it is asked for (socket(7)).
    client.SetSendBuffer(65536);
    int queue = 0;
    socklen_t length = sizeof queue;
    ASSERT_EQ(getsockopt(client.Socket(), SOL_SOCKET, SO_SNDBUF, &queue, &length), 0);
    EXPECT_EQ(queue, 2 * 65536);

    // Filled until the peer's window is shut too (late acknowledgements free room at first): then
    // the wait lasts its whole time.
    const std::string block(64 * 1024, 'w');
    using Clock = std::chrono::steady_clock;
    bool waitedInFull = false;
    Clock::time_point start;
    for (int round = 0; round < 20 && !waitedInFull; ++round) {
        for (int i = 0; i < 1000 && client.Send(block.data(), static_cast<int>(block.size())) > 0;)
            ++i;
        ASSERT_EQ(client.LastError(), 0);
        start = Clock::now();
        client.WaitWritable(200);
        waitedInFull = Clock::now() - start >= std::chrono::milliseconds(150);
    }
    EXPECT_TRUE(waitedInFull);
    std::string got;
    Drain(server, got);
    ASSERT_FALSE(got.empty());
    start = Clock::now();
    client.WaitWritable(5000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
    EXPECT_GT(client.Send(block.data(), static_cast<int>(block.size())), 0);
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

TEST(StarSocket, AddressesOfBothFamiliesAreTakenAndWrittenBack) {
    const struct {
        const char* text;
        int family;
        const char* written; // as GetAddressText gives it back
    } rows[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1"},
        {"0177.0.0.1", AF_INET, "127.0.0.1"}, // octal, as before
        {"127.1", AF_INET, "127.0.0.1"},      // short form, as before
        {"::1", AF_INET6, "::1"},
        {"2001:DB8:0:0:0:0:0:1", AF_INET6, "2001:db8::1"},
        {"::ffff:192.0.2.1", AF_INET6, "::ffff:192.0.2.1"},
        {"1nvalid.example", AF_UNSPEC, ""},
        {"::1::2", AF_UNSPEC, ""},
        {"", AF_UNSPEC, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        TStarSocket s;
        s.SetAddress(row.text);
        s.SetPort(21);
        EXPECT_EQ(s.AddressFamily(), row.family);
        EXPECT_EQ(s.GetAddressText(), row.written);
    }
}

// A client, a listener and the accepted end on ::1.
TEST(StarSocket, ConnectsAcceptsAndCarriesDataOverIPv6) {
    TStarSocket listener, client, server;
    listener.SetAddress("::1");
    listener.SetPort(0);
    listener.CreateSocket();
    listener.Listen();
    ASSERT_EQ(listener.LastError(), 0);
    EXPECT_EQ(listener.GetLocalAddress(), "::1");
    const std::uint16_t port = listener.GetLocalPort();
    ASSERT_NE(port, 0);
    listener.OnSocketAccept = [&](TStarSocket& l) { server.Accept(l); };
    std::string got;
    server.OnSocketRead = [&](TStarSocket& c) {
        char buffer[16];
        const int n = c.Receive(buffer, sizeof buffer);
        got.append(buffer, static_cast<std::size_t>(n));
    };
    // Created before the address is known, as the FTP component does: an IPv4 socket, replaced.
    client.CreateSocket();
    client.SetAddress("::1");
    client.SetPort(port);
    client.Connect();
    ASSERT_EQ(client.LastError(), 0);
    ASSERT_TRUE(RunUntil([&] { return client.Connected() && server.Connected(); }));
    EXPECT_EQ(client.GetLocalAddress(), "::1");
    EXPECT_EQ(server.GetAddressText(), "::1"); // the peer, filled in by accept
    ASSERT_EQ(client.Send("over six", 8), 8);
    ASSERT_TRUE(RunUntil([&] { return got == "over six"; }));
}

// Lookups of a name with addresses of both families, answered by the test seam so that only
// loopback addresses are ever used. The port is the same for every address: one of them listens,
// the others refuse, or stall until the time-out.
class StarSocketFallback : public testing::Test {
  protected:
    void TearDown() override { ClearSocketFaults(); }

    // Resolves `name`, connects, and records the outcome.
    void ResolveAndConnect(const std::string& name, std::uint16_t port, int timeOut = 0) {
        s.TimeOutConnect = timeOut;
        s.OnHostResolved = [port](TStarSocket& c) {
            c.UseResolvedAddress();
            c.SetPort(port);
            c.CreateSocket();
            c.Connect();
        };
        s.OnSocketConnect = [this](TStarSocket& c) {
            connects.push_back(c.LastError());
            addressAtConnect = c.GetAddressText();
        };
        s.OnTimeOut = [this](TStarSocket&) { ++timeOuts; };
        s.ResolveHost(name);
        ASSERT_EQ(s.LastError(), 0);
    }
    bool Finished(int timeoutMs = 10000) {
        return RunUntil([&] { return !connects.empty() || timeOuts > 0; }, timeoutMs);
    }

    TStarSocket s;
    std::vector<std::uint16_t> connects;
    std::string addressAtConnect;
    int timeOuts = 0;
};

TEST_F(StarSocketFallback, ARefusedAddressGivesWayToTheNextInResolverOrder) {
    const struct {
        const char* what;
        bool ipv6Listens; // the other family refuses
        std::vector<std::string> order;
        std::uint16_t error;
        const char* address;
    } rows[] = {
        {"v6 refuses, v4 answers", false, {"::1", "127.0.0.1"}, 0, "127.0.0.1"},
        {"v4 refuses, v6 answers", true, {"127.0.0.1", "::1"}, 0, "::1"},
        {"the first answers", true, {"::1", "127.0.0.1"}, 0, "::1"},
        {"only a refusing one", false, {"::1"}, WSAECONNREFUSED, "::1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const std::uint16_t port = PortFreeOnBothLoopbacks();
        ASSERT_NE(port, 0);
        LoopbackSocket listening(row.ipv6Listens, port, true);
        ASSERT_TRUE(listening.Ready());
        LoopbackSocket refusing(!row.ipv6Listens, port);
        ASSERT_TRUE(refusing.Ready());
        TStarSocket client;
        std::vector<std::uint16_t> errors;
        std::string address;
        AnswerLookups("dual.test", row.order);
        client.OnHostResolved = [&](TStarSocket& c) {
            c.UseResolvedAddress();
            c.SetPort(listening.Port());
            c.CreateSocket();
            c.Connect();
        };
        client.OnSocketConnect = [&](TStarSocket& c) {
            errors.push_back(c.LastError());
            address = c.GetAddressText();
        };
        client.ResolveHost("dual.test");
        ASSERT_TRUE(RunUntil([&] { return !errors.empty(); }));
        DrainPostedEvents();
        // One event, for the last address tried, never one per address.
        EXPECT_EQ(errors, std::vector<std::uint16_t>{row.error});
        EXPECT_EQ(address, row.address);
        EXPECT_EQ(client.Connected(), row.error == 0);
    }
}

TEST_F(StarSocketFallback, EveryAddressRefusingReportsTheRefusalOnce) {
    const std::uint16_t port = PortFreeOnBothLoopbacks();
    ASSERT_NE(port, 0);
    LoopbackSocket v4(false, port);
    ASSERT_TRUE(v4.Ready());
    LoopbackSocket v6(true, port);
    ASSERT_TRUE(v6.Ready());
    AnswerLookups("dual.test", {"127.0.0.1", "::1"});
    ResolveAndConnect("dual.test", v4.Port());
    ASSERT_TRUE(Finished());
    DrainPostedEvents();
    EXPECT_EQ(connects, std::vector<std::uint16_t>{WSAECONNREFUSED});
    EXPECT_EQ(addressAtConnect, "::1");
    EXPECT_EQ(timeOuts, 0);
}

TEST_F(StarSocketFallback, AnAddressThatTimesOutGivesWayToTheNext) {
    const std::uint16_t port = PortFreeOnBothLoopbacks();
    ASSERT_NE(port, 0);
    StalledListener stalled(port); // 127.0.0.1
    ASSERT_TRUE(stalled.Ready());
    LoopbackSocket v6(true, port, true);
    ASSERT_TRUE(v6.Ready());
    AnswerLookups("dual.test", {"127.0.0.1", "::1"});
    ResolveAndConnect("dual.test", stalled.Port(), 1);
    ASSERT_TRUE(Finished());
    EXPECT_EQ(connects, std::vector<std::uint16_t>{0});
    EXPECT_EQ(addressAtConnect, "::1");
    EXPECT_EQ(timeOuts, 0);
    EXPECT_TRUE(s.Connected());
}

TEST_F(StarSocketFallback, TheLastAddressTimingOutIsATimeOut) {
    const std::uint16_t port = PortFreeOnBothLoopbacks();
    ASSERT_NE(port, 0);
    StalledListener stalled(port);
    ASSERT_TRUE(stalled.Ready());
    LoopbackSocket v6(true, port);
    ASSERT_TRUE(v6.Ready());
    AnswerLookups("dual.test", {"::1", "127.0.0.1"});
    ResolveAndConnect("dual.test", stalled.Port(), 1);
    ASSERT_TRUE(Finished());
    EXPECT_TRUE(connects.empty());
    EXPECT_EQ(timeOuts, 1);
    EXPECT_EQ(s.Socket(), -1);
}

TEST_F(StarSocketFallback, ResolvedAddressesOfOneFamilyOnly) {
    const struct {
        std::vector<std::string> found;
        int family;
        const char* first; // "" when none
        std::uint16_t error;
    } rows[] = {
        {{"::1", "127.0.0.1", "127.0.0.2"}, AF_INET, "127.0.0.1", 0},
        {{"::1", "127.0.0.1", "127.0.0.2"}, AF_INET6, "::1", 0},
        {{"::1", "127.0.0.1", "127.0.0.2"}, AF_UNSPEC, "::1", 0},
        {{"::1"}, AF_INET, "", WSANO_DATA},
        {{"127.0.0.1"}, AF_INET6, "", WSANO_DATA},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.found.front() + " " + std::to_string(row.family));
        TStarSocket c;
        bool resolved = false;
        c.OnHostResolved = [&](TStarSocket&) { resolved = true; };
        AnswerLookups("dual.test", row.found);
        c.ResolveHost("dual.test");
        ASSERT_TRUE(RunUntil([&] { return resolved; }));
        ASSERT_EQ(c.LastError(), 0);
        c.UseResolvedAddress(row.family);
        EXPECT_EQ(c.GetAddressText(), row.first);
        EXPECT_EQ(c.LastError(), row.error);
    }
}

TEST(StarSocket, LookupOfAnIPv6LiteralIsAnAddress) {
    TStarSocket s;
    bool resolved = false;
    s.OnHostResolved = [&](TStarSocket&) { resolved = true; };
    s.ResolveHost("::1");
    ASSERT_TRUE(RunUntil([&] { return resolved; }));
    EXPECT_EQ(s.LastError(), 0);
    s.UseResolvedAddress();
    EXPECT_EQ(s.GetAddressText(), "::1");
    EXPECT_EQ(s.AddressFamily(), AF_INET6);
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
