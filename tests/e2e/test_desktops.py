import unittest
from pathlib import Path

from harness import (AFTER_LOGON, BEFORE_LOGON, ITEM, LOGIN_NAME, PASSWORD_TITLE, PROPERTIES, WATCHER, EndToEndTest,
                     call, click_exported, menu_labels, open_menu, status_item, stop_process)  # fmt: skip

# One panel along the top that holds only the status tray, the plugin that hosts StatusNotifierItems.
PANEL_CONFIG = """<channel name="xfce4-panel" version="1.0"><property name="configver" type="int" value="2"/>
<property name="panels" type="array"><value type="int" value="1"/><property name="panel-1" type="empty">
<property name="position" type="string" value="p=6;x=0;y=0"/><property name="length" type="uint" value="100"/>
<property name="size" type="uint" value="30"/><property name="plugin-ids" type="array"><value type="int" value="1"/>
</property></property></property><property name="plugins" type="empty"><property name="plugin-1" type="string"
value="systray"/></property></channel>"""


class DesktopsTest(EndToEndTest):  # without a notification area, unless a test starts one
    tray = False

    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(LOGIN_NAME, "pw"), Account="Bank", UserName="old")

    def start_panel(self):  # with its settings service, which the bus does not start
        folder = self.sandbox.root / "xfce" / "xfce4" / "xfconf" / "xfce-perchannel-xml"
        folder.mkdir(parents=True)
        (folder / "xfce4-panel.xml").write_text(PANEL_CONFIG)
        env = self.x.env | {"XDG_CONFIG_HOME": str(self.sandbox.root / "xfce"), "NO_AT_BRIDGE": "1"}
        settings = next(Path("/usr/lib").glob("*/xfce4/xfconf/xfconfd"))
        self.helpers.append(self.x.start_client("xfconfd", [str(settings)], lambda: self.x.bus.name_has_owner(
            "org.xfce.Xfconf"), env=env))  # fmt: skip
        self.helpers.append(self.x.start_client("xfce4-panel", ["xfce4-panel", "--disable-wm-check"], lambda: call(
            self.x.bus, *WATCHER, PROPERTIES + ".Get", "ss", WATCHER[0], "IsStatusNotifierHostRegistered"), env=env))

    def log_on_at_start(self):  # without a tray the program asks for the password by itself
        program = self.start_program(wait_for_icon=False)
        self.enter_password(program, "pw")
        return program, self.wait_main_window(program)

    def place(self, window):
        return self.x.info(window).x, self.x.info(window).y

    def test_the_menu_over_dbus_answers_at_once_a_click_in_the_panel_logs_on_and_unload_saves_the_edits(self):
        self.start_panel()
        program = self.start_program(wait_for_icon=False)
        item = self.wait_for("the program's item on the bus", lambda: status_item(self.x.bus, program.pid))
        self.assertEqual(menu_labels(self.x.bus, item), BEFORE_LOGON)
        # A host waits for the answer: a logon held in the call would keep it waiting as long as the dialog stays.
        call(self.x.bus, *item, ITEM + ".Activate", "ii", 0, 0)
        dialog = self.wait_dialog(program, PASSWORD_TITLE % LOGIN_NAME)
        call(self.x.bus, *item, ITEM + ".ContextMenu", "ii", 0, 0)
        call(self.x.bus, *item, ITEM + ".Activate", "ii", 0, 0)
        self.assertEqual(self.windows(program, "dialog"), [dialog])
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        tray = self.x.search("--onlyvisible", "--classname", "^wrapper-2.0$")[0]
        self.wait_for("the item's button in the panel", lambda: self.x.info(tray).width > 1)
        self.screenshot("panel-item")
        self.x.click(self.x.info(tray).box)
        self.enter_password(program, "pw")
        self.wait_main_window(program)
        self.assertEqual(menu_labels(self.x.bus, item), AFTER_LOGON)
        self.assert_saved_at_the_end(program, lambda: click_exported(self.x.bus, item, "_Unload"))

    def test_without_a_tray_the_window_stays_in_the_task_bar_until_a_tray_comes_and_exit_saves_the_edits(self):
        program, window = self.log_on_at_start()
        place = self.place(window)
        for hide in self.close_window, lambda window: self.x.call("xdotool", "windowminimize", str(window)):
            hide(window)
            self.wait_gone(window, "the minimised window")
            self.assertIn("Iconic", self.x.property(window, "WM_STATE"))
            self.assertIn("_NET_WM_STATE_HIDDEN", self.x.property(window, "_NET_WM_STATE"))
            # Restored as a task bar does; the window manager animates the window back to its place.
            self.x.call("xdotool", "windowactivate", str(window))
            self.assertEqual(self.wait_main_window(program), window)
            self.wait_for("the window at its place", lambda: self.place(window) == place)
        # A tray started later shows the icon, and the close box hides the window to it.
        self.helpers.append(trayer := self.display.start_trayer())
        self.wait_for("the icon in the tray started later", lambda: self.tray_icon(program))
        self.close_window(window)
        self.assertNotIn("Iconic", self.x.property(window, "WM_STATE"))
        self.double_click_icon(program)
        self.wait_for("the window at its place", lambda: self.place(self.wait_main_window(program)) == place)
        self.assertEqual(self.unload(program), 0)
        stop_process(trayer)
        program, _ = self.log_on_at_start()

        def exit_from_file_menu():  # "Exit" in the menu bar's "File" menu ends the program as "Unload" does
            self.click(program, "File")
            self.wait_for("the File menu", open_menu)
            self.screenshot("file-menu")
            self.choose(program, "Exit")

        self.assert_saved_at_the_end(program, exit_from_file_menu)

if __name__ == "__main__":
    unittest.main()
