"""Logging on: registering the login user at the first start, wrong and right passwords, and picking another
user from the user list."""

import unittest

from harness import ACCOUNT, LOG_IN, LOGIN_NAME, PASSWORD, USER_NAME, EndToEndTest, crypt_string, hash_password


class LogonTest(EndToEndTest):
    def test_first_start_registers_the_login_user_with_the_hash_of_the_password(self):
        password = "Sesame-7 it's [ok] & more"
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, "User %s not found, register?" % LOGIN_NAME, screenshot="dialog-register")
        self.answer_message(program, "Please enter password for new user.", screenshot="dialog-new-user")
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.x.type(password)
        self.x.key("Tab")
        self.x.type(password)
        self.screenshot("dialog-new-password", dialog)
        self.x.key("Return")
        window = self.wait_main_window(program)
        self.screenshot("main-window-empty", window)

        self.assertEqual(self.unload(program), 0)
        users = self.database.users()
        self.assertEqual(len(users), 1)
        self.assertEqual(users[0]["UserName"], LOGIN_NAME)
        self.assertEqual(users[0]["Password"], hash_password(password))
        self.assertEqual(self.database.accounts(), [])

    def test_a_new_password_that_differs_from_its_confirmation_is_asked_again(self):
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, "User %s not found, register?" % LOGIN_NAME)
        self.answer_message(program, "Please enter password for new user.")
        dialog = self.type_new_password(program, "secret", "Secret")
        self.answer_message(program, "Please confirm password correctly.", screenshot="dialog-confirm-password")
        self.wait_active(dialog, "the new password dialog")
        # Both boxes keep what was typed: make the second agree with the first.
        self.x.key("ctrl+a")
        self.x.type("secret")
        self.x.key("Return")
        self.wait_main_window(program)

        self.assertEqual(self.unload(program), 0)
        self.assertEqual([user["Password"] for user in self.database.users()], [hash_password("secret")])

    def test_a_wrong_password_is_refused_and_asked_again_until_the_right_one(self):
        self.database.add_user(LOGIN_NAME, "right one")
        program = self.start_program()
        self.double_click_icon(program)
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.screenshot("dialog-password", dialog)
        self.x.type("right on")
        self.x.key("Return")
        self.answer_message(program, "Incorrect password.", screenshot="dialog-incorrect-password")
        self.x.type("Right one")
        self.x.key("Return")
        self.answer_message(program, "Incorrect password.")
        self.enter_password(program, "right one")
        self.wait_main_window(program)

        self.assertEqual(self.unload(program), 0)
        self.assertEqual(len(self.database.users()), 1)

    def test_cancelling_the_password_leaves_nobody_logged_on(self):
        self.database.add_user(LOGIN_NAME, "pw")
        program = self.start_program()
        self.double_click_icon(program)
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.x.key("Escape")
        self.wait_gone(dialog, "the password dialog")
        self.assert_stays_hidden(program)
        # Still before logon: the first item of the tray menu logs on and leaves the window hidden.
        self.choose_from_tray_menu(program, LOG_IN)
        self.enter_password(program, "pw")
        self.assert_stays_hidden(program)
        # Logged on: a double click shows the window without asking again.
        self.double_click_icon(program)
        self.wait_main_window(program)
        self.assertEqual(self.dialogs(program), [])
        self.assertEqual(self.unload(program), 0)

    def test_the_user_list_lets_another_user_log_on(self):
        alice = self.database.add_user("alice", "alice's")
        bob = self.database.add_user("bob", "b0b")
        self.database.add_account("alice", alice, Account="Alice's bank", Password="a-secret")
        self.database.add_account("bob", bob, Account="Bob's mail", UserName="bob@example.org", Password="b-secret")
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, "User %s not found, register?" % LOGIN_NAME, key="n")
        dialog = self.wait_dialog(program, "Please select user to log on")
        self.screenshot("dialog-user-list", dialog)
        # The first user is offered; typing replaces it.
        self.x.key("ctrl+a")
        self.x.type("bob")
        self.x.key("Return")
        self.enter_password(program, "b0b", user="bob")
        window = self.wait_main_window(program)

        self.assertEqual(self.read_field(window, ACCOUNT), "Bob's mail")
        self.assertEqual(self.read_field(window, USER_NAME), "bob@example.org")
        self.assertEqual(self.read_field(window, PASSWORD), "b-secret")
        self.assertEqual(self.unload(program), 0)
        stored = self.database.accounts(bob)
        self.assertEqual(stored[0]["Password"], crypt_string("bob" + str(bob), "b-secret"))

    def test_answering_no_without_users_fails_the_logon_and_starts_it_again(self):
        program = self.start_program()
        self.double_click_icon(program)
        self.answer_message(program, "User %s not found, register?" % LOGIN_NAME, key="n")
        self.answer_message(program, "No users in database.")
        self.answer_message(program, "Logon failed.", screenshot="dialog-logon-failed")
        self.answer_message(program, "User %s not found, register?" % LOGIN_NAME)
        self.answer_message(program, "Please enter password for new user.")
        self.type_new_password(program, "")
        self.wait_main_window(program)

        self.assertEqual(self.unload(program), 0)
        self.assertEqual([user["Password"] for user in self.database.users()], [""])


if __name__ == "__main__":
    unittest.main()
