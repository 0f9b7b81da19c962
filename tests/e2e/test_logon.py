"""Logging on: registering the login user, wrong and right passwords, cancelling, and the user list."""

import unittest

from harness import ACCOUNT, LOG_IN, LOGIN_NAME, PASSWORD, USER_NAME, EndToEndTest, crypt_string, hash_password

REGISTER = "User %s not found, register?" % LOGIN_NAME


class LogonTest(EndToEndTest):
    def unload_and_check_users(self, program, passwords):
        self.assertEqual(self.unload(program), 0)
        users = self.database.users()
        self.assertEqual([(user["UserName"], user["Password"]) for user in users], [(LOGIN_NAME, p) for p in passwords])

    def test_first_start_registers_the_login_user_with_the_hash_of_the_password(self):
        password = "Sesame-7 it's [ok] & more"
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, REGISTER, screenshot="dialog-register")
        self.answer_message(program, "Please enter password for new user.", screenshot="dialog-new-user")
        self.screenshot("dialog-new-password", self.type_new_password(program, password))
        self.x.key("Return")
        self.screenshot("main-window-empty", self.wait_main_window(program))
        self.unload_and_check_users(program, [hash_password(password)])
        self.assertEqual(self.database.accounts(), [])

    def test_a_new_password_that_differs_from_its_confirmation_is_asked_again(self):
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, REGISTER)
        self.answer_message(program, "Please enter password for new user.")
        dialog = self.type_new_password(program, "secret", "Secret", "Return")
        self.answer_message(program, "Please confirm password correctly.", screenshot="dialog-confirm-password")
        self.wait_active(dialog, "the new password dialog")
        # Both boxes keep what was typed: make the second agree with the first.
        self.x.key("ctrl+a")
        self.x.type("secret", "Return")
        self.wait_main_window(program)
        self.unload_and_check_users(program, [hash_password("secret")])

    def test_a_cancelled_or_wrong_password_leaves_nobody_logged_on_until_the_right_one(self):
        self.database.add_user(LOGIN_NAME, "right one")
        program = self.start_program()
        self.double_click_icon(program)
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.assert_stays_hidden(program)
        # Still before logon: the first item of the tray menu logs on, asking again after a wrong password.
        self.choose_from_tray_menu(program, LOG_IN)
        self.screenshot("dialog-password", self.wait_dialog(program, "Enter password for user " + LOGIN_NAME))
        self.x.type("right on", "Return")
        self.answer_message(program, "Incorrect password.", screenshot="dialog-incorrect-password")
        self.x.type("Right one", "Return")
        self.answer_message(program, "Incorrect password.")
        self.enter_password(program, "right one")
        # Logged on from the menu the window stays hidden; a double click shows it without asking again.
        self.assert_stays_hidden(program)
        self.double_click_icon(program)
        self.wait_main_window(program)
        self.assertEqual(self.dialogs(program), [])
        self.unload_and_check_users(program, [hash_password("right one")])

    def test_the_user_list_lets_another_user_log_on(self):
        alice = self.database.add_user("alice", "alice's")
        bob = self.database.add_user("bob", "b0b")
        self.database.add_account("alice", alice, Account="Alice's bank", Password="a-secret")
        self.database.add_account("bob", bob, Account="Bob's mail", UserName="bob@example.org", Password="b-secret")
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, REGISTER, key="n")
        self.screenshot("dialog-user-list", self.wait_dialog(program, "Please select user to log on"))
        # The first user is offered; typing replaces it.
        self.x.key("ctrl+a")
        self.x.type("bob", "Return")
        self.enter_password(program, "b0b", user="bob")
        window = self.wait_main_window(program)
        shown = [self.read_field(window, field) for field in (ACCOUNT, USER_NAME, PASSWORD)]
        self.assertEqual(shown, ["Bob's mail", "bob@example.org", "b-secret"])
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.database.accounts(bob)[0]["Password"], crypt_string("bob" + str(bob), "b-secret"))

    def test_answering_no_without_users_fails_the_logon_and_starts_it_again(self):
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, REGISTER, key="n")
        self.answer_message(program, "No users in database.")
        self.answer_message(program, "Logon failed.", screenshot="dialog-logon-failed")
        self.answer_message(program, REGISTER)
        self.answer_message(program, "Please enter password for new user.")
        self.type_new_password(program, "", None, "Return")
        self.wait_main_window(program)
        self.unload_and_check_users(program, [""])


if __name__ == "__main__":
    unittest.main()
