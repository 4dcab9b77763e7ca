#pragma once
// TTlsLink: the TLS client side of one connected, non-blocking socket (OpenSSL). It never waits:
// each step says whether it needs the socket readable or writable before it can go on. The
// certificate is checked against the system's CA store (and SSL_CERT_FILE / SSL_CERT_DIR) and the
// server's name or address, but a failed check does not stop the handshake: the owner decides,
// from Certificate(), whether to go on.

#include <cstdint>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_session_st;
struct TOpenSsl;

enum class TTlsStep { Done, WantRead, WantWrite, Failed };

// What a trust question shows of the server's certificate.
struct TCertificateInfo {
    std::string Problem;     // why the check failed; empty when it passed
    std::string Subject;     // one line, RFC 2253
    std::string Issuer;      // one line, RFC 2253
    std::string NotBefore;   // "YYYY-MM-DD HH:MM:SS UTC"
    std::string NotAfter;    // "YYYY-MM-DD HH:MM:SS UTC"
    std::string Fingerprint; // SHA-256 of the DER form, upper-case hex pairs joined by ':'
};

class TTlsSession;

class TTlsLink {
  public:
    // A link over `fd` (not owned) to `host` (a name or an address, checked against the
    // certificate); it resumes `resume` when given. Failed() tells when it could not be made.
    TTlsLink(int fd, const std::string& host, const TTlsSession* resume);
    ~TTlsLink();
    TTlsLink(const TTlsLink&) = delete;
    TTlsLink& operator=(const TTlsLink&) = delete;

    bool Failed() const { return ssl_ == nullptr; }
    TTlsStep Handshake();
    bool Established() const { return established_; }
    // Plain bytes in and out. > 0: bytes moved. 0 with step Done from Read: the peer's
    // close_notify has come; 0 with WantRead or WantWrite: nothing moved now.
    int Write(const void* data, int length, TTlsStep& step);
    int Read(void* buffer, int capacity, TTlsStep& step);
    // Sends close_notify. Done once it has gone out whole.
    TTlsStep Shutdown();
    bool PeerClosed() const;
    // Decrypted bytes waiting inside the link, which the socket's readiness no longer shows.
    bool Pending() const;

    // The last failure, for the log and the user.
    const std::string& Error() const { return error_; }
    std::string Version() const;
    std::string Cipher() const;
    bool Resumed() const;
    TCertificateInfo Certificate() const;
    // The session to resume on further connections to the same server; null before the
    // handshake.
    std::shared_ptr<TTlsSession> Session() const;

  private:
    TTlsStep Step(int result, const char* what);

    const TOpenSsl* lib_ = nullptr; // set whenever ssl_ is
    ssl_st* ssl_ = nullptr;
    bool established_ = false;
    std::string error_;
};

// A TLS session that later links may resume.
class TTlsSession {
  public:
    explicit TTlsSession(ssl_session_st* session) : session_(session) {}
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;
    ssl_session_st* Handle() const { return session_; }

  private:
    ssl_session_st* session_;
};
