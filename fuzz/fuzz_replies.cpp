// Control replies as a hostile server may send them, read by a real TStarFtp over a loopback
// connection, so the reply framer, the multi-line rule and every state's handler see them line by
// line, in whatever state the earlier lines led to.
//
// Input: the first byte picks the code of the control text (TransferMode, byte % 5), the operation
// started once logged in (byte / 5 % 4: none, listing, store, directory change), with bit 6
// passive data connections (the addresses that replies name stay on loopback: the server is
// reached there), with byte / 20 odd a store under a temporary name, and, with its top bit, a fixed
// login first (its FEAT names SIZE), so that the rest meets the listing and store states, the size
// check and the rename rather than the login ones. The rest is the server's text; after it the
// server shuts its side. The session must then end: the quit notification has to arrive.

#include "ftp/ftp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int listener = -1;
std::uint16_t port = 0;
std::string localFile;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz_replies: %s\n", what);
    std::abort();
}

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return; // the client has gone: what is left is never read anyway
        done += static_cast<std::size_t>(n);
    }
}

// What the client sends is read and dropped, so its sends never stall.
void Drain(int fd) {
    char sink[4096];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    Check(listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
              ::listen(listener, 4) == 0 &&
              ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length) == 0,
          "no loopback listener");
    port = ntohs(a.sin_port);
    char name[] = "/tmp/fuzz_replies_XXXXXX";
    const int fd = ::mkstemp(name);
    Check(fd >= 0 && ::write(fd, "abc\r\n", 5) == 5, "no local file");
    ::close(fd);
    localFile = name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    const int operation = mode / 5 % 4;
    const bool fixedLogin = (mode & 0x80) != 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    int server = -1;
    bool quit = false;
    {
        TStarFtp ftp;
        ftp.SetFtpServer("127.0.0.1");
        ftp.FtpPort = port;
        ftp.UserName = "u";
        ftp.UserPassword = "p";
        ftp.TransferMode = static_cast<TTransferType>(mode % 5);
        ftp.PassiveMode = (mode & 0x40) != 0;
        ftp.UseTempName = mode / 20 % 2 != 0;
        ftp.LocalFile = localFile;
        ftp.RemoteFile = "r.txt";
        ftp.OnFtpQuit = [&quit](TStarFtp&) { quit = true; };
        ftp.OnLoggedIn = [&](TStarFtp& f) {
            if (operation == 1) f.GetListing();
            if (operation == 2) f.StoreFile();
            if (operation == 3) f.ChangeDirectory("/d");
            if (fixedLogin && server >= 0) {
                WriteAll(server, text);
                ::shutdown(server, SHUT_WR);
            }
        };
        ftp.Login();
        pollfd incoming{listener, POLLIN, 0};
        Check(::poll(&incoming, 1, 5000) == 1, "the client did not connect");
        server = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        Check(server >= 0, "accept failed");
        if (fixedLogin) {
            WriteAll(server, "220 hi\r\n230 in\r\n215 UNIX Type: L8\r\n211-Features:\r\n SIZE\r\n"
                             "211 End\r\n");
        } else {
            WriteAll(server, text);
            ::shutdown(server, SHUT_WR);
        }

        QTimer wake;
        wake.start(5);
        const QDeadlineTimer deadline(5000);
        while (!quit && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            Drain(server);
        }
        // Once the server has hung up, the session ends by itself.
        Check(quit, "no quit notification after the server hung up");
        for (int round = 0; round < 3; ++round)
            QCoreApplication::processEvents();
        Check(!ftp.Busy(), "still busy after the quit notification");
        Check(ftp.Phase() == TransferPhase::None, "a transfer phase left after the quit");
    }
    // A reset rather than a close, so that no TIME_WAIT connection is left per input.
    const linger reset{1, 0};
    ::setsockopt(server, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(server);
    return 0;
}
