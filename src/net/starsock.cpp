#include "net/starsock.h"

#include "net/hostlookup.h"
#include "net/sockerr.h"
#include "net/tlslink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <QTimerEvent>

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TMessageEvent : public QEvent {
  public:
    explicit TMessageEvent(const TSocketMessage& message)
        : QEvent(kMessageEvent), message(message) {}
    TSocketMessage message;
};

TSocketSeam* seam = nullptr;

// True (with errno set) when a test asked this call to fail.
bool Injected(TSocketCall call) {
    return seam && seam->Fail(call);
}

socklen_t AddressLength(const TSocketAddress& a) {
    return a.any.sa_family == AF_INET6 ? sizeof a.v6 : sizeof a.v4;
}

void ApplyPort(TSocketAddress& a, std::uint16_t port) {
    if (a.any.sa_family == AF_INET6)
        a.v6.sin6_port = htons(port);
    else
        a.v4.sin_port = htons(port);
}

// inet_aton for IPv4, as before (it takes the short and octal forms too), else IPv6 text.
bool ParseAddress(const std::string& text, TSocketAddress& out) {
    out = {};
    if (inet_aton(text.c_str(), &out.v4.sin_addr)) {
        out.v4.sin_family = AF_INET;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), &out.v6.sin6_addr) == 1) {
        out.v6.sin6_family = AF_INET6;
        return true;
    }
    out.any.sa_family = AF_UNSPEC;
    return false;
}

// sendfile has no MSG_NOSIGNAL: the SIGPIPE of a connection the peer has closed is held back by
// this thread's mask and taken back, so that the process lives on and sees EPIPE, as with send.
ssize_t SendFileQuietly(int sock, int fd, off_t* offset, std::size_t length) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    // A SIGPIPE already pending under the caller's own mask is not ours to take.
    sigset_t pending;
    const bool heldBefore = sigismember(&old, SIGPIPE) == 1 && sigpending(&pending) == 0 &&
                            sigismember(&pending, SIGPIPE) == 1;
    ssize_t n;
    do
        n = ::sendfile(sock, fd, offset, length);
    while (n < 0 && errno == EINTR);
    const int sendErrno = errno;
    // The signal may come with a count too, when the connection broke after some bytes went.
    if (!heldBefore && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
        const timespec none{};
        while (sigtimedwait(&pipe, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = sendErrno;
    return n;
}

} // namespace

std::string AddressText(const TSocketAddress& a) {
    char text[INET6_ADDRSTRLEN] = "";
    if (a.any.sa_family == AF_INET)
        inet_ntop(AF_INET, &a.v4.sin_addr, text, sizeof text);
    else if (a.any.sa_family == AF_INET6)
        inet_ntop(AF_INET6, &a.v6.sin6_addr, text, sizeof text);
    return text;
}

void SetSocketSeam(TSocketSeam* testSeam) {
    seam = testSeam;
}

// The component's private receiver of readiness, lookup results, timer ticks and posted messages.
class TSocketSink : public QObject {
  public:
    explicit TSocketSink(TStarSocket& owner)
        : owner(owner), read(QSocketNotifier::Read), write(QSocketNotifier::Write) {
        QObject::connect(&read, &QSocketNotifier::activated, this,
                         [this] { this->owner.Readable(); });
        QObject::connect(&write, &QSocketNotifier::activated, this,
                         [this] { this->owner.Writable(); });
    }

    void Watch(int fd) {
        read.setSocket(fd);
        write.setSocket(fd);
        read.setEnabled(false);
        write.setEnabled(false);
    }

    TStarSocket& owner;
    QSocketNotifier read;
    QSocketNotifier write;
    int timerId = 0;

  protected:
    bool event(QEvent* e) override {
        if (e->type() != kMessageEvent) return QObject::event(e);
        TSocketMessage message = static_cast<TMessageEvent*>(e)->message;
        const auto handler = owner.OnMessage;
        if (handler) handler(message);
        return true;
    }
    void timerEvent(QTimerEvent* e) override {
        if (e->timerId() == timerId) owner.Tick();
    }
};

TStarSocket::TStarSocket()
    : sink_(std::make_unique<TSocketSink>(*this)),
      lookup_(std::make_unique<THostLookup>(
          [this](std::uint16_t error, std::vector<TSocketAddress> addresses) {
              LookupDone(error, std::move(addresses));
          })) {
    address_.v4.sin_family = AF_INET;
}

TStarSocket::~TStarSocket() {
    lookup_.reset();
    sink_.reset();
    // Closed here too, so that a component dropped with its socket open leaks no descriptor.
    if (sock_ >= 0) ::close(sock_);
    UnloadWinsock();
}

bool TStarSocket::LoadWinsock() {
    loaded_ = true;
    return loaded_;
}

bool TStarSocket::StartWinsock() {
    if (started_) return true;
    if (!loaded_) LoadWinsock();
    if (loaded_) {
        started_ = true;
        WinsockDescription = "POSIX sockets";
        WinsockStatus = "Running";
        rlimit files{};
        MaxSockets = getrlimit(RLIMIT_NOFILE, &files) == 0
                         ? static_cast<int>(std::min<rlim_t>(files.rlim_cur, 32767))
                         : 0;
    }
    return started_;
}

void TStarSocket::StopWinsock() {
    started_ = false;
}

void TStarSocket::UnloadWinsock() {
    if (started_) StopWinsock();
    loaded_ = false;
}

void TStarSocket::StoreError(int posixErrno) {
    lastError_ = WinsockError(posixErrno);
}

void TStarSocket::CreateSocket() {
    if (sock_ != -1) return;
    const int family = address_.any.sa_family == AF_INET6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        StoreError(errno);
        return;
    }
    lastError_ = 0;
    sock_ = fd;
    family_ = family;
    ++generation_;
    sink_->Watch(fd);
}

