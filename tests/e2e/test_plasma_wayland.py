import shutil
import unittest
from pathlib import Path

import pyatspi
import test_plasma
from harness import (AFTER_LOGON, BEFORE_LOGON, DESKTOP_USER, ITEM, PASSWORD_TITLE, TITLE, USER_NAME,
                     WaylandDesktopTest, click_exported, menu_labels)  # fmt: skip


class PlasmaWaylandTest(WaylandDesktopTest):
    session = dict(test_plasma.PlasmaTest.session, XDG_SESSION_TYPE="wayland")
    del session["QT_QPA_PLATFORM"]

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
        cls.display.start_client("kactivitymanagerd", [str(next(Path("/usr/lib").glob("*/libexec/kactivitymanagerd")))],
                                 lambda: cls.display.bus.name_has_owner("org.kde.ActivityManager"), env=desktop)
        cls.display.spawn("kded", [test_plasma.KDED], env=desktop)
        cls.display.start_client("plasmashell", ["nice", "-n", "5", "plasmashell", "--no-respawn"],
                                 lambda: cls.display.bus.name_has_owner("org.kde.plasmashell"), env=desktop)

    def setUp(self):
        super().setUp()
        # KWin takes no keys from other programs: the logon is answered through the accessibility tree, with the
        # empty password, which needs no typing.
        self.database.execute("UPDATE User SET Password = '' WHERE UserName = '%s';" % DESKTOP_USER)

    def press(self, window, name):  # a button of a window, as a screen reader presses it
        button = next(node for node in window if node.name == name and node.getRole() == pyatspi.ROLE_PUSH_BUTTON)
        button.queryAction().doAction(0)

    def changed_pixels(self, before):  # the RGB values of the pixels of KWin's output that differ from before
        _, _, now = self.x.pixels(self.display.root)
        changed = (i for i in range(0, len(now), 3) if now[i : i + 3] != before[i : i + 3])
        return b"".join(now[i : i + 3] for i in changed)

    def test_a_click_on_the_item_logs_on_to_a_painted_focused_window_whose_edit_unload_saves(self):
        program, item = self.start()
        self.assertEqual(menu_labels(self.x.bus, item), BEFORE_LOGON)
        _, _, before = self.x.pixels(self.display.root)
        self.x.bus.call_async(*item, ITEM, "Activate", "ii", (0, 0), None, None)  # it answers once the logon ends
        self.press(self.window(program, PASSWORD_TITLE % DESKTOP_USER), "OK")
        size = self.window(program, TITLE).queryComponent().getSize()
        # The window's pixels where the wallpaper was: as many as it has, in the light style.
        self.wait_for("the window painted", lambda: len(self.changed_pixels(before)) > size[0] * size[1] * 3 * 0.9)
        changed = self.changed_pixels(before)
        self.assert_painted((len(changed) // 3, 1, changed))
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        self.control(program, USER_NAME).queryEditableText().setTextContents("typed")
        click_exported(self.x.bus, item, "_Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed")


if __name__ == "__main__":
    unittest.main()
