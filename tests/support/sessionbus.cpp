#include "sessionbus.h"

#include <QFile>
#include <QJsonDocument>

TSessionBus::~TSessionBus() {
    if (process.state() == QProcess::NotRunning) return;
    process.closeWriteChannel(); // the listener ends when its standard input closes
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool TSessionBus::Start(bool withService, std::string& why) {
    if (!dir.isValid()) {
        why = "no temporary folder";
        return false;
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments = {"--", "/usr/bin/python3",
                             QStringLiteral(WENDUP_TEST_SUPPORT_DIR "/notifylistener.py"),
                             dir.path() + "/record"};
    if (!withService) arguments << "--no-service";
    process.start("dbus-run-session", arguments);
    if (!process.waitForStarted(10000)) {
        why = "cannot start dbus-run-session: " + process.errorString().toStdString();
        return false;
    }
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(10000)) {
            why = "the bus printed no address (are dbus-daemon, python3-dbus and python3-gi "
                  "installed?)";
            return false;
        }
    }
    address = QString::fromUtf8(process.readLine().trimmed());
    if (address.isEmpty()) why = "the bus printed an empty address";
    return !address.isEmpty();
}

QList<QJsonObject> TSessionBus::Notifications() const {
    QList<QJsonObject> shown;
    QFile record(dir.path() + "/record");
    if (!record.open(QIODevice::ReadOnly)) return shown;
    for (const QByteArray& line : record.readAll().split('\n'))
        if (!line.isEmpty()) shown << QJsonDocument::fromJson(line).object();
    return shown;
}
