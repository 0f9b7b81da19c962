"""The real program on a private X server, driven as a person does and read back from the desktop and its file."""

import contextlib
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path
from types import SimpleNamespace

import dbus
import pyatspi
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

REPOSITORY = Path(__file__).resolve().parents[2]
PROGRAM = Path(os.environ.get("TARNWICK_PROGRAM", REPOSITORY / "build" / "tarnwick"))
NEWDB = Path(os.environ.get("TARNWICK_NEWDB", REPOSITORY / "build" / "tarnwick-newdb"))
SCREENSHOTS = Path(os.environ.get("TARNWICK_E2E_SCREENSHOTS", REPOSITORY / "build" / "e2e-screenshots"))
TITLE, LOGIN_NAME, PASSWORD_TITLE = "Tarnwick", pwd.getpwuid(os.geteuid()).pw_name, "Enter password for user %s"
SCREEN_SIZE, SHORT_WAIT, LONG_WAIT = (1024, 768), 5.0, 15.0
# The main window's fields by their accessible names, and the columns that store them.
FIELDS = ACCOUNT, USER_NAME, PASSWORD, URL, PHONE, COMMENT = ("Account name", "User name", "Password", "URL", "Phone",
                                                              "Additional text")  # fmt: skip
FIELD_COLUMNS = ["Account", "UserName", "Password", "URL", "Phone", "Comment"]
WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
ITEM, MENU, PROPERTIES = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu", "org.freedesktop.DBus.Properties"
BEFORE_LOGON, AFTER_LOGON = (["_Log in", "-", "_Unload", "-", "_Leave menu"],
                              ["_Open", "-", "_Unload", "-", "_Leave menu"])  # the exported menu's labels
DESKTOP_USER = "twe2e-desktop"  # runs the desktop shells and the program under them
# A bus that starts no services on demand (they would outlive the test), open to the users the programs run as.
BUS_CONFIG = """<busconfig><type>%s</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth><policy
context="default"><allow user="*"/><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>"""
MAIN_LOOP = DBusGMainLoop()  # the test hears the signals it listens for while poll() turns GLib's default context
MENUS = []  # the popup menus as they showed: no application lists them among its children


def poll(condition, timeout=LONG_WAIT):
    deadline = time.monotonic() + timeout
    while True:
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            value = condition()
        except (GLib.Error, dbus.DBusException):  # an object gone while it was read, a bus name not there yet
            value = None
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(0.05)


def accepts(path):  # whether a Unix socket there takes connections
    with socket.socket(socket.AF_UNIX) as client:
        return client.connect_ex(str(path)) == 0


def stop_process(process, grace=SHORT_WAIT):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            process.kill()
    return process.wait()


def run(*command, check=True, timeout=10, **options):  # the output as text
    finished = subprocess.run(command, capture_output=True, text=True, timeout=timeout, **options)
    if check and finished.returncode != 0:
        raise AssertionError("%s failed: %s%s" % (" ".join(command), finished.stdout, finished.stderr.strip()))
    return finished.stdout


def add_user(name, home="/nonexistent"):  # left over from a killed run or created now
    created = subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--home-dir", str(home),
                              "--shell", "/usr/sbin/nologin", name], capture_output=True, text=True)  # fmt: skip
    if created.returncode not in (0, 9):
        raise AssertionError("useradd %s failed: %s" % (name, created.stderr.strip()))
    return {"user": name, "group": name, "extra_groups": []}


def call(bus, destination, path, method, signature="", *args):  # method as "interface.Member"
    interface, member = method.rsplit(".", 1)
    return bus.call_blocking(destination, path, interface, member, signature, args, timeout=SHORT_WAIT)


def status_item(bus, pid):  # the bus name and path of the process's StatusNotifierItem
    for entry in call(bus, *WATCHER, PROPERTIES + ".Get", "ss", WATCHER[0], "RegisteredStatusNotifierItems"):
        name, path = re.fullmatch(r"([^/@]+)@?(/.*)", entry).groups()  # "bus/path", or "bus@path" as GNOME's
        if call(bus, "org.freedesktop.DBus", "/", "org.freedesktop.DBus.GetConnectionUnixProcessID", "s", name) == pid:
            return name, path


