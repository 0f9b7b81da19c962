"""Installing: the files desktops look for, and the Debian package shared by several login accounts on one file."""

import grp
import os
import pwd
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import unittest
from pathlib import Path
from types import SimpleNamespace

from harness import (ADD_ACCOUNT_PLACE, LONG_WAIT, PROGRAM, TITLE, USER_NAME, AccountFile, EndToEndTest, Program,
                     stop_process)  # fmt: skip

BUILD = PROGRAM.parent  # the program stands at the top of the build folder
ICONS = {size: "share/icons/hicolor/%dx%d/apps/tarnwick.png" % (size, size)
         for size in (16, 22, 24, 32, 48, 64, 128, 256)}  # fmt: skip
INSTALLED = {"bin/tarnwick", "bin/tarnwick-newdb", "share/applications/tarnwick.desktop", "share/man/man1/tarnwick.1",
             "share/metainfo/org.example.tarnwick.metainfo.xml", *ICONS.values()}  # fmt: skip
GROUP, FOLDER = "tarnwick", Path("/var/lib/tarnwick")
DATABASE = FOLDER / "AccountInfo.mdb"
JOURNAL = FOLDER / "AccountInfo.mdb-journal"
# Two members of the group and one outsider; each logs on to the program with its login name as password.
MEMBERS, OUTSIDER = ("twe2e-alice", "twe2e-bob"), "twe2e-eve"


def run(*command, **options):
    finished = subprocess.run(command, capture_output=True, text=True, timeout=600, **options)
    if finished.returncode != 0:
        raise AssertionError("%s failed: %s%s" % (" ".join(command), finished.stdout, finished.stderr))
    return finished.stdout


def png_size(path):
    """Width and height from a PNG's header."""
    header = path.read_bytes()[16:24]
    return int.from_bytes(header[:4], "big"), int.from_bytes(header[4:], "big")


def owner_and_mode(path):
    status = path.stat()
    return status.st_uid, status.st_gid, stat.S_IMODE(status.st_mode)


class InstallTest(unittest.TestCase):
    def test_install_puts_in_place_what_desktops_look_for(self):
        with tempfile.TemporaryDirectory(prefix="tarnwick-install-") as prefix:
            run("cmake", "--install", str(BUILD), "--prefix", prefix)
            root = Path(prefix)
            self.assertEqual({str(path.relative_to(root)) for path in root.rglob("*") if path.is_file()}, INSTALLED)
            self.assertEqual({size: png_size(root / path) for size, path in ICONS.items()}, {s: (s, s) for s in ICONS})
            run("desktop-file-validate", str(root / "share/applications/tarnwick.desktop"))
            run("appstreamcli", "validate", "--no-net", str(root / "share/metainfo/org.example.tarnwick.metainfo.xml"))
            page = run("man", "-l", str(root / "share/man/man1/tarnwick.1"), env=dict(os.environ, MANWIDTH="80"))
            self.assertIn("tarnwick-newdb PATH", page)


