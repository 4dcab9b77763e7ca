#include "pyftpserver.h"

PyFtpServer::~PyFtpServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel(); // the server ends when its standard input closes
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool PyFtpServer::Start(std::string& why, int readLimit, const char* address, int dropAfter,
                        int drops, int idleSeconds) {
    if (!root_.isValid()) {
        why = "no temporary folder";
        return false;
    }
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const QStringList arguments = {QStringLiteral(WENDUP_TEST_SUPPORT_DIR "/ftpserver.py"),
                                   root_.path(),
                                   User,
                                   Password,
                                   QString::number(readLimit),
                                   address,
                                   QString::number(dropAfter),
                                   QString::number(drops),
                                   QString::number(idleSeconds),
                                   tlsPem_};
    process_.start("/usr/bin/python3", arguments);
    if (!process_.waitForStarted(10000)) {
        why = "cannot start /usr/bin/python3: " + process_.errorString().toStdString();
        return false;
    }
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(10000)) {
            why = "pyftpdlib printed no port (is python3-pyftpdlib installed?)";
            return false;
        }
    }
    bool ok = false;
    const unsigned port = process_.readLine().trimmed().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        why = "pyftpdlib printed no valid port";
        return false;
    }
    port_ = static_cast<std::uint16_t>(port);
    return true;
}
