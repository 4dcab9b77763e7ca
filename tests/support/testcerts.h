#pragma once
// Certificates for TLS tests, made by the openssl command in a folder of the test's own: a private
// CA with a server certificate for 127.0.0.1 that it signed, and two self-signed certificates for
// 127.0.0.1. Each server file holds the certificate and its key, as pyftpdlib takes them.

#include <QString>

#include <string>

struct TestCertificates {
    QString caFile;     // the private CA's certificate: point SSL_CERT_FILE at it
    QString serverPem;  // signed by the CA, for IP 127.0.0.1
    QString selfSigned; // self-signed, for IP 127.0.0.1
    QString otherSelfSigned;

    // Makes them all in `folder`; false, with `why`, when openssl failed.
    bool Make(const QString& folder, std::string& why);
};

// openssl's SHA-256 fingerprint of the (first) certificate in `pem`: "AB:CD:...", upper case.
std::string OpensslFingerprint(const QString& pem);
