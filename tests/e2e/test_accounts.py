"""The account list and editor: adding accounts and typing into every field, picking between them, deleting,
odd text, the password field's copy shortcut and opening the URL field."""

import os
import unittest

from harness import (
    ACCOUNT,
    ADD_NEW_ACCOUNT,
    COMMENT,
    DELETE_ACCOUNT,
    FIELD_COLUMNS,
    FIELD_PLACES,
    LOGIN_NAME,
    PASSWORD,
    PHONE,
    URL,
    USER_NAME,
    EndToEndTest,
    account_key,
    centre,
    crypt_string,
)

FIRST = ["Bank", "jdoe", "s3cret pass", "https://bank.example.org/login", "+44 20 7946 0000", "Branch: high street"]
SECOND = ["Mail", "jane.doe", "m@il-Pa55", "https://mail.example.org", "555 0101", "Two lines:\nsecond one"]


class AccountsTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")

    def stored(self):
        """The stored accounts with their passwords deciphered."""
        accounts = self.database.accounts()
        for account in accounts:
            self.assertEqual(account["UserID"], self.user_id)
            account["Password"] = crypt_string(account_key(LOGIN_NAME, self.user_id), account["Password"])
        return [[account[column] for column in FIELD_COLUMNS] for account in accounts]

    def fill(self, window, values):
        for index, value in enumerate(values):
            self.type_into_field(window, index, value)

    def shown(self, window):
        return [self.read_field(window, index) for index in range(len(FIELD_COLUMNS))]

    def test_two_accounts_typed_in_every_field_are_shown_when_picked_and_stored_at_unload(self):
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.click_add_account(window)
        self.fill(window, FIRST)
        # The second through the list's menu; adding saves the first.
        self.choose_from_account_menu(program, window, ADD_NEW_ACCOUNT)
        self.fill(window, SECOND)

        self.pick_previous_account(window)
        self.assertEqual(self.shown(window), FIRST)
        self.pick_next_account(window)
        self.assertEqual(self.shown(window), SECOND)
        # The picture for the README: no text selected, the list focused.
        self.click_field(window, COMMENT)
        self.x.key("ctrl+End", "Tab", "Tab")
        self.screenshot("main-window", window)
        self.type_into_field(window, PHONE, "555 0102")

        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.stored(), [FIRST, SECOND[:PHONE] + ["555 0102"] + SECOND[PHONE + 1 :]])

    def test_adding_names_new_accounts_and_deleting_asks_first(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Keep")
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.click_add_account(window)
        self.click_add_account(window)
        self.pick_previous_account(window)
        self.choose_from_account_menu(program, window, DELETE_ACCOUNT)
        self.answer_message(program, "Really delete New account?", key="n")
        self.choose_from_account_menu(program, window, DELETE_ACCOUNT)
        self.answer_message(program, "Really delete New account?", screenshot="dialog-delete")

        self.assertEqual(self.unload(program), 0)
        self.assertEqual([account[0] for account in self.stored()], ["Keep", "New account 2"])

    def test_odd_text_round_trips_through_the_editor_and_the_file(self):
        comment = (
            "Tab\there, it's [bracketed] & <angled> \"quoted\" 100% \\ back\n"
            "Grüße, 中文, עברית, emoji 😀 and a long text: "
            + "0123456789" * 800
        )
        account_name = "Café ☕ & it's 𝄞"
        user_name = "o'brien [admin] & co; --"
        url = "https://example.org/?q=" + "a&b=" * 1000
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Old")
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.paste_into_field(window, ACCOUNT, account_name)
        self.type_into_field(window, USER_NAME, user_name)
        self.type_into_field(window, PHONE, "0123456789" * 6)
        self.paste_into_field(window, URL, url)
        self.paste_into_field(window, COMMENT, comment)
        expected = [account_name, user_name, "", url, "0123456789" * 5, comment]
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.stored(), [expected])

        # Shown again after a restart, and written back unchanged when nothing was edited.
        before = self.sandbox.database_path.read_bytes()
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.assertEqual(self.shown(window), expected)
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.sandbox.database_path.read_bytes(), before)

    def test_ctrl_c_in_the_password_field_copies_the_whole_password_and_types_nothing(self):
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Bank", UserName="jdoe", Password="p@ss w0rd!")
        program = self.start_program()
        window = self.log_on(program, "pw")
        # Only the first character selected: the whole password is copied all the same.
        self.click_field(window, PASSWORD)
        self.x.key("Home", "shift+Right", "ctrl+c")
        self.wait_for("the password on the clipboard", lambda: self.x.selection() == "p@ss w0rd!")
        # Ctrl+C typed nothing into the field, and the next key is not swallowed.
        self.x.key("End")
        self.x.type("Z")
        # In another field Ctrl+C copies the selection only.
        self.click_field(window, USER_NAME)
        self.x.key("Home", "shift+Right", "shift+Right", "ctrl+c")
        self.wait_for("the selection on the clipboard", lambda: self.x.selection() == "jd")

        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.stored(), [["Bank", "jdoe", "p@ss w0rd!Z", "", "", ""]])

    def test_a_double_click_on_the_url_field_opens_it(self):
        opened = self.sandbox.install_recorder("xdg-open")
        address = "https://example.org/path?a=1&b=it's"
        launched = self.sandbox.root / "launched"
        script = self.sandbox.root / "launch me.sh"
        script.write_text("#!/bin/sh\ntouch '%s'\n" % launched)
        script.chmod(0o755)
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Web", URL=address, Phone="555 0100")
        self.database.add_account(LOGIN_NAME, self.user_id, Account="Script", URL=str(script))
        program = self.start_program()
        window = self.log_on(program, "pw")

        # Another field opens nothing: checked by the address being the only thing opened.
        self.x.click(window, centre(FIELD_PLACES[PHONE]), repeat=2)
        self.x.click(window, centre(FIELD_PLACES[URL]), repeat=2)
        self.wait_for("the address to be opened", lambda: opened.exists() and opened.read_text() == address + "\n")

        self.pick_next_account(window)
        self.x.click(window, centre(FIELD_PLACES[URL]), repeat=2)
        self.wait_for("the script to run", launched.exists)
        self.assertEqual(opened.read_text(), address + "\n")
        self.assertTrue(os.access(script, os.X_OK))
        self.assertEqual(self.unload(program), 0)

if __name__ == "__main__":
    unittest.main()
