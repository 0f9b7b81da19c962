"""The tray icon and its menus, hiding and showing the window, ending on a signal, and a second start handing
over to the running instance."""

import signal
import subprocess
import time
import unittest

from harness import (
    ACCOUNT,
    LEAVE_MENU,
    LOG_IN,
    LOGIN_NAME,
    MAIN_SIZE,
    OPEN,
    UNLOAD,
    USER_NAME,
    EndToEndTest,
    stop_process,
)


class TrayTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")

    def test_the_menus_offer_log_in_or_open_unload_and_leave(self):
        program = self.start_program()
        menu = self.open_tray_menu(program)
        self.screenshot("tray-menu-before-logon")
        # "Leave menu", the third item, only closes the menu.
        self.x.key("Down", "Down", "Down", "Return")
        self.wait_gone(menu, "the tray menu")
        self.assert_stays_hidden(program)

        # "Log in" logs on and leaves the window hidden.
        self.choose_from_tray_menu(program, LOG_IN)
        self.enter_password(program, "pw")
        self.assert_stays_hidden(program)

        # After the logon: "Open", and "Leave menu" third.
        menu = self.open_tray_menu(program)
        self.screenshot("tray-menu-after-logon")
        self.x.key("Escape")
        self.wait_gone(menu, "the tray menu")
        self.choose_from_tray_menu(program, LEAVE_MENU)
        self.assert_stays_hidden(program)
        self.choose_from_tray_menu(program, OPEN)
        window = self.wait_main_window(program)
        self.assertEqual(self.dialogs(program), [])

        # No menu while the window is shown.
        self.x.click(self.tray_icon(program), (10, 10), button=3)
        time.sleep(1.0)
        self.assertEqual(self.menus(program), [])
        self.assertEqual(self.main_window(program), window)

        self.assertEqual(self.unload(program), 0)

    def test_the_icon_shows_the_program_picture(self):
        program = self.start_program()
        # A picture that failed to load leaves the tray's plain background: a colour or two.
        self.wait_for("the icon's picture", lambda: self.colours(self.tray_icon(program)) > 8)
        self.screenshot("tray-icon")
        self.assertEqual(self.unload(program), 0)

    def colours(self, window):
        _, _, data = self.x.pixels(window)
        return len({data[i : i + 3] for i in range(0, len(data), 3)})

    def test_unload_before_logon_ends_the_program_and_stores_the_settings(self):
        program = self.start_program()
        self.choose_from_tray_menu(program, UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertIn("FormStartX", self.sandbox.settings())

    def test_the_close_box_and_minimising_hide_and_a_double_click_shows_without_a_password(self):
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.close_window(window)
        self.assertIsNotNone(self.tray_icon(program))
        self.double_click_icon(program)
        self.assertEqual(self.wait_main_window(program), window)
        self.assertEqual(self.dialogs(program), [])

        self.x.call("xdotool", "windowminimize", str(window))
        self.wait_gone(window, "the minimised window")
        self.double_click_icon(program)
        self.assertEqual(self.wait_main_window(program), window)
        self.assertNotIn("_NET_WM_STATE_HIDDEN", self.x.property(window, "_NET_WM_STATE"))
        self.assertEqual(self.x.info(window).size, MAIN_SIZE)
        self.assertEqual(self.unload(program), 0)

    def test_sigterm_saves_unsaved_edits_and_ends_normally(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank", UserName="old")
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.type_into_field(window, USER_NAME, "typed before the end")
        program.signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before the end")
        self.assertIn("FormStartX", self.sandbox.settings())

    def test_sigterm_during_a_dialog_ends_the_program(self):
        program = self.start_program()
        self.double_click_icon(program)
        self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        program.signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(len(self.database.users()), 1)

    def test_a_second_start_before_logon_logs_on_in_the_running_instance(self):
        first = self.start_program()
        second = self.start_program(wait_for_icon=False)
        self.enter_password(first, "pw")
        self.wait_main_window(first)
        self.assertEqual(self.wait_exit(second), 0)
        self.assert_one_icon()
        self.assertEqual(self.unload(first), 0)

    def test_a_second_start_waits_while_the_running_instance_asks_for_the_password(self):
        first = self.start_program()
        second = self.start_program(wait_for_icon=False)
        dialog = self.wait_dialog(first, "Enter password for user " + LOGIN_NAME)
        time.sleep(1.0)
        self.assertTrue(second.running())
        self.assertIsNone(self.tray_icon(second))
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.assertEqual(self.wait_exit(second), 0)
        self.assertIsNone(self.main_window(first))
        self.assertEqual(self.unload(first), 0)

    def test_a_second_start_while_hidden_shows_the_window_and_leaves_the_settings_alone(self):
        first = self.start_program()
        window = self.log_on(first, "pw")
        self.close_window(window)
        settings = self.sandbox.settings_path.read_bytes() if self.sandbox.settings_path.exists() else None
        second = self.start_program(wait_for_icon=False)
        self.assertEqual(self.wait_main_window(first), window)
        self.assertEqual(self.wait_exit(second), 0)
        self.assertEqual(self.dialogs(first), [])
        current = self.sandbox.settings_path.read_bytes() if self.sandbox.settings_path.exists() else None
        self.assertEqual(current, settings)
        self.assert_one_icon()
        self.assertEqual(self.unload(first), 0)

    def test_a_second_start_while_shown_brings_the_window_forward(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank")
        first = self.start_program()
        window = self.log_on(first, "pw")
        other = subprocess.Popen(["xmessage", "-center", "another program"], env=self.display.env)
        self.helpers.append(other)
        self.wait_for("another window to get the focus", lambda: self.x.active_window() not in (None, window))
        second = self.start_program(wait_for_icon=False)
        self.assertEqual(self.wait_exit(second), 0)
        self.wait_active(window, "the main window")
        self.assertEqual(self.read_field(window, ACCOUNT), "Bank")
        stop_process(other)
        self.assert_one_icon()
        self.assertEqual(self.unload(first), 0)

    def assert_one_icon(self):
        icons = [program for program in self.programs if program.running() and self.tray_icon(program)]
        self.assertEqual(len(icons), 1)


if __name__ == "__main__":
    unittest.main()