def exported_menu(bus, item):
    """The menu's object path and its visible entries as a host reads them: (label, id), "-" for a separator."""
    path = call(bus, *item, PROPERTIES + ".Get", "ss", ITEM, "Menu")
    call(bus, item[0], path, MENU + ".AboutToShow", "i", 0)
    _, (_, _, entries) = call(bus, item[0], path, MENU + ".GetLayout", "iias", 0, -1, [])
    return path, [("-" if entry.get("type") == "separator" else str(entry["label"]), int(number))
                  for number, entry, _ in entries if entry.get("visible", True)]  # fmt: skip


def menu_labels(bus, item):
    return [label for label, _ in exported_menu(bus, item)[1]]


def click_exported(bus, item, label, read=None):  # as a host does, by the ids of the menu read now or before
    path, entries = read or exported_menu(bus, item)
    call(bus, item[0], path, MENU + ".Event", "isvu", dict(entries)[label], "clicked", 0, 0)


def nodes(accessible):  # the object and all below it
    yield accessible
    for child in accessible:
        if child is not None:
            yield from nodes(child)


def showing(accessible):  # one gone shows nothing
    with contextlib.suppress(GLib.Error):
        return accessible.getState().contains(pyatspi.STATE_SHOWING)


def application(pid):  # the program's object in the accessibility tree, once it has joined; GTK may join in it too
    return next((app for app in pyatspi.Registry.getDesktop(0)
                 if app and app.get_process_id() == pid and app.toolkitName == "Qt"), None)  # fmt: skip


def extents(accessible):  # on the screen: x, y, width, height
    box = accessible.get_extents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def menu_shown(event):
    with contextlib.suppress(GLib.Error):  # by now the source of an older event may be gone
        if event.detail1 and event.source.getRole() == pyatspi.ROLE_POPUP_MENU:
            MENUS.append(event.source)


def open_menu():  # the popup menu that shows, if any
    return next((menu for menu in reversed(MENUS) if showing(menu)), None)


# The program's one-way transform of the logon passwords the tests use.
HASHED = {"pw": "\xe7\x10"}
# What opens the program's file in the sqlcipher shell: SQLCipher 4 reads SQLCipher 3's format once told, and 3 takes
# the setting for a pragma it does not know, which does nothing.
SHELL_KEY = "PRAGMA key='wendrapolix';\nPRAGMA cipher_compatibility = 3;\n"


class AccountFile:
    def __init__(self, path):
        self.path = Path(path)

    def shell(self, script):
        return subprocess.run(["sqlcipher", "-batch", "-noheader", str(self.path)], capture_output=True, text=True,
                              input=SHELL_KEY + script + "\n", timeout=LONG_WAIT)  # fmt: skip

    def execute(self, script):
        finished = self.shell(".timeout 10000\nSELECT '-- output --';\n" + script)
        lines = finished.stdout.splitlines()
        if finished.returncode != 0 or finished.stderr.strip() or "-- output --" not in lines:
            raise AssertionError("sqlcipher failed on %s: %s" % (self.path, finished.stderr.strip()))
        return lines[lines.index("-- output --") + 1 :]  # some versions answer the key with "ok"

    def rows(self, table, columns, where=""):  # text exactly as stored, numbers as int, NULL as None
        sql = "SELECT %s FROM [%s] %s ORDER BY ID;" % (", ".join(
            "CASE typeof([%s]) WHEN 'text' THEN 't' || hex([%s]) WHEN 'null' THEN 'n' ELSE 'v' || [%s] END"
            % (column, column, column) for column in columns), table, where and "WHERE " + where)  # fmt: skip

        def value(text):  # t: UTF-16 text in hex, v: a number, n: NULL
            if text[0] == "t":
                return bytes.fromhex(text[1:]).decode("utf-16-le", "surrogatepass")
            return int(text[1:]) if text[0] == "v" else None

        return [{column: value(text) for column, text in zip(columns, line.split("|"))} for line in self.execute(sql)]

    def users(self):
        return self.rows("User", ["ID", "UserName", "Password"])

    def accounts(self, user_id=None):
        return self.rows("Accounts", ["ID", "UserID"] + FIELD_COLUMNS, "UserID = %d" % user_id if user_id else "")

    def insert(self, table, **values):  # text stored exactly: control characters, lone surrogates and quotes too
        literals = [str(value) if isinstance(value, int) else "CAST(X'%s' AS TEXT)"
                    % value.encode("utf-16-le", "surrogatepass").hex() for value in values.values()]  # fmt: skip
        return int(self.execute("INSERT INTO [%s] (%s) VALUES (%s);\nSELECT max(ID) FROM [%s];" % (
            table, ", ".join("[%s]" % name for name in values), ", ".join(literals), table))[0])  # fmt: skip

    def add_user(self, name, password):
        return self.insert("User", UserName=name, Password=HASHED[password])

    def add_account(self, user_id, **fields):  # the password as stored
        return self.insert("Accounts", UserID=user_id, **{column: fields.get(column, "") for column in FIELD_COLUMNS})

    @contextlib.contextmanager
    def locked(self):
        shell = subprocess.Popen(["sqlcipher", "-batch", str(self.path)], stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)  # fmt: skip
        shell.stdin.write(SHELL_KEY + ".timeout 10000\nBEGIN EXCLUSIVE;\n")
        shell.stdin.flush()
        try:
            if not poll(lambda: "locked" in self.shell("SELECT count(*) FROM User;").stderr):
                raise AssertionError("could not lock %s" % self.path)
            yield
        finally:
            shell.communicate("COMMIT;\n", timeout=SHORT_WAIT)


