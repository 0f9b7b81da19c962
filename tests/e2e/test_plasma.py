import shutil
import time
import unittest
from pathlib import Path

from harness import (AFTER_LOGON, BEFORE_LOGON, DESKTOP_USER, ITEM, PASSWORD_TITLE, DesktopTest, call, click_exported,
                     menu_labels, status_item)  # fmt: skip

KDED = shutil.which("kded6") or "kded5"  # where the StatusNotifierWatcher runs: Plasma 6's, or 5's


class PlasmaTest(DesktopTest):
    session = {"XDG_CURRENT_DESKTOP": "KDE", "XDG_SESSION_DESKTOP": "KDE", "KDE_FULL_SESSION": "true",
               "KDE_SESSION_VERSION": KDED[-1], "DESKTOP_SESSION": "plasma", "QT_QPA_PLATFORM": "xcb"}  # fmt: skip

    @classmethod
    def setUpClass(cls):
        cls.start_desktop("plasmashell")
        cls.display.start_client("kwin_x11", ["kwin_x11", "--replace"], lambda: "window id" in cls.display.property(
            cls.display.root, "_NET_SUPPORTING_WM_CHECK"))  # fmt: skip
        # The shell loads only with the activity manager, which the bus does not start.
        cls.display.start_client("kactivitymanagerd", [str(next(Path("/usr/lib").glob("*/libexec/kactivitymanagerd")))],
                                 lambda: cls.display.bus.name_has_owner("org.kde.ActivityManager"))  # fmt: skip

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
        call(self.x.bus, *item, ITEM + ".Activate", "ii", 0, 0)  # as Plasma does for a click on the item
        self.enter_password(program, "pw", DESKTOP_USER)
        self.screenshot("plasma-main-window", self.wait_main_window(program))
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        self.assert_saved_at_the_end(program, lambda: click_exported(self.x.bus, item, "_Unload"))


if __name__ == "__main__":
    unittest.main()
