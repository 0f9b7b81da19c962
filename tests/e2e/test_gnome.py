import shutil
import subprocess
import time
import unittest

from harness import (AFTER_LOGON, BEFORE_LOGON, DESKTOP_USER, ITEM, MENU, PASSWORD_TITLE, PROPERTIES, SCREENSHOTS,
                     TITLE, DesktopTest, accepts, call, click_exported, exported_menu, menu_labels, poll,
                     showing, status_item)  # fmt: skip

EXTENSION = "['ubuntu-appindicators@ubuntu.com']"  # GNOME's AppIndicator extension, as Debian packages it
SHELL = ("org.gnome.Shell", "/org/gnome/Shell")
REMOTE_DESKTOP = ("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
SOCKET, CONTROL = "wayland-test", 0xFFE3  # the compositor's, in the session's runtime folder; the Ctrl key's keysym


def brightness(width, height, rgb):  # of a picture's middle row, 0 to 255
    row = rgb[height // 2 * width * 3 : (height // 2 + 1) * width * 3]
    return sum(row) / len(row)


class GnomeTest(DesktopTest):
    """GNOME Shell on Wayland, headless, with the extension and the settings portal on the session's buses. The
    program is a native Wayland client, seen through the accessibility tree: Wayland tells others of no window."""

    @classmethod
    def setUpClass(cls):
        cls.session = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_DESKTOP": "gnome", "XDG_SESSION_TYPE": "wayland"}
        cls.start_desktop("gnome-shell")
        cls.start_service("dconf-service", "ca.desrt.dconf")  # which keeps the settings
        cls.gsettings("org.gnome.shell", "disable-user-extensions", "false")
        cls.gsettings("org.gnome.shell", "enabled-extensions", EXTENSION)
        # Unsafe mode lets the test take the shell's screenshots, close windows and ask for activation tokens, as
        # GNOME's own programs may; input comes through the shell's remote desktop interface.
        cls.display.spawn("gnome-shell", ["nice", "-n", "5", "gnome-shell", "--replace", "--sm-disable", "--headless",
                                          "--wayland", "--no-x11", "--wayland-display", SOCKET, "--virtual-monitor",
                                          "1024x768", "--unsafe-mode"])  # fmt: skip
        if not poll(lambda: cls.display.bus.name_has_owner(SHELL[0]) and cls.display.bus.name_has_owner(
                "org.kde.StatusNotifierWatcher") and accepts(cls.display.runtime / SOCKET), 60):  # fmt: skip
            cls.display.fail_to_start("gnome-shell")
        # The program gets the compositor, and no X display.
        cls.display.env["WAYLAND_DISPLAY"] = str(cls.display.runtime / SOCKET)
        cls.session = dict(cls.session, WAYLAND_DISPLAY=None)
        # The settings portal, which tells the program the colour scheme.
        cls.start_service("xdg-desktop-portal-gnome", "org.freedesktop.impl.portal.desktop.gnome")
        cls.start_service("xdg-desktop-portal", "org.freedesktop.portal.Desktop")

    @classmethod
    def start_service(cls, command, name):  # one that a desktop's bus would start on demand
        cls.display.start_client(command, ["/usr/libexec/" + command], lambda: cls.display.bus.name_has_owner(name))

    @classmethod
    def gsettings(cls, schema, key, value):
        cls.display.call("gsettings", "set", schema, key, value)

    def setUp(self):
        super().setUp()
        del self.env["DISPLAY"]

    def shell(self, script):  # run in the shell, its value as JSON text
        done, value = call(self.x.bus, *SHELL, SHELL[0] + ".Eval", "s", script)
        self.assertTrue(done, value)
        return value

    def start_program(self, *args, **options):  # out of the overview, where the shell starts and no window shows
        call(self.x.bus, *SHELL, PROPERTIES + ".Set", "ssv", SHELL[0], "OverviewActive", False)
        return super().start_program(*args, **options)

    def activate(self, item):  # as the extension does for a click: with a token that lets the window take the focus
        token = self.shell("global.create_app_launch_context(global.display.get_current_time_roundtrip(), -1)"
                           ".get_startup_notify_id(typeof imports === 'undefined' ? null : imports.gi.Gio.AppInfo"
                           ".create_from_commandline('true', null, 0), [])")  # GNOME 43 asks for the AppInfo
        call(self.x.bus, *item, ITEM + ".ProvideXdgActivationToken", "s", token.strip('"'))
        self.x.bus.call_async(*item, ITEM, "Activate", "ii", (0, 0), None, None)  # it answers once the logon ends

    def type(self, text, *held):  # through a remote desktop session's keyboard, keys held through; \n as Return
        session = call(self.x.bus, *REMOTE_DESKTOP, REMOTE_DESKTOP[0] + ".CreateSession")
        keyboard = lambda method, *args: call(self.x.bus, REMOTE_DESKTOP[0], session,  # noqa: E731
                                              REMOTE_DESKTOP[0] + ".Session." + method, *args)  # fmt: skip
        keyboard("Start")
        self.addCleanup(keyboard, "Stop")
        time.sleep(1)  # a client takes keys only a moment after the new keyboard's key map, which a Shift brings
        strokes = [(0xFFE1, True), (0xFFE1, False), *((key, True) for key in held)]
        strokes += [(ord(key), down) for key in text.replace("\n", "\uff0d") for down in (True, False)]
        for keysym, down in strokes + [(key, False) for key in held]:
            keyboard("NotifyKeyboardKeysym", "ub", keysym, down)
            time.sleep(0.03)

    def type_into_field(self, program, name, text):  # the field focused through the accessibility tree
        self.control(program, name).queryComponent().grabFocus()
        self.type("a", CONTROL)
        self.type(text)

    def window_brightness(self, name):  # of the focused window as the shell shows it, kept with the screenshots
        path = self.display.runtime / "window.png"
        done, _ = call(self.x.bus, SHELL[0] + ".Screenshot", SHELL[1] + "/Screenshot", SHELL[0] + ".Screenshot"
                       ".ScreenshotWindow", "bbbs", False, False, False, str(path))  # fmt: skip
        self.assertTrue(done)
        SCREENSHOTS.mkdir(parents=True, exist_ok=True)
        shutil.copy(path, SCREENSHOTS / (name + ".png"))
        picture = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, check=True)
        _, size, _, data = picture.stdout.split(b"\n", 3)
        return brightness(*map(int, size.split()), data)

    def test_a_click_logs_on_to_a_focused_window_in_the_dark_style_whose_menu_is_true_and_unload_saves(self):
        program = self.start_program(wait_for_icon=False, **self.display.as_user)
        item = self.wait_for("the program's item", lambda: status_item(self.x.bus, program.pid), 10)
        read_before = exported_menu(self.x.bus, item)
        self.assertEqual([label for label, _ in read_before[1]], BEFORE_LOGON)
        # The extension reads the menu again only on a new layout or path.
        updates = []
        self.addCleanup(self.x.bus.add_signal_receiver(lambda *_: updates.append(True), "LayoutUpdated", MENU).remove)
        self.activate(item)
        self.window(program, PASSWORD_TITLE % DESKTOP_USER)
        self.type("pw\n")
        window = self.window(program, TITLE)
        self.wait_for("a new layout", lambda: updates)
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        # Painted, in the dark style and back.
        for scheme, dark in ("prefer-dark", True), ("default", False):
            self.gsettings("org.gnome.desktop.interface", "color-scheme", scheme)
            self.wait_for("the %s style" % scheme, lambda: (self.window_brightness("gnome-main-window-" + scheme) < 100)
                          == dark)  # fmt: skip
        # Closed, the window hides; the "Log in" the extension read before the logon shows it with the focus.
        self.shell("global.display.focus_window.delete(global.get_current_time())")
        self.wait_for("the window to hide", lambda: not showing(window))
        click_exported(self.x.bus, item, "_Log in", read_before)
        self.window(program, TITLE)
        self.assert_saved_at_the_end(program, lambda: click_exported(self.x.bus, item, "_Unload"))


if __name__ == "__main__":
    unittest.main()
