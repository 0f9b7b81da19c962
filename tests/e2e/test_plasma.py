import shutil
import time
import unittest
from pathlib import Path

import pyatspi
from harness import (AFTER_LOGON, BEFORE_LOGON, DESKTOP_USER, ITEM, PASSWORD_TITLE, TITLE, DesktopTest,
                     WaylandDesktopTest, click_exported, menu_labels, status_item)  # fmt: skip

KDED = shutil.which("kded6") or "kded5"  # where the StatusNotifierWatcher runs: Plasma 6's, or 5's
SESSION = {"XDG_CURRENT_DESKTOP": "KDE", "XDG_SESSION_DESKTOP": "KDE", "KDE_FULL_SESSION": "true",
           "KDE_SESSION_VERSION": KDED[-1], "DESKTOP_SESSION": "plasma"}  # fmt: skip


def start_activity_manager(display, **options):  # the shell loads only with it, which the bus does not start
    display.start_client("kactivitymanagerd", [str(next(Path("/usr/lib").glob("*/libexec/kactivitymanagerd")))],
                         lambda: display.bus.name_has_owner("org.kde.ActivityManager"), **options)  # fmt: skip


class PlasmaTest(DesktopTest):
    session = dict(SESSION, QT_QPA_PLATFORM="xcb")

    @classmethod
    def setUpClass(cls):
        cls.start_desktop("plasmashell")
        cls.display.start_client("kwin_x11", ["kwin_x11", "--replace"], lambda: "window id" in cls.display.property(
            cls.display.root, "_NET_SUPPORTING_WM_CHECK"))  # fmt: skip
        start_activity_manager(cls.display)

    def test_a_shell_started_after_the_program_gets_its_item_whose_menu_is_true_after_the_logon(self):
        # Without a tray the program asks for the logon at once; Plasma comes 5 s later, without xembedsniproxy,
        # which would show an XEmbed icon: the program's own item is what it shows.
        program = self.start_program(wait_for_icon=False, **self.display.as_user)
        dialog = self.wait_dialog(program, PASSWORD_TITLE % DESKTOP_USER)
        time.sleep(5)
        self.display.spawn("kded", [KDED])
        self.display.spawn("plasmashell", ["nice", "-n", "5", "plasmashell", "--no-respawn"])
        item = self.wait_for("the program's item", lambda: status_item(self.x.bus, program.pid), 30)
        self.assertEqual(menu_labels(self.x.bus, item), BEFORE_LOGON)
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.screenshot("plasma-main-window", self.log_on_from(program, item))
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        self.assert_saved_at_the_end(program, lambda: click_exported(self.x.bus, item, "_Unload"))


class PlasmaWaylandTest(WaylandDesktopTest):
    session = dict(SESSION, XDG_SESSION_TYPE="wayland")

    @classmethod
    def setUpClass(cls):
        if not shutil.which("kwin_wayland"):
            raise unittest.SkipTest("needs KWin's Wayland compositor (kwin-wayland), which Plasma 6 brings")
        cls.start_desktop("plasmashell")
        # Shown in a window of the X server, where the test reads its pixels: KWin takes screenshots only when it
        # composites with OpenGL, which software rendering does not give it.
        cls.display.spawn("kwin_wayland", ["kwin_wayland", "--x11-display", cls.display.env["DISPLAY"], "--width",
                                           "1024", "--height", "768", "--socket", cls.socket, "--no-lockscreen"])
        cls.join_compositor()
        desktop = dict(cls.display.env, QT_QPA_PLATFORM="wayland")
        start_activity_manager(cls.display, env=desktop)
        cls.display.spawn("kded", [KDED], env=desktop)
        cls.display.start_client("plasmashell", ["nice", "-n", "5", "plasmashell", "--no-respawn"],
                                 lambda: cls.display.bus.name_has_owner("org.kde.plasmashell"), env=desktop)

    def changed_pixels(self, before):  # the RGB values of the pixels of KWin's output that differ from before
        _, _, now = self.x.pixels(self.display.root)
        return b"".join(now[i : i + 3] for i in range(0, len(now), 3) if now[i : i + 3] != before[i : i + 3])

    def test_a_click_on_the_item_logs_on_to_a_painted_focused_window(self):
        # KWin takes no keys from other programs: the logon is answered through the accessibility tree, with the
        # empty password, which needs no typing.
        self.database.execute("UPDATE User SET Password = '' WHERE UserName = '%s';" % DESKTOP_USER)
        program, item = self.start()
        self.assertEqual(menu_labels(self.x.bus, item), BEFORE_LOGON)
        _, _, before = self.x.pixels(self.display.root)
        self.x.bus.call_async(*item, ITEM, "Activate", "ii", (0, 0), None, None)  # it answers once the logon ends
        dialog = self.window(program, PASSWORD_TITLE % DESKTOP_USER)
        ok = next(node for node in dialog if node.name == "OK" and node.getRole() == pyatspi.ROLE_PUSH_BUTTON)
        ok.queryAction().doAction(0)  # as a screen reader presses it
        size = self.window(program, TITLE).queryComponent().getSize()
        # The window's pixels where the wallpaper was: as many as it has, in the light style.
        self.wait_for("the window painted", lambda: len(self.changed_pixels(before)) > size[0] * size[1] * 3 * 0.9)
        changed = self.changed_pixels(before)
        self.assert_painted((len(changed) // 3, 1, changed))
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)


if __name__ == "__main__":
    unittest.main()
