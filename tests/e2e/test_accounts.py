"""The account list and editor: adding, picking, deleting, odd text, copying the password and clearing it, opening
URLs and asking before starting programs."""

import unittest

from harness import (ACCOUNT, ADD_ACCOUNT_PLACE, ADD_NEW_ACCOUNT, COMMENT, DELETE_ACCOUNT, FIELD_COLUMNS, LIST_PLACE,
                     LOGIN_NAME, PASSWORD, PHONE, URL, USER_NAME, EndToEndTest, poll)  # fmt: skip

FIRST = ["Bank", "jdoe", "s3cret pass", "https://bank.example.org/login", "+44 20 7946 0000", "Branch: high street"]
SECOND = ["Mail", "jane.doe", "m@il-Pa55", "https://mail.example.org", "555 0101", "Two lines:\nsecond one"]


class AccountsTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")

    def start(self, *accounts):
        for fields in accounts:
            self.database.add_account(self.user_id, **fields)
        program = self.start_program()
        return program, self.log_on(program, "pw")

    def unload_and_check(self, program, expected):
        self.assertEqual(self.unload(program), 0)
        # Passwords are stored enciphered, each as long as the typed one and unlike it; a restart shows them back.
        stored = [[account[column] for column in FIELD_COLUMNS] for account in self.database.accounts()]
        self.assertEqual([[len(v) if i == PASSWORD else v for i, v in enumerate(a)] for a in stored],
                         [[len(v) if i == PASSWORD else v for i, v in enumerate(a)] for a in expected])  # fmt: skip
        self.assertFalse([a for a, b in zip(stored, expected) if b[PASSWORD] and a[PASSWORD] == b[PASSWORD]])

    def shown(self, window):
        return [self.read_field(window, index) for index in range(len(FIELD_COLUMNS))]

    def menu(self, program, window, position, key=None):
        """Opens the account menu with the key, else by a right click on the list's empty bottom, and chooses."""
        left, top, width, height = LIST_PLACE
        self.x.key(key) if key else self.x.click(window, self.point(window, (left, top + height - 150, width, 0)), 3)
        self.choose(self.wait_for("the account menu", lambda: self.windows(program, "menu"))[0], position)

    def test_accounts_typed_in_every_field_are_shown_when_picked_stored_and_deleted_after_a_question(self):
        program, window = self.start()
        # The first through the button, the second through the list's menu; adding saves the first.
        for add, values in (lambda: self.x.click(window, self.point(window, ADD_ACCOUNT_PLACE)), FIRST), (
                lambda: self.menu(program, window, ADD_NEW_ACCOUNT), SECOND):  # fmt: skip
            add()
            for index, value in enumerate(values):
                self.type_into_field(window, index, value)
        for key, values in ("Up", FIRST), ("Down", SECOND):
            self.pick_account(window, key)
            self.assertEqual(self.shown(window), values)
        # The picture for the README: no text selected, the list focused.
        self.click_field(window, COMMENT)
        self.x.key("ctrl+End", "Tab", "Tab")
        self.screenshot("main-window", window)
        self.type_into_field(window, PHONE, "555 0102")
        # Two more are named apart; the keyboard opens the menu in the focused list, and deleting asks first.
        for _ in range(2):
            self.x.click(window, self.point(window, ADD_ACCOUNT_PLACE))
        self.pick_account(window, "Up")
        for answer in "n", "y":
            self.menu(program, window, DELETE_ACCOUNT, key="shift+F10")
            self.message(program, "Really delete New account?", answer, "dialog-delete")
        second = SECOND[:PHONE] + ["555 0102", SECOND[COMMENT]]
        self.unload_and_check(program, [FIRST, second, ["New account 2"] + [""] * 5])

    def test_odd_text_and_a_megabyte_comment_round_trip_exactly_through_the_editor_and_the_file(self):
        comment = ("Tab\there, it's [bracketed] & <angled> \"quoted\" 100% \\ back\n"
                   "Grüße, 中文, עברית, emoji 😀 and a long text: " + "0123456789" * 800)  # fmt: skip
        account_name, user_name = "Café ☕ & it's 𝄞", "o'brien [admin] & co; --"
        url = "https://example.org/?q=" + "a&b=" * 1000
        big = "NUL\x00inside\r\nCR LF\ttab 😀 " + "0123456789abcdef" * 65536
        program, window = self.start(dict(Account="Old"), dict(Account="Big", Comment=big))
        for index, text in (ACCOUNT, account_name), (URL, url), (COMMENT, comment):
            self.helpers.append(self.x.offer(text))
            self.wait_for("the clipboard", lambda: self.x.selection() == text)
            self.select_field(window, index, "ctrl+v")
        self.type_into_field(window, USER_NAME, user_name)
        self.type_into_field(window, PASSWORD, "pa55 it's [x]")
        self.type_into_field(window, PHONE, "0123456789" * 6)
        # Another field of the big one edited: the save writes back its comment as the editor holds it.
        self.pick_account(window)
        self.type_into_field(window, PHONE, "1")
        expected = [account_name, user_name, "pa55 it's [x]", url, "0123456789" * 5, comment]
        self.unload_and_check(program, [expected, ["Big", "", "", "", "1", big]])
        # Shown again after a restart, and written back unchanged when nothing was edited.
        before = self.sandbox.database_path.read_bytes()
        program, window = self.start()
        self.assertEqual(self.shown(window), expected)
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.sandbox.database_path.read_bytes(), before)

    def test_a_copied_password_is_marked_secret_and_cleared_after_20_s_unless_something_else_was_copied(self):
        program, window = self.start(dict(Account="Bank", UserName="jdoe"))
        self.type_into_field(window, PASSWORD, "p@ss w0rd!")

        def copied(*keys, text="p@ss w0rd!Z"):  # the program's copies are marked secret
            self.x.key(*keys)
            self.wait_for("the password on the clipboard", lambda: self.x.selection() == text)
            self.assertIn("x-kde-passwordManagerHint", self.x.selection(target="TARGETS").split())

        def select_first_character():  # the click selects the whole password, the keys its first character
            self.click_field(window, PASSWORD)
            self.x.key("Home", "shift+Right")

        self.assertEqual(self.grab("primary", select_first_character, 1.0), "", "the password in the primary selection")
        # Only the first character selected: the whole password is copied all the same, and the next key counts.
        copied("ctrl+c", text="p@ss w0rd!")
        self.x.key("End")
        self.x.type("Z")
        # In another field Ctrl+C copies the selection only.
        self.click_field(window, USER_NAME)
        self.x.key("Home", "shift+Right", "shift+Right", "ctrl+c")
        self.wait_for("the selection on the clipboard", lambda: self.x.selection() == "jd")
        # The menu's copy leaves the clipboard 20 s later; a copy with Ctrl+Insert followed by another program's stays.
        self.click_field(window, PASSWORD, button=3)
        self.wait_for("the password menu", lambda: self.windows(program, "menu"))
        copied("Down", "Down", "Return")
        self.wait_for("the password to leave the clipboard", lambda: self.x.selection() is None, 25)
        self.click_field(window, PASSWORD)
        copied("ctrl+Insert")
        self.helpers.append(self.x.offer("another copy"))
        self.wait_for("the other copy", lambda: self.x.selection() == "another copy")
        self.assertFalse(poll(lambda: self.x.selection() != "another copy", 25), "the other copy replaced")
        self.unload_and_check(program, [["Bank", "jdoe", "p@ss w0rd!Z", "", "", ""]])
        self.assertEqual(self.x.selection(), "another copy")

    def test_a_double_click_on_the_url_field_opens_addresses_and_asks_before_starting_a_program(self):
        # Text that is not an absolute path is an address, even when the working folder holds a program of its name.
        address, opened = "www.example.org/path?a=1&b=it's", self.sandbox.root / "opened"
        ran, launched, script = (self.sandbox.root / name for name in ("ran", "launched", "launch me.sh"))
        (self.sandbox.home / address).parent.mkdir()
        for path, command in ((self.sandbox.home / address, "touch '%s'" % ran), (script, "touch '%s'" % launched),
                              (self.sandbox.root / "bin" / "xdg-open", "echo \"$@\" >> '%s'" % opened)):  # fmt: skip
            path.write_text("#!/bin/sh\n%s\n" % command)
            path.chmod(0o755)
        program, window = self.start(dict(Account="Web", URL=address), dict(Account="Script", URL=str(script)))
        # Another field opens nothing: checked by the address being the only thing opened.
        self.click_field(window, PHONE, repeat=2)
        self.click_field(window, URL, repeat=2)
        self.wait_for("the address opened", lambda: opened.exists() and opened.read_text() == "http://%s\n" % address)
        # A program is started only when the question is answered Yes; Enter answers No (a second is its chance to run).
        self.pick_account(window)
        for key in "Return", "y":
            self.click_field(window, URL, repeat=2)
            self.message(program, "Start the program %s?" % script, key, "dialog-start-program")
            self.assertEqual(poll(launched.exists, 1.0 if key == "Return" else 15), key == "y")
        self.assertEqual(opened.read_text(), "http://%s\n" % address)
        self.assertFalse(ran.exists())
        self.assertEqual(self.unload(program), 0)


if __name__ == "__main__":
    unittest.main()
