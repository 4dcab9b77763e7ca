#pragma once
// TStarSocket: one asynchronous TCP socket, IPv4 or IPv6, whose readiness, host-name lookups,
// one-second time-out ticks and posted private messages arrive as events on the user-interface
// thread. Nothing blocks; every step records its outcome in LastError (a Windows Sockets number, 0
// for success) and nothing throws.
//
// A lookup keeps every address of the name in the resolver's order. Connect tries them in turn:
// when one fails (refused, timed out, unreachable or any other error) the next is tried on a fresh
// socket, and only the outcome of the last one is reported.
//
// Events may pump the event loop themselves, so a handler can be re-entered by later readiness of
// another socket; a read (or accept) event of this socket never runs inside another of its own.
// Destroy a component outside its own events.

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class THostLookup;
class TSocketSink;
class TTlsLink;
class TTlsSession;
enum class TTlsStep;

// Message numbers. Numbers above WM_USER + 1 belong to the owner (PostMessage, OnMessage).
constexpr unsigned WM_USER = 0x0400;

// An IPv4 or IPv6 socket address; family AF_UNSPEC when there is none.
union TSocketAddress {
    sockaddr any;
    sockaddr_in v4;
    sockaddr_in6 v6;
};

// The address alone ("127.0.0.1", "::1"); empty for any other family.
std::string AddressText(const TSocketAddress& a);

struct TSocketMessage {
    unsigned Msg;
    std::intptr_t WParam;
    std::intptr_t LParam;
};

class TStarSocket {
  public:
    using TSocketEvent = std::function<void(TStarSocket& sender)>;

    TStarSocket();
    virtual ~TStarSocket();
    TStarSocket(const TStarSocket&) = delete;
    TStarSocket& operator=(const TStarSocket&) = delete;

    // The socket library: POSIX sockets need no start-up, so this is bookkeeping that always
    // succeeds.
    bool LoadWinsock();
    bool StartWinsock();
    void StopWinsock();
    void UnloadWinsock();
    bool WinsockLoaded() const { return loaded_; }
    bool WinsockRunning() const { return started_; }

    // A TCP socket of the address's family, when there is none. Connect and Listen replace an
    // unused socket of the other family.
    void CreateSocket();
    // A dotted IPv4 or a textual IPv6 address; anything else is no address (Connect refuses it).
    void SetAddress(const std::string& text);
    void SetPort(std::uint16_t port);
    std::string GetAddressText() const; // after a connect: the address that answered
    int AddressFamily() const { return address_.any.sa_family; }
    void ResolveHost(const std::string& name); // ignored while a lookup is pending
    // The first address of the last successful lookup, of `family` (AF_INET, AF_INET6) or of
    // either; Connect falls back to the others of it. None: LastError is WSANO_DATA.
    void UseResolvedAddress(int family = AF_UNSPEC);
    void Connect(); // outcome: OnSocketConnect, LastError = its error
    void Listen();  // bind to the address and port, listen (backlog 2)
    void Accept(TStarSocket& listener);
    // The three transfers return the bytes moved; 0 with LastError 0 means "nothing moved now".
    int Send(const void* data, int length);
    int SendUrgent(const void* data, int length);
    int Receive(void* buffer, int capacity);
    // Up to `length` bytes of the open file `fd`, from `offset` on, go to the socket inside the
    // kernel, never through our memory; `offset` advances by the bytes moved, which `moved` holds.
    // Not over TLS (Unsupported). LastError is set only when the socket failed.
    enum class TFileSend {
        Moved,       // some bytes went
        Full,        // the socket takes nothing now
        FileEnd,     // the file has no byte at `offset`
        FileFailed,  // the file cannot be read there
        Unsupported, // the kernel cannot send from this file: read it and Send
        Failed,      // the socket failed
    };
    TFileSend SendFile(int fd, std::int64_t& offset, std::size_t length, std::size_t& moved);
    // TLS over the connected socket, as its client: the handshake starts now and runs on the
    // socket's readiness, checking the certificate against `host` (a name or an address);
    // OnTlsReady follows, with LastError 0 or WSAECONNABORTED (the link's Error says why). From
    // then on Send and Receive carry plain bytes, and a close_notify from the peer counts as its
    // close. `resume` is a session of an earlier link to the same server.
    void StartTls(const std::string& host, const TTlsSession* resume = nullptr);
    // Sends close_notify: true once it has gone out, or when there is no TLS; false while the
    // socket cannot take it yet (wait until it is writable and call again) or when it failed
    // (LastError set).
    bool ShutdownTls();
    const TTlsLink* Tls() const { return tls_.get(); } // null without TLS
    // The read event then waits until `bytes` have arrived or the peer has closed. Only a hint:
    // a failure changes nothing.
    void SetReadThreshold(int bytes);
    // Waits outside the event queue, at most `ms` milliseconds, until the socket can take more
    // bytes or has failed: for send loops that run the queue themselves every few milliseconds.
    void WaitWritable(int ms);
    // The kernel's send queue of the socket holds about `bytes`. Only a hint: a failure changes
    // nothing.
    void SetSendBuffer(int bytes);
    // Small writes go out at once, without waiting for the peer to acknowledge the ones before.
    // Only a hint: a failure changes nothing.
    void SetNoDelay();
    // Connected to an address of this host (127.0.0.0/8, ::1 or ::ffff:127.x).
    bool PeerIsLoopback() const;
    // These three leave a stale LastError after success; the address is text, IPv6 too.
    std::string GetLocalAddress();
    std::uint16_t GetLocalPort();
    // Both at once; false (and nothing set) when the socket has no local address.
    bool GetLocalEndpoint(std::string& address, std::uint16_t& port);
    void CloseSocket(); // also cancels a pending lookup and stops the countdown
    // Seconds until OnTimeOut (after the socket is closed); 0 stops the countdown, < 0 never
    // expires.
    void StartTimeOut(int seconds);
    // A text starting with a digit, or holding a colon (IPv6), is an address, anything else a host
    // name; "" changes nothing.
    void SetServer(const std::string& text);
    const std::string& ServerText() const { return serverText_; }