// A socket of one family cannot reach an address of the other: an unused socket is swapped for a
// new one. False (LastError set) when the new socket cannot be made.
bool TStarSocket::MatchFamily() {
    if (sock_ < 0 || family_ == address_.any.sa_family) return true;
    ForgetSocket();
    CreateSocket();
    return lastError_ == 0;
}

// Closes the socket and forgets its readiness; LastError := the outcome of close.
void TStarSocket::ForgetSocket() {
    sink_->Watch(-1);
    tls_.reset();
    tlsHandshaking_ = false;
    tlsWantWrite_ = false;
    const int result = ::close(sock_);
    const int closeErrno = result == 0 ? 0 : errno;
    sock_ = -1;
    ++generation_;
    connected_ = false;
    listening_ = false;
    readWatched_ = false;
    readDispatching_ = false;
    acceptArmed_ = false;
    connecting_ = false;
    lastError_ = WinsockError(closeErrno);
}

void TStarSocket::SetAddress(const std::string& text) {
    ParseAddress(text, address_);
    ApplyPort(address_, port_);
    untried_.clear();
}

void TStarSocket::SetPort(std::uint16_t port) {
    port_ = port;
    ApplyPort(address_, port_);
}

std::string TStarSocket::GetAddressText() const {
    return AddressText(address_);
}

void TStarSocket::ResolveHost(const std::string& name) {
    if (lookup_->Pending()) return;
    std::vector<std::string> answer;
    if (seam && seam->Answer(name, answer)) {
        std::vector<TSocketAddress> addresses;
        for (const std::string& text : answer) {
            TSocketAddress a{};
            if (ParseAddress(text, a)) addresses.push_back(a);
        }
        const std::uint16_t error = addresses.empty() ? WSANO_DATA : 0;
        lookup_->Answer(error, std::move(addresses));
    } else {
        lookup_->Start(name);
    }
    lastError_ = 0;
    StartTimeOut(TimeOutArp);
}

void TStarSocket::LookupDone(std::uint16_t error, std::vector<TSocketAddress> addresses) {
    StartTimeOut(0);
    lastError_ = error;
    if (error == 0) resolved_ = std::move(addresses);
    HostResolved();
}

