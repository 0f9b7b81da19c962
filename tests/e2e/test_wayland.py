import json
import os
import signal
import subprocess
import time
import unittest

from harness import (BUS_CONFIG, DESIGN_SIZE, LONG_WAIT, PASSWORD_TITLE, TITLE, TWIPS_PER_PIXEL, UNLOAD, WATCHER,
                     EndToEndTest, add_user, status_item)  # fmt: skip

USER = "tarnwick-e2e"  # sway refuses to run as root; the program's login name is this user's
AS_USER = {"user": USER, "group": USER, "extra_groups": []}


class WaylandTest(EndToEndTest):
    def call(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=10, **AS_USER).stdout

    def bus(self, service, path, method, *arguments):
        return self.call("gdbus", "call", "--session", "-d", service, "-o", path, "-m", method, "--", *arguments)

    def start_helper(self, command, ready):
        with open(self.sandbox.root / (command[0] + ".log"), "wb") as log:
            self.helpers.insert(0, process := subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                                               stdout=log, stderr=log, **AS_USER))  # fmt: skip
        self.wait_for(command[0] + " to start", lambda: process.poll() is None and ready(), LONG_WAIT)

    def shown(self, program):  # the windows that sway shows: hidden ones leave the tree
        def nodes(node):
            yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from nodes(child)

        tree = json.loads(self.call("swaymsg", "--raw", "-t", "get_tree") or "{}")
        return [node for node in nodes(tree) if node.get("pid") == program.pid]

    def wait_window(self, program, title):  # focused, and for the main window wider than a message box
        return self.wait_for("%r to get the focus" % title, lambda: next((node for node in self.shown(program) if node[
            "name"] == title and node["focused"] and (title != TITLE or node["rect"]["width"] > DESIGN_SIZE[0] //
                                                      TWIPS_PER_PIXEL // 2)), None), LONG_WAIT)  # fmt: skip

    @unittest.skipUnless(os.geteuid() == 0, "creates a user to run the session as")
    def test_without_a_compositor_x11_and_else_natively_logs_on_hides_its_window_and_keeps_the_place(self):
        self.env["WAYLAND_DISPLAY"] = "wayland-nobody"
        self.open_tray_menu(program := self.start_program(), UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)
        add_user(self, USER)
        self.database.add_account(self.database.add_user(USER, "pw"), Account="Bank")
        # Wayland tells no program where its window stands: the stored place is kept as it was.
        place = {"FormStartX": 4500, "FormStartY": 3000}
        self.sandbox.settings_path.write_text("[Software]\n" + "".join("Quillmoor\\Tarnwick\\%s=%d\n" % item
                                                                      for item in place.items()))  # fmt: skip
        root, config, runtime = self.sandbox.root, self.sandbox.home / ".config", self.sandbox.root / "runtime"
        for name, text in ("sway", "xwayland disable\n"), ("waybar", '{"height": 24, "modules-right": ["tray"]}'):
            (config / name).mkdir()
            (config / name / "config").write_text(text)  # sway gets no bar: waybar is the only client
        (root / "bus.conf").write_text(BUS_CONFIG % (runtime / "bus"))
        subprocess.run(["chown", "-R", "%s:%s" % (USER, USER), str(root)], check=True)
        del self.env["DISPLAY"], self.env["WAYLAND_DISPLAY"]
        self.env |= {"DBUS_SESSION_BUS_ADDRESS": "unix:path=%s" % (runtime / "bus"), "WLR_BACKENDS": "headless",
                     "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}  # fmt: skip
        self.start_helper(["dbus-daemon", "--nofork", "--config-file", root / "bus.conf"], (runtime / "bus").exists)

        def sockets():
            found = [path.name for path in runtime.glob("wayland-*") if path.suffix != ".lock"]
            found += map(str, runtime.glob("sway-ipc.*"))
            return len(found) == 2 and {"WAYLAND_DISPLAY": found[0], "SWAYSOCK": found[1]}

        self.start_helper(["sway"], sockets)
        self.env |= sockets()
        self.start_helper(["waybar"], lambda: "true" in self.bus(*WATCHER, "org.freedesktop.DBus.Properties.Get",
                                                                 WATCHER[0], "IsStatusNotifierHostRegistered"))
        program = self.start_program(False, **AS_USER)
        item = self.wait_for("the program's icon in the tray", lambda: status_item(self.bus, program.pid), LONG_WAIT)
        self.assertEqual(self.shown(program), [])
        # Without waiting for the answer: the program answers a click only once the dialog it opened has closed.
        self.call("dbus-send", "--session", "--type=method_call", "--dest=" + item[0], item[1],
                  "org.kde.StatusNotifierItem.Activate", "int32:0", "int32:0")  # fmt: skip
        dialog = self.wait_window(program, PASSWORD_TITLE % USER)
        self.assertEqual((dialog["app_id"], dialog["shell"]), ("tarnwick", "xdg_shell"), "a Wayland window")
        # Qt drops keys that come right after the key map of a new virtual keyboard: wtype waits a moment first.
        self.call("wtype", "-s", "300", "-d", "20", "pw", "-k", "Return")
        self.wait_window(program, TITLE)
        # Closed as its close box does, the window hides; the tray host shows the menu: the program opens no window.
        self.call("swaymsg", '[pid=%d title="^%s$"] kill' % (program.pid, TITLE))
        self.wait_for("the main window to hide", lambda: not self.shown(program))
        self.assertEqual(self.bus(*item, "org.kde.StatusNotifierItem.ContextMenu", "0", "0"), "()\n")
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertEqual(self.shown(program), [])
        program.send_signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual({name: self.settings().get(name) for name in place}, place)


if __name__ == "__main__":
    unittest.main()
