import subprocess
import time
import unittest

from harness import (AFTER_LOGON, BEFORE_LOGON, DESKTOP_USER, ITEM, PASSWORD_TITLE, TITLE, WaylandDesktopTest, call,
                     click_exported, menu_labels)  # fmt: skip
from test_gnome import SHELL, Gnome

REMOTE_DESKTOP = ("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")


class GnomeWaylandTest(Gnome, WaylandDesktopTest):
    session = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_DESKTOP": "gnome", "XDG_SESSION_TYPE": "wayland"}

    @classmethod
    def setUpClass(cls):
        # Unsafe mode lets the test take the shell's screenshots and ask it for activation tokens, as GNOME's own
        # programs may; input comes through the shell's remote desktop interface.
        cls.start_gnome("--headless", "--wayland", "--no-x11", "--wayland-display", cls.socket, "--virtual-monitor",
                        "1024x768", "--unsafe-mode")  # fmt: skip
        cls.join_compositor()

    def shell(self, script):  # JavaScript run in the shell, its value as JSON text
        done, value = call(self.x.bus, *SHELL, SHELL[0] + ".Eval", "s", script)
        self.assertTrue(done, value)
        return value

    def activate(self, item):  # as the extension does for a click: with a token that lets the window take the focus
        token = self.shell("global.create_app_launch_context(global.display.get_current_time_roundtrip(), -1)"
                           ".get_startup_notify_id(typeof imports === 'undefined' ? null : "  # GNOME 43 asks for one
                           "imports.gi.Gio.AppInfo.create_from_commandline('true', null, 0), [])").strip('"')  # fmt: skip
        call(self.x.bus, *item, ITEM + ".ProvideXdgActivationToken", "s", token)
        self.x.bus.call_async(*item, ITEM, "Activate", "ii", (0, 0), None, None)  # it answers once the logon ends

    def keyboard(self):  # a remote desktop session's keyboard: press(keysym...) presses them together
        session = call(self.x.bus, *REMOTE_DESKTOP, REMOTE_DESKTOP[0] + ".CreateSession")
        call(self.x.bus, REMOTE_DESKTOP[0], session, REMOTE_DESKTOP[0] + ".Session.Start")
        self.addCleanup(call, self.x.bus, REMOTE_DESKTOP[0], session, REMOTE_DESKTOP[0] + ".Session.Stop")

        def press(*keysyms):
            for keysym, down in [(k, True) for k in keysyms] + [(k, False) for k in reversed(keysyms)]:
                call(self.x.bus, REMOTE_DESKTOP[0], session, REMOTE_DESKTOP[0] + ".Session.NotifyKeyboardKeysym", "ub",
                     keysym, down)  # fmt: skip
                time.sleep(0.03)

        time.sleep(1)  # a client takes keys only a moment after the new keyboard's key map
        press(0xFFE1)
        return press

    def active_window_picture(self):  # as the shell shows it
        path = self.display.runtime / "window.png"
        done, _ = call(self.x.bus, SHELL[0] + ".Screenshot", SHELL[1] + "/Screenshot", SHELL[0] + ".Screenshot"
                       ".ScreenshotWindow", "bbbs", False, False, False, str(path))  # fmt: skip
        self.assertTrue(done)
        picture = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, check=True)
        _, size, _, data = picture.stdout.split(b"\n", 3)
        return (*map(int, size.split()), data)

    def test_a_click_on_the_item_logs_on_to_a_painted_focused_window_whose_edit_unload_saves(self):
        program, item = self.start()
        self.assertEqual(menu_labels(self.x.bus, item), BEFORE_LOGON)
        self.activate(item)
        self.window(program, PASSWORD_TITLE % DESKTOP_USER)
        press = self.keyboard()
        for key in [ord(c) for c in "pw"] + [0xFF0D]:  # Return
            press(key)
        self.window(program, TITLE)
        self.assert_painted(self.active_window_picture())
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        press(0xFF09)  # Tab, from the account name to the user name
        press(0xFFE3, ord("a"))  # Control+A
        for key in map(ord, "typed"):
            press(key)
        click_exported(self.x.bus, item, "_Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed")


if __name__ == "__main__":
    unittest.main()
