import time
import unittest

from harness import DESKTOP_USER, PASSWORD_TITLE, USER_NAME, DesktopTest, exported_menu, status_item


class PlasmaTest(DesktopTest):
    session = {"XDG_CURRENT_DESKTOP": "KDE", "XDG_SESSION_DESKTOP": "KDE", "KDE_FULL_SESSION": "true",
               "KDE_SESSION_VERSION": "5", "DESKTOP_SESSION": "plasma", "QT_QPA_PLATFORM": "xcb"}  # fmt: skip

    @classmethod
    def setUpClass(cls):
        cls.start_desktop("plasmashell")
        cls.display.start_client("kwin_x11", ["kwin_x11", "--replace"], lambda: "window id" in cls.display.property(
            cls.display.root, "_NET_SUPPORTING_WM_CHECK"))  # fmt: skip

    def test_a_shell_started_after_the_program_gets_its_item_whose_menu_is_true_after_the_logon(self):
        # Without a tray the program asks for the logon at once; Plasma comes 5 s later, without xembedsniproxy,
        # which would show an XEmbed icon: the program's own item is what it shows.
        program = self.start_program(wait_for_icon=False, **self.display.as_user)
        dialog = self.wait_dialog(program, PASSWORD_TITLE % DESKTOP_USER)
        time.sleep(5)
        self.display.spawn("kded5", ["kded5"])
        self.display.spawn("plasmashell", ["nice", "-n", "5", "plasmashell", "--no-respawn"])
        item = self.wait_for("the program's item", lambda: status_item(self.x.bus_call, program.pid), 10)
        self.assertEqual([label for label, _ in exported_menu(self.x.bus_call, item)[1]],
                         ["_Log in", "-", "_Unload", "-", "_Leave menu"])  # fmt: skip
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        window = self.log_on_from(program, item)
        self.screenshot("plasma-main-window", window)
        self.assertEqual([label for label, _ in exported_menu(self.x.bus_call, item)[1]],
                         ["_Open", "-", "_Unload", "-", "_Leave menu"])  # fmt: skip
        self.type_into_field(window, USER_NAME, "typed before unloading")
        self.choose(item, "_Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before unloading")


if __name__ == "__main__":
    unittest.main()
