#include "loopback.h"

#include <QHostAddress>
#include <QTcpServer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

std::uint16_t RefusingLoopbackPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) return 0;
    const std::uint16_t port = server.serverPort();
    server.close();
    return port;
}

namespace {
sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}
} // namespace

StalledListener::StalledListener(std::uint16_t port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(port);
    socklen_t length = sizeof a;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 0) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length) != 0)
        return;
    port_ = ntohs(a.sin_port);
    // Backlog 0 still completes one connection; it fills the queue.
    filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in target = Loopback(port_);
    if (filler_ >= 0 &&
        ::connect(filler_, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
        ::close(filler_);
        filler_ = -1;
    }
}

StalledListener::~StalledListener() {
    if (filler_ >= 0) ::close(filler_);
    if (listener_ >= 0) ::close(listener_);
}

LoopbackSocket::LoopbackSocket(bool ipv6, std::uint16_t port, bool listening) {
    union {
        sockaddr any;
        sockaddr_in v4;
        sockaddr_in6 v6;
    } a{};
    socklen_t length;
    if (ipv6) {
        a.v6.sin6_family = AF_INET6;
        a.v6.sin6_addr = in6addr_loopback;
        a.v6.sin6_port = htons(port);
        length = sizeof a.v6;
    } else {
        a.v4 = Loopback(port);
        length = sizeof a.v4;
    }
    fd_ = ::socket(a.any.sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0 || ::bind(fd_, &a.any, length) != 0 || (listening && ::listen(fd_, 8) != 0) ||
        ::getsockname(fd_, &a.any, &length) != 0)
        return;
    port_ = ntohs(ipv6 ? a.v6.sin6_port : a.v4.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint16_t PortFreeOnBothLoopbacks() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const LoopbackSocket v4(false);
        if (!v4.Ready()) continue;
        const LoopbackSocket v6(true, v4.Port());
        if (v6.Ready()) return v4.Port();
    }
    return 0;
}