void TStarSocket::HostResolved() {
    Fire(OnHostResolved);
}

void TStarSocket::UseResolvedAddress(int family) {
    untried_.clear();
    for (auto a = resolved_.rbegin(); a != resolved_.rend(); ++a)
        if (family == AF_UNSPEC || a->any.sa_family == family) untried_.push_back(*a);
    if (untried_.empty()) {
        address_ = {};
        address_.any.sa_family = AF_UNSPEC;
        lastError_ = WSANO_DATA; // as a lookup that found no address
        return;
    }
    address_ = untried_.back();
    untried_.pop_back();
    ApplyPort(address_, port_);
}

void TStarSocket::Connect() {
    StartConnect();
    // An address that fails at once gives way to the next one at once.
    while (lastError_ != 0 && NextAddress())
        StartConnect();
}

void TStarSocket::StartConnect() {
    // An address that did not parse is refused here rather than sent to the broadcast address.
    if (address_.any.sa_family == AF_UNSPEC ||
        (address_.any.sa_family == AF_INET && address_.v4.sin_addr.s_addr == INADDR_NONE)) {
        lastError_ = WSAEADDRNOTAVAIL;
        return;
    }
    if (!MatchFamily()) return;
    const bool failed = Injected(TSocketCall::Connect) ||
                        ::connect(sock_, &address_.any, AddressLength(address_)) != 0;
    lastError_ = failed ? WinsockError(errno) : 0;
    if (lastError_ == WSAEWOULDBLOCK) lastError_ = 0;
    if (lastError_ != 0) return;
    // Completion, successful or not, shows as writability.
    connecting_ = true;
    sink_->write.setEnabled(true);
    StartTimeOut(TimeOutConnect);
}

// Moves to the next address of the lookup on a fresh socket (a socket whose connect failed is
// spent). False when none is left, or the socket cannot be made (LastError tells).
bool TStarSocket::NextAddress() {
    if (untried_.empty() || sock_ < 0) return false;
    const std::uint16_t error = lastError_;
    ForgetSocket();
    address_ = untried_.back();
    untried_.pop_back();
    ApplyPort(address_, port_);
    CreateSocket();
    if (lastError_ != 0) return false;
    lastError_ = error;
    return true;
}

void TStarSocket::Listen() {
    if (!MatchFamily()) return;
    if (::bind(sock_, &address_.any, AddressLength(address_)) != 0) {
        StoreError(errno);
        return;
    }
    if (::listen(sock_, 2) != 0) {
        StoreError(errno);
        return;
    }
    lastError_ = 0;
    listening_ = true;
    acceptArmed_ = true;
    sink_->read.setEnabled(true);
}

