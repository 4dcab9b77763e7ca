#include "net/tlslink.h"

#include "net/openssllib.h"

#include <arpa/inet.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

std::string EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// One client context, made again when the CA locations of the environment change (tests point
// SSL_CERT_FILE at a CA of their own).
SSL_CTX* ClientContext(const TOpenSsl& lib) {
    static SSL_CTX* context = nullptr;
    static std::string madeFor;
    const std::string locations = EnvText("SSL_CERT_FILE") + '\n' + EnvText("SSL_CERT_DIR");
    if (context && madeFor == locations) return context;
    lib.SSL_CTX_free(context);
    context = lib.SSL_CTX_new(lib.TLS_client_method());
    madeFor = locations;
    if (!context) return nullptr;
    lib.SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    lib.SSL_CTX_set_default_verify_paths(context);
    // The chain is checked during the handshake, but its outcome is the owner's to act on.
    lib.SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    lib.SSL_CTX_ctrl(context, SSL_CTRL_MODE,
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
    return context;
}

bool IsAddress(const std::string& host) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, host.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

std::string LastSslError(const TOpenSsl& lib) {
    const unsigned long code = lib.ERR_get_error();
    lib.ERR_clear_error();
    if (code == 0) return "";
    char text[256];
    lib.ERR_error_string_n(code, text, sizeof text);
    return text;
}

std::string NameText(const TOpenSsl& lib, const X509_NAME* name) {
    BIO* out = lib.BIO_new(lib.BIO_s_mem());
    if (!out) return "";
    lib.X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = lib.BIO_ctrl(out, BIO_CTRL_INFO, 0, &data);
    std::string text(data, static_cast<std::size_t>(length > 0 ? length : 0));
    lib.BIO_free(out);
    return text;
}

std::string TimeText(const TOpenSsl& lib, const ASN1_TIME* time) {
    std::tm parts{};
    if (!time || lib.ASN1_TIME_to_tm(time, &parts) != 1) return "";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::string Fingerprint(const TOpenSsl& lib, X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (lib.X509_digest(certificate, lib.EVP_sha256(), digest, &length) != 1) return "";
    // "AB:CD:...", the form `openssl x509 -fingerprint` prints.
    char* hex = lib.OPENSSL_buf2hexstr(digest, length);
    const std::string text = hex ? hex : "";
    lib.CRYPTO_free(hex, __FILE__, __LINE__);
    return text;
}

} // namespace

TTlsSession::~TTlsSession() {
    // A session comes only from a link, which loaded the library.
    std::string unused;
    if (const TOpenSsl* lib = OpenSsl(unused)) lib->SSL_SESSION_free(session_);
}

TTlsLink::TTlsLink(int fd, const std::string& host, const TTlsSession* resume) {
    std::string why;
    const TOpenSsl* lib = OpenSsl(why);
    if (!lib) {
        error_ = "TLS is not available: " + why;
        return;
    }
    SSL_CTX* context = ClientContext(*lib);
    if (!context) {
        error_ = "no TLS context: " + LastSslError(*lib);
        return;
    }
    ssl_ = lib->SSL_new(context);
    if (!ssl_) {
        error_ = LastSslError(*lib);
        return;
    }
    lib_ = lib;
    lib->SSL_set_fd(ssl_, fd);
    if (IsAddress(host)) {
        lib->X509_VERIFY_PARAM_set1_ip_asc(lib->SSL_get0_param(ssl_), host.c_str());
    } else {
        lib->SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                      const_cast<char*>(host.c_str()));
        lib->SSL_set1_host(ssl_, host.c_str());
    }
    if (resume) lib->SSL_set_session(ssl_, resume->Handle());
}

TTlsLink::~TTlsLink() {
    if (ssl_) lib_->SSL_free(ssl_);
}

