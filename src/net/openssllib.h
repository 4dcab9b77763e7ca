#pragma once
// The OpenSSL functions of the TLS link, taken from the system's libssl (and the libcrypto it
// brings) the first time a link is made. Linked in directly, the two libraries would be loaded and
// relocated at every start, about 2 ms, also by the many runs that never speak TLS.

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

// Members are named after the functions they point to; function-like macros of the headers
// (SSL_CTX_set_mode, BIO_get_mem_data, OPENSSL_free, ...) have their functions here instead.
#define WENDUP_OPENSSL_FUNCTIONS(X)                                                                \
    X(ASN1_TIME_to_tm)                                                                             \
    X(BIO_ctrl)                                                                                    \
    X(BIO_free)                                                                                    \
    X(BIO_new)                                                                                     \
    X(BIO_s_mem)                                                                                   \
    X(CRYPTO_free)                                                                                 \
    X(ERR_clear_error)                                                                             \
    X(ERR_error_string_n)                                                                          \
    X(ERR_get_error)                                                                               \
    X(EVP_sha256)                                                                                  \
    X(OPENSSL_buf2hexstr)                                                                          \
    X(SSL_CIPHER_get_name)                                                                         \
    X(SSL_CTX_ctrl)                                                                                \
    X(SSL_CTX_free)                                                                                \
    X(SSL_CTX_new)                                                                                 \
    X(SSL_CTX_set_default_verify_paths)                                                            \
    X(SSL_CTX_set_verify)                                                                          \
    X(SSL_SESSION_free)                                                                            \
    X(SSL_connect)                                                                                 \
    X(SSL_ctrl)                                                                                    \
    X(SSL_free)                                                                                    \
    X(SSL_get0_param)                                                                              \
    X(SSL_get1_peer_certificate)                                                                   \
    X(SSL_get1_session)                                                                            \
    X(SSL_get_current_cipher)                                                                      \
    X(SSL_get_error)                                                                               \
    X(SSL_get_shutdown)                                                                            \
    X(SSL_get_verify_result)                                                                       \
    X(SSL_get_version)                                                                             \
    X(SSL_new)                                                                                     \
    X(SSL_pending)                                                                                 \
    X(SSL_read)                                                                                    \
    X(SSL_session_reused)                                                                          \
    X(SSL_set1_host)                                                                               \
    X(SSL_set_fd)                                                                                  \
    X(SSL_set_session)                                                                             \
    X(SSL_shutdown)                                                                                \
    X(SSL_write)                                                                                   \
    X(TLS_client_method)                                                                           \
    X(X509_NAME_print_ex)                                                                          \
    X(X509_VERIFY_PARAM_set1_ip_asc)                                                               \
    X(X509_digest)                                                                                 \
    X(X509_free)                                                                                   \
    X(X509_get0_notAfter)                                                                          \
    X(X509_get0_notBefore)                                                                         \
    X(X509_get_issuer_name)                                                                        \
    X(X509_get_subject_name)                                                                       \
    X(X509_verify_cert_error_string)

struct TOpenSsl {
#define WENDUP_OPENSSL_MEMBER(name) decltype(&::name) name = nullptr;
    WENDUP_OPENSSL_FUNCTIONS(WENDUP_OPENSSL_MEMBER)
#undef WENDUP_OPENSSL_MEMBER
};

// The functions, loaded on the first call and kept for the life of the program; null when the
// library or one of its functions is missing, and then `error` says what.
const TOpenSsl* OpenSsl(std::string& error);
