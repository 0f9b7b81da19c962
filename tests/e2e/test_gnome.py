import unittest

from harness import (AFTER_LOGON, BEFORE_LOGON, MENU, PROPERTIES, DesktopTest, brightness, call, click_exported,
                     exported_menu, menu_labels, poll)  # fmt: skip

EXTENSION = "['ubuntu-appindicators@ubuntu.com']"  # GNOME's AppIndicator extension, as Debian packages it
SHELL = ("org.gnome.Shell", "/org/gnome/Shell")


class Gnome:  # GNOME Shell with the extension and the settings portal, on the session's buses
    @classmethod
    def start_gnome(cls, *arguments):
        cls.start_desktop("gnome-shell")
        cls.start_service("dconf-service", "ca.desrt.dconf")  # which keeps the settings
        cls.gsettings("org.gnome.shell", "disable-user-extensions", "false")
        cls.gsettings("org.gnome.shell", "enabled-extensions", EXTENSION)
        cls.display.spawn("gnome-shell", ["nice", "-n", "5", "gnome-shell", "--replace", "--sm-disable", *arguments])
        if not poll(lambda: cls.display.bus.name_has_owner(SHELL[0]) and cls.display.bus.name_has_owner(
                "org.kde.StatusNotifierWatcher"), 60):  # fmt: skip
            cls.display.fail_to_start("gnome-shell")
        # The settings portal, which tells the program the colour scheme.
        cls.start_service("xdg-desktop-portal-gnome", "org.freedesktop.impl.portal.desktop.gnome")
        cls.start_service("xdg-desktop-portal", "org.freedesktop.portal.Desktop")

    @classmethod
    def start_service(cls, command, name):  # one that a desktop's bus would start on demand
        cls.display.start_client(command, ["/usr/libexec/" + command], lambda: cls.display.bus.name_has_owner(name))

    @classmethod
    def gsettings(cls, schema, key, value):
        cls.display.call("gsettings", "set", schema, key, value)

    def start_program(self, *args, **options):  # out of the overview, where the shell starts and no window shows
        call(self.x.bus, *SHELL, PROPERTIES + ".Set", "ssv", SHELL[0], "OverviewActive", False)
        return super().start_program(*args, **options)


class GnomeTest(Gnome, DesktopTest):
    session = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_DESKTOP": "gnome", "XDG_SESSION_TYPE": "x11"}

    @classmethod
    def setUpClass(cls):
        cls.start_gnome("--x11")

    def brightness(self, window):
        return brightness(*self.x.pixels(window))

    def test_the_menu_is_true_after_the_logon_the_window_follows_the_dark_style_and_unload_saves(self):
        program, item = self.start()
        read_before = exported_menu(self.x.bus, item)
        self.assertEqual([label for label, _ in read_before[1]], BEFORE_LOGON)
        # The extension reads the menu again only on a new layout or path.
        updates = []
        self.addCleanup(self.x.bus.add_signal_receiver(lambda *_: updates.append(True), "LayoutUpdated", MENU).remove)
        window = self.log_on_from(program, item)
        self.wait_for("a new layout", lambda: updates)
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        # The dark style and back; the window hidden, and shown by the "Log in" the extension read before the logon.
        for scheme, dark in ("prefer-dark", True), ("default", False):
            self.gsettings("org.gnome.desktop.interface", "color-scheme", scheme)
            self.wait_for("the window in the %s style" % scheme, lambda: (self.brightness(window) < 100) == dark)
            self.screenshot("gnome-main-window-" + scheme, window)
        self.x.call("xdotool", "windowminimize", str(window))
        self.wait_gone(window)
        click_exported(self.x.bus, item, "_Log in", read_before)
        self.wait_main_window(program)
        self.assert_saved_at_the_end(program, lambda: click_exported(self.x.bus, item, "_Unload"))


if __name__ == "__main__":
    unittest.main()
