#include "net/starsock.h"

#include "net/sockerr.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHostAddress>
#include <QHostInfo>
#include <QObject>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TMessageEvent : public QEvent {
  public:
    explicit TMessageEvent(const TSocketMessage& message)
        : QEvent(kMessageEvent), message(message) {}
    TSocketMessage message;
};

struct Fault {
    int posixErrno = 0;
    int count = 0;
};
std::array<Fault, 4> faults;

// True (with errno set) when a test asked this call to fail.
bool Injected(TSocketCall call) {
    Fault& f = faults[static_cast<std::size_t>(call)];
    if (f.count <= 0) return false;
    --f.count;
    errno = f.posixErrno;
    return true;
}

} // namespace

void FailNextSocketCalls(TSocketCall call, int posixErrno, int count) {
    faults[static_cast<std::size_t>(call)] = {posixErrno, count};
}

void ClearSocketFaults() {
    faults = {};
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

TStarSocket::TStarSocket() : sink_(std::make_unique<TSocketSink>(*this)) {
    address_.sin_family = AF_INET;
}

TStarSocket::~TStarSocket() {
    if (lookupPending_) QHostInfo::abortHostLookup(lookupId_);
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
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        StoreError(errno);
        return;
    }
    lastError_ = 0;
    sock_ = fd;
    ++generation_;
    sink_->Watch(fd);
}

// Closes the socket and forgets its readiness; LastError := the outcome of close.
void TStarSocket::ForgetSocket() {
    sink_->Watch(-1);
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

void TStarSocket::SetAddress(const std::string& dotted) {
    in_addr a{};
    address_.sin_addr.s_addr = inet_aton(dotted.c_str(), &a) ? a.s_addr : INADDR_NONE;
}

void TStarSocket::SetPort(std::uint16_t port) {
    address_.sin_port = htons(port);
}

std::string TStarSocket::GetAddressText() const {
    return inet_ntoa(address_.sin_addr);
}

void TStarSocket::ResolveHost(const std::string& name) {
    if (lookupPending_) return;
    lookupPending_ = true;
    lookupId_ =
        QHostInfo::lookupHost(SystemToQString(name), sink_.get(), [this](const QHostInfo& info) {
            std::uint32_t address = 0;
            const std::uint16_t error = WinsockLookupError(info);
            if (error == 0) {
                for (const QHostAddress& a : info.addresses()) {
                    if (a.protocol() != QAbstractSocket::IPv4Protocol) continue;
                    address = htonl(a.toIPv4Address());
                    break;
                }
            }
            LookupDone(info.lookupId(), error, address);
        });
    lastError_ = 0;
    StartTimeOut(TimeOutArp);
}

void TStarSocket::LookupDone(int id, std::uint16_t error, std::uint32_t address) {
    if (!lookupPending_ || id != lookupId_) return;
    StartTimeOut(0);
    lastError_ = error;
    if (error == 0) resolved_ = address;
    lookupPending_ = false;
    HostResolved();
}

void TStarSocket::HostResolved() {
    Fire(OnHostResolved);
}

void TStarSocket::UseResolvedAddress() {
    address_.sin_addr.s_addr = resolved_;
}

void TStarSocket::Connect() {
    // An address that did not parse is refused here rather than sent to the broadcast address.
    if (address_.sin_addr.s_addr == INADDR_NONE) {
        lastError_ = WSAEADDRNOTAVAIL;
        return;
    }
    const bool failed =
        Injected(TSocketCall::Connect) ||
        ::connect(sock_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0;
    lastError_ = failed ? WinsockError(errno) : 0;
    if (lastError_ == WSAEWOULDBLOCK) lastError_ = 0;
    if (lastError_ != 0) return;
    // Completion, successful or not, shows as writability.
    connecting_ = true;
    sink_->write.setEnabled(true);
    StartTimeOut(TimeOutConnect);
}

void TStarSocket::Listen() {
    if (::bind(sock_, reinterpret_cast<const sockaddr*>(&address_), sizeof address_) != 0) {
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
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd = -1;
    if (!Injected(TSocketCall::Accept)) {
        do {
            fd = ::accept4(listener.sock_, reinterpret_cast<sockaddr*>(&peer), &length,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
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
    sock_ = fd;
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

int TStarSocket::Send(const void* data, int length) {
    if (Injected(TSocketCall::Send)) return Transfer(-1);
    ssize_t n;
    do
        n = ::send(sock_, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    while (n < 0 && errno == EINTR);
    return Transfer(static_cast<int>(n));
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
    ssize_t n;
    do
        n = ::recv(sock_, buffer, static_cast<std::size_t>(capacity), 0);
    while (n < 0 && errno == EINTR);
    return Transfer(static_cast<int>(n));
}

std::string TStarSocket::GetLocalAddress() {
    if (sock_ < 0) return "";
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        StoreError(errno);
        return "";
    }
    return inet_ntoa(local.sin_addr);
}

std::uint16_t TStarSocket::GetLocalPort() {
    if (sock_ < 0) return 0;
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        StoreError(errno);
        return 0;
    }
    return ntohs(local.sin_port);
}

void TStarSocket::CloseSocket() {
    if (lookupPending_) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupPending_ = false;
    }
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
    CloseSocket();
    Fire(OnTimeOut);
}

void TStarSocket::SetServer(const std::string& text) {
    serverText_ = text;
    if (text.empty()) return;
    if (text[0] >= '0' && text[0] <= '9') {
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

void TStarSocket::Readable() {
    sink_->read.setEnabled(false);
    if (sock_ < 0) return;
    if (listening_) {
        // Stays off until the owner accepts, as the platform reports one connection at a time.
        acceptArmed_ = false;
        StartTimeOut(0);
        lastError_ = 0;
        Fire(OnSocketAccept);
        return;
    }
    // One byte peeked tells data from the peer's close.
    char probe;
    ssize_t n;
    do
        n = ::recv(sock_, &probe, 1, MSG_PEEK);
    while (n < 0 && errno == EINTR);
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
        if (readTaken_) ArmRead();
        return;
    }
    StoreError(n == 0 ? 0 : errno);
    readWatched_ = false;
    Fire(OnSocketClose);
    if (generation != generation_ || !connected_) return;
    const std::uint16_t error = lastError_;
    ForgetSocket();
    lastError_ = error;
}

void TStarSocket::Writable() {
    sink_->write.setEnabled(false);
    if (sock_ < 0 || !connecting_) return;
    connecting_ = false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(sock_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    StartTimeOut(0);
    StoreError(error);
    if (error == 0) {
        connected_ = true;
        readWatched_ = true;
    }
    const unsigned generation = generation_;
    Fire(OnSocketConnect);
    if (error != 0 || generation != generation_) return;
    ArmRead();
    Fire(OnSocketWrite);
}
