#include "sessionbus.h"

#include "runprocess.h"

#include <QFile>
#include <QJsonDocument>

TSessionBus::~TSessionBus() {
    StopHelper(process);
}

bool TSessionBus::Start(bool withService, std::string& why) {
    if (!dir.isValid()) {
        why = "no temporary folder";
        return false;
    }
    QStringList arguments = {"--", "/usr/bin/python3",
                             QStringLiteral(WENDUP_TEST_SUPPORT_DIR "/notifylistener.py"),
                             dir.path() + "/record"};
    if (!withService) arguments << "--no-service";
    QByteArray line;
    if (!StartForFirstLine(process, "dbus-run-session", arguments, line, why,
                           "are dbus-daemon, python3-dbus and python3-gi installed?"))
        return false;
    address = QString::fromUtf8(line);
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
