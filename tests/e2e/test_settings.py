"""Settings kept between runs: starting with the desktop session, the floating window and its place."""

import os
import stat
import subprocess
import time
import unittest

from harness import FLOAT_PLACE, LAUNCH_PLACE, LOGIN_NAME, SCREEN_SIZE, TWIPS_PER_PIXEL, UNLOAD, EndToEndTest


class SettingsTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.database.add_user(LOGIN_NAME, "pw")

    def start(self):
        program = self.start_program()
        return program, self.log_on(program, "pw")

    def frame_position(self, window):
        """Where the window's frame stands, which is the place the program stores."""
        frame = self.x.info(self.x.parent(window))
        return (frame.x, frame.y)

    def assert_centred(self, window):
        (x, y), size = self.frame_position(window), self.x.info(window).size
        self.assertLessEqual(abs(x - (SCREEN_SIZE[0] - size[0]) // 2), 1)
        self.assertLessEqual(abs(y - (SCREEN_SIZE[1] - size[1]) // 2), 1)

    def floating(self, program):
        return "_NET_WM_STATE_ABOVE" in self.x.property(self.main_window(program), "_NET_WM_STATE")

    def test_run_on_system_startup_writes_a_valid_autostart_entry_and_clearing_it_removes_the_entry(self):
        entry = self.sandbox.autostart_path
        program, window = self.start()
        self.x.click(window, self.point(window, LAUNCH_PLACE, 8))
        self.assertFalse(entry.exists(), "written only when the program ends")
        self.assertEqual(self.unload(program), 0)
        validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        self.assertEqual((validation.returncode, validation.stdout + validation.stderr), (0, ""))
        text = entry.read_text()
        for line in ("Exec=%s" % self.sandbox.program, "Type=Application", "Name=Tarnwick", "Icon=tarnwick"):
            self.assertIn("\n" + line + "\n", text)
        # The next run starts with the box ticked: ending it before the logon keeps the entry.
        program = self.start_program()
        self.choose_from_tray_menu(program, UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(entry.read_text(), text)
        program, window = self.start()
        self.x.click(window, self.point(window, LAUNCH_PLACE, 8))
        self.assertEqual(self.unload(program), 0)
        self.assertFalse(entry.exists())

        # A FIFO at the entry's path or the settings file's reads as no file: start-up reaches the tray icon (which
        # start_program waits for) and the window opens centred. The settings cannot be written over the FIFO.
        self.sandbox.settings_path.unlink()
        for fifo in entry, self.sandbox.settings_path:
            os.mkfifo(fifo)
        program, window = self.start()
        self.assert_centred(window)
        self.close_window(window)
        self.choose_from_tray_menu(program, UNLOAD)
        self.answer_message(program, "Unable to save registry information.")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertTrue(all(stat.S_ISFIFO(fifo.lstat().st_mode) for fifo in (entry, self.sandbox.settings_path)))

    def test_the_floating_state_and_the_place_of_the_window_are_kept_and_a_place_off_the_screen_is_not(self):
        program, window = self.start()
        self.assert_centred(window)
        self.assertFalse(self.floating(program))
        self.x.click(window, self.point(window, FLOAT_PLACE, 8))
        self.wait_for("the window to float", lambda: self.floating(program))
        window = self.main_window(program)
        # Dragged by its title bar: the window manager moves it only after the pointer has travelled a little.
        info, before = self.x.info(window), self.frame_position(window)
        start = (info.x + info.width // 2, info.y - 8)
        self.x.call("xdotool", "mousemove", str(start[0]), str(start[1]), "mousedown", "1")
        for step in (start[0] - 10, start[1] - 10), (start[0] - 150, start[1] - 120):
            time.sleep(0.2)
            self.x.call("xdotool", "mousemove", str(step[0]), str(step[1]))
        time.sleep(0.2)
        self.x.call("xdotool", "mouseup", "1")
        place = (before[0] - 150, before[1] - 120)
        self.wait_for("the window to move", lambda: self.frame_position(window) == place)
        self.close_window(window)
        self.assertEqual(self.unload(program), 0)
        settings = self.settings()
        self.assertEqual(settings.get("FormTopMost"), "True")
        self.assertEqual((settings["FormStartX"], settings["FormStartY"]), tuple(v * TWIPS_PER_PIXEL for v in place))

        program, window = self.start()
        self.assertEqual(self.frame_position(window), place)
        self.assertTrue(self.floating(program))
        # Clearing the box takes the window out of the top layer at once and forgets the state at the end.
        self.x.click(window, self.point(window, FLOAT_PLACE, 8))
        self.wait_for("the window to stop floating", lambda: not self.floating(program))
        self.assertEqual(self.unload(program), 0)
        self.assertNotIn("FormTopMost", self.settings())

        # Without a settings file, the previous format's file beside it is carried over: its place puts the window.
        carried = (200, 150)
        self.sandbox.settings_path.unlink()
        self.sandbox.settings_path.with_name("settings.reg").write_text(
            'Tarnwick settings 1\nkey "Software\\\\Quillmoor\\\\Tarnwick"\nnumber "FormStartX" %08x\n'
            'number "FormStartY" %08x\n' % tuple(v * TWIPS_PER_PIXEL for v in carried))  # fmt: skip
        program, window = self.start()
        self.assertEqual(self.frame_position(window), carried)
        self.assertEqual(self.unload(program), 0)
        # From then on the settings file counts: a place beyond the screen there is replaced by the centre.
        self.store_numbers(FormStartX=99999, FormStartY=300 * TWIPS_PER_PIXEL)
        program, window = self.start()
        self.assert_centred(window)
        self.assertEqual(self.unload(program), 0)


if __name__ == "__main__":
    unittest.main()
