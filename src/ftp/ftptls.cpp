// The secure side of TStarFtp: AUTH TLS and the control connection's handshake, the server's
// certificate, PBSZ and PROT, and TLS on the data connections, which resume the control
// connection's session.
#include "ftp/ftp.h"
#include "ftp/ftpshared.h"

#include <QSocketNotifier>

using namespace ftpshared;

namespace {

// A TLS step of a data connection that has no time-out of its own waits no longer than this.
constexpr int kDataTlsSeconds = 60;

} // namespace

void TStarFtp::OnAuthTls(const std::string& line) {
    if (line[0] != '2') {
        SecureRefused(line);
        return;
    }
    // Text the server sent in clear behind its 234 must not pass for a reply from inside TLS.
    reader_.Reset();
    // A server may start the secured session afresh.
    typeInForce_ = 0;
    SetReplyState(ReplyState::TlsHandshake);
    OnTlsReady = [this](TStarSocket&) { ControlSecured(); };
    StartTls(ServerText());
}

void TStarFtp::ControlSecured() {
    if (LastError() != 0) {
        SecureRefused(Tls() ? Tls()->Error() : std::string("TLS handshake"));
        return;
    }
    Info(ftpiLogNote, "TLS " + Tls()->Version() + ", cipher " + Tls()->Cipher());
    if (CertificateAccepted()) SendUser();
}

// A certificate that fails the check is used only when the owner trusts it, now or before.
bool TStarFtp::CertificateAccepted() {
    certificate_ = Tls()->Certificate();
    if (certificate_.Problem.empty()) return true;
    Info(ftpiLogNote, "The server's certificate did not pass the check: " + certificate_.Problem +
                          " (SHA-256 " + certificate_.Fingerprint + ")");
    if (!TrustedCertificate.empty() && certificate_.Fingerprint == TrustedCertificate) {
        Info(ftpiLogNote, "The certificate is the one trusted before");
        return true;
    }
    bool trust = false;
    const std::uint32_t session = session_;
    // The question takes the user's time, not the server's reply time.
    StartTimeOut(0);
    if (OnFtpCertificate) OnFtpCertificate(*this, certificate_, trust);
    if (session != session_ || ControlLost()) return false;
    if (!trust) {
        tlsFailure_ = certificate_.Problem;
        FatalError(ftpeCertificateRejected, tlsFailure_);
        return false;
    }
    TrustedCertificate = certificate_.Fingerprint;
    ArmReplyTimer();
    return true;
}

// PBSZ 0, then PROT P, then the login goes on with SYST.
void TStarFtp::OnProtection(const std::string& line) {
    if (line[0] != '2') {
        SecureRefused(line);
        return;
    }
    if (replyState_ == ReplyState::ProtectBuffer)
        IssueCommand("PROT P", ReplyState::Protection);
    else
        AskSystem();
}

// Never a fall-back to clear text: the session ends here, and nothing more goes out.
void TStarFtp::SecureRefused(const std::string& reason) {
    tlsFailure_ = reason;
    Info(ftpiLogNote, "No TLS: " + reason);
    FatalError(ftpeSecureConnection, reason);
}

// True when the data connection may carry the transfer now. Otherwise its handshake starts, and
// `next` runs again once it is done.
bool TStarFtp::DataSecured(void (TStarFtp::*next)()) {
    if (!UseTls || !Tls() || (dataSocket_.Tls() && dataSocket_.Tls()->Established())) return true;
    if (dataSocket_.Tls()) return false; // its handshake runs
    dataSocket_.OnTlsReady = [this, next](TStarSocket&) { DataHandshakeDone(next); };
    dataSocket_.OnTimeOut = [this](TStarSocket&) { DataConnectFailed("TLS handshake timed out"); };
    const std::shared_ptr<TTlsSession> resume = Tls()->Session();
    dataSocket_.StartTls(ServerText(), resume.get());
    dataSocket_.StartTimeOut(TimeOutConnect > 0 ? TimeOutConnect : kDataTlsSeconds);
    return false;
}

void TStarFtp::DataHandshakeDone(void (TStarFtp::*next)()) {
    dataSocket_.StartTimeOut(0);
    const TTlsLink& link = *dataSocket_.Tls();
    if (dataSocket_.LastError() != 0) {
        DataConnectFailed(link.Error());
        return;
    }
    // Without the control connection's session, only the certificate links the two.
    if (!link.Resumed() && link.Certificate().Fingerprint != certificate_.Fingerprint) {
        DataConnectFailed("the data connection shows another certificate");
        return;
    }
    Info(ftpiDataConnection,
         "Data connection protected: " + link.Version() + ", " +
             (link.Resumed() ? "TLS session resumed" : "TLS session not resumed"));
    (this->*next)();
}

// The file has gone. Only close_notify tells the server that it is whole (a bare close reads as a
// cut), so the store counts only once it has gone out; the server's own close_notify, or its close,
// then ends the data side.
void TStarFtp::EndSecureUpload(std::uint32_t serial) {
    while (!dataSocket_.ShutdownTls()) {
        if (dataSocket_.LastError() != 0) {
            Info(ftpiDataConnection, "TLS shutdown failed: " + dataSocket_.Tls()->Error());
            StoreServerClosed();
            return;
        }
        WaitWritable();
        if (!StillSending(serial)) return;
    }
    writable_.reset();
    dataSocket_.OnSocketRead = [this](TStarSocket&) { DrainSecureData(); };
    dataSocket_.OnSocketClose = [this](TStarSocket&) { UploadEnded(); };
    dataSocket_.OnTimeOut = [this](TStarSocket&) { UploadEnded(); };
    dataSocket_.StartTimeOut(TimeOutConnect > 0 ? TimeOutConnect : kDataTlsSeconds);
}

// Session tickets and the server's close_notify: read and dropped.
void TStarFtp::DrainSecureData() {
    char scrap[4096];
    while (dataSocket_.Receive(scrap, sizeof scrap) > 0)
        ;
}
