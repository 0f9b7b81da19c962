import json
import os
import signal
import subprocess
import unittest

from harness import (ACCOUNT, ITEM, LONG_WAIT, PASSWORD_TITLE, PROPERTIES, TITLE, WATCHER, EndToEndTest, call, poll,
                     run, status_item)  # fmt: skip

USER = "tarnwick-e2e"  # sway refuses to run as root; the program's login name is this user's


class WaylandTest(EndToEndTest):
    def command(self, *command):  # as the user, in the session
        return run(*command, env=self.env, **self.as_user)

    def start_helper(self, command, ready):
        self.helpers.insert(0, self.x.start_client(command[0], command, ready, env=self.env, **self.as_user))

    def shown(self, program):  # the windows that sway shows: hidden ones leave the tree
        def nodes(node):
            yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from nodes(child)

        tree = json.loads(self.command("swaymsg", "--raw", "-t", "get_tree") or "{}")
        return [(node["name"], node["focused"], node["app_id"], node["shell"]) for node in nodes(tree)
                if node.get("pid") == program.pid]  # fmt: skip

    @unittest.skipUnless(os.geteuid() == 0, "creates a user to run the session as")
    def test_without_a_compositor_x11_and_else_natively_logs_on_hides_its_window_and_keeps_the_place(self):
        self.env["WAYLAND_DISPLAY"] = "wayland-nobody"
        self.open_tray_menu(program := self.start_program(), "Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.as_user = self.add_user(USER)
        self.database.add_account(self.database.add_user(USER, "pw"), Account="Bank")
        # Wayland tells no program where its window stands: the stored place is kept as it was.
        place = {"FormStartX": 4500, "FormStartY": 3000}
        self.sandbox.settings_path.write_text("[Software]\n" + "".join("Quillmoor\\Tarnwick\\%s=%d\n" % item
                                                                      for item in place.items()))  # fmt: skip
        config, runtime = self.sandbox.home / ".config", self.sandbox.root / "runtime"
        for name, text in ("sway", "xwayland disable\n"), ("waybar", '{"height": 24, "modules-right": ["tray"]}'):
            (config / name).mkdir()
            (config / name / "config").write_text(text)  # sway gets no bar: waybar is the only client
        subprocess.run(["chown", "-R", "%s:%s" % (USER, USER), str(self.sandbox.root)], check=True)
        del self.env["DISPLAY"], self.env["WAYLAND_DISPLAY"]
        self.env |= {"WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}

        def sockets():
            found = [path.name for path in runtime.glob("wayland-*") if path.suffix != ".lock"]
            found += map(str, runtime.glob("sway-ipc.*"))
            return len(found) == 2 and {"WAYLAND_DISPLAY": found[0], "SWAYSOCK": found[1]}

        self.start_helper(["sway"], sockets)
        self.env |= sockets()
        self.start_helper(["waybar"], lambda: call(self.x.bus, *WATCHER, PROPERTIES + ".Get", "ss", WATCHER[0],
                                                   "IsStatusNotifierHostRegistered"))  # fmt: skip
        program = self.start_program(False, **self.as_user)
        item = self.wait_for("the program's icon in the tray", lambda: status_item(self.x.bus, program.pid), LONG_WAIT)
        self.assertEqual(self.shown(program), [])
        # Without waiting for the answer: the program answers a click only once the dialog it opened has closed.
        self.x.bus.call_async(*item, ITEM, "Activate", "ii", (0, 0), None, None)
        title = PASSWORD_TITLE % USER
        self.wait_for("a Wayland window %r with the focus" % title,
                      lambda: self.shown(program) == [(title, True, "tarnwick", "xdg_shell")], LONG_WAIT)  # fmt: skip
        # Qt drops keys that come right after the key map of a new virtual keyboard: wtype waits a moment first.
        self.command("wtype", "-s", "300", "-d", "20", "pw", "-k", "Return")
        self.control(program, ACCOUNT)  # the main window, not a message box of the same title
        self.wait_for("the main window with the focus",
                      lambda: self.shown(program) == [(TITLE, True, "tarnwick", "xdg_shell")])  # fmt: skip
        # Closed as its close box does, the window hides; the tray host shows the menu: the program opens no window.
        self.command("swaymsg", '[pid=%d title="^%s$"] kill' % (program.pid, TITLE))
        self.wait_for("the main window to hide", lambda: not self.shown(program))
        call(self.x.bus, *item, ITEM + ".ContextMenu", "ii", 0, 0)
        self.assertFalse(poll(lambda: self.shown(program), 1.0))
        program.send_signal(signal.SIGTERM)
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual({name: self.settings().get(name) for name in place}, place)


if __name__ == "__main__":
    unittest.main()
