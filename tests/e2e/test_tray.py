"""The tray icon and its menus, hiding and showing the window, signals, second starts handing over, and the
program's memory kept from other processes."""

import os
import pwd
import shutil
import signal
import socket
import struct
import subprocess
import time
import unittest
from pathlib import Path

from harness import (ACCOUNT, LEAVE_MENU, LOG_IN, LOGIN_NAME, LONG_WAIT, OPEN, TITLE, UNLOAD, USER_NAME, EndToEndTest,
                     stop_process)  # fmt: skip

HAND_OVER = "TarnwickHiddenButton"
OTHER_USER = "tarnwick-e2e-tray"


def hand_over_request(caption):
    """A request as a second start sends it: version, caption size (32-bit, big-endian), caption."""
    return struct.pack(">BI", 2, len(caption)) + caption.encode()


def read_to_end(connection):
    reply = b""
    while part := connection.recv(256):
        reply += part
    return reply


class TrayTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")

    def assert_one_icon(self):
        self.assertEqual(len([p for p in self.programs if p.running() and self.tray_icon(p)]), 1)

    def test_the_menus_the_close_box_and_minimising_hide_and_show_the_window(self):
        program = self.start_program()
        menu = self.open_tray_menu(program)
        self.screenshot("tray-menu-before-logon")
        # "Leave menu", the third item, only closes the menu; "Log in" logs on and leaves the window hidden.
        self.choose(menu, LEAVE_MENU)
        self.assert_stays_hidden(program)
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
        self.assertEqual(self.windows(program, "menu"), [])
        self.assertEqual(self.main_window(program), window)
        # The close box and minimising hide the window; a double click shows it without a password.
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
        self.assertEqual(self.unload(program), 0)

    def test_the_icon_shows_the_program_picture_and_unload_before_logon_ends_and_stores_the_settings(self):
        program = self.start_program()

        def colours():  # a picture that failed to load leaves the tray's plain background: a colour or two
            _, _, data = self.x.pixels(self.tray_icon(program))
            return len({data[i : i + 3] for i in range(0, len(data), 3)})

        self.wait_for("the icon's picture", lambda: colours() > 8)
        self.screenshot("tray-icon")
        self.choose_from_tray_menu(program, UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertIn("FormStartX", self.settings())

    def test_sigterm_ends_the_program_during_a_dialog_and_saves_unsaved_edits(self):
        program = self.start_program()
        self.double_click_icon(program)
        self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        program.send_signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(len(self.database.users()), 1)

        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank", UserName="old")
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.type_into_field(window, USER_NAME, "typed before the end")
        program.send_signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before the end")
        self.assertIn("FormStartX", self.settings())

    def test_a_second_start_hands_over_to_the_running_instance(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank")
        first = self.start_program()
        # While the running instance asks for the password, the second waits.
        second = self.start_program(wait_for_icon=False)
        dialog = self.wait_dialog(first, "Enter password for user " + LOGIN_NAME)
        time.sleep(1.0)
        self.assertTrue(second.running())
        self.assertIsNone(self.tray_icon(second))
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.assertEqual(self.wait_exit(second), 0)
        self.assertIsNone(self.main_window(first))
        # Before the logon, a second start logs on in the running instance.
        second = self.start_program(wait_for_icon=False)
        self.enter_password(first, "pw")
        window = self.wait_main_window(first)
        self.assertEqual(self.wait_exit(second), 0)
        self.assert_one_icon()
        # While hidden, a second start shows the window and leaves the settings alone.
        self.close_window(window)
        stored = lambda: self.sandbox.settings_path.exists() and self.sandbox.settings_path.read_bytes()  # noqa: E731
        settings = stored()
        second = self.start_program(wait_for_icon=False)
        self.assertEqual(self.wait_main_window(first), window)
        self.assertEqual(self.wait_exit(second), 0)
        self.assertEqual(self.dialogs(first), [])
        self.assertEqual(stored(), settings)
        self.assert_one_icon()
        # While shown behind another window, a second start brings it forward.
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

    def test_the_running_instance_answers_only_the_hand_over_and_a_stopped_one_is_given_up_on(self):
        first = self.start_program()
        (path,) = (self.sandbox.root / "runtime").glob("*.socket")

        def send(caption):
            connection = socket.socket(socket.AF_UNIX)
            connection.settimeout(LONG_WAIT)
            connection.connect(str(path))
            connection.sendall(hand_over_request(caption))
            return connection

        # Another caption: closed without an answer, nothing shown, nothing stored.
        with send("cmdLogOn") as connection:
            self.assertEqual(read_to_end(connection), b"")
        self.assert_stays_hidden(first)
        self.assertEqual(self.database.accounts(), [])
        # The hand-over itself, answered once the logon was cancelled.
        with send(HAND_OVER) as connection:
            dialog = self.wait_dialog(first, "Enter password for user " + LOGIN_NAME)
            self.x.key("Escape")
            self.wait_gone(dialog, "the password dialog")
            self.assertTrue(read_to_end(connection).endswith(b"\x02\x02\0\0\0\0"))
        # A running instance that does not answer is given up on.
        first.send_signal(signal.SIGSTOP)
        self.addCleanup(first.send_signal, signal.SIGCONT)
        second = self.start_program(wait_for_icon=False)
        self.wait_for("the message of the second start", lambda: self.dialogs(second, TITLE), 10)
        self.answer_message(second, "The running Tarnwick does not answer.", screenshot="no-answer-message")
        self.assertNotEqual(self.wait_exit(second), 0)

    def test_other_processes_of_the_programs_user_can_read_neither_its_memory_nor_its_environment(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to run the program as a user of its own")
        # 9: the user is left from a run that was killed.
        created = subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--home-dir",
                                  "/nonexistent", "--shell", "/usr/sbin/nologin", OTHER_USER], capture_output=True,
                                 text=True, timeout=LONG_WAIT)  # fmt: skip
        self.assertIn(created.returncode, (0, 9), created.stderr)
        # After the cleanups of every test, which stop the user's processes.
        self.addClassCleanup(subprocess.run, ["userdel", OTHER_USER], check=True, timeout=LONG_WAIT)
        as_user = {"user": OTHER_USER, "group": OTHER_USER, "extra_groups": []}
        for folder, _, files in os.walk(self.sandbox.root):
            for path in [folder] + [os.path.join(folder, name) for name in files]:
                shutil.chown(path, OTHER_USER, OTHER_USER)
        program = self.start_program(**as_user)
        another = subprocess.Popen(["sleep", "60"], stdin=subprocess.DEVNULL, **as_user)
        self.helpers.append(another)

        def readable(pid):
            return subprocess.run(["cat", "/proc/%d/environ" % pid], capture_output=True, timeout=LONG_WAIT,
                                  **as_user).returncode == 0  # fmt: skip

        self.assertTrue(readable(another.pid))
        self.assertFalse(readable(program.pid))
        self.choose_from_tray_menu(program, UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)

    def test_without_a_runtime_folder_a_second_start_hands_over_past_a_shared_folder_of_another_user(self):
        if os.geteuid() != 0:
            self.skipTest("needs root to give a folder to another user")
        shared = Path("/tmp/Tarnwick-%d" % os.geteuid())
        if shared.exists():
            self.skipTest("%s exists already" % shared)
        shared.mkdir(0o755)
        self.addCleanup(shutil.rmtree, shared, True)
        os.chown(shared, pwd.getpwnam("nobody").pw_uid, -1)
        del self.env["XDG_RUNTIME_DIR"]
        first = self.start_program()
        second = self.start_program(wait_for_icon=False)
        dialog = self.wait_dialog(first, "Enter password for user " + LOGIN_NAME)
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.assertEqual(self.wait_exit(second), 0)
        self.assert_one_icon()
        self.assertEqual(list(shared.iterdir()), [])


if __name__ == "__main__":
    unittest.main()
