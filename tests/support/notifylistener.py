"""A stand-in for the desktop's notification service, run inside dbus-run-session.

Usage: notifylistener.py RECORD [--no-service]

Prints the session bus's address on one line once it is ready. Unless --no-service, it owns
org.freedesktop.Notifications and appends each notification to RECORD as a JSON line. It ends when
its standard input closes, or after 120 seconds at the latest; dbus-run-session then ends the bus.
"""
import json
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.record = record
        self.next_id = 0

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.next_id += 1
        entry = {"app": str(app), "icon": str(icon), "summary": str(summary), "body": str(body),
                 "desktop-entry": str(hints.get("desktop-entry", ""))}
        with open(self.record, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return self.next_id

    @dbus.service.method(NAME, out_signature="as")
    def GetCapabilities(self):
        return ["body"]


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    keep = []
    if "--no-service" not in sys.argv[2:]:
        keep.append(dbus.service.BusName(NAME, bus))
        keep.append(Notifications(bus, sys.argv[1]))
    loop = GLib.MainLoop()
    GLib.io_add_watch(sys.stdin.fileno(), GLib.IO_IN | GLib.IO_HUP,
                      lambda fd, cond: loop.quit() if not os.read(fd, 1024) else True)
    GLib.timeout_add_seconds(120, loop.quit)
    print(os.environ["DBUS_SESSION_BUS_ADDRESS"], flush=True)
    loop.run()


main()
