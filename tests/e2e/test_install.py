"""Installing: the files desktops look for, and the Debian package shared by several login accounts on one file."""

import grp
import os
import pwd
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path
from types import SimpleNamespace

from harness import (ADD_ACCOUNT_PLACE, LONG_WAIT, PROGRAM, USER_NAME, AccountFile, EndToEndTest, Program,
                     stop_process)  # fmt: skip

BUILD = PROGRAM.parent  # the program stands at the top of the build folder
ICONS = {s: "share/icons/hicolor/%dx%d/apps/tarnwick.png" % (s, s) for s in (16, 22, 24, 32, 48, 64, 128, 256)}
METAINFO = "share/metainfo/org.example.tarnwick.metainfo.xml"
FOLDER = Path("/var/lib/tarnwick")
DATABASE, JOURNAL = FOLDER / "AccountInfo.mdb", FOLDER / "AccountInfo.mdb-journal"
# Two members of the group and one outsider; each logs on to the program with its login name as password.
ALICE, BOB, EVE = "twe2e-alice", "twe2e-bob", "twe2e-eve"


def run(*command, **options):
    finished = subprocess.run(command, capture_output=True, text=True, timeout=600, **options)
    if finished.returncode != 0:
        raise AssertionError("%s failed: %s%s" % (" ".join(command), finished.stdout, finished.stderr))
    return finished.stdout


def owner_and_mode(path):
    return path.stat().st_uid, path.stat().st_gid, path.stat().st_mode & 0o7777


class InstallTest(unittest.TestCase):
    def test_install_puts_in_place_what_desktops_look_for(self):
        with tempfile.TemporaryDirectory(prefix="tarnwick-install-") as prefix:
            run("cmake", "--install", str(BUILD), "--prefix", prefix)
            root = Path(prefix)
            self.assertEqual({str(path.relative_to(root)) for path in root.rglob("*") if path.is_file()},
                             {"bin/tarnwick", "bin/tarnwick-newdb", "share/applications/tarnwick.desktop",
                              "share/man/man1/tarnwick.1", METAINFO, *ICONS.values()})  # fmt: skip
            # Width and height from each PNG's header.
            self.assertEqual({size: (int.from_bytes((root / path).read_bytes()[16:20], "big"), int.from_bytes(
                (root / path).read_bytes()[20:24], "big")) for size, path in ICONS.items()}, {s: (s, s) for s in ICONS})
            run("desktop-file-validate", str(root / "share/applications/tarnwick.desktop"))
            run("appstreamcli", "validate", "--no-net", str(root / METAINFO))
            page = run("man", "-l", str(root / "share/man/man1/tarnwick.1"), env=dict(os.environ, MANWIDTH="80"))
            self.assertIn("tarnwick-newdb PATH", page)


