#include "net/hostlookup.h"

#include "net/sockerr.h"
#include "platform/codepage.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QUrl>

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

const QEvent::Type kAnswerEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class TAnswerEvent : public QEvent {
  public:
    TAnswerEvent(int id, std::uint16_t error, std::vector<TSocketAddress> addresses)
        : QEvent(kAnswerEvent), id(id), error(error), addresses(std::move(addresses)) {}
    int id;
    std::uint16_t error;
    std::vector<TSocketAddress> addresses;
};

bool SameAddress(const TSocketAddress& a, const TSocketAddress& b) {
    if (a.any.sa_family != b.any.sa_family) return false;
    if (a.any.sa_family == AF_INET) return a.v4.sin_addr.s_addr == b.v4.sin_addr.s_addr;
    return std::memcmp(&a.v6.sin6_addr, &b.v6.sin6_addr, sizeof a.v6.sin6_addr) == 0 &&
           a.v6.sin6_scope_id == b.v6.sin6_scope_id;
}

struct TFound {
    int result; // getaddrinfo's
    std::vector<TSocketAddress> addresses;
};

// The TCP addresses of `name`, each once, in the resolver's order. Blocks unless `flags` hold
// AI_NUMERICHOST.
TFound Resolve(const std::string& name, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (result == EAI_BADFLAGS && (flags & AI_ADDRCONFIG)) {
        // Some resolvers know no AI_ADDRCONFIG.
        hints.ai_flags = flags & ~AI_ADDRCONFIG;
        result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    }
    TFound out{result, {}};
    if (result != 0) return out;
    for (const addrinfo* node = found; node; node = node->ai_next) {
        TSocketAddress a{};
        if (node->ai_family == AF_INET && node->ai_addrlen >= sizeof a.v4)
            std::memcpy(&a.v4, node->ai_addr, sizeof a.v4);
        else if (node->ai_family == AF_INET6 && node->ai_addrlen >= sizeof a.v6)
            std::memcpy(&a.v6, node->ai_addr, sizeof a.v6);
        else
            continue;
        if (std::none_of(out.addresses.begin(), out.addresses.end(),
                         [&](const TSocketAddress& b) { return SameAddress(a, b); }))
            out.addresses.push_back(a);
    }
    freeaddrinfo(found);
    return out;
}

} // namespace

// The resolver's thread posts its answer only while the lookup still waits for it.
struct THostLookup::TShared {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

class THostLookup::TReceiver : public QObject {
  public:
    explicit TReceiver(TDone done) : done(std::move(done)) {}
    TDone done;
    int pending = 0; // the id of the lookup waited for, 0 for none
    int lastId = 0;

  protected:
    bool event(QEvent* e) override {
        if (e->type() != kAnswerEvent) return QObject::event(e);
        auto* answer = static_cast<TAnswerEvent*>(e);
        if (answer->id != pending) return true; // of a lookup dropped since
        pending = 0;
        done(answer->error, std::move(answer->addresses));
        return true;
    }
};

THostLookup::THostLookup(TDone done) : receiver_(std::make_unique<TReceiver>(std::move(done))) {}

THostLookup::~THostLookup() {
    Abort();
}

bool THostLookup::Pending() const {
    return receiver_->pending != 0;
}

void THostLookup::Abort() {
    if (shared_) {
        const std::lock_guard lock(shared_->mutex);
        shared_->receiver = nullptr;
    }
    shared_.reset();
    receiver_->pending = 0;
}

void THostLookup::Answer(std::uint16_t error, std::vector<TSocketAddress> addresses) {
    Abort();
    const int id = receiver_->pending = ++receiver_->lastId;
    QCoreApplication::postEvent(receiver_.get(), new TAnswerEvent(id, error, std::move(addresses)));
}

void THostLookup::Start(const std::string& name) {
    // An address text (the short and octal IPv4 forms, IPv6 with a scope) is read at once.
    TFound numeric = Resolve(name, AI_NUMERICHOST);
    if (numeric.result == 0) {
        const std::uint16_t error = WinsockLookupError(0, numeric.addresses.size());
        Answer(error, std::move(numeric.addresses));
        return;
    }
    // A name in any script goes to the resolver in its IDNA form.
    const QByteArray ace = QUrl::toAce(SystemToQString(name));
    if (ace.isEmpty()) {
        Answer(WSAHOST_NOT_FOUND, {});
        return;
    }
    Abort();
    const int id = receiver_->pending = ++receiver_->lastId;
    shared_ = std::make_shared<TShared>();
    shared_->receiver = receiver_.get();
    try {
        std::thread([shared = shared_, id, ace = ace.toStdString()] {
            TFound found = Resolve(ace, AI_ADDRCONFIG);
            const std::uint16_t error = WinsockLookupError(found.result, found.addresses.size());
            const std::lock_guard lock(shared->mutex);
            if (shared->receiver)
                QCoreApplication::postEvent(
                    shared->receiver, new TAnswerEvent(id, error, std::move(found.addresses)));
        }).detach();
    } catch (const std::system_error&) {
        Answer(WSATRY_AGAIN, {});
    }
}