void TStarSocket::Accept(TStarSocket& listener) {
    TSocketAddress peer{};
    socklen_t length = sizeof peer;
    int fd = -1;
    if (!Injected(TSocketCall::Accept)) {
        do {
            fd = ::accept4(listener.sock_, &peer.any, &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
    }
    const int acceptErrno = errno;
    // Like the platform, an accept call lets the listener report the next connection.
    if (listener.listening_ && !listener.acceptArmed_) {
        listener.acceptArmed_ = true;
        listener.sink_->read.setEnabled(true);
    }
    if (fd < 0) {
        StoreError(acceptErrno);
        return;
    }
    if (sock_ >= 0) ForgetSocket();
    address_ = peer;
    untried_.clear();
    sock_ = fd;
    family_ = peer.any.sa_family;
    ++generation_;
    sink_->Watch(fd);
    lastError_ = 0;
    connected_ = true;
    readWatched_ = true;
    sink_->read.setEnabled(true);
}

int TStarSocket::Transfer(int result) {
    if (result > 0) {
        lastError_ = 0;
        return result;
    }
    if (result == 0) return 0; // peer closed, or nothing asked: LastError stays
    StoreError(errno);
    if (lastError_ == WSAEWOULDBLOCK) lastError_ = 0;
    return 0;
}

// The outcome of a TLS read or write as a transfer's: errors of the link end the connection.
int TStarSocket::TlsTransfer(int moved, TTlsStep step) {
    lastError_ = 0;
    if (step == TTlsStep::Failed)
        lastError_ = errno == EPIPE || errno == ECONNRESET ? WinsockError(errno) : WSAECONNABORTED;
    return moved;
}

int TStarSocket::Send(const void* data, int length) {
    if (Injected(TSocketCall::Send)) return Transfer(-1);
    if (tls_) {
        if (tlsHandshaking_) return TlsTransfer(0, TTlsStep::WantRead);
        TTlsStep step;
        errno = 0;
        const int moved = tls_->Write(data, length, step);
        return TlsTransfer(moved, step);
    }
    ssize_t n;
    do
        n = ::send(sock_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return Transfer(static_cast<int>(n));
}

TStarSocket::TFileSend TStarSocket::SendFile(int fd, std::int64_t& offset, std::size_t length,
                                             std::size_t& moved) {
    moved = 0;
    if (tls_) return TFileSend::Unsupported;
    // From here on EBADF can only be the file's.
    if (sock_ < 0) {
        lastError_ = WSAENOTSOCK;
        return TFileSend::Failed;
    }
    if (Injected(TSocketCall::Send)) {
        StoreError(errno);
        return TFileSend::Failed;
    }
    off_t at = static_cast<off_t>(offset);
    const ssize_t n = SendFileQuietly(sock_, fd, &at, length);
    if (n > 0) {
        lastError_ = 0;
        moved = static_cast<std::size_t>(n);
        offset = at;
        return TFileSend::Moved;
    }
    if (n == 0) return length == 0 ? TFileSend::Moved : TFileSend::FileEnd;
    switch (errno) {
    case EAGAIN:
        return TFileSend::Full;
    case EINVAL:
    case ENOSYS:
    case EOPNOTSUPP:
    case ESPIPE:
        return TFileSend::Unsupported;
    case EIO:
    case ENOMEM:
    case EOVERFLOW:
    case EBADF:
        return TFileSend::FileFailed;
    default:
        StoreError(errno);
        return TFileSend::Failed;
    }
}

int TStarSocket::SendUrgent(const void* data, int length) {
    ssize_t n;
    do
        n = ::send(sock_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL | MSG_OOB);
    while (n < 0 && errno == EINTR);
    return Transfer(static_cast<int>(n));
}

int TStarSocket::Receive(void* buffer, int capacity) {
    if (readDispatching_)
        readTaken_ = true;
    else
        ArmRead();
    if (Injected(TSocketCall::Recv)) return Transfer(-1);
    if (tls_) {
        if (tlsHandshaking_) return TlsTransfer(0, TTlsStep::WantRead);
        TTlsStep step;
        errno = 0;
        const int moved = tls_->Read(buffer, capacity, step);
        return TlsTransfer(moved, step);
    }
    ssize_t n;
    do
        n = ::recv(sock_, buffer, static_cast<std::size_t>(capacity), 0);
    while (n < 0 && errno == EINTR);
    return Transfer(static_cast<int>(n));
}

void TStarSocket::SetReadThreshold(int bytes) {
    if (sock_ >= 0) ::setsockopt(sock_, SOL_SOCKET, SO_RCVLOWAT, &bytes, sizeof bytes);
}

void TStarSocket::WaitWritable(int ms) {
    if (sock_ < 0) return;
    pollfd p{sock_, POLLOUT, 0};
    ::poll(&p, 1, std::max(ms, 0));
}

void TStarSocket::SetSendBuffer(int bytes) {
    if (sock_ >= 0) ::setsockopt(sock_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

void TStarSocket::SetNoDelay() {
    const int on = 1;
    if (sock_ >= 0) ::setsockopt(sock_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool TStarSocket::PeerIsLoopback() const {
    if (!connected_) return false;
    if (address_.any.sa_family == AF_INET) return (ntohl(address_.v4.sin_addr.s_addr) >> 24) == 127;
    if (address_.any.sa_family != AF_INET6) return false;
    const in6_addr& a = address_.v6.sin6_addr;
    return IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
}

std::string TStarSocket::GetLocalAddress() {
    std::string address;
    std::uint16_t port = 0;
    GetLocalEndpoint(address, port);
    return address;
}

std::uint16_t TStarSocket::GetLocalPort() {
    std::string address;
    std::uint16_t port = 0;
    GetLocalEndpoint(address, port);
    return port;
}

bool TStarSocket::GetLocalEndpoint(std::string& address, std::uint16_t& port) {
    if (sock_ < 0) return false;
    TSocketAddress local{};
    socklen_t length = sizeof local;
    if (::getsockname(sock_, &local.any, &length) != 0) {
        StoreError(errno);
        return false;
    }
    address = AddressText(local);
    port = ntohs(local.any.sa_family == AF_INET6 ? local.v6.sin6_port : local.v4.sin_port);
    return true;
}

void TStarSocket::CloseSocket() {
    lookup_->Abort();
    StartTimeOut(0);
    if (sock_ == -1) return;
    ForgetSocket();
}

void TStarSocket::StartTimeOut(int seconds) {
    if (sink_->timerId != 0) sink_->killTimer(sink_->timerId);
    sink_->timerId = 0;
    if (seconds == 0) return;
    countdown_ = seconds;
    sink_->timerId = sink_->startTimer(1000);
}

void TStarSocket::Tick() {
    if (countdown_ <= 0 || --countdown_ != 0) return;
    if (connecting_) {
        // The next address gets the whole time-out again.
        connecting_ = false;
        sink_->write.setEnabled(false);
        lastError_ = WinsockError(ETIMEDOUT);
        bool tried = false;
        while (NextAddress()) {
            tried = true;
            StartConnect();
            if (lastError_ == 0) return;
        }
        // The last address failed at once: its error, not the time-out, is the outcome.
        if (tried) {
            Fire(OnSocketConnect);
            return;
        }
    }
    CloseSocket();
    Fire(OnTimeOut);
}

void TStarSocket::SetServer(const std::string& text) {
    serverText_ = text;
    if (text.empty()) return;
    // No host name holds a colon: such a text is an IPv6 address ("::1" starts with none).
    if ((text[0] >= '0' && text[0] <= '9') || text.find(':') != std::string::npos) {
        ServerAddress = text;
        ServerHostName.clear();
    } else {
        ServerHostName = text;
        ServerAddress.clear();
    }
}

void TStarSocket::PostMessage(unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    QCoreApplication::postEvent(sink_.get(), new TMessageEvent({msg, wParam, lParam}));
}

void TStarSocket::ArmRead() {
    if (readWatched_ && !readDispatching_ && sock_ >= 0) sink_->read.setEnabled(true);
}

// The watch stays on while a read event runs: turning it off and on again costs the event queue a
// wake-up each time, for every reply. Only a read event that comes inside the running one (a
// handler that runs the queue) turns it off, until the running one has returned.
void TStarSocket::Readable() {
    if (sock_ < 0 || readDispatching_) {
        sink_->read.setEnabled(false);
        return;
    }
    if (listening_) {
        // Stays off until the owner accepts, as the platform reports one connection at a time.
        sink_->read.setEnabled(false);
        acceptArmed_ = false;
        StartTimeOut(0);
        lastError_ = 0;
        Fire(OnSocketAccept);
        return;
    }
    if (tlsHandshaking_) {
        sink_->read.setEnabled(false);
        TlsHandshakeStep();
        return;
    }
    // One byte peeked tells data from the peer's close; bytes the TLS link holds are data.
    char probe;
    ssize_t n = 1;
    if (!tls_ || !tls_->Pending()) {
        do
            n = ::recv(sock_, &probe, 1, MSG_PEEK);
        while (n < 0 && errno == EINTR);
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        ArmRead();
        return;
    }
    StartTimeOut(0);
    const unsigned generation = generation_;
    if (n > 0) {
        lastError_ = 0;
        readDispatching_ = true;
        readTaken_ = false;
        Fire(OnSocketRead);
        if (generation != generation_) return;
        readDispatching_ = false;
        if (tls_ && tls_->PeerClosed()) {
            // Answered, so that a peer waiting for ours closes too.
            tls_->Shutdown();
            sink_->read.setEnabled(false);
            PeerClosed(0);
            return;
        }
        // As the platform: no more read events until the owner reads.
        if (!readTaken_) {
            sink_->read.setEnabled(false);
            return;
        }
        ArmRead();
        if (tls_ && tls_->Pending()) ReadPendingLater();
        return;
    }
    sink_->read.setEnabled(false);
    PeerClosed(WinsockError(n == 0 ? 0 : errno));
}

void TStarSocket::PeerClosed(std::uint16_t error) {
    lastError_ = error;
    readWatched_ = false;
    const unsigned generation = generation_;
    Fire(OnSocketClose);
    if (generation != generation_ || !connected_) return;
    error = lastError_;
    ForgetSocket();
    lastError_ = error;
}

// Bytes already decrypted raise no readiness of their own: their read event comes from the queue.
void TStarSocket::ReadPendingLater() {
    const unsigned generation = generation_;
    QTimer::singleShot(0, sink_.get(), [this, generation] {
        if (generation == generation_ && readWatched_ && !readDispatching_) Readable();
    });
}

void TStarSocket::StartTls(const std::string& host, const TTlsSession* resume) {
    tls_ = std::make_unique<TTlsLink>(sock_, host, resume);
    tlsHandshaking_ = true;
    tlsWantWrite_ = false;
    // Inside this socket's read event, the read watch comes back after it.
    if (readDispatching_) readTaken_ = true;
    const unsigned generation = generation_;
    // Its outcome is an event like any other: never inside the caller.
    QTimer::singleShot(0, sink_.get(), [this, generation] {
        if (generation == generation_ && tlsHandshaking_ && !tlsWantWrite_) TlsHandshakeStep();
    });
}

void TStarSocket::TlsHandshakeStep() {
    const TTlsStep step = tls_->Failed() ? TTlsStep::Failed : tls_->Handshake();
    if (step == TTlsStep::WantRead) {
        ArmRead();
        return;
    }
    if (step == TTlsStep::WantWrite) {
        tlsWantWrite_ = true;
        sink_->write.setEnabled(true);
        return;
    }
    tlsHandshaking_ = false;
    lastError_ = step == TTlsStep::Done ? 0 : WSAECONNABORTED;
    const unsigned generation = generation_;
    Fire(OnTlsReady);
    if (generation != generation_ || !tls_) return;
    ArmRead();
    if (tls_->Pending()) ReadPendingLater();
}

bool TStarSocket::ShutdownTls() {
    lastError_ = 0;
    if (!tls_ || tlsHandshaking_) return true;
    const TTlsStep step = tls_->Shutdown();
    if (step == TTlsStep::Failed) lastError_ = WSAECONNABORTED;
    return step == TTlsStep::Done;
}

void TStarSocket::Writable() {
    sink_->write.setEnabled(false);
    if (sock_ >= 0 && tlsWantWrite_) {
        tlsWantWrite_ = false;
        TlsHandshakeStep();
        return;
    }
    if (sock_ < 0 || !connecting_) return;
    connecting_ = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(sock_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    StartTimeOut(0);
    StoreError(error);
    if (error != 0) {
        while (NextAddress()) {
            StartConnect();
            if (lastError_ == 0) return; // the next attempt is under way
        }
        // Every address failed: the event carries the error of the last one.
        Fire(OnSocketConnect);
        return;
    }
    connected_ = true;
    readWatched_ = true;
    const unsigned generation = generation_;
    Fire(OnSocketConnect);
    if (generation != generation_) return;
    ArmRead();
    Fire(OnSocketWrite);
}
