"""What a screen reader is told, and the main window's layout at several fonts, styles and scales, both read from the
accessibility tree of the running program."""

import json
import subprocess
import unittest
from itertools import combinations
from pathlib import Path

from harness import LOGIN_NAME, LONG_WAIT, TITLE, EndToEndTest, poll, stop_process

REGISTER = "User %s not found, register?" % LOGIN_NAME
# pyatspi is packaged for the system's Python only.
TREE_READER = ["/usr/bin/python3", str(Path(__file__).with_name("atspi_tree.py")), "tarnwick"]
FIELD_ROLES = {"text", "password text"}
CONTROL_ROLES = FIELD_ROLES | {"label", "push button", "list", "check box"}
FIELDS = [("text", "Account name"), ("text", "User name"), ("password text", "Password"), ("text", "URL"),
          ("text", "Phone"), ("text", "Additional text")]  # fmt: skip
MARGIN = 2  # least room between a control and the window's edge
# A session bus that starts no services by itself: every process on it is one the test started and stops.
BUS_CONFIG = """<busconfig><type>session</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
</policy></busconfig>"""
# A desktop's settings as qt6ct keeps them: its style, and its fonts as Qt writes a font (family, points, ...).
QT6CT_CONF = '[Appearance]\nstyle=Fusion\n[Fonts]\ngeneral="DejaVu Sans,%d,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\n' \
             'fixed="DejaVu Sans Mono,%d,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\n'  # fmt: skip
# The desktop's font size in points, and further settings.
VARIANTS = {"8pt": (8, {}), "14pt": (14, {}), "adwaita": (8, {"QT_STYLE_OVERRIDE": "Adwaita"}),
            "scale-2": (8, {"QT_SCALE_FACTOR": "2"})}  # fmt: skip


def nodes(tree, roles=None):
    """The objects of the tree, or only those with these roles and not what lies inside them."""
    if roles is None or tree["role"] in roles:
        yield tree
        if roles is not None:
            return
    for child in tree["children"]:
        yield from nodes(child, roles)


def overlap(a, b):
    (ax, ay, aw, ah), (bx, by, bw, bh) = a["extents"], b["extents"]
    return ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah


def describe(node):
    return "%s %r at %s" % (node["role"], node["name"], node["extents"])


def layout_problems(window, unit):
    """Controls that overlap, come near the window's edge, or stand apart from their fields, in words; a logical
    pixel is this many of the tree's pixels."""
    controls = [node for node in nodes(window, CONTROL_ROLES) if node["showing"]]
    left, top, width, height = window["extents"]
    problems = ["%s is within %d px of the window's edge %s" % (describe(node), MARGIN, window["extents"])
                for node in controls for x, y, w, h in [node["extents"]]
                if min(x - left, y - top, left + width - x - w, top + height - y - h) < MARGIN * unit]  # fmt: skip
    problems += ["%s overlaps %s" % (describe(a), describe(b)) for a, b in combinations(controls, 2) if overlap(a, b)]
    labels = [node["extents"] for node in controls if node["role"] == "label"]
    for field in (node for node in controls if node["role"] in FIELD_ROLES):
        x, y, _, h = field["extents"]
        # The labels whose middle is level with the field and that end left of it, less than a line of text away: a
        # label further off reads as belonging to nothing.
        gaps = [(x - lx - lw, lh) for lx, ly, lw, lh in labels if y <= ly + lh / 2 <= y + h and lx < x]
        if not any(0 <= gap <= line for gap, line in gaps):
            problems.append("%s has no label ending less than a line left of it" % describe(field))
    return problems


