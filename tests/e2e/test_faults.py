"""Faults in the database: a file that cannot be opened, a read-only folder and another process holding a lock."""

import contextlib
import subprocess
import unittest

from harness import ACCOUNT, LOGIN_NAME, UNLOAD, USER_NAME, EndToEndTest

RETRY_QUESTION = "Try saving again? Cancel keeps Tarnwick running with the changes."


class FaultsTest(EndToEndTest):
    def user_names(self):
        return [account["UserName"] for account in self.database.accounts()]

    def test_a_database_with_another_key_is_reported_and_left_as_it_was(self):
        path = self.sandbox.database_path
        path.unlink()
        self.database.execute("PRAGMA encoding = 'UTF-16le';\nCREATE TABLE User (ID INTEGER PRIMARY KEY);", key="other")
        before = path.read_bytes()
        program = self.start_program(wait_for_icon=False)
        window = self.wait_message(program, "Cannot open database.", "dialog-cannot-open-database")
        self.assertIsNone(self.tray_icon(program))
        self.x.key("Return")
        self.wait_gone(window, "the message")
        self.assertGreater(self.wait_exit(program), 0, "ends with an error status, not a signal")
        self.assertNotIn("Sanitizer", program.stderr_text())
        self.assertEqual(path.read_bytes(), before)

    @contextlib.contextmanager
    def read_only_folder(self):
        """The program's folder made immutable, so the engine cannot create its journal and every write fails (root
        passes over permissions)."""
        folder = str(self.sandbox.database_path.parent)
        made = subprocess.run(["chattr", "+i", folder], capture_output=True, text=True)
        if made.returncode != 0:
            self.skipTest("no immutable folders here: " + made.stderr.strip())
        try:
            yield
        finally:
            subprocess.run(["chattr", "-i", folder], check=True)

    def test_a_save_failing_on_a_read_only_folder_or_a_lock_keeps_the_typed_text_for_the_next_save(self):
        user_id = self.database.add_user(LOGIN_NAME, "pw")
        for name in ("First", "Second"):
            self.database.add_account(LOGIN_NAME, user_id, Account=name, UserName="old")
        program = self.start_program()
        window = self.log_on(program, "pw")
        # Typed into the first account, which is left while the fault lasts: the text stays shown on its own account,
        # and the next pick saves it.
        saved = ["old", "old"]
        for fault in self.read_only_folder, self.database.locked:
            typed = "typed while " + fault.__name__
            self.type_into_field(window, USER_NAME, typed)
            with fault():
                self.pick_account(window)
                self.wait_message(program, "Cannot save account changes.", "dialog-cannot-save")
            self.x.key("Return")
            self.wait_for("the message to close", lambda: not self.windows(program, "dialog"))
            self.assertEqual([self.read_field(window, ACCOUNT), self.read_field(window, USER_NAME)], ["First", typed])
            self.assertEqual(self.user_names(), saved)
            self.pick_account(window)
            saved[0] = typed
            self.wait_for("the save", lambda: self.user_names() == saved)
            self.assertEqual(self.read_field(window, ACCOUNT), "Second")
            self.pick_account(window, "Up")

        def unload_while_locked():  # the save fails and asks whether to try again
            self.close_window(window)
            self.choose_from_tray_menu(program, UNLOAD)
            self.answer_message(program, "Cannot save account changes.")
            return self.wait_message(program, RETRY_QUESTION, "dialog-retry-or-cancel")

        # Cancel calls the unload off and shows the window with the text; Retry saves once the lock is gone.
        self.type_into_field(window, USER_NAME, "typed before unloading")
        with self.database.locked():
            question = unload_while_locked()
            self.x.key("Escape")
            self.wait_gone(question, "the question")
        window = self.wait_main_window(program)
        self.assertEqual(self.read_field(window, USER_NAME), "typed before unloading")
        self.assertEqual(self.user_names(), saved)
        with self.database.locked():
            unload_while_locked()
        self.x.key("Return")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.user_names(), ["typed before unloading", "old"])


if __name__ == "__main__":
    unittest.main()
