"""Faults the program meets in its database: files it cannot open, another process holding the file locked, and
being killed while it saves."""

import random
import signal
import subprocess
import time
import unittest

from harness import (
    ACCOUNT,
    LOGIN_NAME,
    USER_NAME,
    EndToEndTest,
    WriteLock,
)


class UnusableDatabaseTest(EndToEndTest):
    def write_other_database(self, key, tables):
        self.sandbox.database_path.unlink()
        self.database.execute(
            "PRAGMA encoding = 'UTF-16le';\n"
            + "\n".join('CREATE TABLE "%s" (%s);' % (name, columns) for name, columns in tables),
            key=key,
        )

    def test_a_database_that_cannot_be_opened_is_reported_and_left_as_it_was(self):
        all_tables = [
            ("User", '"ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserName" TEXT, "Password" TEXT'),
            ("Accounts", '"ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserID" INTEGER, "Account" TEXT'),
            ("Parameters", '"Name" TEXT, "Value" TEXT'),
        ]
        path = self.sandbox.database_path
        cases = {
            "missing": path.unlink,
            "empty": lambda: path.write_bytes(b""),
            "random bytes": lambda: path.write_bytes(random.Random(7).randbytes(16384)),
            "another key": lambda: self.write_other_database("not the key", all_tables),
            "no Accounts table": lambda: self.write_other_database("wendrapolix", all_tables[::2]),
        }
        for name, make in cases.items():
            with self.subTest(name):
                if path.exists():
                    path.unlink()
                self.sandbox.create_database()
                make()
                before = path.read_bytes() if path.exists() else None
                program = self.start_program(wait_for_icon=False)
                window = self.wait_message(program, "Cannot open database.", "dialog-cannot-open-database")
                self.assertIsNone(self.tray_icon(program))
                self.x.key("Return")
                self.wait_gone(window, "the message")
                status = self.wait_exit(program)
                self.assertGreater(status, 0, "ends with an error status, not a signal")
                self.assertNotIn("Sanitizer", program.stderr())
                self.assertEqual(path.read_bytes() if path.exists() else None, before)


class LockedDatabaseTest(EndToEndTest):
    def setUp(self):
        super().setUp()
        self.user_id = self.database.add_user(LOGIN_NAME, "pw")
        self.first = self.database.add_account(LOGIN_NAME, self.user_id, Account="First", UserName="one")
        self.second = self.database.add_account(LOGIN_NAME, self.user_id, Account="Second", UserName="two")

    def stored_user_names(self):
        return [account["UserName"] for account in self.database.accounts()]

    def test_a_lock_held_longer_than_the_save_waits_fails_the_save_and_keeps_the_typed_text(self):
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.type_into_field(window, USER_NAME, "typed while locked")
        lock = WriteLock(self.database)
        try:
            self.pick_next_account(window)
            self.wait_message(program, "Cannot save account changes.", "dialog-cannot-save")
        finally:
            lock.release()
        self.x.key("Return")
        self.wait_for("the message to close", lambda: not self.dialogs(program))

        # The typed text is still shown, on its own account, and the next pick saves it.
        self.assertEqual(self.read_field(window, ACCOUNT), "First")
        self.assertEqual(self.read_field(window, USER_NAME), "typed while locked")
        self.assertEqual(self.stored_user_names(), ["one", "two"])
        self.pick_next_account(window)
        self.wait_for("the save", lambda: self.stored_user_names() == ["typed while locked", "two"])
        self.assertEqual(self.read_field(window, ACCOUNT), "Second")
        self.assertEqual(self.unload(program), 0)

    def test_a_lock_held_a_moment_only_delays_the_save(self):
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.type_into_field(window, USER_NAME, "saved after the wait")
        lock = WriteLock(self.database)
        try:
            self.pick_next_account(window)
            time.sleep(1.5)
        finally:
            lock.release()
        self.wait_for("the save", lambda: self.stored_user_names() == ["saved after the wait", "two"])
        self.assertEqual(self.dialogs(program), [])
        self.assertEqual(self.read_field(window, ACCOUNT), "Second")
        self.assertEqual(self.unload(program), 0)


class KilledWhileSavingTest(EndToEndTest):
    @staticmethod
    def save_keys(letters):
        """Keys that, from the account list with the first account picked, type each letter as the phone of the
        first account, pick the second (saving the first), type it as the second's phone and pick the first
        again (saving the second). Tab into a field selects its text, so the letter replaces it."""
        keys = []
        for letter in letters:
            for pick in ("Down", "Up"):
                keys += ["shift+Tab"] * 3 + [letter] + ["Tab"] * 3 + [pick]
        return keys

    def test_a_kill_during_a_burst_of_saves_leaves_a_sound_file_with_every_completed_save(self):
        user_id = self.database.add_user(LOGIN_NAME, "pw")
        comment = "long text " * 500
        for name in ("First", "Second"):
            self.database.add_account(LOGIN_NAME, user_id, Account=name, Comment=comment)
        program = self.start_program()
        window = self.log_on(program, "pw")
        self.focus_list(window)
        self.x.key(*self.save_keys("abc"))
        self.wait_for("the saves before the burst", lambda: self.phones() == ["c", "c"])

        letters = "defghijklmnopqrstuvwxyz"
        burst = subprocess.Popen(
            ["xdotool", "key", "--delay", "2"] + self.save_keys(letters), env=self.display.env
        )
        self.helpers.append(burst)
        # The kill comes while the program works through the keys, whichever save it is in then.
        time.sleep(0.5)
        program.signal(signal.SIGKILL)
        self.assertEqual(self.wait_exit(program), -signal.SIGKILL)
        burst.wait(timeout=30)

        self.assertEqual(self.database.integrity(), ["ok"])
        first, second = (letters.index(phone) if phone in letters else -1 for phone in self.phones())
        # The saves alternate: the first account's save of a round completes before the second's.
        self.assertIn(second, (first - 1, first))
        self.assertEqual([account["Comment"] for account in self.database.accounts()], [comment, comment])
        # The next run works with the file as the kill left it.
        program = self.start_program()
        self.log_on(program, "pw")
        self.assertEqual(self.unload(program), 0)
        self.assertEqual(self.database.integrity(), ["ok"])

    def phones(self):
        return [account["Phone"] for account in self.database.accounts()]


if __name__ == "__main__":
    unittest.main()
