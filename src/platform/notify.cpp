#include "platform/notify.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <QVariantMap>

namespace {

const char* const Service = "org.freedesktop.Notifications";
const char* const ObjectPath = "/org/freedesktop/Notifications";
// A connection of its own, made for one notification: the bus may differ from one to the next.
const char* const ConnectionName = "wendup-notify";
constexpr int ReplyTimeoutMs = 3000;

bool ServiceAvailable(const QDBusConnection& bus) {
    const QDBusConnectionInterface* names = bus.interface();
    if (!names) return false;
    if (names->isServiceRegistered(Service).value()) return true;
    // A service the bus starts when it is first called.
    return names->activatableServiceNames().value().contains(Service);
}

// The socket file of a "unix:path=" address, its escapes undone; empty for any other kind.
QString SocketPath(const QString& address) {
    if (!address.startsWith("unix:")) return {};
    for (const QString& pair : address.mid(5).split(','))
        if (pair.startsWith("path=")) return QUrl::fromPercentEncoding(pair.mid(5).toUtf8());
    return {};
}

// Every address of the list is a socket file that is not there: connecting would only fail, after
// a thread and a connection of the bus library have been set up.
bool NoSocketThere(const QString& addresses) {
    for (const QString& address : addresses.split(';', Qt::SkipEmptyParts)) {
        const QString path = SocketPath(address);
        if (path.isEmpty() || QFileInfo::exists(path)) return false;
    }
    return true;
}

} // namespace

QString SessionBusAddress() {
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return NoSocketThere(address) ? QString() : address;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + "/bus"))
        return "unix:path=" + runtime + "/bus";
    return {};
}

bool SendDesktopNotification(const TNotification& note) {
    const QString address = SessionBusAddress();
    if (address.isEmpty()) return false;
    bool sent = false;
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(address, ConnectionName);
        if (bus.isConnected() && ServiceAvailable(bus)) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(Service, ObjectPath, Service, "Notify");
            const QVariantMap hints = {{"desktop-entry", note.DesktopEntry}};
            call << note.AppName << uint(0) << note.Icon << note.Summary << note.Body
                 << QStringList() << hints << int(-1);
            sent =
                bus.call(call, QDBus::Block, ReplyTimeoutMs).type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(ConnectionName);
    return sent;
}