class Display:
    """An X server with a session and an accessibility bus; one to a process, whose pyatspi reads the first only."""

    def __init__(self, logs, *x_options, runtime=None, env=(), as_user=None):
        self.logs, self.runtime, self.processes, self.as_user = logs, runtime or logs, [], as_user or {}
        logs.chmod(0o755)  # for the programs' users to reach the buses
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), **dict(env)}
        self.start_x(*x_options)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.start_bus("bus")
        self.bus = dbus.bus.BusConnection(self.env["DBUS_SESSION_BUS_ADDRESS"], mainloop=MAIN_LOOP)
        self.start_accessibility()

    def start_x(self, *options):
        # Xvfb writes the display's number once it accepts clients; a reader gone before the line end makes it give up.
        reader, writer = os.pipe()
        self.spawn("Xvfb", ["Xvfb", "-displayfd", str(writer), "-screen", "0", "%dx%dx24" % SCREEN_SIZE, "-nolisten",
                            "tcp", *options], pass_fds=(writer,))  # fmt: skip
        os.close(writer)
        with os.fdopen(reader) as pipe:
            if not (number := pipe.readline()).endswith("\n"):
                self.fail_to_start("Xvfb")
        self.env["DISPLAY"] = self.name = ":" + number.strip()
        self.root = int(re.search(r"Window id: (0x[0-9a-f]+)", self.call("xwininfo", "-root")).group(1), 16)

    def start_bus(self, name, kind="session"):  # its address
        (config := self.logs / (name + ".conf")).write_text(BUS_CONFIG % (kind, self.runtime / name))
        self.start_client(name, ["dbus-daemon", "--nofork", "--config-file", str(config)],
                          lambda: accepts(self.runtime / name))  # its socket is there a moment before it listens
        return "unix:path=%s" % (self.runtime / name)

    def start_accessibility(self):  # the bus, its registry, and the answer to where it is, which Qt asks
        address = self.start_bus("a11y-bus", "accessibility")
        registry = dbus.bus.BusConnection(address)
        self.start_client("at-spi2-registryd", ["/usr/libexec/at-spi2-registryd"], lambda: registry.name_has_owner(
            "org.a11y.atspi.Registry"), env=self.env | {"AT_SPI_BUS_ADDRESS": address})  # fmt: skip
        registry.close()
        script = Path(__file__).with_name("accessibility_bus.py").read_text()  # whose folder the user may not enter
        self.start_client("accessibility_bus.py", [sys.executable, "-c", script, self.env["DBUS_SESSION_BUS_ADDRESS"],
                                                   address], lambda: self.bus.name_has_owner("org.a11y.Bus"))
        os.environ["AT_SPI_BUS_ADDRESS"] = address  # where this process's pyatspi looks
        pyatspi.Registry.registerEventListener(menu_shown, "object:state-changed:showing")

    def start_window_manager(self):
        self.start_client("openbox", ["openbox", "--sm-disable"],
                          lambda: "window id" in self.property(self.root, "_NET_SUPPORTING_WM_CHECK"))  # fmt: skip

    def start_trayer(self):
        return self.start_client("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                            "--height", "24", "--SetDockType", "true", "--transparent", "false"],
                                 lambda: self.search("--onlyvisible", "--name", "^panel$"))  # fmt: skip

    def spawn(self, name, command, **options):
        with open(self.logs / (name + ".log"), "ab") as log:
            self.processes.append(subprocess.Popen(command, **{"env": self.env, **self.as_user, **options},
                                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log))  # fmt: skip
        return self.processes[-1]

    def start_client(self, name, command, ready, **options):
        for _ in range(5):
            client = self.spawn(name, command, **options)
            if poll(lambda: client.poll() is not None or ready()) and client.poll() is None:
                return client
            stop_process(client)
            time.sleep(0.5)
        self.fail_to_start(name)

    def fail_to_start(self, name):
        self.stop()
        raise AssertionError("%s did not start; see %s" % (name, self.logs))

    def stop(self):
        for process in reversed(self.processes):
            stop_process(process)

    def call(self, *args, check=True, timeout=10):
        return run(*args, check=check, timeout=timeout, env=self.env, **self.as_user)

    def search(self, *criteria):
        return [int(line) for line in self.call("xdotool", "search", *criteria, check=False).split()]

    def info(self, window):
        text = self.call("xwininfo", "-id", str(window), check=False)
        number = lambda label: int((re.search(r"^\s*%s:\s*(-?\d+)" % label, text, re.M) or [0, 0])[1])  # noqa: E731
        box = (number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"), number("Height"))
        return SimpleNamespace(id=window, name=(re.search(r'Window id: 0x[0-9a-f]+ "(.*)"', text) or [0, ""])[1],
                               box=box, x=box[0], y=box[1], width=box[2], height=box[3], viewable="IsViewable" in text,
                               override_redirect="Override Redirect State: yes" in text)  # fmt: skip

    def parent(self, window):
        match = re.search(r"Parent window id: (0x[0-9a-f]+)", self.call("xwininfo", "-children", "-id", str(window),
                                                                         check=False))  # fmt: skip
        return int(match.group(1), 16) if match else None

    def active_window(self):
        return self.call("xdotool", "getactivewindow", check=False).strip()

    def property(self, window, name):
        return self.call("xprop", "-id", str(window), name, check=False)

    # Keys go to whichever window has the focus: "xdotool key --window" can leave a key held down in Xvfb.
    def key(self, *keys):
        self.call("xdotool", "key", "--delay", "40", *keys)

    def type(self, text, *then):  # ASCII; a line break is a Return, as text fields ignore a line feed
        for number, line in enumerate(text.split("\n")):
            if number:
                self.key("Return")
            if line:
                self.call("xdotool", "type", "--delay", "20", "--", line, timeout=10 + len(line) * 0.1)
        if then:
            self.key(*then)

    def click(self, box, button=1, repeat=1):  # at the middle of a place on the screen: x, y, width, height
        # Reached in small steps, as a hand moves: a menu that opened under a pointer at rest takes no click from it.
        x, y = box[0] + box[2] // 2, box[1] + box[3] // 2
        steps = [word for dx in range(8, -1, -1) for word in ("mousemove", str(x - dx), str(y))]
        self.call("xdotool", *steps, "click", "--repeat", str(repeat), "--delay", "80", str(button))

    def selection(self, name="clipboard", target=None):
        try:  # an owner that does not answer in 2 s, as a stopped one, holds nothing; a 5 s wait reads more than once
            finished = subprocess.run(["xclip", "-o", "-selection", name, *(["-t", target] if target else [])],
                                      env=self.env, capture_output=True, timeout=2, encoding="utf-8",
                                      errors="surrogateescape")  # fmt: skip
        except subprocess.TimeoutExpired:
            return None
        return None if finished.returncode != 0 else finished.stdout

    def offer(self, text, name="clipboard"):
        process = subprocess.Popen(["xclip", "-quiet", "-i", "-selection", name], env=self.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # fmt: skip
        process.stdin.write(text.encode("utf-8", "surrogatepass"))
        process.stdin.close()
        return process

    def pixels(self, window):  # the client area as (width, height, RGB bytes)
        picture = subprocess.run(["import", "-window", str(window), "-depth", "8", "ppm:-"], env=self.env,
                                 capture_output=True, timeout=30, check=True).stdout  # fmt: skip
        _, size, _, data = picture.split(b"\n", 3)
        return (*map(int, size.split()), data)


class DesktopSession(Display):
    """For a desktop shell: a user of its own (shells misbehave as root), a system bus, GLX in software."""

    def __init__(self, logs, user, environment):
        home, runtime = logs / "home", logs / "runtime"
        as_user = add_user(user, home)
        for folder in home, runtime:
            folder.mkdir(mode=0o700)
            shutil.chown(folder, user, user)
        self.user = user
        super().__init__(logs, "+extension", "GLX", runtime=runtime, as_user=as_user, env={
            "HOME": str(home), "XDG_RUNTIME_DIR": str(runtime), "LANG": "C.UTF-8", "NO_AT_BRIDGE": "1",
            "LIBGL_ALWAYS_SOFTWARE": "1", **environment})  # fmt: skip
        self.env["DBUS_SYSTEM_BUS_ADDRESS"] = self.start_bus("system-bus")  # GNOME Shell stops at its start without

    def stop(self):  # what the shells started runs as the user too: every process of the user is stopped
        super().stop()
        subprocess.run(["pkill", "-KILL", "-u", self.user], capture_output=True)
        subprocess.run(["userdel", self.user], capture_output=True)


class EndToEndTest(unittest.TestCase):
    """The program in a sandbox for each test, on the class's display with a window manager and, unless told, a tray."""

    tray = True

    @classmethod
    def setUpClass(cls):
        cls.logs = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-display-"))
        cls.x = cls.display = Display(cls.logs)
        cls.display.start_window_manager()
        if cls.tray:
            cls.display.start_trayer()

    @classmethod
    def tearDownClass(cls):
        cls.display.stop()
        shutil.rmtree(cls.logs, ignore_errors=True)

    def setUp(self):
        root = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-"))
        home, config = root / "home", root / "home" / ".config"
        for folder in (config, root / "runtime", root / "program", root / "bin"):
            folder.mkdir(parents=True)
        (root / "runtime").chmod(0o700)
        self.sandbox = SimpleNamespace(root=root, home=home, program=root / "program" / PROGRAM.name,
                                       database_path=root / "program" / "AccountInfo.mdb",
                                       settings_path=config / "Tarnwick" / "Tarnwick.ini")  # fmt: skip
        shutil.copy2(PROGRAM, self.sandbox.program)
        subprocess.run([str(NEWDB), str(self.sandbox.database_path)], check=True, timeout=LONG_WAIT)
        self.database, self.programs, self.helpers = AccountFile(self.sandbox.database_path), [], []
        # The display's session bus, with no StatusNotifierWatcher (the icon is an XEmbed one) and no portal (the
        # colour scheme's question fails at once); Qt joins the accessibility bus it tells of without asking whether a
        # screen reader runs.
        self.env = {name: value for name, value in os.environ.items() if name.endswith("SAN_OPTIONS")} | {
            "DISPLAY": self.display.name, "HOME": str(home), "XDG_CONFIG_HOME": str(config), "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": str(root / "runtime"), "PATH": "%s/bin:%s" % (root, os.environ["PATH"]),
            "DBUS_SESSION_BUS_ADDRESS": self.display.env["DBUS_SESSION_BUS_ADDRESS"],
            "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1",
        }  # fmt: skip
        self.addCleanup(self.clean_up)

    def clean_up(self):
        for process in self.programs + self.helpers:
            stop_process(process)
        self.wait_for("the program's windows to go", lambda: not self.x.search("--classname", "tarnwick"))
        shutil.rmtree(self.sandbox.root, ignore_errors=True)

    def add_user(self, name):  # removed once the programs have stopped
        self.addClassCleanup(subprocess.run, ["userdel", name], check=True)
        return add_user(name)

    def settings(self):  # the values under the program's key as QSettings writes them, numbers as int
        found = re.findall(r"^Quillmoor\\Tarnwick\\(\w+)=(.*)$", self.sandbox.settings_path.read_text(), re.M)
        return {name: int(value) if re.fullmatch(r"-?\d+", value) else value for name, value in found}

    def wait_for(self, what, condition, timeout=SHORT_WAIT):
        if not (value := poll(condition, timeout)):
            try:
                path = self.screenshot("FAILED-" + self.id().split(".", 1)[-1])
            except (AssertionError, subprocess.SubprocessError):
                path = "(no screenshot)"
            errors = "".join("\n--- %s stderr:\n%s" % (p.name, p.stderr_path.read_text(errors="replace"))
                             for p in self.programs)  # fmt: skip
            self.fail("waited %.0f s for %s\nscreenshot: %s%s" % (timeout, what, path, errors))
        return value

    def screenshot(self, name, window=None):
        (path := SCREENSHOTS / (name + ".png")).parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", *(["-window", "root"] if window is None else ["-frame", "-window", str(window)]),
                        str(path)], env=self.x.env, check=True, capture_output=True, timeout=30)  # fmt: skip
        return path

    def start_program(self, wait_for_icon=True, sandbox=None, env=None, **options):
        sandbox, name = sandbox or self.sandbox, "tarnwick-%d" % (len(self.programs) + 1)
        with open(sandbox.root / (name + ".out"), "wb") as out, open(sandbox.root / (name + ".err"), "wb") as err:
            program = subprocess.Popen([str(sandbox.program)], cwd=sandbox.home, env=env or self.env,
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err, **options)  # fmt: skip
        self.programs.append(program)
        program.name, program.stderr_path = name, sandbox.root / (name + ".err")
        if wait_for_icon:
            self.wait_for("the tray icon of %s" % program.name, lambda: self.tray_icon(program), LONG_WAIT)
        return program

    def wait_exit(self, program):
        self.wait_for("%s to end" % program.name, lambda: program.poll() is not None, LONG_WAIT)
        return program.returncode

    def windows(self, program, kind, title=None):
        def kind_of(info):
            if info.width <= 128 and info.height <= 128 and self.x.parent(info.id) != self.display.root:
                return "icon"  # a small window in another: the program has no other
            if info.override_redirect:
                return "menu"
            return "dialog" if "_DIALOG" in self.x.property(info.id, "_NET_WM_WINDOW_TYPE") else "main"

        found = map(self.x.info, self.x.search("--onlyvisible", "--pid", str(program.pid)))
        return [info.id for info in found if info.viewable and kind_of(info) == kind and title in (None, info.name)]

    def tray_icon(self, program):
        return next(iter(self.windows(program, "icon")), None)

    def main_window(self, program):
        return next(iter(self.windows(program, "main")), None)

    def wait_active(self, window, what):
        self.wait_for(what + " to get the focus", lambda: self.x.active_window() == str(window))

    def wait_dialog(self, program, title, kind="dialog"):
        found = self.wait_for("a %s titled %r" % (kind, title), lambda: self.windows(program, kind, title), LONG_WAIT)
        self.assertEqual(len(found), 1, "one %s titled %r" % (kind, title))
        self.wait_active(found[0], "the %s %r" % (kind, title))
        return found[0]

    def wait_main_window(self, program):
        return self.wait_dialog(program, None, "main")

    def assert_stays_hidden(self, program):
        self.assertFalse(poll(lambda: self.windows(program, "main") + self.windows(program, "dialog"), 1.0))

    def wait_gone(self, window, what="the window"):
        self.wait_for(what + " to close", lambda: not self.x.info(window).viewable)

    def close_window(self, window):  # as its close box does
        self.x.call("xdotool", "windowactivate", "--sync", str(window), "key", "alt+F4")
        self.wait_gone(window, "the main window")

    def grab(self, name, action, give_up):  # what the action puts in the selection; after give_up s, nothing
        marker = "nothing yet %f" % time.monotonic()
        self.helpers.append(self.x.offer(marker, name))
        self.wait_for("the %s selection" % name, lambda: self.x.selection(name) == marker)
        action()
        return poll(lambda: (text := self.x.selection(name)) != marker and text, give_up) or ""

    def window(self, program, title):  # in the accessibility tree, once it shows with the focus
        def found():
            return next((window for window in application(program.pid) or () if window.name == title and showing(
                window) and window.getState().contains(pyatspi.STATE_ACTIVE)), None)  # fmt: skip

        return self.wait_for("the window %r with the focus" % title, found, LONG_WAIT)

    def on_screen(self, program):  # the accessible objects of the program's windows that show
        found = application(program.pid)
        return [node for node in nodes(found) if showing(node)] if found else []

    def control(self, program, name, role=None):  # by its accessible name: a field's, a button's, a check box's
        return self.wait_for("the control %r" % name, lambda: next((node for node in self.on_screen(program) if (
            node.name == name and role in (None, node.getRole()))), None))  # fmt: skip

    def click(self, program, name, button=1, repeat=1):
        self.x.click(extents(self.control(program, name)), button, repeat)

    def message(self, program, text, key="Return", screenshot=None):  # the box's text, then the key that answers it
        window = self.wait_dialog(program, TITLE)
        if screenshot:
            self.screenshot(screenshot, window)
        box = self.control(program, TITLE, pyatspi.ROLE_ALERT)
        self.assertEqual("\n".join(node.name for node in nodes(box) if node.getRole() == pyatspi.ROLE_LABEL), text)
        if key:
            self.x.key(key)
            self.wait_gone(window, "the message %r" % text)
        return window

    def choose(self, program, label):  # in the popup menu that shows, by the item's text, once it takes clicks
        menu = self.wait_for("a menu", lambda: self.windows(program, "menu") and open_menu())
        item = next((item for item in menu if item.name == label), None)
        self.assertIsNotNone(item, "%r in the menu" % label)
        self.x.click(extents(item))
        self.wait_for("the menu to close", lambda: not showing(menu))

    def double_click_icon(self, program):
        self.x.click(self.x.info(self.tray_icon(program)).box, repeat=2)

    def open_tray_menu(self, program, label=None):
        for _ in range(3):  # a click that came as the last menu closed opens none
            self.x.click(self.x.info(self.tray_icon(program)).box, button=3)
            if poll(open_menu, 1.5):
                return label and self.choose(program, label)
        self.wait_for("a tray menu after three right clicks", lambda: False, 0)

    def enter_password(self, program, password, user=LOGIN_NAME, confirmation=None, *then):
        dialog = self.wait_dialog(program, PASSWORD_TITLE % user)
        if confirmation is None:
            self.x.type(password, "Return")
            return self.wait_gone(dialog, "the password dialog")
        self.x.type(password, "Tab")
        self.x.type(confirmation, *then)
        return dialog

    def log_on(self, program, password, user=LOGIN_NAME):
        self.double_click_icon(program)
        self.enter_password(program, password, user)
        return self.wait_main_window(program)

    def unload(self, program):
        if window := self.main_window(program):
            self.close_window(window)
        self.open_tray_menu(program, "Unload")
        return self.wait_exit(program)

    def select_field(self, program, name, *then):
        self.click(program, name)  # into a focused field a click only moves the cursor: select all
        self.x.key("ctrl+a", *then)

    def type_into_field(self, program, name, text):
        self.select_field(program, name)
        self.x.type(text)

    def read_field(self, program, name):  # a password reads as stars to a screen reader: its copy is read instead
        if name == PASSWORD:
            return self.grab("clipboard", lambda: self.select_field(program, name, "ctrl+c"), 2.0)
        return self.control(program, name).queryText().getText(0, -1)

    def assert_shown(self, program, expected):  # {field: text}, once the program has taken the keys sent before
        texts = {name: text for name, text in expected.items() if name != PASSWORD}
        poll(lambda: {name: self.read_field(program, name) for name in texts} == texts, SHORT_WAIT)
        self.assertEqual({name: self.read_field(program, name) for name in expected}, expected)

    def assert_saved_at_the_end(self, program, end):
        self.type_into_field(program, USER_NAME, "typed before the end")
        end()
        self.assertEqual(self.wait_exit(program), 0)
        self.assertEqual(self.database.accounts()[0]["UserName"], "typed before the end")

    def pick_account(self, program, key="Down"):  # the list focused with Tab from the last field picks nothing yet
        self.click(program, COMMENT)
        self.x.key("Tab", "Tab", key)


class DesktopTest(EndToEndTest):  # the program run as the desktop's user, on its buses
    session = {}

    @classmethod
    def start_desktop(cls, shell):
        if os.geteuid() != 0 or not shutil.which(shell):
            raise unittest.SkipTest("runs %s as a user of its own: needs root and the desktop's packages" % shell)
        cls.logs = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-desktop-"))
        cls.x = cls.display = DesktopSession(cls.logs, DESKTOP_USER, cls.session)

    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(DESKTOP_USER, "pw"), Account="Bank", UserName="old")
        subprocess.run(["chown", "-R", "%s:%s" % (DESKTOP_USER, DESKTOP_USER), str(self.sandbox.root)], check=True)
        self.env |= {name: self.display.env[name] for name in self.session}
