"""Logging on: registering the login user, wrong, cancelled and right passwords, and the user list."""

import unittest

from harness import ACCOUNT, HASHED, LOG_IN, LOGIN_NAME, PASSWORD, PASSWORD_TITLE, USER_NAME, EndToEndTest

REGISTER = "User %s not found, register?" % LOGIN_NAME
BOB_SECRET = "\xa5\x1b\xeb\xafO\xe9\x98["  # "b-secret" as the program enciphers it for bob, user 2


class LogonTest(EndToEndTest):
    def test_registering_asks_again_until_the_password_is_confirmed_and_stores_its_hash(self):
        program = self.start_program()
        self.double_click_icon(program)
        # Without users, not registering fails the logon, which starts again.
        for text, key, screenshot in [(REGISTER, "n", "dialog-register"), ("No users in database.", "Return", None),
                                      ("Logon failed.", "Return", "dialog-logon-failed"), (REGISTER, "Return", None),
                                      ("Please enter password for new user.", "Return", "dialog-new-user")]:
            self.message(program, text, key, screenshot)
        password = "Sesame-7 it's [ok] & more"
        dialog = self.enter_password(program, password, LOGIN_NAME, password.upper(), "Return")
        self.message(program, "Please confirm password correctly.", screenshot="dialog-confirm-password")
        self.wait_active(dialog, "the new password dialog")
        # Both boxes keep what was typed: make the second agree with the first.
        self.x.key("ctrl+a")
        self.x.type(password)
        self.screenshot("dialog-new-password", dialog)
        self.x.key("Return")
        self.screenshot("main-window-empty", self.wait_main_window(program))
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.database.users(), [dict(ID=1, UserName=LOGIN_NAME, Password=HASHED[password])])
        self.assertEqual(self.database.accounts(), [])

    def test_the_user_list_and_a_cancelled_or_wrong_password_log_nobody_on_until_the_right_one(self):
        self.database.add_account(self.database.add_user("alice", "pw"), Account="Alice's bank", Password="a")
        bob = self.database.add_user("bob", "b0b")
        self.database.add_account(bob, Account="Bob's mail", UserName="bob@example.org", Password=BOB_SECRET)
        program = self.start_program()
        self.double_click_icon(program)
        self.message(program, REGISTER, key="n")
        self.screenshot("dialog-user-list", self.wait_dialog(program, "Please select user to log on"))
        self.x.key("ctrl+a")  # the first user is offered; typing replaces it
        self.x.type("bob", "Return")
        dialog = self.wait_dialog(program, PASSWORD_TITLE % "bob")
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.assert_stays_hidden(program)
        # Still before the logon, "Log in" asks the chosen user again, and again after a wrong password.
        self.open_tray_menu(program, LOG_IN)
        self.screenshot("dialog-password", self.wait_dialog(program, PASSWORD_TITLE % "bob"))
        self.x.type("B0B", "Return")
        self.message(program, "Incorrect password.", screenshot="dialog-incorrect-password")
        self.enter_password(program, "b0b", user="bob")
        # Logged on from the menu the window stays hidden; a double click shows it without asking again.
        self.assert_stays_hidden(program)
        self.double_click_icon(program)
        window = self.wait_main_window(program)
        shown = [self.read_field(window, field) for field in (ACCOUNT, USER_NAME, PASSWORD)]
        self.assertEqual(shown, ["Bob's mail", "bob@example.org", "b-secret"])
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.database.accounts(bob)[0]["Password"], BOB_SECRET)


if __name__ == "__main__":
    unittest.main()