class AccessTest(EndToEndTest):
    maxDiff = None  # the whole of what was seen tells what to mend

    @classmethod
    def setUpClass(cls):
        """A session bus with the accessibility bus and its registry on it, for the display, as a desktop has."""
        super().setUpClass()
        cls.bus_processes = []
        try:
            config = cls.logs / "session-bus.conf"
            config.write_text(BUS_CONFIG % (cls.logs / "session-bus"))
            cls.bus_env = cls.display.env | {"HOME": str(cls.logs), "XDG_RUNTIME_DIR": str(cls.logs),
                                             "DBUS_SESSION_BUS_ADDRESS": "unix:path=%s" % (cls.logs / "session-bus")}
            cls.start_on_bus("dbus-daemon", ["dbus-daemon", "--nofork", "--config-file", str(config)],
                             lambda: cls.bus_call("org.freedesktop.DBus.GetId"))  # fmt: skip
            cls.start_on_bus("at-spi-bus-launcher", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                             lambda: cls.bus_call("org.freedesktop.DBus.NameHasOwner", "string:org.a11y.Bus")
                             == "true")  # fmt: skip
            address = cls.bus_call("org.a11y.Bus.GetAddress", destination="org.a11y.Bus", path="/org/a11y/bus")
            cls.start_on_bus("at-spi2-registryd", ["/usr/libexec/at-spi2-registryd"],
                             lambda: cls.bus_call("org.freedesktop.DBus.NameHasOwner", "string:org.a11y.atspi.Registry",
                                                  bus=address) == "true")  # fmt: skip
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        for process in reversed(cls.bus_processes):
            stop_process(process)
        super().tearDownClass()

    @classmethod
    def start_on_bus(cls, name, command, ready):
        with open(cls.logs / (name + ".log"), "ab") as log:
            process = subprocess.Popen(command, env=cls.bus_env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
        cls.bus_processes.append(process)
        if not poll(lambda: process.poll() is not None or ready()) or process.poll() is not None:
            raise AssertionError("%s did not start; see %s" % (name, cls.logs))

    @classmethod
    def bus_call(cls, method, *arguments, destination="org.freedesktop.DBus", path="/org/freedesktop/DBus", bus=None):
        """The literal answer of a method on the session bus or another, None when it fails."""
        finished = subprocess.run(["dbus-send", "--bus=" + (bus or cls.bus_env["DBUS_SESSION_BUS_ADDRESS"]),
                                   "--print-reply=literal", "--dest=" + destination, path, method, *arguments],
                                  env=cls.bus_env, capture_output=True, text=True, timeout=LONG_WAIT)  # fmt: skip
        return finished.stdout.split()[-1] if finished.returncode == 0 and finished.stdout.split() else None

    def setUp(self):
        super().setUp()
        self.env |= {"DBUS_SESSION_BUS_ADDRESS": self.bus_env["DBUS_SESSION_BUS_ADDRESS"],
                     "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}  # fmt: skip

    def tree(self):
        finished = subprocess.run(TREE_READER, env=self.env, capture_output=True, text=True, timeout=LONG_WAIT)
        if finished.returncode != 0:
            raise AssertionError("reading the accessibility tree failed: " + finished.stderr.strip())
        return json.loads(finished.stdout) or {"children": []}

    def window_tree(self, title):
        """The shown window or dialog with this name in the tree, once it is there."""
        def shown():
            return next((w for w in self.tree()["children"] if w["showing"] and w["name"] == title), None)

        return self.wait_for("%r in the accessibility tree" % title, shown)

    def named(self, title, roles):
        return [(node["role"], node["name"]) for node in nodes(self.window_tree(title), roles) if node["showing"]]

    def test_screen_readers_name_the_fields_the_list_and_the_logon_dialogs(self):
        alice = self.database.add_user("alice", "pw")
        for account in ("Bank", "Mail"):
            self.database.add_account("alice", alice, Account=account, UserName="alice", Password="secret")
        program, told = self.start_program(), {}
        # The login user is not in the file: registering asks for a new password and its confirmation.
        self.double_click_icon(program)
        self.answer_message(program, REGISTER)
        self.answer_message(program, "Please enter password for new user.")
        title = "Enter password for user " + LOGIN_NAME
        dialog = self.wait_dialog(program, title)
        told["new password"] = self.named(title, FIELD_ROLES)
        self.x.key("Escape")
        self.wait_gone(dialog, "the new password dialog")
        # Not registering offers the users in the file, then asks for the chosen one's password.
        self.double_click_icon(program)
        self.answer_message(program, REGISTER, key="n")
        self.wait_dialog(program, "Please select user to log on")
        # Screen readers on Linux read a combo box's text as its name, and its edit field by the edit's own name.
        told["user list"] = self.named("Please select user to log on", {"text"})
        self.x.key("ctrl+a")
        self.x.type("alice", "Return")
        self.wait_dialog(program, "Enter password for user alice")
        told["password"] = self.named("Enter password for user alice", FIELD_ROLES)
        self.x.type("pw", "Return")
        self.wait_main_window(program)
        told["fields"] = sorted(self.named(TITLE, FIELD_ROLES))
        told["list"] = self.named(TITLE, {"list"})
        # The hidden button that a second start clicks is no control a screen reader should offer.
        told["hidden button"] = [node["role"] for node in nodes(self.tree()) if node["name"] == "TarnwickHiddenButton"]
        self.assertEqual(told, {"new password": [("password text", "Password"), ("password text", "Confirm password")],
                                "user list": [("text", "User name")], "password": [("password text", "Password")],
                                "fields": sorted(FIELDS), "list": [("list", "Click existing account below")],
                                "hidden button": []})  # fmt: skip

    def test_the_main_window_lays_out_its_controls_at_every_font_style_and_scale(self):
        user = self.database.add_user(LOGIN_NAME, "pw")
        self.database.add_account(LOGIN_NAME, user, Account="Bank", UserName="me")
        conf = Path(self.env["XDG_CONFIG_HOME"]) / "qt6ct" / "qt6ct.conf"
        conf.parent.mkdir(parents=True)
        desktop = self.env | {"QT_QPA_PLATFORMTHEME": "qt6ct"}
        for variant, (points, settings) in VARIANTS.items():
            with self.subTest(variant):
                conf.write_text(QT6CT_CONF % (points, points))
                self.env = desktop | settings
                # Each variant starts as a first run: a place stored at another scale could put the window off screen.
                self.sandbox.settings_path.unlink(missing_ok=True)
                program = self.start_program()
                try:
                    self.double_click_icon(program)
                    self.enter_password(program, "pw")
                    # The window's size follows the font and scale: it is told apart by its title alone.
                    window = self.wait_for("the main window", lambda: self.windows(program, "main", TITLE)
                                           or self.windows(program, "dialog", TITLE), LONG_WAIT)[0]  # fmt: skip
                    self.screenshot("main-window-" + variant, window)
                    # The tree gives logical pixels or, in some Qt versions, device pixels, as the X window has.
                    tree, scale = self.window_tree(TITLE), float(settings.get("QT_SCALE_FACTOR", 1))
                    unit = round(scale * tree["extents"][2] / self.x.info(window).width)
                    self.assertEqual(layout_problems(tree, unit), [])
                finally:
                    stop_process(program)


if __name__ == "__main__":
    unittest.main()
