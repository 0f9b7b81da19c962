"""Settings kept between runs: starting with the desktop session, the floating window and its place."""

import subprocess
import time
import unittest

from harness import FLOAT_PLACE, LAUNCH_PLACE, LOGIN_NAME, SCREEN_SIZE, TWIPS_PER_PIXEL, EndToEndTest


class SettingsTest(EndToEndTest):
    def test_the_autostart_entry_the_floating_state_and_the_place_are_kept_until_cleared(self):
        self.database.add_user(LOGIN_NAME, "pw")
        entry = self.sandbox.home / ".config" / "autostart" / "Tarnwick.desktop"

        def frame(window):  # where the window's frame stands, which is the place the program stores
            info = self.x.info(self.x.parent(window))
            return (info.x, info.y)

        def floating(program):  # the window is made anew when it floats
            return "_NET_WM_STATE_ABOVE" in self.x.property(self.main_window(program), "_NET_WM_STATE")

        program = self.start_program()
        window = self.log_on(program, "pw")
        place = frame(window)
        info = self.x.info(window)
        self.assertLessEqual(abs(place[0] - (SCREEN_SIZE[0] - info.width) // 2), 1, "centred at the first run")
        self.assertLessEqual(abs(place[1] - (SCREEN_SIZE[1] - info.height) // 2), 1, "centred at the first run")
        self.assertFalse(floating(program))
        self.x.click(window, self.point(window, LAUNCH_PLACE))
        self.x.click(window, self.point(window, FLOAT_PLACE))
        self.wait_for("the window to float", lambda: floating(program))
        window = self.main_window(program)
        # Dragged by its title bar: the window manager moves it only after the pointer has travelled a little.
        start_point = (info.x + info.width // 2, info.y - 8)
        self.x.call("xdotool", "mousemove", str(start_point[0]), str(start_point[1]), "mousedown", "1")
        for step in (-10, -10), (-150, -120):
            time.sleep(0.2)
            self.x.call("xdotool", "mousemove", str(start_point[0] + step[0]), str(start_point[1] + step[1]))
        time.sleep(0.2)
        self.x.call("xdotool", "mouseup", "1")
        place = (place[0] - 150, place[1] - 120)
        self.wait_for("the window to move", lambda: frame(window) == place)
        self.assertFalse(entry.exists(), "written only when the program ends")
        self.close_window(window)
        self.assertEqual(self.unload(program), 0)
        validation = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        self.assertEqual((validation.returncode, validation.stdout + validation.stderr), (0, ""))
        for line in ("Exec=%s" % self.sandbox.program, "Type=Application", "Name=Tarnwick", "Icon=tarnwick"):
            self.assertIn("\n" + line + "\n", entry.read_text())
        settings = self.settings()
        self.assertEqual(settings.get("FormTopMost"), "True")
        self.assertEqual((settings["FormStartX"], settings["FormStartY"]), tuple(v * TWIPS_PER_PIXEL for v in place))
        # The next run comes back there, floating; clearing the boxes takes the window out of the top layer at once,
        # and removes the entry and forgets the state at the end.
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.assertEqual(frame(window), place)
        self.assertTrue(floating(program))
        self.x.click(window, self.point(window, FLOAT_PLACE))
        self.wait_for("the window to stop floating", lambda: not floating(program))
        window = self.main_window(program)
        self.x.click(window, self.point(window, LAUNCH_PLACE))
        self.assertEqual(self.unload(program), 0)
        self.assertFalse(entry.exists())
        self.assertNotIn("FormTopMost", self.settings())


if __name__ == "__main__":
    unittest.main()
