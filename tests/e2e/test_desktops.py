"""Two desktops besides the X11 tray: a panel that hosts StatusNotifierItems over D-Bus, and no notification area."""

import re
import unittest

from harness import LOGIN_NAME, USER_NAME, WATCHER, EndToEndTest

BUS = ("org.freedesktop.DBus", "/org/freedesktop/DBus")
ITEM, MENU = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"
MENU_BEFORE_LOGON = ["_Log in", "-", "_Unload", "-", "_Leave menu"]
MENU_AFTER_LOGON = ["_Open", "-", "_Unload", "-", "_Leave menu"]


class StatusNotifierTest(EndToEndTest):
    tray = "xfce4-panel"

    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")

    def start_item(self):
        """Starts the program; returns it and its item, (bus name, object path), once the panel's watcher lists it."""
        program = self.start_program(wait_for_icon=False)

        def item():
            listed = self.x.bus_property(*WATCHER, WATCHER[0], "RegisteredStatusNotifierItems", check=False)
            for name, path in re.findall(r"'([^'/]+)(/[^']*)'", listed):
                owner = self.x.bus_call(*BUS, BUS[0] + ".GetConnectionUnixProcessID", name, check=False)
                if re.search(r"\b%d\b" % program.pid, owner):
                    return name, path

        return program, self.wait_for("the program's item on the bus", item)

    def menu(self, item):
        """The menu's object path and its visible entries as a host reads them: (label, id), "-" for a separator."""
        path = re.search(r"objectpath '(.*)'", self.x.bus_property(*item, ITEM, "Menu"))[1]
        self.x.bus_call(item[0], path, MENU + ".AboutToShow", "0")
        layout, entries = self.x.bus_call(item[0], path, MENU + ".GetLayout", "0", "-1", "[]"), []
        for number, properties in re.findall(r"<\((\d+), \{(.*?)\}, ", layout):
            if "'visible': <false>" not in properties:
                label = re.search(r"'label': <'(.*?)'>", properties)
                entries.append(("-" if "'type': <'separator'>" in properties else label[1], int(number)))
        return path, entries

    def assert_menu(self, item, labels):
        self.assertEqual([label for label, _ in self.menu(item)[1]], labels)

    def test_the_menu_over_dbus_a_click_in_the_panel_and_unload_from_the_menu_saving_the_edits(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank", UserName="old")
        program, item = self.start_item()
        self.assert_menu(item, MENU_BEFORE_LOGON)
        # A click on the item's button in the panel logs on and shows the window.
        tray = self.x.search("--onlyvisible", "--classname", "^wrapper-2.0$")[0]
        self.wait_for("the item's button in the panel", lambda: self.x.info(tray).width > 1)
        self.screenshot("panel-item")
        place = self.x.info(tray)
        self.x.click(tray, (place.width // 2, place.height // 2))
        self.enter_password(program, "pw")
        window = self.wait_main_window(program)
        self.assert_menu(item, MENU_AFTER_LOGON)
        self.type_into_field(window, USER_NAME, "typed before unload")
        path, entries = self.menu(item)
        self.x.bus_call(item[0], path, MENU + ".Event", str(dict(entries)["_Unload"]), "'clicked'", "<0>", "0")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before unload")

    def test_activate_and_context_menu_answer_while_the_logon_dialog_stays_open(self):
        program, item = self.start_item()
        # A host waits for the answer: a logon held in the call would keep it waiting as long as the dialog stays.
        self.x.bus_call(*item, ITEM + ".Activate", "0", "0")
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.x.bus_call(*item, ITEM + ".ContextMenu", "0", "0")
        self.x.bus_call(*item, ITEM + ".Activate", "0", "0")
        self.assertEqual(self.dialogs(program), [dialog])


class NoNotificationAreaTest(EndToEndTest):
    tray = None

    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")

    def log_on_at_start(self):
        """Starts the program, which asks for the password by itself without a tray, and logs on."""
        program = self.start_program(wait_for_icon=False)
        self.enter_password(program, "pw")
        return program, self.wait_main_window(program)

    def assert_iconic(self, window, iconic=True):
        self.assertEqual("Iconic" in self.x.property(window, "WM_STATE"), iconic)
        self.assertEqual("_NET_WM_STATE_HIDDEN" in self.x.property(window, "_NET_WM_STATE"), iconic)

    def test_the_close_box_and_minimising_leave_the_window_in_the_task_bar_and_exit_saves_the_edits(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank", UserName="old")
        program, window = self.log_on_at_start()
        place = (self.x.info(window).x, self.x.info(window).y)

        def restore():  # as a task bar does; the window manager animates the window back to its place
            self.x.call("xdotool", "windowactivate", str(window))
            self.assertEqual(self.wait_main_window(program), window)
            self.wait_for("the window back at its place", lambda: (self.x.info(window).x, self.x.info(window).y) == place)

        self.close_window(window)
        self.assert_iconic(window)
        restore()
        self.x.call("xdotool", "windowminimize", str(window))
        self.wait_gone(window, "the minimised window")
        self.assert_iconic(window)
        restore()
        self.type_into_field(window, USER_NAME, "typed before exit")
        # "Exit" in the menu bar's "File" menu ends the program as "Unload" does.
        self.x.click(window, (12, 8))
        menu = self.wait_for("the File menu", lambda: self.windows(program, "menu"))[0]
        self.screenshot("file-menu")
        self.x.key("e")
        self.wait_gone(menu, "the File menu")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before exit")

    def test_a_tray_started_later_shows_the_icon_and_the_close_box_hides_the_window_again(self):
        program, window = self.log_on_at_start()
        self.helpers.append(self.display.start_trayer())
        self.wait_for("the icon in the tray started later", lambda: self.tray_icon(program))
        self.close_window(window)
        self.assert_iconic(window, False)
        self.assertEqual(self.unload(program), 0)


if __name__ == "__main__":
    unittest.main()