TTlsStep TTlsLink::Step(int result, const char* what) {
    if (result > 0) return TTlsStep::Done;
    const int error = lib_->SSL_get_error(ssl_, result);
    if (error == SSL_ERROR_WANT_READ) return TTlsStep::WantRead;
    if (error == SSL_ERROR_WANT_WRITE) return TTlsStep::WantWrite;
    const int savedErrno = errno;
    std::string why = LastSslError(*lib_);
    if (why.empty())
        why = error == SSL_ERROR_SYSCALL && savedErrno != 0 ? std::strerror(savedErrno)
                                                            : "the server closed the connection";
    error_ = std::string(what) + ": " + why;
    return TTlsStep::Failed;
}

TTlsStep TTlsLink::Handshake() {
    if (!ssl_) return TTlsStep::Failed;
    const TTlsStep step = Step(lib_->SSL_connect(ssl_), "TLS handshake");
    if (step == TTlsStep::Done) established_ = true;
    return step;
}

int TTlsLink::Write(const void* data, int length, TTlsStep& step) {
    if (length <= 0) {
        step = TTlsStep::Done;
        return 0;
    }
    const int result = lib_->SSL_write(ssl_, data, length);
    step = Step(result, "TLS write");
    return result > 0 ? result : 0;
}

int TTlsLink::Read(void* buffer, int capacity, TTlsStep& step) {
    const int result = lib_->SSL_read(ssl_, buffer, capacity);
    if (result <= 0 && lib_->SSL_get_error(ssl_, result) == SSL_ERROR_ZERO_RETURN) {
        step = TTlsStep::Done;
        return 0;
    }
    step = Step(result, "TLS read");
    return result > 0 ? result : 0;
}

TTlsStep TTlsLink::Shutdown() {
    const int result = lib_->SSL_shutdown(ssl_);
    // 0, or a wish to read: ours has gone, the peer's has not come yet.
    if (result >= 0) return TTlsStep::Done;
    const TTlsStep step = Step(result, "TLS shutdown");
    return step == TTlsStep::WantRead ? TTlsStep::Done : step;
}

bool TTlsLink::PeerClosed() const {
    return ssl_ && (lib_->SSL_get_shutdown(ssl_) & SSL_RECEIVED_SHUTDOWN) != 0;
}

bool TTlsLink::Pending() const {
    return ssl_ && lib_->SSL_pending(ssl_) > 0;
}

std::string TTlsLink::Version() const {
    return ssl_ ? lib_->SSL_get_version(ssl_) : "";
}

std::string TTlsLink::Cipher() const {
    return ssl_ ? lib_->SSL_CIPHER_get_name(lib_->SSL_get_current_cipher(ssl_)) : "";
}

bool TTlsLink::Resumed() const {
    return ssl_ && lib_->SSL_session_reused(ssl_) == 1;
}

TCertificateInfo TTlsLink::Certificate() const {
    TCertificateInfo info;
    X509* certificate = ssl_ ? lib_->SSL_get1_peer_certificate(ssl_) : nullptr;
    if (!certificate) {
        info.Problem = "the server sent no certificate";
        return info;
    }
    const TOpenSsl& lib = *lib_;
    const long verified = lib.SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK) info.Problem = lib.X509_verify_cert_error_string(verified);
    info.Subject = NameText(lib, lib.X509_get_subject_name(certificate));
    info.Issuer = NameText(lib, lib.X509_get_issuer_name(certificate));
    info.NotBefore = TimeText(lib, lib.X509_get0_notBefore(certificate));
    info.NotAfter = TimeText(lib, lib.X509_get0_notAfter(certificate));
    info.Fingerprint = Fingerprint(lib, certificate);
    lib.X509_free(certificate);
    return info;
}

std::shared_ptr<TTlsSession> TTlsLink::Session() const {
    SSL_SESSION* session = ssl_ ? lib_->SSL_get1_session(ssl_) : nullptr;
    if (!session) return nullptr;
    return std::make_shared<TTlsSession>(session);
}
