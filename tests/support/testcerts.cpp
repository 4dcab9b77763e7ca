#include "testcerts.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace {

bool Openssl(const QStringList& arguments, std::string& why, QByteArray* out = nullptr) {
    QProcess openssl;
    openssl.start("openssl", arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0) {
        why = "openssl " + arguments.join(' ').toStdString() + ": " +
              openssl.readAllStandardError().toStdString();
        return false;
    }
    if (out) *out = openssl.readAllStandardOutput();
    return true;
}

bool Join(const QStringList& parts, const QString& target) {
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly)) return false;
    for (const QString& part : parts) {
        QFile in(part);
        if (!in.open(QIODevice::ReadOnly)) return false;
        out.write(in.readAll());
    }
    return true;
}

const QStringList kEcKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

bool SelfSigned(const QString& folder, const QString& name, const QString& commonName, QString& pem,
                std::string& why) {
    const QString key = folder + "/" + name + ".key", cert = folder + "/" + name + ".crt";
    if (!Openssl(QStringList{"req", "-x509"} + kEcKey +
                     QStringList{"-keyout", key, "-out", cert, "-days", "2", "-subj",
                                 "/CN=" + commonName, "-addext", "subjectAltName=IP:127.0.0.1"},
                 why))
        return false;
    pem = folder + "/" + name + ".pem";
    return Join({cert, key}, pem) || (why = "cannot write " + pem.toStdString(), false);
}

} // namespace

bool TestCertificates::Make(const QString& folder, std::string& why) {
    const QString caKey = folder + "/ca.key";
    caFile = folder + "/ca.crt";
    if (!Openssl(QStringList{"req", "-x509"} + kEcKey +
                     QStringList{"-keyout", caKey, "-out", caFile, "-days", "2", "-subj",
                                 "/CN=Wendup Test CA", "-addext",
                                 "basicConstraints=critical,CA:TRUE", "-addext",
                                 "keyUsage=critical,keyCertSign,cRLSign"},
                 why))
        return false;
    const QString key = folder + "/server.key", request = folder + "/server.csr",
                  cert = folder + "/server.crt", extensions = folder + "/server.ext";
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly))
        return (why = "cannot write " + extensions.toStdString(), false);
    ext.write("subjectAltName=IP:127.0.0.1\n");
    ext.close();
    if (!Openssl(QStringList{"req"} + kEcKey +
                     QStringList{"-keyout", key, "-out", request, "-subj", "/CN=127.0.0.1"},
                 why) ||
        !Openssl({"x509", "-req", "-in", request, "-CA", caFile, "-CAkey", caKey, "-CAcreateserial",
                  "-out", cert, "-days", "2", "-extfile", extensions},
                 why))
        return false;
    serverPem = folder + "/server.pem";
    if (!Join({cert, key}, serverPem))
        return (why = "cannot write " + serverPem.toStdString(), false);
    return SelfSigned(folder, "self", "127.0.0.1", selfSigned, why) &&
           SelfSigned(folder, "other", "127.0.0.1 again", otherSelfSigned, why);
}

std::string OpensslFingerprint(const QString& pem) {
    std::string why;
    QByteArray out;
    if (!Openssl({"x509", "-in", pem, "-noout", "-fingerprint", "-sha256"}, why, &out)) return why;
    // "sha256 Fingerprint=AB:CD:..."
    const QByteArray text = out.trimmed();
    return text.mid(text.indexOf('=') + 1).toUpper().toStdString();
}
