"""The tray icon and its menus, hiding and showing the window, SIGTERM, second starts handing over, and the
program's memory kept from other processes."""

import os
import signal
import subprocess
import time
import unittest

from harness import ACCOUNT, LEAVE_MENU, LOG_IN, LOGIN_NAME, OPEN, USER_NAME, EndToEndTest, add_user, stop_process


class TrayTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(LOGIN_NAME, "pw"), Account="Bank", UserName="old")

    def test_the_icon_its_menus_the_close_box_and_minimising_hide_and_show_the_window_and_sigterm_saves(self):
        program = self.start_program()

        def colours():  # a picture that failed to load leaves the tray's plain background: a colour or two
            _, _, data = self.x.pixels(self.tray_icon(program))
            return len({data[i : i + 3] for i in range(0, len(data), 3)})

        self.wait_for("the icon's picture", lambda: colours() > 8)
        self.screenshot("tray-icon")
        # "Leave menu", the third item, only closes the menu; "Log in" logs on and leaves the window hidden.
        menu = self.open_tray_menu(program)
        self.screenshot("tray-menu-before-logon")
        self.choose(menu, LEAVE_MENU)
        self.assert_stays_hidden(program)
        self.open_tray_menu(program, LOG_IN)
        self.enter_password(program, "pw")
        self.assert_stays_hidden(program)
        # After the logon: "Open", and "Leave menu" third.
        menu = self.open_tray_menu(program)
        self.screenshot("tray-menu-after-logon")
        self.choose(menu, LEAVE_MENU)
        self.assert_stays_hidden(program)
        self.open_tray_menu(program, OPEN)
        window = self.wait_main_window(program)
        # No menu while the window is shown.
        self.x.click(self.tray_icon(program), (10, 10), button=3)
        time.sleep(1.0)
        self.assertEqual(self.windows(program, "menu"), [])
        # The close box and minimising hide the window; a double click shows it without a password.
        for hide in self.close_window, lambda window: self.x.call("xdotool", "windowminimize", str(window)):
            hide(window)
            self.wait_gone(window, "the hidden window")
            self.double_click_icon(program)
            self.assertEqual(self.wait_main_window(program), window)
        self.assertNotIn("_NET_WM_STATE_HIDDEN", self.x.property(window, "_NET_WM_STATE"))
        self.type_into_field(window, USER_NAME, "typed before the end")
        program.send_signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before the end")
        self.assertIn("FormStartX", self.settings())

    def test_a_second_start_logs_on_shows_or_brings_forward_the_running_instance(self):
        first = self.start_program()

        def second_start():  # it hands over and ends; the running instance keeps the only icon
            second = self.start_program(wait_for_icon=False)
            self.assertEqual(self.wait_exit(second), 0)
            self.assertEqual([p for p in self.programs if p.poll() is None and self.tray_icon(p)], [first])

        # Before the logon it logs on in the running instance.
        second = self.start_program(wait_for_icon=False)
        self.enter_password(first, "pw")
        window = self.wait_main_window(first)
        self.assertEqual(self.wait_exit(second), 0)
        # While hidden it shows the window and leaves the settings alone.
        self.close_window(window)
        settings = self.sandbox.settings_path.exists() and self.sandbox.settings_path.read_bytes()
        second_start()
        self.assertEqual(self.wait_main_window(first), window)
        self.assertEqual(self.sandbox.settings_path.exists() and self.sandbox.settings_path.read_bytes(), settings)
        # While shown behind another window it brings it forward.
        self.helpers.append(other := subprocess.Popen(["xmessage", "-center", "another"], env=self.display.env))
        self.wait_for("another window to get the focus", lambda: self.x.active_window() not in (None, window))
        second_start()
        self.wait_active(window, "the main window")
        self.assertEqual(self.read_field(window, ACCOUNT), "Bank")
        stop_process(other)
        # A running instance that does not answer is given up on, with a message.
        os.kill(first.pid, signal.SIGSTOP)
        second = self.start_program(wait_for_icon=False)
        self.message(second, "The running Tarnwick does not answer.")
        self.assertNotEqual(self.wait_exit(second), 0)
        os.kill(first.pid, signal.SIGCONT)
        self.assertEqual(self.unload(first), 0)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to run the program as a user of its own")
    def test_other_processes_of_the_programs_user_can_read_neither_its_memory_nor_its_environment(self):
        as_user = add_user(self, "tarnwick-e2e-tray")
        subprocess.run(["chown", "-R", "tarnwick-e2e-tray:", str(self.sandbox.root)], check=True)
        program = self.start_program(**as_user)
        self.helpers.append(another := subprocess.Popen(["sleep", "60"], **as_user))
        for pid, readable in (another.pid, True), (program.pid, False):
            self.assertEqual(subprocess.run(["cat", "/proc/%d/environ" % pid], capture_output=True, timeout=15,
                                            **as_user).returncode == 0, readable)  # fmt: skip


if __name__ == "__main__":
    unittest.main()
