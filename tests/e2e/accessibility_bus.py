"""Tells where the accessibility bus is, as at-spi-bus-launcher does: accessibility_bus.py SESSION_BUS A11Y_BUS.

The bus that at-spi-bus-launcher starts admits only its own user and root, and the programs run as other users too.
A process of its own, so that it answers while the test waits on a call."""

import sys

import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib


class Launcher(dbus.service.Object):
    @dbus.service.method("org.a11y.Bus", out_signature="s")
    def GetAddress(self):  # noqa: N802
        return sys.argv[2]


session = dbus.bus.BusConnection(sys.argv[1], mainloop=DBusGMainLoop())
Launcher(dbus.service.BusName("org.a11y.Bus", session), "/org/a11y/bus")
GLib.MainLoop().run()