    // Delivers `msg` (> WM_USER + 1) to OnMessage after the running handler has returned, in order.
    void PostMessage(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0);

    int Socket() const { return sock_; }
    bool Connected() const { return connected_; }
    std::uint16_t LastError() const { return lastError_; }

    std::string WinsockDescription;
    std::string WinsockStatus;
    int MaxSockets = 0;

    std::function<void(TSocketMessage&)> OnMessage;
    TSocketEvent OnHostResolved;
    TSocketEvent OnSocketConnect;
    TSocketEvent OnSocketClose; // the socket is closed after it unless the handler closed it
    TSocketEvent OnTimeOut;
    TSocketEvent OnSocketRead;
    TSocketEvent OnSocketWrite; // once, right after a successful connect
    TSocketEvent OnSocketAccept;
    TSocketEvent OnTlsReady;

    std::int32_t TimeOutConnect = 0; // seconds
    std::int32_t TimeOutArp = 0;     // seconds, for a host-name lookup
    std::string ServerAddress;
    std::string ServerHostName;

  protected:
    // A lookup finished (also when it failed: LastError holds why). Fires OnHostResolved.
    virtual void HostResolved();

  private:
    friend class TSocketSink;
    // A copy runs, so that a handler may replace the slot it was called through.
    void Fire(TSocketEvent event) {
        if (event) event(*this);
    }
    void Readable();
    void Writable();
    void Tick();
    void LookupDone(std::uint16_t error, std::vector<TSocketAddress> addresses);
    void ArmRead();
    void ForgetSocket();
    bool MatchFamily();
    void StartConnect();
    bool NextAddress();
    void StoreError(int posixErrno);
    int Transfer(int result);
    int TlsTransfer(int moved, TTlsStep step);
    void TlsHandshakeStep();
    void ReadPendingLater();
    void PeerClosed(std::uint16_t error);

    std::unique_ptr<TSocketSink> sink_;
    std::unique_ptr<THostLookup> lookup_;
    int sock_ = -1;
    int family_ = AF_UNSPEC; // of sock_
    TSocketAddress address_{};
    std::uint16_t port_ = 0; // host byte order
    bool connected_ = false;
    bool loaded_ = false;
    bool started_ = false;
    std::vector<TSocketAddress> resolved_; // of the last successful lookup, in resolver order
    std::vector<TSocketAddress> untried_;  // addresses Connect has not tried yet, next one last
    int countdown_ = 0;
    std::string serverText_;
    std::uint16_t lastError_ = 0;

    // Readiness bookkeeping: a stream socket is watched for reading until its close is seen; while
    // its read event runs the watch is off, and it comes back only if the handler read (as the
    // platform re-arms a read notification on recv).
    bool listening_ = false;
    bool readWatched_ = false;
    bool readDispatching_ = false;
    bool readTaken_ = false;
    bool acceptArmed_ = false;
    bool connecting_ = false;
    unsigned generation_ = 0; // a new socket (or none) each time, so a handler's close is noticed

    std::unique_ptr<TTlsLink> tls_;
    bool tlsHandshaking_ = false;
    bool tlsWantWrite_ = false; // the handshake waits for writability
};

// Where tests reach in: while a seam is set, connect, send, the data reads and accept ask it first,
// and so do host lookups. The program never sets one; tests/support's socketfaults.h does.
enum class TSocketCall { Connect, Send, Recv, Accept };
class TSocketSeam {
  public:
    virtual ~TSocketSeam() = default;
    // True, with errno set, when this call must fail instead of reaching the system.
    virtual bool Fail(TSocketCall call) = 0;
    // True when a lookup of `name` is answered with these addresses (text, in this order) instead
    // of asking the resolver.
    virtual bool Answer(const std::string& name, std::vector<std::string>& addresses) = 0;
};
void SetSocketSeam(TSocketSeam* seam);