class PackageTest(EndToEndTest):
    """The package installed on this machine, used by three login accounts that the test creates: needs root on a
    machine nothing else depends on, as CI's is."""

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

    def start_as(self, name, wait_for_icon=True):
        """The installed program as this user, with a umask that would strip the group's bits from what it creates."""
        home, groups = self.homes / name, ["tarnwick"] if name != EVE else []
        env = self.env | {"HOME": str(home), "XDG_CONFIG_HOME": str(home / ".config"),
                          "XDG_RUNTIME_DIR": str(home / "runtime"), "USER": name, "LOGNAME": name}  # fmt: skip
        sandbox = SimpleNamespace(root=self.homes, home=home, program=Path("/usr/bin/tarnwick"))
        program = Program(sandbox, env, "%s-%d" % (name, len(self.programs) + 1), user=name, group=name,
                          extra_groups=groups, umask=0o077)  # fmt: skip
        self.programs.append(program)
        if wait_for_icon:
            self.wait_for("the tray icon of %s" % program.name, lambda: self.tray_icon(program), LONG_WAIT)
        return program

    def test_the_package_shares_one_file_between_the_members_of_its_group_and_keeps_it(self):
        packages = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-package-"))
        self.addCleanup(shutil.rmtree, packages, ignore_errors=True)
        run("cpack", "-G", "DEB", "-B", str(packages), cwd=BUILD)
        package = next(packages.glob("tarnwick_*.deb"))
        depends = run("dpkg-deb", "--field", str(package), "Depends")
        for dependency in ("adduser", "libsqlcipher0", "libqt6widgets6"):
            self.assertIn(dependency, depends)
        run("apt-get", "install", "-y", str(package), env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        group = grp.getgrnam("tarnwick").gr_gid
        self.assertEqual([owner_and_mode(FOLDER), owner_and_mode(DATABASE)], [(0, group, 0o2770), (0, group, 0o660)])
        database = AccountFile(DATABASE)
        self.assertEqual((database.users(), database.accounts()), ([], []))
        for name in ALICE, BOB, EVE:
            groups = ["-G", "tarnwick"] if name != EVE else []
            run("useradd", "--no-create-home", "--home-dir", str(self.homes / name), *groups, name)
            self.addCleanup(subprocess.run, ["userdel", name], capture_output=True)
            for folder in ("", ".config", "runtime"):
                (self.homes / name / folder).mkdir(mode=0o700)
                os.chown(self.homes / name / folder, pwd.getpwnam(name).pw_uid, pwd.getpwnam(name).pw_gid)
        self.addCleanup(lambda: [stop_process(program) for program in self.programs])  # before the users go

        # Both members run the program at once; each registers and adds an account, saved at unload.
        for program, name in [(self.start_as(name), name) for name in (ALICE, BOB)]:
            self.double_click_icon(program)
            self.message(program, "User %s not found, register?" % name)
            self.message(program, "Please enter password for new user.")
            self.enter_password(program, name, name, name, "Return")
            window = self.wait_main_window(program)
            self.x.click(window, self.point(window, ADD_ACCOUNT_PLACE))
            self.type_into_field(window, USER_NAME, name + " at the bank")
            self.assertEqual(self.unload(program), 0)
        users = {user["UserName"]: user["ID"] for user in database.users()}
        self.assertEqual(sorted(users), [ALICE, BOB])
        self.assertEqual(sorted((account["UserID"], account["UserName"]) for account in database.accounts()),
                         sorted((users[name], name + " at the bank") for name in (ALICE, BOB)))  # fmt: skip

        # A kill in the middle of one member's save leaves its journal, which the other member's run rolls back.
        database.add_account(users[ALICE], Account="Second", Comment="long text " * 500)
        alice = self.start_as(ALICE)
        self.pick_account(self.log_on(alice, ALICE, user=ALICE), "Home")
        # From the list: type a letter as the phone of one account, then pick the other, which saves the first.
        keys = [key for letter in "abcdefghijklmnopqrstuvwxyz" for pick in ("Down", "Up")
                for key in ["shift+Tab"] * 3 + [letter] + ["Tab"] * 3 + [pick]]  # fmt: skip
        self.helpers.append(subprocess.Popen(["xdotool", "key", "--delay", "2"] + keys, env=self.display.env))
        deadline = time.monotonic() + LONG_WAIT
        while not JOURNAL.exists() and time.monotonic() < deadline:
            pass  # a save lasts milliseconds: a poll with pauses would miss most
        alice.send_signal(signal.SIGKILL)
        self.wait_exit(alice)
        self.helpers[-1].wait(timeout=30)
        self.assertEqual(owner_and_mode(JOURNAL), (pwd.getpwnam(ALICE).pw_uid, group, 0o660))
        bob = self.start_as(BOB)
        self.type_into_field(self.log_on(bob, BOB, user=BOB), USER_NAME, "bob after the kill")
        self.assertEqual(self.unload(bob), 0)
        self.assertFalse(JOURNAL.exists())
        self.assertEqual(database.execute("PRAGMA integrity_check;"), ["ok"])
        self.assertEqual([row["UserName"] for row in database.accounts(users[BOB])], ["bob after the kill"])

        # Someone outside the group is told how to get access, and the file stays as it was.
        before = DATABASE.read_bytes()
        eve = self.start_as(EVE, wait_for_icon=False)
        self.message(eve, "Cannot open database.\nYou may not read and write %s. Ask an administrator to add you to the "
                     "group tarnwick (adduser %s tarnwick), then log out and in again." % (DATABASE, EVE), "Return",
                     "dialog-cannot-open-database-no-access")  # fmt: skip
        self.assertGreater(self.wait_exit(eve), 0)
        self.assertEqual(DATABASE.read_bytes(), before)
        # Removing the package, and purging it, leaves the database.
        run("apt-get", "remove", "-y", "tarnwick")
        self.assertFalse(Path("/usr/bin/tarnwick").exists())
        self.assertEqual(DATABASE.read_bytes(), before)
        run("apt-get", "purge", "-y", "tarnwick")
        self.assertEqual(DATABASE.read_bytes(), before)


if __name__ == "__main__":
    unittest.main()
