#pragma once
// A desktop notification through the freedesktop notification service on the session bus.

#include <QString>

struct TNotification {
    QString AppName;
    QString Icon;         // a theme icon name
    QString DesktopEntry; // the menu entry's name without ".desktop", so the desktop can group it
    QString Summary;
    QString Body;
};

// The session bus: DBUS_SESSION_BUS_ADDRESS, else the user's bus in XDG_RUNTIME_DIR; empty when
// there is none, or when the address names only socket files that are missing.
QString SessionBusAddress();

// Shows `note` and waits a moment for the service to take it (the program may end right after).
// False, and nothing shown, when there is no session bus or no notification service on it.
bool SendDesktopNotification(const TNotification& note);
