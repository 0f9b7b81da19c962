import grp
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path
from types import SimpleNamespace

from harness import LONG_WAIT, PROGRAM, SHELL_KEY, USER_NAME, AccountFile, EndToEndTest, run, stop_process

BUILD = PROGRAM.parent  # the program stands at the top of the build folder
FOLDER = Path("/var/lib/tarnwick")
DATABASE = FOLDER / "AccountInfo.mdb"
JOURNAL = FOLDER / "AccountInfo.mdb-journal"
# Two members of the group and one outsider; each logs on to the program with its login name as password.
ALICE, BOB, EVE = "twe2e-alice", "twe2e-bob", "twe2e-eve"
SLOW = 600  # a build, a package or an install

class PackageTest(EndToEndTest):  # installs on this machine and adds users: for a machine nothing depends on, as CI's
    def setUp(self):
        if os.geteuid() != 0 or shutil.which("apt-get") is None:
            self.skipTest("installs a package and creates users: needs root on a Debian machine")
        if FOLDER.exists() or subprocess.run(["getent", "group", "tarnwick"], capture_output=True).returncode == 0:
            self.skipTest("Tarnwick's group or data folder exists here already")
        super().setUp()
        # Undone in reverse: the programs stop, then the users, the package, the folder and the group go.
        self.addCleanup(subprocess.run, ["groupdel", "tarnwick"], capture_output=True)
        self.addCleanup(shutil.rmtree, FOLDER, ignore_errors=True)
        self.addCleanup(subprocess.run, ["apt-get", "purge", "-y", "tarnwick"], capture_output=True)
        self.homes = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-homes-"))
        self.homes.chmod(0o755)
        self.addCleanup(shutil.rmtree, self.homes, ignore_errors=True)

    def start_as(self, name, wait_for_icon=True):  # with a umask that would strip the group's bits from its files
        home = self.homes / name
        env = self.env | {"HOME": str(home), "XDG_CONFIG_HOME": str(home / ".config"),
                          "XDG_RUNTIME_DIR": str(home / "runtime"), "USER": name, "LOGNAME": name}  # fmt: skip
        return self.start_program(wait_for_icon, SimpleNamespace(root=self.homes, home=home, program=Path(
            "/usr/bin/tarnwick")), env, user=name, group=name, extra_groups=["tarnwick"] * (name != EVE), umask=0o077)

    def test_the_package_shares_one_file_between_the_members_of_its_group_and_keeps_it(self):
        run("cpack", "-G", "DEB", "-B", str(self.homes / "package"), cwd=BUILD, timeout=SLOW)
        self.package = next((self.homes / "package").glob("tarnwick_*.deb"))
        depends = run("dpkg-deb", "--field", str(self.package), "Depends")
        self.assertEqual([name for name in ("adduser", "libssl3", "libqt6widgets6") if name not in depends], [])
        self.assertNotIn("sqlcipher", depends)  # compiled in
        lintian = subprocess.run(["lintian", "--allow-root", "--fail-on", "error,warning", str(self.package)],
                                 capture_output=True, text=True, timeout=SLOW)  # fmt: skip
        self.assertEqual((lintian.returncode, lintian.stdout), (0, ""), lintian.stderr)

        self.install()
        group = grp.getgrnam("tarnwick").gr_gid
        self.assertEqual([(path.stat().st_uid, path.stat().st_gid, path.stat().st_mode & 0o7777) for path in (FOLDER,
                          DATABASE, JOURNAL)], [(0, group, 0o3770), (0, group, 0o660), (0, group, 0o660)])  # fmt: skip
        database = AccountFile(DATABASE)
        self.assertEqual((database.users(), database.accounts()), ([], []))
        for name in ALICE, BOB, EVE:
            run("useradd", "--no-create-home", "--home-dir", str(self.homes / name), *["-G", "tarnwick"] * (name != EVE),
                name)  # fmt: skip
            self.addCleanup(subprocess.run, ["userdel", name], capture_output=True)
            for folder in ("", ".config", "runtime"):
                (self.homes / name / folder).mkdir(mode=0o700)
                shutil.chown(self.homes / name / folder, name, name)
        self.addCleanup(lambda: [stop_process(program) for program in self.programs])  # before the users go

        for program, name in [(self.start_as(name), name) for name in (ALICE, BOB)]:
            self.double_click_icon(program)
            self.message(program, "User %s not found, register?" % name)
            self.message(program, "Please enter password for new user.")
            self.enter_password(program, name, name, name, "Return")
            self.wait_main_window(program)
            self.click(program, "Add account")
            self.type_into_field(program, USER_NAME, name + " at the bank")
            self.assertEqual(self.unload(program), 0)
        users = {user["UserName"]: user["ID"] for user in database.users()}
        self.assertEqual(sorted(users), [ALICE, BOB])
        self.assertEqual(sorted((account["UserID"], account["UserName"]) for account in database.accounts()),
                         sorted((users[name], name + " at the bank") for name in (ALICE, BOB)))  # fmt: skip

        # A member can neither replace the database nor put a link where a save writes its journal. Whatever a member
        # puts there when it is missing (an administrator's sqlcipher session deletes it) the package leaves alone,
        # ending configured, and every program refuses at once: a save fails and keeps the edit, a start says why.
        planted = str(self.homes / BOB / "planted")
        for path in DATABASE, JOURNAL:
            self.assertNotEqual(self.as_member("ln", "-sfn", planted, str(path)).returncode, 0)
        bob, before = self.start_as(BOB), DATABASE.read_bytes()
        self.log_on(bob, BOB, user=BOB)
        self.type_into_field(bob, USER_NAME, "saved past what was planted")
        for plant in ["ln", "-s", planted], ["mkfifo"], ["ln", str(DATABASE)]:
            JOURNAL.unlink()
            self.assertEqual(self.as_member(*plant, str(JOURNAL)).returncode, 0)
            self.install()
            self.assertTrue(JOURNAL.is_symlink() or not JOURNAL.is_file() or JOURNAL.stat().st_nlink == 2)
            self.click(bob, "Add account")  # which saves the edit first
            self.message(bob, "Cannot save account changes.")
        alice = self.start_as(ALICE, wait_for_icon=False)
        self.message(alice, "Cannot open database.\n'%s' has another name too (a hard link); that other name must be "
                     "removed." % DATABASE)  # fmt: skip
        self.assertGreater(self.wait_exit(alice), 0)
        self.assertEqual(DATABASE.read_bytes(), before)
        JOURNAL.unlink()  # as an administrator would
        self.install()
        self.assertEqual((JOURNAL.is_symlink(), JOURNAL.stat().st_uid, JOURNAL.stat().st_gid), (False, 0, group))
        self.assertEqual(self.unload(bob), 0)
        # A save cut short leaves the journal the package made, which the next member's run rolls back. A tiny page
        # cache makes the engine write into the file before the end of the save.
        cut = subprocess.Popen(["sqlcipher", "-batch", str(DATABASE)], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               text=True, user=ALICE, group=ALICE, extra_groups=["tarnwick"], umask=0o077)  # fmt: skip
        cut.stdin.write(SHELL_KEY + "PRAGMA cache_size=2;\nBEGIN;\nWITH RECURSIVE n(i) AS (SELECT 1 "
                        "UNION ALL SELECT i + 1 FROM n WHERE i < 300) INSERT INTO Accounts (UserID, Comment) SELECT 1, "
                        "hex(randomblob(500)) FROM n;\n")  # fmt: skip
        cut.stdin.flush()
        self.wait_for("the cut save's journal", lambda: JOURNAL.exists() and any(JOURNAL.read_bytes()[:8]))
        cut.kill()
        cut.communicate()
        self.assertEqual((JOURNAL.stat().st_uid, JOURNAL.stat().st_gid, JOURNAL.stat().st_mode & 0o777), (0, group, 0o660))
        bob = self.start_as(BOB)
        self.log_on(bob, BOB, user=BOB)
        self.assertEqual(JOURNAL.read_bytes()[:8], bytes(8))
        self.assertEqual(self.unload(bob), 0)
        self.assertEqual((len(database.accounts()), database.execute("PRAGMA integrity_check;")), (2, ["ok"]))
        self.assertIn("saved past what was planted", [account["UserName"] for account in database.accounts()])
        self.assertEqual(sorted(path.name for path in (self.homes / BOB).iterdir()), [".config", "runtime"])
        self.check_database_links()

        before = DATABASE.read_bytes()
        eve = self.start_as(EVE, wait_for_icon=False)
        self.message(eve, "Cannot open database.\nYou may not read and write %s. Ask an administrator to add you to the "
                     "group tarnwick (adduser %s tarnwick), then log out and in again." % (DATABASE, EVE), "Return",
                     "dialog-cannot-open-database-no-access")  # fmt: skip
        self.assertGreater(self.wait_exit(eve), 0)
        self.assertEqual(DATABASE.read_bytes(), before)
        run("apt-get", "purge", "-y", "tarnwick", timeout=SLOW)  # removed and purged: the members' file stays
        self.assertEqual((Path("/usr/bin/tarnwick").exists(), DATABASE.read_bytes()), (False, before))
        # Purged without a database, a member's folder where the journal was is left alone, and the purge ends.
        self.install()
        DATABASE.rename(FOLDER.parent / "tarnwick-e2e-kept.mdb")
        self.addCleanup((FOLDER.parent / "tarnwick-e2e-kept.mdb").unlink)
        JOURNAL.unlink()
        self.assertEqual(self.as_member("mkdir", str(JOURNAL)).returncode, 0)
        run("apt-get", "purge", "-y", "tarnwick", timeout=SLOW)
        self.assertEqual((run("dpkg-query", "--show", "tarnwick", check=False), JOURNAL.is_dir()), ("", True))

    def install(self):  # whatever it finds, the package ends configured
        run("apt-get", "install", "--reinstall", "-y", str(self.package), timeout=SLOW,
            env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))  # fmt: skip
        self.assertEqual(run("dpkg-query", "--show", "--showformat=${Status}", "tarnwick"), "install ok installed")

    def as_member(self, *command):
        return subprocess.run(command, capture_output=True, text=True, user=ALICE, group=ALICE,
                              extra_groups=["tarnwick"], timeout=LONG_WAIT)  # fmt: skip

    def check_database_links(self):
        # A link where the database was, to a file of root's or to nothing, is left alone: its target keeps owner,
        # mode and bytes, and nothing is made at a dangling one.
        kept = FOLDER / "kept.mdb"
        DATABASE.rename(kept)
        secret = Path("/root/tarnwick-e2e-secret")
        secret.write_bytes(b"root's own\n")
        secret.chmod(0o600)
        self.addCleanup(secret.unlink)
        nothing = Path("/tmp/tarnwick-e2e-nothing")
        for target in secret, nothing:
            self.assertEqual(self.as_member("ln", "-sfn", str(target), str(DATABASE)).returncode, 0)
            self.install()
            self.assertTrue(DATABASE.is_symlink())
        self.assertEqual((secret.stat().st_uid, secret.stat().st_mode & 0o7777, secret.read_bytes()),
                         (0, 0o600, b"root's own\n"))  # fmt: skip
        self.assertFalse(nothing.exists())
        kept.rename(DATABASE)


if __name__ == "__main__":
    unittest.main()
