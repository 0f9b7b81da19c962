import subprocess
import sys
import unittest
from itertools import combinations
from pathlib import Path

import pyatspi
from harness import LOGIN_NAME, PASSWORD_TITLE, TITLE, EndToEndTest, application, extents, nodes, poll, showing

FIELD_ROLES = {pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT}
LAID_OUT = FIELD_ROLES | {pyatspi.ROLE_LABEL, pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_LIST, pyatspi.ROLE_CHECK_BOX}


def layout_problems(window):
    controls = [(node.getRole(), "%s %r at %s" % (node.getRoleName(), node.name, extents(node)), extents(node))
                for node in nodes(window) if node.getRole() in LAID_OUT and showing(node)]  # fmt: skip
    left, top, width, height = extents(window)
    problems = [what + " is near the window's edge" for _, what, (x, y, w, h) in controls
                if min(x - left, y - top, left + width - x - w, top + height - y - h) < 2]  # fmt: skip
    for (_, a, (ax, ay, aw, ah)), (_, b, (bx, by, bw, bh)) in combinations(controls, 2):
        if ax < bx + bw and bx < ax + aw and ay < by + bh and by < ay + ah:
            problems.append(a + " overlaps " + b)
    labels = [box for role, _, box in controls if role == pyatspi.ROLE_LABEL]
    for _, what, (x, y, _, h) in (control for control in controls if control[0] in FIELD_ROLES):
        # A label level with the field, ending less than a line of text left of it: further off it belongs to nothing.
        if not any(0 <= x - lx - lw <= lh for lx, ly, lw, lh in labels if y <= ly + lh / 2 <= y + h and lx < x):
            problems.append(what + " has no label close left of it")
    return problems


class AccessTest(EndToEndTest):
    maxDiff = None

    def window(self, program, title):
        return self.wait_for("%r in the accessibility tree" % title, lambda: next(
            (window for window in application(program.pid) if window.name == title and showing(window)), None))

    def named(self, program, title, roles):
        return [(node.getRoleName(), node.name) for node in nodes(self.window(program, title))
                if node.getRole() in roles and showing(node)]  # fmt: skip

    def log_on_as_alice(self, program, told):  # from the user list, reading the names the dialogs give on the way
        self.double_click_icon(program)
        self.message(program, "User %s not found, register?" % LOGIN_NAME, key="n")
        self.wait_dialog(program, "Please select user to log on")
        # Screen readers on Linux read a combo box's text as its name, and its edit field by the edit's own name.
        told["user list"] = self.named(program, "Please select user to log on", {pyatspi.ROLE_TEXT})
        self.x.key("ctrl+a")
        self.x.type("alice", "Return")
        self.wait_dialog(program, PASSWORD_TITLE % "alice")
        told["password"] = self.named(program, PASSWORD_TITLE % "alice", FIELD_ROLES)
        self.x.type("pw", "Return")
        return self.wait_main_window(program)

    def start_settings_portal(self):  # one that tells of a dark GNOME with its font, as a portal of GNOME's does
        portal = [sys.executable, str(Path(__file__).with_name("settings_portal.py")), self.env["DBUS_SESSION_BUS_ADDRESS"],
                  "1", "Cantarell 20"]  # fmt: skip
        self.helpers.append(subprocess.Popen(portal))
        poll(lambda: self.display.bus.name_has_owner("org.freedesktop.portal.Desktop"))

    def test_screen_readers_are_told_the_names_and_the_layout_holds_at_any_font_in_the_adwaita_style(self):
        self.database.add_account(self.database.add_user("alice", "pw"), Account="Bank", UserName="alice")
        # Layouts break at large fonts, and in the Adwaita style with its wide margins; qt6ct sets both, and the
        # person's choice holds on GNOME too, where its settings portal tells of another font.
        (conf := Path(self.env["XDG_CONFIG_HOME"]) / "qt6ct" / "qt6ct.conf").parent.mkdir(parents=True)
        self.env |= {"QT_QPA_PLATFORMTHEME": "qt6ct", "XDG_CURRENT_DESKTOP": "GNOME"}
        self.start_settings_portal()
        label_heights = {}
        for points in 14, None, 8:
            font = 'general="DejaVu Sans,%d,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"\n' % points if points else ""
            conf.write_text("[Appearance]\nstyle=Adwaita\n[Fonts]\n" + font)
            program, told = self.start_program(), {}
            window = self.log_on_as_alice(program, told)
            if points == 14:
                self.screenshot("main-window-14pt-adwaita", window)
                told["fields"] = sorted(self.named(program, TITLE, FIELD_ROLES))
                told["list"] = self.named(program, TITLE, {pyatspi.ROLE_LIST})
                # The hidden button that a second start clicks is no control a screen reader should offer.
                told["hidden button"] = [node.getRoleName() for node in nodes(application(program.pid))
                                         if node.name == "TarnwickHiddenButton"]  # fmt: skip
                self.assertEqual(told, {
                    "user list": [("text", "User name")], "password": [("password text", "Password")],
                    "fields": [("password text", "Password"), ("text", "Account name"), ("text", "Additional text"),
                               ("text", "Phone"), ("text", "URL"), ("text", "User name")],
                    "list": [("list", "Click existing account below")], "hidden button": []})  # fmt: skip
            self.assertEqual(layout_problems(self.window(program, TITLE)), [], "%s pt" % points)
            label_heights[points] = extents(self.control(program, "Account name:", pyatspi.ROLE_LABEL))[3]
            self.assertEqual(self.unload(program), 0)
        self.assertGreater(label_heights[14], label_heights[8])


if __name__ == "__main__":
    unittest.main()
