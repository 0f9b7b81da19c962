"""Faults in saving: a read-only folder and another process holding a lock."""

import contextlib
import os
import subprocess
import unittest

from harness import ACCOUNT, LOGIN_NAME, UNLOAD, USER_NAME, EndToEndTest

RETRY_QUESTION = "Try saving again? Cancel keeps Tarnwick running with the changes."


class FaultsTest(EndToEndTest):
    def user_names(self):
        return [account["UserName"] for account in self.database.accounts()]

    @contextlib.contextmanager
    def read_only_folder(self):
        """The program's folder made read-only, so the engine cannot create its journal and every write fails. Root
        passes over permissions: for root the folder is made immutable instead."""
        make, undo = (["chattr", "+i"], ["chattr", "-i"]) if os.geteuid() == 0 else (["chmod", "555"], ["chmod", "755"])
        folder = str(self.sandbox.database_path.parent)
        if (made := subprocess.run(make + [folder], capture_output=True, text=True)).returncode != 0:
            self.skipTest("no read-only folders here: " + made.stderr.strip())
        try:
            yield
        finally:
            subprocess.run(undo + [folder], check=True)

    def test_a_save_failing_on_a_read_only_folder_or_a_lock_keeps_the_typed_text_for_the_next_save(self):
        user_id = self.database.add_user(LOGIN_NAME, "pw")
        for name in ("First", "Second"):
            self.database.add_account(user_id, Account=name, UserName="old")
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
                self.message(program, "Cannot save account changes.", None, "dialog-cannot-save")
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
            self.open_tray_menu(program, UNLOAD)
            self.message(program, "Cannot save account changes.")
            return self.message(program, RETRY_QUESTION, None, "dialog-retry-or-cancel")

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
