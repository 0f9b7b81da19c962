import os
import signal
import socket
import subprocess
import unittest

from harness import ACCOUNT, LOGIN_NAME, SCREEN_SIZE, EndToEndTest, poll, stop_process

TWIPS_PER_PIXEL = 15  # the program stores places in twips: 1440 an inch, at 96 dots per inch
LAUNCH, FLOAT = "Run on system startup", "Make this window 'floating'..."


class TrayTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(LOGIN_NAME, "pw"), Account="Bank", UserName="old")

    def test_the_icon_its_menus_and_hiding_the_window_work_and_sigterm_saves(self):
        program = self.start_program()

        def colours():  # a picture that failed to load leaves the tray's plain background: a colour or two
            _, _, data = self.x.pixels(self.tray_icon(program))
            return len({data[i : i + 3] for i in range(0, len(data), 3)})

        self.wait_for("the icon's picture", lambda: colours() > 8)
        self.screenshot("tray-icon")
        for name, item in ("before-logon", "Log in"), ("after-logon", "Open"):
            self.open_tray_menu(program)
            self.screenshot("tray-menu-" + name)
            self.choose(program, "Leave menu")
            self.assert_stays_hidden(program)
            self.open_tray_menu(program, item)
            if item == "Log in":
                self.enter_password(program, "pw")
                self.assert_stays_hidden(program)
        window = self.wait_main_window(program)
        self.x.click(self.x.info(self.tray_icon(program)).box, button=3)
        self.assertFalse(poll(lambda: self.windows(program, "menu"), 1.0), "a menu while the window shows")
        for hide in self.close_window, lambda window: self.x.call("xdotool", "windowminimize", str(window)):
            hide(window)
            self.wait_gone(window, "the hidden window")
            self.double_click_icon(program)
            self.assertEqual(self.wait_main_window(program), window)
        self.assertNotIn("_NET_WM_STATE_HIDDEN", self.x.property(window, "_NET_WM_STATE"))

        def end_session():  # a hang-up and, before its shut-down is over, a termination, as a session's end may send
            for number in signal.SIGHUP, signal.SIGTERM:
                program.send_signal(number)

        self.assert_saved_at_the_end(program, end_session)
        self.assertIn("FormStartX", self.settings())

    def test_a_second_start_logs_on_shows_or_brings_forward_the_running_instance_or_says_it_does_not_answer(self):
        first = self.start_program()
        # A second start that a flood of connections keeps out says so; the flood's end lets the next one through.
        channel = str(next((self.sandbox.root / "runtime").glob("Tarnwick-*.socket")))
        flood = [socket.socket(socket.AF_UNIX) for _ in range(40)]
        for connection in flood:
            connection.connect(channel)
        second = self.start_program(wait_for_icon=False)
        self.message(second, "The running Tarnwick does not answer.")
        self.assertNotEqual(self.wait_exit(second), 0)
        for connection in flood:
            connection.close()

        def second_start():  # it hands over and ends; the running instance keeps the only icon
            second = self.start_program(wait_for_icon=False)
            self.assertEqual(self.wait_exit(second), 0)
            self.assertEqual([p for p in self.programs if p.poll() is None and self.tray_icon(p)], [first])

        second = self.start_program(wait_for_icon=False)
        self.enter_password(first, "pw")
        window = self.wait_main_window(first)
        self.assertEqual(self.wait_exit(second), 0)
        self.close_window(window)
        settings = self.sandbox.settings_path.exists() and self.sandbox.settings_path.read_bytes()
        second_start()
        self.assertEqual(self.wait_main_window(first), window)
        self.assertEqual(self.sandbox.settings_path.exists() and self.sandbox.settings_path.read_bytes(), settings)
        self.helpers.append(other := subprocess.Popen(["xmessage", "-center", "another"], env=self.display.env))
        self.wait_for("another window to get the focus", lambda: self.x.active_window() not in ("", str(window)))
        second_start()
        self.wait_active(window, "the main window")
        self.assert_shown(first, {ACCOUNT: "Bank"})
        stop_process(other)
        self.assertEqual(self.unload(first), 0)

    def test_the_autostart_entry_the_floating_state_and_the_place_are_kept_until_cleared(self):
        entry = self.sandbox.home / ".config" / "autostart" / "Tarnwick.desktop"

        def frame(window):  # where the window's frame stands, which is the place the program stores
            return self.x.info(self.x.parent(window)).box[:2]

        def floating(program):  # the window is made anew when it floats
            return "_NET_WM_STATE_ABOVE" in self.x.property(self.main_window(program), "_NET_WM_STATE")

        def log_on(env=None):
            program = self.start_program(env=env)
            return program, self.log_on(program, "pw")

        # A window larger than the screen, at twice the scale with a large font, opens with its title bar on the screen.
        program, window = log_on(self.env | {"QT_SCALE_FACTOR": "2", "QT_FONT_DPI": "144"})
        self.assertGreater(self.x.info(window).height, SCREEN_SIZE[1])
        self.assertTrue(all(0 <= at < size for at, size in zip(frame(window), SCREEN_SIZE)), frame(window))
        program.terminate()  # the screen reader's places of the menu's items are not the screen's at this scale
        self.assertEqual(self.wait_exit(program), 0)
        # A place stored beyond the screen (a screen since taken away, say) is not kept: the window is centred.
        self.sandbox.settings_path.write_text("[Software]\nQuillmoor\\Tarnwick\\FormStartX=1000000\n"
                                              "Quillmoor\\Tarnwick\\FormStartY=1500\n")  # fmt: skip
        program, window = log_on()
        centred = [(size - extent) // 2 for size, extent in zip(SCREEN_SIZE, self.x.info(window).box[2:])]
        self.assertLessEqual(max(abs(at - want) for at, want in zip(frame(window), centred)), 1, "centred")
        self.assertFalse(floating(program))
        self.click(program, LAUNCH)
        self.click(program, FLOAT)
        self.wait_for("the window to float", lambda: floating(program))
        window, place = self.main_window(program), (centred[0] - 150, centred[1] - 120)
        self.x.call("xdotool", "windowmove", str(window), *map(str, place))
        self.wait_for("the window to move", lambda: frame(window) == place)
        self.assertFalse(entry.exists(), "written only when the program ends")
        self.close_window(window)
        self.assertEqual(self.unload(program), 0)
        validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        self.assertEqual((validation.returncode, validation.stdout + validation.stderr), (0, ""))
        self.assertIn("\nExec=%s\n" % self.sandbox.program, entry.read_text())
        self.assertEqual({name: self.settings().get(name) for name in ("FormTopMost", "FormStartX", "FormStartY")},
                         {"FormTopMost": "True", "FormStartX": place[0] * TWIPS_PER_PIXEL,
                          "FormStartY": place[1] * TWIPS_PER_PIXEL})  # fmt: skip
        # Cleared, the floating box takes the window out of the top layer at once; the entry and state go at the end.
        program, window = log_on()
        self.assertEqual((frame(window), floating(program)), (place, True))
        self.click(program, FLOAT)
        self.wait_for("the window to stop floating", lambda: not floating(program))
        self.click(program, LAUNCH)
        self.assertEqual(self.unload(program), 0)
        self.assertEqual((entry.exists(), "FormTopMost" in self.settings()), (False, False))

    @unittest.skipUnless(os.geteuid() == 0, "needs root to run the program as a user of its own")
    def test_other_processes_of_the_programs_user_can_read_neither_its_memory_nor_its_environment(self):
        as_user = self.add_user("tarnwick-e2e-tray")
        subprocess.run(["chown", "-R", "tarnwick-e2e-tray:", str(self.sandbox.root)], check=True)
        program = self.start_program(**as_user)
        self.helpers.append(another := subprocess.Popen(["sleep", "60"], **as_user))
        for pid, readable in (another.pid, True), (program.pid, False):
            self.assertEqual(subprocess.run(["cat", "/proc/%d/environ" % pid], capture_output=True, timeout=15,
                                            **as_user).returncode == 0, readable)  # fmt: skip


if __name__ == "__main__":
    unittest.main()
