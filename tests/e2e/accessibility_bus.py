"""Tells where the accessibility bus is, as at-spi-bus-launcher does: accessibility_bus.py SESSION_BUS A11Y_BUS.

The bus that at-spi-bus-launcher starts admits only its own user and root, and the programs run as other users too.
A process of its own, so that it answers while the test waits on a call. Accessibility is on, and a screen reader
may say that it runs, as Orca does."""

import sys

import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

STATUS = "org.a11y.Status"


class Launcher(dbus.service.Object):
    status = {"IsEnabled": True, "ScreenReaderEnabled": False}

    @dbus.service.method("org.a11y.Bus", out_signature="s")
    def GetAddress(self):  # noqa: N802
        return sys.argv[2]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):  # noqa: N802
        return dbus.Boolean(self.status[name])

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):  # noqa: N802
        return {name: dbus.Boolean(value) for name, value in self.status.items()} if interface == STATUS else {}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ssv")
    def Set(self, interface, name, value):  # noqa: N802
        self.status[name] = bool(value)


session = dbus.bus.BusConnection(sys.argv[1], mainloop=DBusGMainLoop())
Launcher(dbus.service.BusName("org.a11y.Bus", session), "/org/a11y/bus")
GLib.MainLoop().run()
