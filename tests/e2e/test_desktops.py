import unittest

from harness import LOGIN_NAME, EndToEndTest, open_menu, stop_process


class DesktopsTest(EndToEndTest):  # without a notification area, unless a test starts one
    tray = False

    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(LOGIN_NAME, "pw"), Account="Bank", UserName="old")

    def log_on_at_start(self):  # without a tray the program asks for the password by itself
        program = self.start_program(wait_for_icon=False)
        self.enter_password(program, "pw")
        return program, self.wait_main_window(program)

    def place(self, window):
        return self.x.info(window).x, self.x.info(window).y

    def test_without_a_tray_the_window_stays_in_the_task_bar_until_a_tray_comes_and_exit_saves_the_edits(self):
        program, window = self.log_on_at_start()
        place = self.place(window)
        for hide in self.close_window, lambda window: self.x.call("xdotool", "windowminimize", str(window)):
            hide(window)
            self.wait_gone(window, "the minimised window")
            self.assertIn("Iconic", self.x.property(window, "WM_STATE"))
            self.assertIn("_NET_WM_STATE_HIDDEN", self.x.property(window, "_NET_WM_STATE"))
            # Restored as a task bar does; the window manager animates the window back to its place.
            self.x.call("xdotool", "windowactivate", str(window))
            self.assertEqual(self.wait_main_window(program), window)
            self.wait_for("the window at its place", lambda: self.place(window) == place)
        # A tray started later shows the icon, and the close box hides the window to it.
        self.helpers.append(trayer := self.display.start_trayer())
        self.wait_for("the icon in the tray started later", lambda: self.tray_icon(program))
        self.close_window(window)
        self.assertNotIn("Iconic", self.x.property(window, "WM_STATE"))
        self.double_click_icon(program)
        self.wait_for("the window at its place", lambda: self.place(self.wait_main_window(program)) == place)
        self.assertEqual(self.unload(program), 0)
        stop_process(trayer)
        program, _ = self.log_on_at_start()

        def exit_from_file_menu():  # "Exit" in the menu bar's "File" menu ends the program as "Unload" does
            self.click(program, "File")
            self.wait_for("the File menu", open_menu)
            self.screenshot("file-menu")
            self.choose(program, "Exit")

        self.assert_saved_at_the_end(program, exit_from_file_menu)

if __name__ == "__main__":
    unittest.main()
