#include "pyftpserver.h"

#include "runprocess.h"

PyFtpServer::~PyFtpServer() {
    StopHelper(process_);
}

bool PyFtpServer::Start(std::string& why, int readLimit, const char* address, int dropAfter,
                        int drops, int idleSeconds, bool noMlst) {
    if (!root_.isValid()) {
        why = "no temporary folder";
        return false;
    }
    QStringList hidden = hidden_;
    if (noMlst)
        hidden << "MLST"
               << "MLSD";
    const QStringList arguments = {QStringLiteral(WENDUP_TEST_SUPPORT_DIR "/ftpserver.py"),
                                   root_.path(),
                                   User,
                                   Password,
                                   QString::number(readLimit),
                                   address,
                                   QString::number(dropAfter),
                                   QString::number(drops),
                                   QString::number(idleSeconds),
                                   tlsPem_,
                                   hidden.join(',')};
    QByteArray line;
    if (!StartForFirstLine(process_, "/usr/bin/python3", arguments, line, why,
                           "is python3-pyftpdlib installed?"))
        return false;
    bool ok = false;
    const unsigned port = line.toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        why = "pyftpdlib printed no valid port";
        return false;
    }
    port_ = static_cast<std::uint16_t>(port);
    return true;
}
