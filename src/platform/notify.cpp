#include "platform/notify.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFileInfo>
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

} // namespace

QString SessionBusAddress() {
    const QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return address;
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
