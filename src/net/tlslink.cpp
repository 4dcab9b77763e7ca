#include "net/tlslink.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

using TContext = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// One client context, made again when the CA locations of the environment change (tests point
// SSL_CERT_FILE at a CA of their own).
SSL_CTX* ClientContext() {
    static TContext context(nullptr, SSL_CTX_free);
    static std::string madeFor;
    const std::string locations = EnvText("SSL_CERT_FILE") + '\n' + EnvText("SSL_CERT_DIR");
    if (context && madeFor == locations) return context.get();
    context.reset(SSL_CTX_new(TLS_client_method()));
    madeFor = locations;
    if (!context) return nullptr;
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(context.get());
    // The chain is checked during the handshake, but its outcome is the owner's to act on.
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(context.get(),
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return context.get();
}

bool IsAddress(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

std::string LastSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

std::string NameText(const X509_NAME* name) {
    BIO* out = BIO_new(BIO_s_mem());
    if (!out) return "";
    X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<std::size_t>(length > 0 ? length : 0));
    BIO_free(out);
    return text;
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::string Fingerprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return "";
    // "AB:CD:...", the form `openssl x509 -fingerprint` prints.
    char* hex = OPENSSL_buf2hexstr(digest, length);
    const std::string text = hex ? hex : "";
    OPENSSL_free(hex);
    return text;
}

} // namespace

TTlsSession::~TTlsSession() {
    SSL_SESSION_free(session_);
}

TTlsLink::TTlsLink(int fd, const std::string& host, const TTlsSession* resume) {
    SSL_CTX* context = ClientContext();
    if (!context) {
        error_ = "no TLS context: " + LastSslError();
        return;
    }
    ssl_ = SSL_new(context);
    if (!ssl_) {
        error_ = LastSslError();
        return;
    }
    SSL_set_fd(ssl_, fd);
    if (IsAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl_, host.c_str());
        SSL_set1_host(ssl_, host.c_str());
    }
    if (resume) SSL_set_session(ssl_, resume->Handle());
}

TTlsLink::~TTlsLink() {
    SSL_free(ssl_);
}

TTlsStep TTlsLink::Step(int result, const char* what) {
    if (result > 0) return TTlsStep::Done;
    const int error = SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ) return TTlsStep::WantRead;
    if (error == SSL_ERROR_WANT_WRITE) return TTlsStep::WantWrite;
    const int savedErrno = errno;
    std::string why = LastSslError();
    if (why.empty())
        why = error == SSL_ERROR_SYSCALL && savedErrno != 0 ? std::strerror(savedErrno)
                                                            : "the server closed the connection";
    error_ = std::string(what) + ": " + why;
    return TTlsStep::Failed;
}

TTlsStep TTlsLink::Handshake() {
    if (!ssl_) return TTlsStep::Failed;
    const TTlsStep step = Step(SSL_connect(ssl_), "TLS handshake");
    if (step == TTlsStep::Done) established_ = true;
    return step;
}

int TTlsLink::Write(const void* data, int length, TTlsStep& step) {
    if (length <= 0) {
        step = TTlsStep::Done;
        return 0;
    }
    const int result = SSL_write(ssl_, data, length);
    step = Step(result, "TLS write");
    return result > 0 ? result : 0;
}

int TTlsLink::Read(void* buffer, int capacity, TTlsStep& step) {
    const int result = SSL_read(ssl_, buffer, capacity);
    if (result <= 0 && SSL_get_error(ssl_, result) == SSL_ERROR_ZERO_RETURN) {
        step = TTlsStep::Done;
        return 0;
    }
    step = Step(result, "TLS read");
    return result > 0 ? result : 0;
}

TTlsStep TTlsLink::Shutdown() {
    const int result = SSL_shutdown(ssl_);
    // 0, or a wish to read: ours has gone, the peer's has not come yet.
    if (result >= 0) return TTlsStep::Done;
    const TTlsStep step = Step(result, "TLS shutdown");
    return step == TTlsStep::WantRead ? TTlsStep::Done : step;
}

bool TTlsLink::PeerClosed() const {
    return ssl_ && (SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

bool TTlsLink::Pending() const {
    return ssl_ && SSL_pending(ssl_) > 0;
}

std::string TTlsLink::Version() const {
    return ssl_ ? SSL_get_version(ssl_) : "";
}

std::string TTlsLink::Cipher() const {
    return ssl_ ? SSL_get_cipher_name(ssl_) : "";
}

bool TTlsLink::Resumed() const {
    return ssl_ && SSL_session_reused(ssl_) == 1;
}

TCertificateInfo TTlsLink::Certificate() const {
    TCertificateInfo info;
    X509* certificate = ssl_ ? SSL_get1_peer_certificate(ssl_) : nullptr;
    if (!certificate) {
        info.Problem = "the server sent no certificate";
        return info;
    }
    const long verified = SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK) info.Problem = X509_verify_cert_error_string(verified);
    info.Subject = NameText(X509_get_subject_name(certificate));
    info.Issuer = NameText(X509_get_issuer_name(certificate));
    info.NotBefore = TimeText(X509_get0_notBefore(certificate));
    info.NotAfter = TimeText(X509_get0_notAfter(certificate));
    info.Fingerprint = Fingerprint(certificate);
    X509_free(certificate);
    return info;
}

std::shared_ptr<TTlsSession> TTlsLink::Session() const {
    SSL_SESSION* session = ssl_ ? SSL_get1_session(ssl_) : nullptr;
    if (!session) return nullptr;
    return std::make_shared<TTlsSession>(session);
}
