import json
import subprocess
import unittest
from itertools import combinations
from pathlib import Path

from harness import BUS_CONFIG, LOGIN_NAME, LONG_WAIT, PASSWORD_TITLE, TITLE, EndToEndTest

FIELD_ROLES = {"text", "password text"}


def nodes(tree, roles=None):  # with roles, only the objects that have one and not what lies inside them
    if roles is None or tree["role"] in roles:
        yield tree
        if roles is not None:
            return
    for child in tree["children"]:
        yield from nodes(child, roles)


def layout_problems(window):
    controls = [n for n in nodes(window, FIELD_ROLES | {"label", "push button", "list", "check box"}) if n["showing"]]
    left, top, width, height = window["extents"]
    problems = ["%(role)s %(name)r at %(extents)s is near the window's edge" % node for node in controls
                if min(node["extents"][0] - left, node["extents"][1] - top, left + width - sum(node["extents"][::2]),
                       top + height - sum(node["extents"][1::2])) < 2]  # fmt: skip
    for a, b in combinations(controls, 2):
        (ax, ay, aw, ah), (bx, by, bw, bh) = a["extents"], b["extents"]
        if ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah:
            problems.append("%(role)s %(name)r at %(extents)s overlaps " % a + "%(role)s %(name)r" % b)
    labels = [node["extents"] for node in controls if node["role"] == "label"]
    for field in (node for node in controls if node["role"] in FIELD_ROLES):
        x, y, _, h = field["extents"]
        # A label level with the field, ending less than a line of text left of it: further off it belongs to nothing.
        if not any(0 <= x - lx - lw <= lh for lx, ly, lw, lh in labels if y <= ly + lh / 2 <= y + h and lx < x):
            problems.append("%(role)s %(name)r at %(extents)s has no label close left of it" % field)
    return problems


class AccessTest(EndToEndTest):
    maxDiff = None

    @classmethod
    def setUpClass(cls):  # a session bus with the accessibility bus on it, as a desktop has; the programs use it
        super().setUpClass()
        (config := cls.logs / "session-bus.conf").write_text(BUS_CONFIG % (cls.logs / "session-bus"))
        cls.display.env |= {"HOME": str(cls.logs), "XDG_RUNTIME_DIR": str(cls.logs),
                            "DBUS_SESSION_BUS_ADDRESS": "unix:path=%s" % (cls.logs / "session-bus")}
        cls.display.start_client("dbus-daemon", ["dbus-daemon", "--nofork", "--config-file", str(config)],
                                 (cls.logs / "session-bus").exists)  # fmt: skip
        cls.display.start_client("at-spi-bus-launcher", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                 lambda: "true" in cls.display.bus_call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus.NameHasOwner", "org.a11y.Bus"))  # fmt: skip

    def tree(self, title=None):  # read by the system's Python, which has pyatspi
        command = ["/usr/bin/python3", str(Path(__file__).with_name("atspi_tree.py")), "tarnwick"]
        finished = subprocess.run(command, env=self.env, capture_output=True, text=True, timeout=LONG_WAIT)
        if finished.returncode != 0:
            raise AssertionError("reading the accessibility tree failed: " + finished.stderr.strip())
        tree = json.loads(finished.stdout) or {"children": []}
        if title is None:
            return tree
        shown = lambda: next((w for w in self.tree()["children"] if w["showing"] and w["name"] == title), None)  # noqa
        return self.wait_for("%r in the accessibility tree" % title, shown)

    def named(self, title, roles):
        return [(node["role"], node["name"]) for node in nodes(self.tree(title), roles) if node["showing"]]

    def test_screen_readers_are_told_the_names_and_the_layout_holds_at_any_font_in_the_adwaita_style(self):
        self.database.add_account(self.database.add_user("alice", "pw"), Account="Bank", UserName="alice")
        # Layouts break at large fonts, and in the Adwaita style with its wide margins; qt6ct sets both.
        (conf := Path(self.env["XDG_CONFIG_HOME"]) / "qt6ct" / "qt6ct.conf").parent.mkdir(parents=True)
        conf.write_text('[Appearance]\nstyle=Adwaita\n[Fonts]\ngeneral="DejaVu Sans,14,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\n')
        self.env |= {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_QPA_PLATFORMTHEME": "qt6ct"}
        program, told = self.start_program(), {}
        self.double_click_icon(program)
        self.message(program, "User %s not found, register?" % LOGIN_NAME)
        self.message(program, "Please enter password for new user.")
        dialog = self.wait_dialog(program, PASSWORD_TITLE % LOGIN_NAME)
        told["new password"] = self.named(PASSWORD_TITLE % LOGIN_NAME, FIELD_ROLES)
        self.x.key("Escape")
        self.wait_gone(dialog, "the new password dialog")
        self.double_click_icon(program)
        self.message(program, "User %s not found, register?" % LOGIN_NAME, key="n")
        self.wait_dialog(program, "Please select user to log on")
        # Screen readers on Linux read a combo box's text as its name, and its edit field by the edit's own name.
        told["user list"] = self.named("Please select user to log on", {"text"})
        self.x.key("ctrl+a")
        self.x.type("alice", "Return")
        self.wait_dialog(program, PASSWORD_TITLE % "alice")
        told["password"] = self.named(PASSWORD_TITLE % "alice", FIELD_ROLES)
        self.x.type("pw", "Return")
        self.screenshot("main-window-14pt-adwaita", self.wait_main_window(program))
        told["fields"] = sorted(self.named(TITLE, FIELD_ROLES))
        told["list"] = self.named(TITLE, {"list"})
        # The hidden button that a second start clicks is no control a screen reader should offer.
        told["hidden button"] = [node["role"] for node in nodes(self.tree()) if node["name"] == "TarnwickHiddenButton"]
        self.assertEqual(told, {
            "new password": [("password text", "Password"), ("password text", "Confirm password")],
            "user list": [("text", "User name")], "password": [("password text", "Password")],
            "fields": [("password text", "Password"), ("text", "Account name"), ("text", "Additional text"),
                       ("text", "Phone"), ("text", "URL"), ("text", "User name")],
            "list": [("list", "Click existing account below")], "hidden button": []})  # fmt: skip
        self.assertEqual(layout_problems(self.tree(TITLE)), [])
        self.assertEqual(self.unload(program), 0)
        # At the default font and at 8 pt too, in the same style.
        for general in "", 'general="DejaVu Sans,8,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\n':
            conf.write_text("[Appearance]\nstyle=Adwaita\n[Fonts]\n" + general)
            program = self.start_program()
            self.double_click_icon(program)
            self.message(program, "User %s not found, register?" % LOGIN_NAME, key="n")
            self.wait_dialog(program, "Please select user to log on")
            self.x.key("ctrl+a")
            self.x.type("alice", "Return")
            self.enter_password(program, "pw", "alice")
            self.wait_main_window(program)
            self.assertEqual(layout_problems(self.tree(TITLE)), [], general or "the default font")
            self.assertEqual(self.unload(program), 0)


if __name__ == "__main__":
    unittest.main()
