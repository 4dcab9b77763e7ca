#pragma once
// A real FTP server for integration tests: pyftpdlib (Debian python3-pyftpdlib, run by Debian's
// own /usr/bin/python3) on 127.0.0.1 (or ::1) with an ephemeral port, a temporary root, the user
// PyFtpServer::User with PyFtpServer::Password (full rights) and anonymous (read rights).
// Stopped by the destructor; the server also ends by itself if the test process dies.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <string>

class PyFtpServer {
  public:
    static constexpr const char* User = "anna";
    static constexpr const char* Password = "s3cret";

    PyFtpServer() = default;
    ~PyFtpServer();
    PyFtpServer(const PyFtpServer&) = delete;
    PyFtpServer& operator=(const PyFtpServer&) = delete;

    // Starts the server and waits (bounded) for its port; on failure `why` says what went wrong.
    // With a read limit (bytes a second) it takes data no faster than that. It listens on
    // `address`, a loopback address. With dropAfter (bytes) it cuts every store's data connection
    // after that many bytes and answers 426. With `drops` it closes the control connection between
    // files (at the first PORT, EPRT, PASV or EPSV after a file has arrived), that many times in
    // all. With `idleSeconds` it closes a control connection silent that long, with a 421 reply.
    // With `noMlst` it has neither MLST nor MLSD and lists with LIST only.
    bool Start(std::string& why, int readLimit = 0, const char* address = "127.0.0.1",
               int dropAfter = 0, int drops = 0, int idleSeconds = 0, bool noMlst = false);
    // Before Start: an FTPS server with this PEM file (certificate chain and key), which requires
    // TLS before USER and on every data connection.
    void UseTls(const QString& pemFile) { tlsPem_ = pemFile; }
    // Before Start: commands ("MDTM", "MFMT") the server neither has nor lists in its features.
    void Hide(const QStringList& commands) { hidden_ = commands; }
    std::uint16_t Port() const { return port_; }
    // The folder the server shows as "/".
    QString Root() const { return root_.path(); }

  private:
    QTemporaryDir root_;
    QProcess process_;
    std::uint16_t port_ = 0;
    QString tlsPem_;
    QStringList hidden_;
};
