#pragma once
// A session bus of the test's own (dbus-run-session), with or without a stand-in notification
// service that records what it is shown. The bus ends with the object.

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <string>

class TSessionBus {
  public:
    TSessionBus() = default;
    ~TSessionBus();
    TSessionBus(const TSessionBus&) = delete;
    TSessionBus& operator=(const TSessionBus&) = delete;

    // Starts the bus and waits (bounded) until it is ready; on failure `why` says what went wrong.
    bool Start(bool withService, std::string& why);
    QString Address() const { return address; }
    // Each notification shown so far: "app", "icon", "summary", "body", "desktop-entry".
    QList<QJsonObject> Notifications() const;

  private:
    QTemporaryDir dir;
    QProcess process;
    QString address;
};
