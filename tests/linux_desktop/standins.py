#!/usr/bin/python3
"""Stand-ins for the desktop services the Linux host talks to, on private buses.

    standins.py --log FILE [--session ADDRESS] [--system ADDRESS]
                [--watcher] [--notifications] [--screensaver] [--logind]
                [--portal COLOR_SCHEME]

Each chosen service takes its well-known name on its bus (the session bus for
the watcher, notifications and screen saver and the desktop portal's settings; the system bus for logind) and
appends one JSON line per call it receives to FILE. When every name is taken,
the line {"ready": [...]} is written. Ends on SIGTERM.
"""

import argparse
import json
import signal
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PROPS = "org.freedesktop.DBus.Properties"


class Log:
    def __init__(self, path):
        self.path = path

    def write(self, record):
        with open(self.path, "a", encoding="utf-8") as f:
            f.write(json.dumps(record, ensure_ascii=False) + "\n")


class Watcher(dbus.service.Object):
    IFACE = "org.kde.StatusNotifierWatcher"

    def __init__(self, bus, log):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.log = log
        self.items = []

    @dbus.service.method(IFACE, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        self.log.write({"call": "RegisterStatusNotifierItem", "service": str(service), "sender": str(sender)})
        if service not in self.items:
            self.items.append(service)
        self.StatusNotifierItemRegistered(service)

    @dbus.service.method(IFACE, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(IFACE, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    def _props(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self._props()[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self._props()


class Notifications(dbus.service.Object):
    IFACE = "org.freedesktop.Notifications"

    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.log = log
        self.next_id = 1

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.log.write({"call": "Notify", "app": str(app), "summary": str(summary), "body": str(body)})
        self.next_id += 1
        return self.next_id - 1

    @dbus.service.method(IFACE, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body"]

    @dbus.service.method(IFACE, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("stand-in", "hearthpad tests", "1", "1.2")


class ScreenSaver(dbus.service.Object):
    IFACE = "org.freedesktop.ScreenSaver"

    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/ScreenSaver")
        self.log = log
        self.next_cookie = 7

    @dbus.service.method(IFACE, in_signature="ss", out_signature="u")
    def Inhibit(self, app, reason):
        cookie = self.next_cookie
        self.next_cookie += 1
        self.log.write({"call": "Inhibit", "app": str(app), "reason": str(reason), "cookie": cookie})
        return cookie

    @dbus.service.method(IFACE, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        self.log.write({"call": "UnInhibit", "cookie": int(cookie)})


class LogindSession(dbus.service.Object):
    IFACE = "org.freedesktop.login1.Session"

    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/login1/session/auto")
        self.log = log

    @dbus.service.method(IFACE, in_signature="", out_signature="")
    def Lock(self):
        self.log.write({"call": "Lock"})

    @dbus.service.method(IFACE, in_signature="ssu", out_signature="")
    def SetBrightness(self, subsystem, name, value):
        self.log.write({"call": "SetBrightness", "subsystem": str(subsystem), "name": str(name),
                        "value": int(value)})


class PortalSettings(dbus.service.Object):
    """org.freedesktop.portal.Settings with the one setting the host reads;
    SetColorScheme (a test's own method) changes it and signals the change."""
    IFACE = "org.freedesktop.portal.Settings"

    def __init__(self, bus, log, scheme):
        super().__init__(bus, "/org/freedesktop/portal/desktop")
        self.log = log
        self.scheme = scheme

    @dbus.service.method(IFACE, in_signature="ss", out_signature="v")
    def Read(self, namespace, key):
        self.log.write({"call": "Read", "namespace": str(namespace), "key": str(key)})
        if (namespace, key) != ("org.freedesktop.appearance", "color-scheme"):
            raise dbus.exceptions.DBusException("no such setting",
                                                name="org.freedesktop.portal.Error.NotFound")
        # Read answers the value inside a second variant.
        return dbus.UInt32(self.scheme, variant_level=2)

    @dbus.service.signal(IFACE, signature="ssv")
    def SettingChanged(self, namespace, key, value):
        pass

    @dbus.service.method("io.github.hearthpad.Test", in_signature="u", out_signature="")
    def SetColorScheme(self, scheme):
        self.scheme = int(scheme)
        self.SettingChanged("org.freedesktop.appearance", "color-scheme", dbus.UInt32(self.scheme))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--session")
    parser.add_argument("--system")
    parser.add_argument("--portal", type=int)
    for flag in ("watcher", "notifications", "screensaver", "logind"):
        parser.add_argument("--" + flag, action="store_true")
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    log = Log(args.log)
    keep = []
    ready = []
    if args.watcher or args.notifications or args.screensaver:
        session = dbus.bus.BusConnection(args.session)
        for wanted, name, cls in ((args.watcher, "org.kde.StatusNotifierWatcher", Watcher),
                                  (args.notifications, "org.freedesktop.Notifications", Notifications),
                                  (args.screensaver, "org.freedesktop.ScreenSaver", ScreenSaver)):
            if wanted:
                keep.append(dbus.service.BusName(name, session))
                keep.append(cls(session, log))
                ready.append(name)
    if args.portal is not None:
        session = dbus.bus.BusConnection(args.session)
        keep.append(dbus.service.BusName("org.freedesktop.portal.Desktop", session))
        keep.append(PortalSettings(session, log, args.portal))
        ready.append("org.freedesktop.portal.Desktop")
    if args.logind:
        system = dbus.bus.BusConnection(args.system)
        keep.append(dbus.service.BusName("org.freedesktop.login1", system))
        keep.append(LogindSession(system, log))
        ready.append("org.freedesktop.login1")

    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    log.write({"ready": ready})
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