class PackageTest(EndToEndTest):
    """The package installed on this machine, used by three login accounts that the test creates: needs root on a
    machine nothing else depends on, as CI's is."""

    def setUp(self):
        if os.geteuid() != 0 or shutil.which("apt-get") is None:
            self.skipTest("installs a package and creates users: needs root on a Debian machine")
        if FOLDER.exists() or subprocess.run(["getent", "group", GROUP], capture_output=True).returncode == 0:
            self.skipTest("Tarnwick's group or data folder exists here already")
        super().setUp()
        # Undone in reverse: the programs stop, then the users, the package, the folder and the group go.
        self.addCleanup(subprocess.run, ["groupdel", GROUP], capture_output=True)
        self.addCleanup(shutil.rmtree, FOLDER, ignore_errors=True)
        self.addCleanup(subprocess.run, ["apt-get", "purge", "-y", "tarnwick"], capture_output=True)
        self.homes = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-homes-"))
        self.homes.chmod(0o755)
        self.addCleanup(shutil.rmtree, self.homes, ignore_errors=True)

    def add_user(self, name, member):
        run("useradd", "--no-create-home", "--home-dir", str(self.homes / name), *(["-G", GROUP] * member), name)
        self.addCleanup(subprocess.run, ["userdel", name], capture_output=True)
        account = pwd.getpwnam(name)
        for folder in ("", ".config", "runtime"):
            (self.homes / name / folder).mkdir(mode=0o700)
            os.chown(self.homes / name / folder, account.pw_uid, account.pw_gid)

    def start_as(self, name, groups, wait_for_icon=True):
        """The installed program started as this user in the groups, with its own home, configuration and runtime
        folder, and a umask that would strip the group's bits from anything it creates."""
        home = self.homes / name
        env = self.env | {"HOME": str(home), "XDG_CONFIG_HOME": str(home / ".config"),
                          "XDG_RUNTIME_DIR": str(home / "runtime"), "USER": name, "LOGNAME": name}  # fmt: skip
        sandbox = SimpleNamespace(root=self.homes, home=home, program=Path("/usr/bin/tarnwick"))
        program = Program(sandbox, env, "%s-%d" % (name, len(self.programs) + 1), user=name, group=name,
                          extra_groups=groups, umask=0o077)  # fmt: skip
        self.programs.append(program)
        if wait_for_icon:
            self.wait_for("the tray icon of %s" % program.name, lambda: self.tray_icon(program), LONG_WAIT)
        return program

    def register(self, program, name):
        """Registers the login name with its own name as password and adds one account; returns the window."""
        self.double_click_icon(program)
        self.answer_message(program, "User %s not found, register?" % name)
        self.answer_message(program, "Please enter password for new user.")
        self.wait_dialog(program, "Enter password for user " + name)
        self.x.type(name, "Tab")
        self.x.type(name, "Return")
        window = self.wait_main_window(program)
        self.x.click(window, self.point(window, ADD_ACCOUNT_PLACE))
        self.type_into_field(window, USER_NAME, name + " at the bank")
        return window

    def message_box_text(self, window):
        """All the text of a message box, selected with the mouse from its first character to its last line's end."""
        width, height, data = self.x.pixels(window)

        def ink(x, y):
            pixel = data[(y * width + x) * 3 : (y * width + x) * 3 + 3]
            return sum(pixel) < 300 and max(pixel) - min(pixel) < 40

        # The text stands right of the icon and above the buttons.
        points = [(x, y) for y in range(height - 42) for x in range(56, width) if ink(x, y)]
        left, top, bottom = min(x for x, _ in points), min(y for _, y in points), max(y for _, y in points)
        return self.grab("primary", lambda: self.x.call(
            "xdotool", "mousemove", "--window", str(window), str(left), str(top + 4), "mousedown", "1",
            "mousemove", "--window", str(window), str(width - 2), str(bottom - 4), "mouseup", "1"))  # fmt: skip

    def test_the_package_shares_one_file_between_the_members_of_its_group_and_keeps_it(self):
        packages = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-package-"))
        self.addCleanup(shutil.rmtree, packages, ignore_errors=True)
        run("cpack", "-G", "DEB", "-B", str(packages), cwd=BUILD)
        package = next(packages.glob("tarnwick_*.deb"))
        depends = run("dpkg-deb", "--field", str(package), "Depends")
        for dependency in ("adduser", "libsqlcipher0", "libqt6widgets6"):
            self.assertIn(dependency, depends)
        run("apt-get", "install", "-y", str(package), env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))
        group = grp.getgrnam(GROUP).gr_gid
        self.assertEqual([owner_and_mode(FOLDER), owner_and_mode(DATABASE)], [(0, group, 0o2770), (0, group, 0o660)])
        database = AccountFile(DATABASE)
        self.assertEqual((database.users(), database.accounts()), ([], []))

        for name in MEMBERS:
            self.add_user(name, True)
        self.add_user(OUTSIDER, False)
        self.addCleanup(lambda: [stop_process(program) for program in self.programs])
        # Both members run the program at once; each registers and adds an account, saved at unload.
        alice, bob = (self.start_as(name, [GROUP]) for name in MEMBERS)
        for program, name in ((alice, MEMBERS[0]), (bob, MEMBERS[1])):
            self.register(program, name)
            self.assertEqual(self.unload(program), 0)
        users = {user["UserName"]: user["ID"] for user in database.users()}
        self.assertEqual(sorted(users), sorted(MEMBERS))
        self.assertEqual(sorted((account["UserID"], account["UserName"]) for account in database.accounts()),
                         sorted((users[name], name + " at the bank") for name in MEMBERS))  # fmt: skip

        # A kill in the middle of one member's save leaves its journal, which the other member's run rolls back.
        database.add_account(MEMBERS[0], users[MEMBERS[0]], Account="Second", Comment="long text " * 500)
        alice = self.start_as(MEMBERS[0], [GROUP])
        window = self.log_on(alice, MEMBERS[0], user=MEMBERS[0])
        self.focus_list(window)
        keys = [key for letter in "abcdefghijklmnopqrstuvwxyz" for pick in ("Down", "Up")
                for key in ["shift+Tab"] * 3 + [letter] + ["Tab"] * 3 + [pick]]  # fmt: skip
        burst = subprocess.Popen(["xdotool", "key", "--delay", "2"] + keys, env=self.display.env)
        self.helpers.append(burst)
        deadline = time.monotonic() + LONG_WAIT
        while not JOURNAL.exists() and time.monotonic() < deadline:
            pass  # a save lasts milliseconds: a poll with pauses would miss most
        alice.send_signal(signal.SIGKILL)
        self.wait_exit(alice)
        burst.wait(timeout=30)
        self.assertEqual(owner_and_mode(JOURNAL), (pwd.getpwnam(MEMBERS[0]).pw_uid, group, 0o660))
        bob = self.start_as(MEMBERS[1], [GROUP])
        window = self.log_on(bob, MEMBERS[1], user=MEMBERS[1])
        self.type_into_field(window, USER_NAME, "bob after the kill")
        self.assertEqual(self.unload(bob), 0)
        self.assertFalse(JOURNAL.exists())
        self.assertEqual(database.execute("PRAGMA integrity_check;"), ["ok"])
        self.assertEqual([row["UserName"] for row in database.accounts(users[MEMBERS[1]])], ["bob after the kill"])

        # Someone outside the group is told how to get access, and the file stays as it was.
        before = DATABASE.read_bytes()
        eve = self.start_as(OUTSIDER, [], wait_for_icon=False)
        window = self.wait_dialog(eve, TITLE)
        self.screenshot("dialog-cannot-open-database-no-access", window)
        self.assertEqual(self.message_box_text(window), "Cannot open database.\nYou may not read and write %s. Ask an "
                         "administrator to add you to the group tarnwick (adduser %s tarnwick), then log out and in "
                         "again." % (DATABASE, OUTSIDER))  # fmt: skip
        self.x.key("Return")
        self.wait_gone(window, "the message")
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
