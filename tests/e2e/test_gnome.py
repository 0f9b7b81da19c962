import subprocess
import time
import unittest

from harness import (AFTER_LOGON, BEFORE_LOGON, DESKTOP_USER, ITEM, MENU, PASSWORD_TITLE, PROPERTIES, TITLE, DesktopTest,
                     WaylandDesktopTest, brightness, call, click_exported, exported_menu, menu_labels, poll)  # fmt: skip

EXTENSION = "['ubuntu-appindicators@ubuntu.com']"  # GNOME's AppIndicator extension, as Debian packages it
SHELL = ("org.gnome.Shell", "/org/gnome/Shell")
REMOTE_DESKTOP = ("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")


class Gnome:  # GNOME Shell with the extension and the settings portal, on the session's buses
    @classmethod
    def start_gnome(cls, session_type, *arguments):
        cls.session = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_DESKTOP": "gnome", "XDG_SESSION_TYPE": session_type}
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
    @classmethod
    def setUpClass(cls):
        cls.start_gnome("x11", "--x11")

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
            self.wait_for("the %s style" % scheme, lambda: (brightness(*self.x.pixels(window)) < 100) == dark)
            self.screenshot("gnome-main-window-" + scheme, window)
        self.x.call("xdotool", "windowminimize", str(window))
        self.wait_gone(window)
        click_exported(self.x.bus, item, "_Log in", read_before)
        self.wait_main_window(program)
        self.assert_saved_at_the_end(program, lambda: click_exported(self.x.bus, item, "_Unload"))


class GnomeWaylandTest(Gnome, WaylandDesktopTest):
    @classmethod
    def setUpClass(cls):
        # Unsafe mode lets the test take the shell's screenshots and ask it for activation tokens, as GNOME's own
        # programs may; input comes through the shell's remote desktop interface.
        cls.start_gnome("wayland", "--headless", "--wayland", "--no-x11", "--wayland-display", cls.socket,
                        "--virtual-monitor", "1024x768", "--unsafe-mode")  # fmt: skip
        cls.join_compositor()

    def activate(self, item):  # as the extension does for a click: with a token that lets the window take the focus
        done, token = call(self.x.bus, *SHELL, SHELL[0] + ".Eval", "s", "global.create_app_launch_context("
                           "global.display.get_current_time_roundtrip(), -1).get_startup_notify_id(typeof imports === "
                           "'undefined' ? null : imports.gi.Gio.AppInfo.create_from_commandline('true', null, 0), [])")
        self.assertTrue(done, token)  # GNOME 43 asks for the AppInfo above
        call(self.x.bus, *item, ITEM + ".ProvideXdgActivationToken", "s", token.strip('"'))
        self.x.bus.call_async(*item, ITEM, "Activate", "ii", (0, 0), None, None)  # it answers once the logon ends

    def type(self, text):  # through a remote desktop session's keyboard, a line break as Return
        session = call(self.x.bus, *REMOTE_DESKTOP, REMOTE_DESKTOP[0] + ".CreateSession")
        keyboard = lambda method, *args: call(self.x.bus, REMOTE_DESKTOP[0], session,  # noqa: E731
                                              REMOTE_DESKTOP[0] + ".Session." + method, *args)  # fmt: skip
        keyboard("Start")
        self.addCleanup(keyboard, "Stop")
        time.sleep(1)  # a client takes keys only a moment after the new keyboard's key map, which a Shift brings
        for keysym in [0xFFE1, *map(ord, text.replace("\n", "\uff0d"))]:
            for down in True, False:
                keyboard("NotifyKeyboardKeysym", "ub", keysym, down)
                time.sleep(0.03)

    def active_window_picture(self):  # as the shell shows it
        path = self.display.runtime / "window.png"
        done, _ = call(self.x.bus, SHELL[0] + ".Screenshot", SHELL[1] + "/Screenshot", SHELL[0] + ".Screenshot"
                       ".ScreenshotWindow", "bbbs", False, False, False, str(path))  # fmt: skip
        self.assertTrue(done)
        picture = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, check=True)
        _, size, _, data = picture.stdout.split(b"\n", 3)
        return (*map(int, size.split()), data)

    def test_a_click_on_the_item_logs_on_to_a_painted_focused_window(self):
        program, item = self.start()
        self.assertEqual(menu_labels(self.x.bus, item), BEFORE_LOGON)
        self.activate(item)
        self.window(program, PASSWORD_TITLE % DESKTOP_USER)
        self.type("pw\n")
        self.window(program, TITLE)
        self.assert_painted(self.active_window_picture())
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)


if __name__ == "__main__":
    unittest.main()
