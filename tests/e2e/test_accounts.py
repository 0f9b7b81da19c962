import unittest

from harness import (ACCOUNT, COMMENT, FIELD_COLUMNS, FIELDS, LOGIN_NAME, PASSWORD, PHONE, URL, USER_NAME, EndToEndTest,
                     poll)  # fmt: skip

FIRST = ["Bank", "jdoe", "s3cret pass", "https://bank.example.org/login", "+44 20 7946 0000", "Branch: high street"]
SECOND = ["Mail", "jane.doe", "m@il-Pa55", "https://mail.example.org", "555 0101", "Two lines:\nsecond one"]


class AccountsTest(EndToEndTest):
    def start(self, *accounts):
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")
        for fields in accounts:
            self.database.add_account(self.user_id, **fields)
        program = self.start_program()
        return program, self.log_on(program, "pw")

    def unload_and_check(self, program, expected):
        self.assertEqual(self.unload(program), 0)
        # Passwords are stored enciphered, each as long as the typed one and unlike it; a restart shows them back.
        stored = [[account[column] for column in FIELD_COLUMNS] for account in self.database.accounts()]
        hidden = FIELDS.index(PASSWORD)
        self.assertEqual([[len(v) if i == hidden else v for i, v in enumerate(a)] for a in stored],
                         [[len(v) if i == hidden else v for i, v in enumerate(a)] for a in expected])  # fmt: skip
        self.assertFalse([a for a, b in zip(stored, expected) if b[hidden] and a[hidden] == b[hidden]])

    def user_names(self):
        return [account["UserName"] for account in self.database.accounts()]

    def test_accounts_typed_in_every_field_are_shown_when_picked_stored_and_deleted_after_a_question(self):
        program, window = self.start()

        def menu(label, key=None):  # the account menu from the key, else a right click on the list's empty middle
            self.x.key(key) if key else self.click(program, "Click existing account below", 3)
            self.choose(program, label)

        for add, values in (lambda: self.click(program, "Add account"), FIRST), (
                lambda: menu("Add new account"), SECOND):  # fmt: skip
            add()
            self.x.type(values[0])  # over the new account's name, which has the focus, selected
            for field, value in zip(FIELDS[1:], values[1:]):
                self.type_into_field(program, field, value)
        for key, values in ("Up", FIRST), ("Down", SECOND):
            self.pick_account(program, key)
            self.assert_shown(program, dict(zip(FIELDS, values)))
        # The picture for the README: no text selected, the list focused.
        self.click(program, COMMENT)
        self.x.key("ctrl+End", "Tab", "Tab")
        self.screenshot("main-window", window)
        self.type_into_field(program, PHONE, "555 0102")
        for _ in range(2):  # named with the first number free
            self.click(program, "Add account")
        self.pick_account(program, "End")
        for answer in "n", "y":
            menu("Delete account", key="shift+F10")
            self.message(program, "Really delete New account 2?", answer, "dialog-delete")
        self.unload_and_check(program, [FIRST, SECOND[:4] + ["555 0102", SECOND[5]], ["New account"] + [""] * 5])

    def test_odd_text_round_trips_exactly_and_a_copied_password_is_secret_and_cleared_after_20_s_unless_replaced(self):
        comment = ("Tab\there, it's [bracketed] & <angled> \"quoted\" 100% \\ back\n"
                   "Grüße, 中文, עברית, emoji 😀 and a long text: " + "0123456789" * 800)  # fmt: skip
        account_name, user_name, password = "Café ☕ & it's 𝄞", "o'brien [admin] & co; --", "p@ss w0rd! it's [x]"
        url = "https://example.org/?q=" + "a&b=" * 1000
        # Stored text longer than may be typed is kept whole; a paste stops at the 50 units that may be typed.
        long_name = "名前" * 35
        program, _ = self.start(dict(Account="Old"), dict(Account="Other", UserName=long_name))
        for field, text in (ACCOUNT, account_name + "x" * 60), (URL, url), (COMMENT, comment):
            self.helpers.append(self.x.offer(text))
            self.wait_for("the clipboard", lambda: self.x.selection() == text)
            self.select_field(program, field, "ctrl+v")
        self.type_into_field(program, USER_NAME, user_name)
        self.type_into_field(program, PASSWORD, password)
        self.type_into_field(program, PHONE, "0123456789")

        def copied():
            self.wait_for("the password on the clipboard", lambda: self.x.selection() == password)
            self.assertIn("x-kde-passwordManagerHint", self.x.selection(target="TARGETS").split())

        self.assertEqual(self.grab("primary", lambda: self.select_field(program, PASSWORD), 1.0), "", "primary")
        self.click(program, PASSWORD, 3)
        self.choose(program, "Copy")
        copied()
        self.wait_for("the password to leave the clipboard", lambda: self.x.selection() is None, 25)
        self.x.key("ctrl+c")
        copied()
        self.helpers.append(self.x.offer("another copy"))
        self.wait_for("the other copy", lambda: self.x.selection() == "another copy")
        self.assertFalse(poll(lambda: self.x.selection() != "another copy", 25), "the other copy replaced")
        # Another field of the other one edited: the save writes back its name as the editor holds it.
        self.pick_account(program)
        self.type_into_field(program, PHONE, "1")
        expected = [account_name + "x" * 34, user_name, password, url, "0123456789", comment]
        self.unload_and_check(program, [expected, ["Other", long_name, "", "", "1", ""]])
        self.assertEqual(self.x.selection(), "another copy")

    def test_a_double_click_on_the_url_field_opens_addresses_and_asks_before_starting_a_program(self):
        # Text that is not an absolute path is an address, even when the working folder holds a program of its name.
        address, opened = "www.example.org/path?a=1&b=it's", self.sandbox.root / "opened"
        ran, launched, script = (self.sandbox.root / name for name in ("ran", "launched", "launch me.sh"))
        launcher = self.sandbox.root / "evil.desktop"
        launcher.write_text("[Desktop Entry]\nType=Application\nName=evil\nExec=touch %s\n" % ran)
        (self.sandbox.home / address).parent.mkdir()
        for path, command in ((self.sandbox.home / address, "touch '%s'" % ran), (script, "touch '%s'" % launched),
                              (self.sandbox.root / "bin" / "xdg-open", "echo \"$@\" >> '%s'" % opened)):  # fmt: skip
            path.write_text("#!/bin/sh\n%s\n" % command)
            path.chmod(0o755)
        # A file: URL is the path it names: a program there, or a launcher entry, asks too; a relative one opens nothing.
        urls = [address, str(script), "file://" + str(script).replace(" ", "%20"), str(launcher), "file:launch%20me.sh"]
        program, _ = self.start(*(dict(Account="URL %d" % i, URL=url) for i, url in enumerate(urls)))
        # Another field opens nothing: checked by the address being the only thing opened.
        self.click(program, PHONE, repeat=2)
        self.click(program, URL, repeat=2)
        self.wait_for("the address opened", lambda: opened.exists() and opened.read_text() == "http://%s\n" % address)
        # A program is started only when the question is answered Yes; Enter answers No (a second is its chance to run).
        for path, key in (script, "Return"), (script, "y"), (launcher, "Return"):
            self.pick_account(program)
            self.click(program, URL, repeat=2)
            self.message(program, "Start the program %s?" % path, key, "dialog-start-program")
            if path == script:
                self.assertEqual(poll(launched.exists, 1.0 if key == "Return" else 15), key == "y")
        self.pick_account(program)
        self.click(program, URL, repeat=2)
        self.message(program, "Cannot open URL.")
        self.assertEqual(opened.read_text(), "http://%s\n" % address)
        self.assertFalse(ran.exists())
        self.assertEqual(self.unload(program), 0)

    def test_a_save_failing_on_a_lock_keeps_the_typed_text_for_the_next_save(self):
        program, window = self.start(dict(Account="First", UserName="old"), dict(Account="Second", UserName="old"))
        saved = ["old", "old"]

        def unload_while_locked():  # the save fails and asks whether to try again
            self.close_window(window)
            self.open_tray_menu(program, "Unload")
            self.message(program, "Cannot save account changes.")
            return self.message(program, "Try saving again? Cancel keeps Tarnwick running with the changes.", None,
                                "dialog-retry-or-cancel")  # fmt: skip

        self.type_into_field(program, USER_NAME, "typed before unloading")
        with self.database.locked():
            question = unload_while_locked()
            self.x.key("Escape")
            self.wait_gone(question, "the question")
        window = self.wait_main_window(program)
        self.assert_shown(program, {USER_NAME: "typed before unloading"})
        self.assertEqual(self.user_names(), saved)
        with self.database.locked():
            unload_while_locked()
        self.x.key("Return")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.user_names(), ["typed before unloading", "old"])
        # The session's end, which nobody can answer, keeps the edit in a private file of the user's when another's
        # lock outlasts its 10 s; the next logon offers it back, "Keep" the default.
        program = self.start_program()
        self.log_on(program, "pw")
        self.type_into_field(program, USER_NAME, "typed before the end")
        with self.database.locked():
            program.terminate()
            self.assertEqual(self.wait_exit(program), 0)
        kept = list((self.sandbox.home / ".local" / "state" / "Tarnwick").iterdir())
        self.assertEqual([path.stat().st_mode & 0o777 for path in kept], [0o600])
        program = self.start_program()
        self.double_click_icon(program)
        self.enter_password(program, "pw")
        self.message(program, 'Tarnwick ended before it could save your changes to the account "First". Keep them?')
        self.wait_main_window(program)
        self.assert_shown(program, {USER_NAME: "typed before the end"})
        self.assertEqual(self.unload(program), 0)
        self.assertEqual((self.user_names(), kept[0].exists()), (["typed before the end", "old"], False))


if __name__ == "__main__":
    unittest.main()
