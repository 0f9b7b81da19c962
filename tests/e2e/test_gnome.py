import time
import unittest

from harness import DESKTOP_USER, MENU, PASSWORD_TITLE, USER_NAME, DesktopTest, exported_menu, poll, status_item

EXTENSION = "['ubuntu-appindicators@ubuntu.com']"  # GNOME's AppIndicator extension, as Debian packages it


class GnomeTest(DesktopTest):
    session = {"XDG_CURRENT_DESKTOP": "GNOME", "XDG_SESSION_DESKTOP": "gnome", "XDG_SESSION_TYPE": "x11"}

    @classmethod
    def setUpClass(cls):
        cls.start_desktop("gnome-shell")
        cls.gsettings("org.gnome.shell", "disable-user-extensions", "false")
        cls.gsettings("org.gnome.shell", "enabled-extensions", EXTENSION)
        cls.display.spawn("gnome-shell", ["nice", "-n", "5", "gnome-shell", "--x11", "--replace", "--sm-disable"])
        if not cls.display.wait_for_name("org.gnome.Shell") or not cls.display.wait_for_name(
                "org.kde.StatusNotifierWatcher"):  # fmt: skip
            cls.display.fail_to_start("gnome-shell")

    @classmethod
    def gsettings(cls, schema, key, value):
        cls.display.call("gsettings", "set", schema, key, value)

    def start_program(self, *args, **options):  # out of the overview, where the shell starts and no window shows
        self.x.bus_call("org.gnome.Shell", "/org/gnome/Shell", "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell",
                        "OverviewActive", "<false>", check=True)  # fmt: skip
        return super().start_program(*args, **options)

    def test_the_menu_is_true_after_the_logon_the_window_follows_the_dark_style_and_unload_saves(self):
        program, item = self.start()
        path, entries = exported_menu(self.x.bus_call, item)
        self.assertEqual([label for label, _ in entries], ["_Log in", "-", "_Unload", "-", "_Leave menu"])
        log_in = dict(entries)["_Log in"]
        # The extension reads the menu again only on a new layout or path.
        monitor = self.display.spawn("dbus-monitor", ["dbus-monitor", "--session", "type='signal',interface='%s',"
                                     "member='LayoutUpdated'" % MENU])  # fmt: skip
        self.helpers.append(monitor)
        time.sleep(0.5)
        window = self.log_on_from(program, item)
        self.wait_for("a new layout", lambda: "member=LayoutUpdated" in (self.logs / "dbus-monitor.log").read_text())
        self.assertEqual([label for label, _ in exported_menu(self.x.bus_call, item)[1]],
                         ["_Open", "-", "_Unload", "-", "_Leave menu"])  # fmt: skip
        # The dark style and back; the window hidden, and shown by the "Log in" the extension read before the logon.
        for scheme, dark in ("prefer-dark", True), ("default", False):
            self.gsettings("org.gnome.desktop.interface", "color-scheme", scheme)
            self.wait_for("the window in the %s style" % scheme, lambda: (self.brightness(window) < 100) == dark)
            self.screenshot("gnome-main-window-" + scheme, window)
        self.x.call("xdotool", "windowminimize", str(window))
        self.wait_gone(window)
        self.x.bus_call(item[0], path, MENU + ".Event", str(log_in), "'clicked'", "<0>", "0", check=True)
        window = self.wait_main_window(program)
        self.type_into_field(window, USER_NAME, "typed before unloading")
        self.choose(item, "_Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before unloading")

    def test_an_extension_enabled_after_the_program_gets_its_item(self):
        self.gsettings("org.gnome.shell", "enabled-extensions", "[]")
        self.wait_for("no watcher", lambda: "false" in self.x.bus_call(
            "org.freedesktop.DBus", "/", "org.freedesktop.DBus.NameHasOwner", "org.kde.StatusNotifierWatcher"))
        program = self.start_program(wait_for_icon=False, **self.display.as_user)
        # Without a tray the program asks for the logon at once; the item comes with the extension all the same.
        dialog = self.wait_dialog(program, PASSWORD_TITLE % DESKTOP_USER)
        time.sleep(5)
        self.gsettings("org.gnome.shell", "enabled-extensions", EXTENSION)
        item = self.wait_for("the program's item", lambda: status_item(self.x.bus_call, program.pid), 10)
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        window = self.log_on_from(program, item)
        self.screenshot("gnome-main-window-late-extension", window)
        self.choose(item, "_Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertTrue(poll(lambda: status_item(self.x.bus_call, program.pid) is None, 5))


if __name__ == "__main__":
    unittest.main()
