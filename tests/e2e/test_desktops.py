import unittest

from harness import ITEM, LOGIN_NAME, MENU, PASSWORD_TITLE, USER_NAME, EndToEndTest, exported_menu, status_item


class DesktopTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(LOGIN_NAME, "pw"), Account="Bank", UserName="old")

    def assert_saved_at_the_end(self, program, window, end):
        self.type_into_field(window, USER_NAME, "typed before the end")
        end()
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before the end")


class StatusNotifierTest(DesktopTest):
    tray = "xfce4-panel"

    def menu(self, item):
        return exported_menu(self.x.bus_call, item)

    def test_the_menu_over_dbus_answers_at_once_a_click_in_the_panel_logs_on_and_unload_saves_the_edits(self):
        program = self.start_program(wait_for_icon=False)
        item = self.wait_for("the program's item on the bus", lambda: status_item(self.x.bus_call, program.pid))
        self.assertEqual([label for label, _ in self.menu(item)[1]], ["_Log in", "-", "_Unload", "-", "_Leave menu"])
        # A host waits for the answer: a logon held in the call would keep it waiting as long as the dialog stays.
        self.x.bus_call(*item, ITEM + ".Activate", "0", "0", check=True)
        dialog = self.wait_dialog(program, PASSWORD_TITLE % LOGIN_NAME)
        self.x.bus_call(*item, ITEM + ".ContextMenu", "0", "0", check=True)
        self.x.bus_call(*item, ITEM + ".Activate", "0", "0", check=True)
        self.assertEqual(self.windows(program, "dialog"), [dialog])
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        tray = self.x.search("--onlyvisible", "--classname", "^wrapper-2.0$")[0]
        place = self.wait_for("the item's button in the panel", lambda: (info := self.x.info(tray)).width > 1 and info)
        self.screenshot("panel-item")
        self.x.click(tray, (place.width // 2, place.height // 2))
        self.enter_password(program, "pw")
        window = self.wait_main_window(program)
        path, entries = self.menu(item)
        self.assertEqual([label for label, _ in entries], ["_Open", "-", "_Unload", "-", "_Leave menu"])
        self.assert_saved_at_the_end(program, window, lambda: self.x.bus_call(
            item[0], path, MENU + ".Event", str(dict(entries)["_Unload"]), "'clicked'", "<0>", "0", check=True))


class NoNotificationAreaTest(DesktopTest):
    tray = None

    def log_on_at_start(self):  # without a tray the program asks for the password by itself
        program = self.start_program(wait_for_icon=False)
        self.enter_password(program, "pw")
        return program, self.wait_main_window(program)

    def test_the_close_box_and_minimising_leave_the_window_in_the_task_bar_and_exit_saves_the_edits(self):
        program, window = self.log_on_at_start()
        place = (self.x.info(window).x, self.x.info(window).y)
        for hide in self.close_window, lambda window: self.x.call("xdotool", "windowminimize", str(window)):
            hide(window)
            self.wait_gone(window, "the minimised window")
            self.assertIn("Iconic", self.x.property(window, "WM_STATE"))
            self.assertIn("_NET_WM_STATE_HIDDEN", self.x.property(window, "_NET_WM_STATE"))
            # Restored as a task bar does; the window manager animates the window back to its place.
            self.x.call("xdotool", "windowactivate", str(window))
            self.assertEqual(self.wait_main_window(program), window)
            self.wait_for("the window at its place", lambda: (self.x.info(window).x, self.x.info(window).y) == place)

        def exit_from_file_menu():  # "Exit" in the menu bar's "File" menu ends the program as "Unload" does
            self.x.click(window, (12, 8))
            menu = self.wait_for("the File menu", lambda: self.windows(program, "menu"))[0]
            self.screenshot("file-menu")
            self.x.key("e")
            self.wait_gone(menu, "the File menu")

        self.assert_saved_at_the_end(program, window, exit_from_file_menu)

    def test_a_tray_started_later_shows_the_icon_and_the_close_box_hides_the_window_to_it(self):
        program, window = self.log_on_at_start()
        # Minimised and restored before: the icon still shows the window at the first double click.
        place = (self.x.info(window).x, self.x.info(window).y)
        self.close_window(window)
        self.x.call("xdotool", "windowactivate", str(window))
        self.wait_for("the window at its place", lambda: (self.x.info(window).x, self.x.info(window).y) == place)
        self.helpers.append(self.display.start_trayer())
        self.wait_for("the icon in the tray started later", lambda: self.tray_icon(program))
        self.close_window(window)
        self.assertNotIn("Iconic", self.x.property(window, "WM_STATE"))
        self.double_click_icon(program)
        shown = self.wait_main_window(program)
        self.wait_for("the window at its place", lambda: (self.x.info(shown).x, self.x.info(shown).y) == place)
        self.assertEqual(self.unload(program), 0)


if __name__ == "__main__":
    unittest.main()
