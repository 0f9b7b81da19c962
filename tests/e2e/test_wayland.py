"""The program in a Wayland session: a headless sway with waybar as the tray host, and falling back to X11."""

import json
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import (BUS_CONFIG, DESIGN_SIZE, LONG_WAIT, PASSWORD_TITLE, SCREENSHOTS, TITLE, TWIPS_PER_PIXEL, UNLOAD,
                     WATCHER,
                     EndToEndTest, Program)  # fmt: skip

USER = "tarnwick-e2e"  # sway refuses to run as root; the program's login name is this user's
AS_USER = {"user": USER, "group": USER, "extra_groups": []}
ITEM, MENU = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"
WIDE = DESIGN_SIZE[0] // TWIPS_PER_PIXEL // 2  # wider than a message box: the main window, whatever the font


@unittest.skipUnless(os.geteuid() == 0, "creates a user to run the session as")
class WaylandTest(EndToEndTest):
    def call(self, *command):
        return subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=10, **AS_USER).stdout

    def bus(self, service, path, method, *arguments):
        """gdbus's text of the answer; empty when the call failed."""
        return self.call("gdbus", "call", "--session", "-d", service, "-o", path, "-m", method, "--", *arguments)

    def send(self, service, path, method, *arguments):
        # Without waiting for the answer: the program answers a click only once the dialog it opened has closed.
        self.call("dbus-send", "--session", "--type=method_call", "--dest=" + service, path, method, *arguments)

    def start_helper(self, command, ready):
        with open(self.sandbox.root / (command[0] + ".log"), "wb") as log:
            self.helpers.insert(0, process := subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                                               stdout=log, stderr=log, **AS_USER))  # fmt: skip
        self.wait_for(command[0] + " to start", lambda: process.poll() is None and ready(), LONG_WAIT)

    def shown(self, program, title=None, wider_than=0):
        """The program's windows that sway shows (hidden ones have left the tree), or the focused one with this title
        and more than this width."""

        def nodes(node):
            yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from nodes(child)

        tree = json.loads(self.call("swaymsg", "--raw", "-t", "get_tree") or "{}")
        found = [node for node in nodes(tree) if node.get("pid") == program.pid]
        if title is None:
            return [node["name"] for node in found]
        return next((node for node in found if node["name"] == title and node["focused"]
                     and node["rect"]["width"] > wider_than), None)  # fmt: skip

    def wait_window(self, program, title, wider_than=0):
        return self.wait_for("%r to get the focus" % title, lambda: self.shown(program, title, wider_than), LONG_WAIT)

    def test_without_a_compositor_x11_and_else_natively_logs_on_hides_its_window_and_keeps_the_place(self):
        self.env["WAYLAND_DISPLAY"] = "wayland-nobody"
        self.choose_from_tray_menu(program := self.start_program(), UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)
        # 9: the user is left from a run that was killed.
        created = subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--home-dir",
                                  "/nonexistent", "--shell", "/usr/sbin/nologin", USER], capture_output=True, text=True)
        self.assertIn(created.returncode, (0, 9), created.stderr)
        self.addClassCleanup(subprocess.run, ["userdel", USER], check=True)  # once the session has stopped
        self.database.add_account(USER, self.database.add_user(USER, "pw"), Account="Bank")
        # Wayland tells no program where its window stands: the stored place is kept as it was.
        place = {"FormStartX": 4500, "FormStartY": 3000}
        self.sandbox.settings_path.write_text("[Software]\n" + "".join("Quillmoor\\Tarnwick\\%s=%d\n" % item
                                                                      for item in place.items()))  # fmt: skip
        # A private session bus, sway and waybar, run as the user, who is given the sandbox.
        root, config, runtime = self.sandbox.root, self.sandbox.home / ".config", self.sandbox.root / "runtime"
        for folder in (config / "sway", config / "waybar"):
            folder.mkdir(parents=True, exist_ok=True)
        (config / "sway" / "config").write_text("xwayland disable\n")  # and no bar: waybar is the only client
        (config / "waybar" / "config").write_text(json.dumps({"height": 24, "modules-right": ["tray"]}))
        (root / "bus.conf").write_text(BUS_CONFIG % (runtime / "bus"))
        for folder, _, files in os.walk(root):
            for path in [folder] + [os.path.join(folder, name) for name in files]:
                shutil.chown(path, USER, USER)
        del self.env["DISPLAY"], self.env["WAYLAND_DISPLAY"]
        self.env |= {"DBUS_SESSION_BUS_ADDRESS": "unix:path=%s" % (runtime / "bus"), "WLR_BACKENDS": "headless",
                     "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}  # fmt: skip
        self.start_helper(["dbus-daemon", "--nofork", "--config-file=" + str(root / "bus.conf")], (runtime / "bus").exists)

        def sockets():
            found = [path.name for path in runtime.glob("wayland-*") if path.suffix != ".lock"]
            found += map(str, runtime.glob("sway-ipc.*"))
            return len(found) == 2 and {"WAYLAND_DISPLAY": found[0], "SWAYSOCK": found[1]}

        self.start_helper(["sway"], sockets)
        self.env |= sockets()
        self.start_helper(["waybar"], lambda: "true" in self.bus(*WATCHER, "org.freedesktop.DBus.Properties.Get",
                                                                 WATCHER[0], "IsStatusNotifierHostRegistered"))

        def item():  # the program's icon, once the tray host has it
            listed = self.bus(*WATCHER, "org.freedesktop.DBus.Properties.Get", WATCHER[0], "RegisteredStatusNotifierItems")
            for service, path in re.findall(r"'([^'/]+)(/[^']*)'", listed):
                if self.bus("org.freedesktop.DBus", "/", "org.freedesktop.DBus.GetConnectionUnixProcessID",
                            service).strip() == "(uint32 %d,)" % program.pid:  # fmt: skip
                    return service, path

        self.programs.append(program := Program(self.sandbox, self.env, "tarnwick-2", **AS_USER))
        item = self.wait_for("the program's icon in the tray", item, LONG_WAIT)
        self.assertEqual(self.shown(program), [])
        self.send(*item, ITEM + ".Activate", "int32:0", "int32:0")
        dialog = self.wait_window(program, PASSWORD_TITLE % USER)
        self.assertEqual((dialog["app_id"], dialog["shell"]), ("tarnwick", "xdg_shell"), "a Wayland window")
        # Qt drops keys that come right after the key map of a new virtual keyboard: wtype waits a moment first.
        self.call("wtype", "-s", "300", "-d", "20", "pw", "-k", "Return")
        self.wait_window(program, TITLE, WIDE)
        self.assertEqual(self.shown(program), [TITLE])
        path = SCREENSHOTS / "wayland-main-window.png"  # grim takes the whole output, and writes where the user may
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(subprocess.run(["grim", "-"], env=self.env, capture_output=True, timeout=30, check=True,
                                        **AS_USER).stdout)  # fmt: skip
        # Closing only hides the window: the icon shows it again, without a password.
        for shown_again in (True, False):
            self.call("swaymsg", '[pid=%d title="^%s$"] kill' % (program.pid, TITLE))
            self.wait_for("the main window to hide", lambda: not self.shown(program))
            if shown_again:
                self.send(*item, ITEM + ".Activate", "int32:0", "int32:0")
                self.wait_window(program, TITLE, WIDE)
                self.assertEqual(self.shown(program), [TITLE])
        # The tray host shows the menu: the program opens no window for it.
        self.send(*item, ITEM + ".ContextMenu", "int32:0", "int32:0")
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertEqual(self.shown(program), [])
        # "Unload" clicked in the exported menu, as the tray host does; labels mark the mnemonic with an underscore.
        menu = re.search(r"'(/[^']*)'", self.bus(*item, "org.freedesktop.DBus.Properties.Get", ITEM, "Menu"))[1]
        self.assertNotEqual(menu, "/NO_DBUSMENU", "the tray menu on the bus")
        self.bus(item[0], menu, MENU + ".AboutToShow", "0")
        layout = self.bus(item[0], menu, MENU + ".GetLayout", "0", "-1", "[]")
        labels = {text: number for number, text in re.findall(r"\((\d+), \{[^{}]*'label': <'([^']*)'>", layout)}
        self.send(item[0], menu, MENU + ".Event", "int32:" + labels["_Unload"], "string:clicked", "variant:int32:0",
                  "uint32:0")  # fmt: skip
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual({name: self.settings().get(name) for name in place}, place)


if __name__ == "__main__":
    unittest.main()
