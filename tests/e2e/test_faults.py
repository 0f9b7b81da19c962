"""Faults in the database: files that cannot be opened, a read-only folder, another process holding a lock, a kill
while saving."""

import contextlib
import os
import random
import signal
import subprocess
import time
import unittest

from harness import ACCOUNT, LOGIN_NAME, UNLOAD, USER_NAME, EndToEndTest

RETRY_QUESTION = "Try saving again? Cancel keeps Tarnwick running with the changes."


class FaultsTest(EndToEndTest):
    def accounts(self, column):
        return [account[column] for account in self.database.accounts()]

    def test_a_database_that_cannot_be_opened_is_reported_and_left_as_it_was(self):
        tables = [("User", '"ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserName" TEXT, "Password" TEXT'),
                  ("Accounts", '"ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserID" INTEGER, "Account" TEXT'),
                  ("Parameters", '"Name" TEXT, "Value" TEXT')]  # fmt: skip
        path = self.sandbox.database_path

        def other_database(key, tables, utf16=True):
            path.unlink()
            script = "\n".join('CREATE TABLE "%s" (%s);' % table for table in tables)
            self.database.execute(("PRAGMA encoding = 'UTF-16le';\n" if utf16 else "") + script, key=key)

        cases = {
            "missing": path.unlink,
            "empty": lambda: path.write_bytes(b""),
            "random bytes": lambda: path.write_bytes(random.Random(7).randbytes(16384)),
            "another key": lambda: other_database("not the key", tables),
            "no Accounts table": lambda: other_database("wendrapolix", tables[::2]),
            # The shell's default, UTF-8: the program's saves would garble every text in it.
            "text not stored as UTF-16le": lambda: other_database("wendrapolix", tables, utf16=False),
        }
        for name, make in cases.items():
            with self.subTest(name):
                path.unlink(missing_ok=True)
                self.create_database()
                make()
                before = path.read_bytes() if path.exists() else None
                program = self.start_program(wait_for_icon=False)
                window = self.wait_message(program, "Cannot open database.", "dialog-cannot-open-database")
                self.assertIsNone(self.tray_icon(program))
                self.x.key("Return")
                self.wait_gone(window, "the message")
                self.assertGreater(self.wait_exit(program), 0, "ends with an error status, not a signal")
                self.assertNotIn("Sanitizer", program.stderr_text())
                self.assertEqual(path.read_bytes() if path.exists() else None, before)

    def logged_on_with_two_accounts(self):
        user_id = self.database.add_user(LOGIN_NAME, "pw")
        for name, user_name in (("First", "one"), ("Second", "two")):
            self.database.add_account(LOGIN_NAME, user_id, Account=name, UserName=user_name)
        program = self.start_program()
        return program, self.log_on(program, "pw")

    def assert_failed_save_keeps_the_text(self, program, window, fault):
        """Types into the first account and picks the second while the fault lasts: the message comes, the text
        stays shown on its own account, and the next pick saves it."""
        self.type_into_field(window, USER_NAME, "typed while failing")
        with fault():
            self.pick_account(window)
            self.wait_message(program, "Cannot save account changes.", "dialog-cannot-save")
        self.x.key("Return")
        self.wait_for("the message to close", lambda: not self.dialogs(program))
        self.assertEqual([self.read_field(window, ACCOUNT), self.read_field(window, USER_NAME)],
                         ["First", "typed while failing"])  # fmt: skip
        self.assertEqual(self.accounts("UserName"), ["one", "two"])
        self.pick_account(window)
        self.wait_for("the save", lambda: self.accounts("UserName") == ["typed while failing", "two"])
        self.assertEqual(self.read_field(window, ACCOUNT), "Second")

    @contextlib.contextmanager
    def read_only_folder(self):
        """The program's folder made read-only, so the engine cannot create its journal and every write fails. Root
        passes over permissions: for root the folder is made immutable instead."""
        folder = self.sandbox.database_path.parent
        if os.geteuid() != 0:
            folder.chmod(0o555)
            undo = ["chmod", "755", str(folder)]
        else:
            made = subprocess.run(["chattr", "+i", str(folder)], capture_output=True, text=True)
            if made.returncode != 0:
                self.skipTest("no immutable folders here: " + made.stderr.strip())
            undo = ["chattr", "-i", str(folder)]
        try:
            yield
        finally:
            subprocess.run(undo, check=True)

    def test_a_read_only_folder_fails_the_save_and_the_typed_text_is_kept(self):
        program, window = self.logged_on_with_two_accounts()
        self.assert_failed_save_keeps_the_text(program, window, self.read_only_folder)
        self.assertEqual(self.unload(program), 0)

    def test_a_lock_held_longer_than_the_save_waits_fails_the_save_and_the_unload_keeping_the_text(self):
        program, window = self.logged_on_with_two_accounts()
        self.assert_failed_save_keeps_the_text(program, window, self.database.locked)
        # A lock held only a moment delays the save, without a message.
        self.type_into_field(window, USER_NAME, "saved after the wait")
        with self.database.locked():
            self.pick_account(window, "Up")
            time.sleep(1.5)
        saved = ["typed while failing", "saved after the wait"]
        self.wait_for("the save", lambda: self.accounts("UserName") == saved)
        self.assertEqual(self.dialogs(program), [])
        self.assertEqual(self.read_field(window, ACCOUNT), "First")
        # Unloading while the save fails: Cancel calls the unload off and shows the window with the text.
        self.type_into_field(window, USER_NAME, "typed before unloading")
        with self.database.locked():
            self.close_window(window)
            self.choose_from_tray_menu(program, UNLOAD)
            self.answer_message(program, "Cannot save account changes.")
            self.answer_message(program, RETRY_QUESTION, "Escape", "dialog-retry-or-cancel")
        window = self.wait_main_window(program)
        self.assertEqual(self.read_field(window, USER_NAME), "typed before unloading")
        self.assertEqual(self.accounts("UserName"), saved)
        # Retry while the lock lasts fails again and asks again; once it is gone, Retry saves and the program ends.
        with self.database.locked():
            self.close_window(window)
            self.choose_from_tray_menu(program, UNLOAD)
            self.answer_message(program, "Cannot save account changes.")
            self.answer_message(program, RETRY_QUESTION)
            self.answer_message(program, "Cannot save account changes.")
            self.wait_message(program, RETRY_QUESTION)
        self.x.key("Return")
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.accounts("UserName"), ["typed before unloading", "saved after the wait"])

    def test_a_kill_during_a_burst_of_saves_leaves_a_sound_file_with_every_completed_save(self):
        def save_keys(letters):
            """From the list with the first account picked: type each letter as the first account's phone, pick the
            second (saving the first), type it as its phone and pick the first again (saving the second)."""
            return [key for letter in letters for pick in ("Down", "Up")
                    for key in ["shift+Tab"] * 3 + [letter] + ["Tab"] * 3 + [pick]]  # fmt: skip

        user_id = self.database.add_user(LOGIN_NAME, "pw")
        comment = "long text " * 500
        for name in ("First", "Second"):
            self.database.add_account(LOGIN_NAME, user_id, Account=name, Comment=comment)
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.focus_list(window)
        self.x.key(*save_keys("abc"))  # Tab into a field selects its text, so the letter replaces it
        self.wait_for("the saves before the burst", lambda: self.accounts("Phone") == ["c", "c"])
        letters = "defghijklmnopqrstuvwxyz"
        burst = subprocess.Popen(["xdotool", "key", "--delay", "2"] + save_keys(letters), env=self.display.env)
        self.helpers.append(burst)
        # The kill comes while the program works through the keys, whichever save it is in then.
        time.sleep(0.5)
        program.send_signal(signal.SIGKILL)
        self.assertEqual(self.wait_exit(program), -signal.SIGKILL)
        burst.wait(timeout=30)
        self.assertEqual(self.database.execute("PRAGMA integrity_check;"), ["ok"])
        first, second = (letters.index(phone) if phone in letters else -1 for phone in self.accounts("Phone"))
        # The saves alternate: the first account's save of a round completes before the second's.
        self.assertIn(second, (first - 1, first))
        self.assertEqual(self.accounts("Comment"), [comment, comment])
        # The next run works with the file as the kill left it.
        program = self.start_program()
        self.log_on(program, "pw")
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.database.execute("PRAGMA integrity_check;"), ["ok"])


if __name__ == "__main__":
    unittest.main()
