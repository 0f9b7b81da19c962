"""A settings portal that answers as GNOME's does: settings_portal.py SESSION_BUS COLOR_SCHEME FONT_NAME.

For desktops whose portal would tell the program GNOME's choices (XFCE or sway with xdg-desktop-portal-gtk, say)
without the portal's own services. A process of its own, so that it answers while the test waits on a call."""

import sys

import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SETTINGS = {("org.freedesktop.appearance", "color-scheme"): dbus.UInt32(int(sys.argv[2])),
            ("org.gnome.desktop.interface", "font-name"): dbus.String(sys.argv[3])}  # fmt: skip


class Portal(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Settings", in_signature="ss", out_signature="v")
    def Read(self, group, key):  # noqa: N802, the portal wraps the value in a variant of its own
        if (group, key) not in SETTINGS:
            raise dbus.DBusException("not found", name="org.freedesktop.portal.Error.NotFound")
        value = SETTINGS[group, key]
        return type(value)(value, variant_level=1)

    @dbus.service.method("org.freedesktop.portal.Settings", in_signature="ss", out_signature="v")
    def ReadOne(self, group, key):  # noqa: N802
        if (group, key) not in SETTINGS:
            raise dbus.DBusException("not found", name="org.freedesktop.portal.Error.NotFound")
        return SETTINGS[group, key]

    @dbus.service.method("org.freedesktop.portal.Settings", in_signature="as", out_signature="a{sa{sv}}")
    def ReadAll(self, groups):  # noqa: N802
        found = {}
        for (group, key), value in SETTINGS.items():
            if not groups or group in groups:
                found.setdefault(group, dbus.Dictionary({}, signature="sv"))[key] = value
        return dbus.Dictionary(found, signature="sa{sv}")


session = dbus.bus.BusConnection(sys.argv[1], mainloop=DBusGMainLoop())
Portal(dbus.service.BusName("org.freedesktop.portal.Desktop", session), "/org/freedesktop/portal/desktop")
GLib.MainLoop().run()
