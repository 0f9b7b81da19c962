"""The program in a Wayland session: a headless sway with waybar as the tray host, and falling back to X11."""

import json
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import DESIGN_SIZE, LONG_WAIT, SCREENSHOTS, TITLE, TWIPS_PER_PIXEL, UNLOAD, EndToEndTest, Program

USER = "tarnwick-e2e"  # sway refuses to run as root; the program's login name is this user's
AS_USER = {"user": USER, "group": USER, "extra_groups": []}
PASSWORD_TITLE = "Enter password for user " + USER
ITEM, MENU, WATCHER = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu", "org.kde.StatusNotifierWatcher"
# A bus that starts no services on demand (a GTK tray host would start the accessibility bus, which outlives it):
# every process of the session is one the test started and stops.
BUS_CONFIG = """<busconfig><type>session</type><listen>unix:path=%s</listen><policy context="default">
<allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>"""


@unittest.skipUnless(os.geteuid() == 0, "creates a user to run the session as")
class WaylandTest(EndToEndTest):
    @classmethod
    def setUpClass(cls):
        # 9: the user is left from a run that was killed.
        command = ["useradd", "--system", "--user-group", "--no-create-home", "--home-dir", "/nonexistent", "--shell",
                   "/usr/sbin/nologin", USER]  # fmt: skip
        created = subprocess.run(command, capture_output=True, text=True)
        if created.returncode not in (0, 9):
            raise AssertionError("useradd failed: " + created.stderr)
        cls.addClassCleanup(subprocess.run, ["userdel", USER], check=True)
        super().setUpClass()

    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(USER, "pw")

    def call(self, *command, check=True):
        finished = subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=10, **AS_USER)
        if check and finished.returncode != 0:
            raise AssertionError("%s failed: %s" % (" ".join(command), finished.stderr.strip()))
        return finished.stdout

    def start_session(self):
        """A private session bus, sway and waybar, run as the user, who is given the sandbox."""
        root, config, runtime = self.sandbox.root, self.sandbox.home / ".config", self.sandbox.root / "runtime"
        for folder in (config / "sway", config / "waybar"):
            folder.mkdir(parents=True, exist_ok=True)
        (config / "sway" / "config").write_text("xwayland disable\n")  # and no bar: waybar is the only client
        (config / "waybar" / "config").write_text(json.dumps({"height": 24, "modules-right": ["tray"]}))
        (root / "bus.conf").write_text(BUS_CONFIG % (runtime / "bus"))
        for folder, _, files in os.walk(root):
            for path in [folder] + [os.path.join(folder, name) for name in files]:
                shutil.chown(path, USER, USER)
        del self.env["DISPLAY"]
        self.env |= {"DBUS_SESSION_BUS_ADDRESS": "unix:path=%s" % (runtime / "bus"), "WLR_BACKENDS": "headless",
                     "WLR_RENDERER": "pixman", "WLR_LIBINPUT_NO_DEVICES": "1"}  # fmt: skip
        self.start_helper(["dbus-daemon", "--nofork", "--config-file=" + str(root / "bus.conf")],
                          (runtime / "bus").exists)  # fmt: skip

        def sockets():
            found = [path.name for path in runtime.glob("wayland-*") if path.suffix != ".lock"]
            found += map(str, runtime.glob("sway-ipc.*"))
            return len(found) == 2 and {"WAYLAND_DISPLAY": found[0], "SWAYSOCK": found[1]}

        self.start_helper(["sway"], sockets)
        self.env |= sockets()
        self.start_helper(["waybar"], lambda: "true" in self.property(WATCHER, "/StatusNotifierWatcher", WATCHER,
                                                                      "IsStatusNotifierHostRegistered"))  # fmt: skip

    def start_helper(self, command, ready):
        with open(self.sandbox.root / (command[0] + ".log"), "wb") as log:
            process = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                       **AS_USER)  # fmt: skip
        self.helpers.insert(0, process)  # stopped in the reverse order of their start
        self.wait_for(command[0] + " to start", lambda: process.poll() is None and ready(), LONG_WAIT)

    def screenshot(self, name, window=None):
        if "SWAYSOCK" not in self.env:
            return super().screenshot(name, window)
        path = SCREENSHOTS / (name + ".png")  # grim takes the whole output, and writes where the user may
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(subprocess.run(["grim", "-"], env=self.env, capture_output=True, timeout=30, check=True,
                                        **AS_USER).stdout)  # fmt: skip
        return path

    # The bus: the tray host's side of the icon and its menu

    def bus(self, service, path, method, *arguments):
        """gdbus's text of the answer; empty when the call failed."""
        return self.call("gdbus", "call", "--session", "-d", service, "-o", path, "-m", method, "--", *arguments,
                         check=False)  # fmt: skip

    def property(self, service, path, interface, name):
        return self.bus(service, path, "org.freedesktop.DBus.Properties.Get", interface, name)

    def send(self, service, path, method, *arguments):
        # Without waiting for the answer: the program answers a click only once the dialog it opened has closed.
        self.call("dbus-send", "--session", "--type=method_call", "--dest=" + service, path, method, *arguments)

    def status_item(self, program):
        """The bus name and path of the program's icon, once the tray host has it."""
        items = self.property(WATCHER, "/StatusNotifierWatcher", WATCHER, "RegisteredStatusNotifierItems")
        for service, path in re.findall(r"'([^'/]+)(/[^']*)'", items):
            owner = self.bus("org.freedesktop.DBus", "/", "org.freedesktop.DBus.GetConnectionUnixProcessID", service)
            if owner.strip() == "(uint32 %d,)" % program.pid:
                return service, path
        return None

    def click_icon(self, item):
        self.send(*item, ITEM + ".Activate", "int32:0", "int32:0")

    def click_menu_item(self, item, label):
        """Clicks the item of the exported tray menu with this label, as the tray host does."""
        menu = re.search(r"'(/[^']*)'", self.property(*item, ITEM, "Menu")).group(1)
        self.assertNotEqual(menu, "/NO_DBUSMENU", "the tray menu on the bus")
        self.bus(item[0], menu, MENU + ".AboutToShow", "0")
        layout = self.bus(item[0], menu, MENU + ".GetLayout", "0", "-1", "[]")
        # Labels come with the mnemonic marked by an underscore.
        items = re.findall(r"\((\d+), \{[^{}]*'label': <'([^']*)'>", layout)
        labels = {text.replace("_", ""): number for number, text in items}
        self.assertIn(label, labels, "the tray menu's items")
        self.send(item[0], menu, MENU + ".Event", "int32:" + labels[label], "string:clicked", "variant:int32:0",
                  "uint32:0")  # fmt: skip

    # Windows, as sway's tree has them

    def shown(self, program):
        """The program's windows that sway shows: hidden ones have left the tree."""

        def nodes(node):
            yield node
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                yield from nodes(child)

        tree = self.call("swaymsg", "--raw", "-t", "get_tree", check=False)
        return [node for node in nodes(json.loads(tree)) if node.get("pid") == program.pid] if tree else []

    def titles(self, program):
        return [node["name"] for node in self.shown(program)]

    def wait_window(self, program, title, narrowest=0):
        """The window with this title once it has the focus."""

        def found():
            return next((node for node in self.shown(program) if node["name"] == title and node["focused"]
                         and node["rect"]["width"] > narrowest), None)  # fmt: skip

        return self.wait_for("a window titled %r to get the focus" % title, found, LONG_WAIT)

    def close(self, program):
        """Asks the main window to close, as its close button does."""
        self.call("swaymsg", '[pid=%d title="^%s$"] kill' % (program.pid, TITLE))
        self.wait_for("the main window to hide", lambda: not self.shown(program))

    def type(self, *arguments):
        # Qt drops keys that come right after the key map of a new virtual keyboard: wtype waits a moment first.
        self.call("wtype", "-s", "300", "-d", "20", *arguments)

    def test_the_program_runs_natively_logs_on_hides_its_window_and_keeps_the_place_it_cannot_know(self):
        self.database.add_account(USER, self.user_id, Account="Bank")
        place = {"FormStartX": 4500, "FormStartY": 3000}  # Wayland tells no program where its window stands
        self.store_numbers(**place)
        self.start_session()
        program = Program(self.sandbox, self.env, "tarnwick-1", **AS_USER)
        self.programs.append(program)
        item = self.wait_for("the program's icon in the tray", lambda: self.status_item(program), LONG_WAIT)
        self.assertEqual(self.titles(program), [])
        self.click_icon(item)
        dialog = self.wait_window(program, PASSWORD_TITLE)
        self.assertEqual((dialog["app_id"], dialog["shell"]), ("tarnwick", "xdg_shell"), "a Wayland window")
        self.type("pw", "-k", "Return")
        # Wider than a message box: the main window, whose exact size follows the desktop's font.
        self.wait_window(program, TITLE, DESIGN_SIZE[0] // TWIPS_PER_PIXEL // 2)
        self.assertEqual(self.titles(program), [TITLE])
        self.screenshot("wayland-main-window")
        # Closing only hides the window: the icon shows it again, without a password.
        self.close(program)
        self.click_icon(item)
        self.wait_window(program, TITLE, DESIGN_SIZE[0] // TWIPS_PER_PIXEL // 2)
        self.assertEqual(self.titles(program), [TITLE])
        self.close(program)
        # The tray host shows the menu: the program opens no window for it.
        self.send(*item, ITEM + ".ContextMenu", "int32:0", "int32:0")
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertEqual(self.titles(program), [])
        self.click_menu_item(item, "Unload")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual({name: self.settings().get(name) for name in place}, place)

    def test_without_a_compositor_the_program_falls_back_to_x11(self):
        self.env["WAYLAND_DISPLAY"] = "wayland-nobody"
        program = self.start_program()
        self.choose_from_tray_menu(program, UNLOAD)
        self.assertEqual(self.wait_exit(program), 0)


if __name__ == "__main__":
    unittest.main()
