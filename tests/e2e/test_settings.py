"""The settings kept between runs: starting with the desktop session, the floating window and its place."""

import subprocess
import time
import unittest

from harness import (
    FLOAT_PLACE,
    LAUNCH_PLACE,
    LOGIN_NAME,
    MAIN_SIZE,
    SCREEN_SIZE,
    TWIPS_PER_PIXEL,
    UNLOAD,
    EndToEndTest,
    check_box_point,
)


class SettingsTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.database.add_user(LOGIN_NAME, "pw")

    def frame_position(self, window):
        """Where the window's frame stands, which is the place the program stores."""
        frame = self.x.info(self.x.parent(window))
        return (frame.x, frame.y)

    def floating(self, window):
        return "_NET_WM_STATE_ABOVE" in self.x.property(window, "_NET_WM_STATE")

    def unload_before_logon(self, program):
        self.choose_from_tray_menu(program, UNLOAD)
        return self.wait_exit(program)

    def test_run_on_system_startup_writes_a_valid_autostart_entry_and_clearing_it_removes_the_entry(self):
        entry = self.sandbox.autostart_path
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.x.click(window, check_box_point(LAUNCH_PLACE))
        self.assertFalse(entry.exists(), "written only when the program ends")
        self.assertEqual(self.unload(program), 0)

        validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        self.assertEqual((validation.returncode, validation.stdout + validation.stderr), (0, ""))
        text = entry.read_text()
        self.assertIn("\nExec=%s\n" % self.sandbox.program, text)
        self.assertIn("\nType=Application\n", text)
        self.assertIn("\nName=Tarnwick\n", text)

        # The next run starts with the box ticked: ending it keeps the entry.
        self.assertEqual(self.unload_before_logon(self.start_program()), 0)
        self.assertEqual(entry.read_text(), text)

        program = self.start_program()
        window = self.log_on(program, "pw")
        self.x.click(window, check_box_point(LAUNCH_PLACE))
        self.assertEqual(self.unload(program), 0)
        self.assertFalse(entry.exists())

    def test_the_floating_state_and_the_place_of_the_window_are_kept_for_the_next_run(self):
        program = self.start_program()
        window = self.log_on(program, "pw")
        centred = ((SCREEN_SIZE[0] - MAIN_SIZE[0]) // 2, (SCREEN_SIZE[1] - MAIN_SIZE[1]) // 2)
        self.assertLessEqual(abs(self.frame_position(window)[0] - centred[0]), 1)
        self.assertFalse(self.floating(window))

        self.x.click(window, check_box_point(FLOAT_PLACE))
        self.wait_for("the window to float", lambda: self.floating(self.main_window(program)))
        window = self.main_window(program)
        self.move_by_title_bar(window, (-150, -120))
        place = self.frame_position(window)
        self.close_window(window)
        self.assertEqual(self.unload(program), 0)
        settings = self.sandbox.settings()
        self.assertEqual(settings.get("FormTopMost"), "True")
        self.assertEqual((settings["FormStartX"], settings["FormStartY"]), tuple(v * TWIPS_PER_PIXEL for v in place))

        program = self.start_program()
        window = self.log_on(program, "pw")
        self.assertEqual(self.frame_position(window), place)
        self.assertTrue(self.floating(window))
        # Clearing the box takes the window out of the top layer at once and forgets the state at the end.
        self.x.click(window, check_box_point(FLOAT_PLACE))
        self.wait_for("the window to stop floating", lambda: not self.floating(self.main_window(program)))
        self.assertEqual(self.unload(program), 0)
        self.assertNotIn("FormTopMost", self.sandbox.settings())

    def test_a_place_beyond_the_screen_is_replaced_by_the_centre(self):
        self.sandbox.settings_path.parent.mkdir(parents=True)
        self.sandbox.settings_path.write_text(
            'Tarnwick settings 1\nkey "Software\\\\Quillmoor\\\\Tarnwick"\n'
            'number "FormStartX" %08x\nnumber "FormStartY" %08x\n' % (99999, 300 * TWIPS_PER_PIXEL)
        )
        program = self.start_program()
        window = self.log_on(program, "pw")
        centred = ((SCREEN_SIZE[0] - MAIN_SIZE[0]) // 2, (SCREEN_SIZE[1] - MAIN_SIZE[1]) // 2)
        x, y = self.frame_position(window)
        self.assertLessEqual(abs(x - centred[0]), 1)
        self.assertLessEqual(abs(y - centred[1]), 1)
        self.assertEqual(self.unload(program), 0)

    def move_by_title_bar(self, window, offset):
        """Drags the window by its title bar, as a person moves it."""
        info = self.x.info(window)
        start = (info.x + info.width // 2, info.y - 8)
        end = (start[0] + offset[0], start[1] + offset[1])
        before = self.frame_position(window)
        # The window manager starts moving only after the pointer has travelled a little with the button held.
        self.x.call("xdotool", "mousemove", str(start[0]), str(start[1]), "mousedown", "1")
        for step in (start[0] - 10, start[1] - 10), end:
            time.sleep(0.2)
            self.x.call("xdotool", "mousemove", str(step[0]), str(step[1]))
        time.sleep(0.2)
        self.x.call("xdotool", "mouseup", "1")
        expected = (before[0] + offset[0], before[1] + offset[1])
        self.wait_for("the window to move", lambda: self.frame_position(window) == expected)


if __name__ == "__main__":
    unittest.main()
