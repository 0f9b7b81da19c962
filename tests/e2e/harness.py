"""End-to-end harness: the real program on a private X server, driven by keys and clicks, its file read back."""

import contextlib
import os
import pwd
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path
from types import SimpleNamespace

REPOSITORY = Path(__file__).resolve().parents[2]
PROGRAM = Path(os.environ.get("TARNWICK_PROGRAM", REPOSITORY / "build" / "tarnwick"))
NEWDB = Path(os.environ.get("TARNWICK_NEWDB", REPOSITORY / "build" / "tarnwick-newdb"))
SCREENSHOTS = Path(os.environ.get("TARNWICK_E2E_SCREENSHOTS", REPOSITORY / "build" / "e2e-screenshots"))
TITLE, LOGIN_NAME, PASSWORD_TITLE = "Tarnwick", pwd.getpwuid(os.geteuid()).pw_name, "Enter password for user %s"
SCREEN_SIZE, SHORT_WAIT, LONG_WAIT = (1024, 768), 5.0, 15.0
TWIPS_PER_PIXEL = 15  # 1440 twips per inch at 96 dots per inch
DESIGN_SIZE = (7080, 4245)  # the main window's client area in twips; the window is this scaled to the desktop's font
WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
# A session bus that starts no services on demand (they would outlive the test): every process on it is the test's.
BUS_CONFIG = """<busconfig><type>session</type><listen>unix:path=%s</listen><auth>EXTERNAL</auth><policy
context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>"""
# One panel along the top that holds only the status tray, the plugin that hosts StatusNotifierItems.
PANEL_CONFIG = """<channel name="xfce4-panel" version="1.0"><property name="configver" type="int" value="2"/>
<property name="panels" type="array"><value type="int" value="1"/><property name="panel-1" type="empty">
<property name="position" type="string" value="p=6;x=0;y=0"/><property name="length" type="uint" value="100"/>
<property name="size" type="uint" value="30"/><property name="plugin-ids" type="array"><value type="int" value="1"/>
</property></property></property><property name="plugins" type="empty"><property name="plugin-1" type="string"
value="systray"/></property></channel>"""
# Places on the main window in twips: left, top, width, height; the check boxes' places end short of their captions.
FIELD_PLACES = [(1320, 195, 2535, 300)] + [(1440, 582 + 387 * i, 2415, 300) for i in range(4)] + [(1440, 2130, 2415, 1455)]
ACCOUNT, USER_NAME, PASSWORD, URL, PHONE, COMMENT = range(6)
FIELD_COLUMNS = ["Account", "UserName", "Password", "URL", "Phone", "Comment"]
ADD_ACCOUNT_PLACE = (4560, 135, 1500, 375)
# Positions, 1 first, of the items that can be chosen: tray menus before and after the logon, the account menu.
LOG_IN = OPEN = ADD_NEW_ACCOUNT = 1
UNLOAD = DELETE_ACCOUNT = 2
LEAVE_MENU = 3


def poll(condition, timeout=LONG_WAIT):
    deadline = time.monotonic() + timeout
    while not (value := condition()) and time.monotonic() < deadline:
        time.sleep(0.05)
    return value


def stop_process(process, grace=SHORT_WAIT):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            process.kill()
    return process.wait()


def add_user(test, name):  # left over from a killed run or created now
    created = subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--home-dir", "/nonexistent",
                              "--shell", "/usr/sbin/nologin", name], capture_output=True, text=True)  # fmt: skip
    test.assertIn(created.returncode, (0, 9), created.stderr)
    test.addClassCleanup(subprocess.run, ["userdel", name], check=True)  # once the programs have stopped
    return {"user": name, "group": name, "extra_groups": []}


def status_item(bus_call, pid):  # the bus name and path of the process's StatusNotifierItem
    listed = bus_call(*WATCHER, "org.freedesktop.DBus.Properties.Get", WATCHER[0], "RegisteredStatusNotifierItems")
    for name, path in re.findall(r"'([^'/@]+)@?(/[^']*)'", listed):  # "bus/path", or "bus@path" as GNOME's
        owner = bus_call("org.freedesktop.DBus", "/", "org.freedesktop.DBus.GetConnectionUnixProcessID", name)
        if re.search(r"\b%d\b" % pid, owner):
            return name, path


ITEM, MENU = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"
DESKTOP_USER = "twe2e-desktop"  # runs the desktop shells and the program under them


def exported_menu(bus_call, item):
    """The menu's object path and its visible entries as a host reads them: (label, id), "-" for a separator."""
    path = re.search(r"objectpath '(.*)'", bus_call(*item, "org.freedesktop.DBus.Properties.Get", ITEM, "Menu"))[1]
    bus_call(item[0], path, MENU + ".AboutToShow", "0")
    layout, entries = bus_call(item[0], path, MENU + ".GetLayout", "0", "-1", "[]"), []
    for number, properties in re.findall(r"<\((\d+), \{(.*?)\}, ", layout):
        if "'visible': <false>" not in properties:
            label = re.search(r"'label': <'(.*?)'>", properties)
            entries.append(("-" if "'type': <'separator'>" in properties else label[1], int(number)))
    return path, entries


# The program's one-way transform of the logon passwords the tests use.
HASHED = {"pw": "\xe7\x10", "b0b": "&{V", "Sesame-7 it's [ok] & more": "'\xbd\x0b\xfb\x15a\xf5\xa8\xd2\xa6\xf6\x14\x80"
          "\xb6\x15/=\xdcT_\x94\xbe\x94\x12\x1b"}


class AccountFile:
    def __init__(self, path):
        self.path = Path(path)

    def shell(self, script):
        return subprocess.run(["sqlcipher", "-batch", "-noheader", str(self.path)], capture_output=True, text=True,
                              input="PRAGMA key='wendrapolix';\n%s\n" % script, timeout=LONG_WAIT)  # fmt: skip

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

        return [dict(zip(columns, map(value, line.split("|")))) for line in self.execute(sql)]

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
        shell.stdin.write("PRAGMA key='wendrapolix';\n.timeout 10000\nBEGIN EXCLUSIVE;\n")
        shell.stdin.flush()
        try:
            if not poll(lambda: "locked" in self.shell("SELECT count(*) FROM User;").stderr):
                raise AssertionError("could not lock %s" % self.path)
            yield
        finally:
            shell.communicate("COMMIT;\n", timeout=SHORT_WAIT)


class Display:  # a private X server with a window manager and a tray host (trayer, xfce4-panel or none)
    def __init__(self, logs, tray="trayer"):
        self.logs, self.processes, self.env, self.as_user = logs, [], None, {}
        self.start_x()
        self.start_client("openbox", ["openbox", "--sm-disable"],
                          lambda: "window id" in self.property(self.root, "_NET_SUPPORTING_WM_CHECK"))  # fmt: skip
        if tray == "trayer":
            self.start_trayer()
        elif tray == "xfce4-panel":
            config = logs / ".config" / "xfce4" / "xfconf" / "xfce-perchannel-xml"
            config.mkdir(parents=True)
            (config / "xfce4-panel.xml").write_text(PANEL_CONFIG)
            # The bus starts the panel's settings daemon, which reads this home; GTK's accessibility bus would linger.
            self.env |= {"HOME": str(logs), "NO_AT_BRIDGE": "1", "DBUS_SESSION_BUS_ADDRESS": "unix:path=%s/bus" % logs}
            self.start_client("dbus-daemon", ["dbus-daemon", "--session", "--nofork", "--address",
                                              self.env["DBUS_SESSION_BUS_ADDRESS"]], (logs / "bus").exists)  # fmt: skip
            self.start_client("xfce4-panel", ["xfce4-panel", "--disable-wm-check"], lambda: "true" in self.bus_call(
                *WATCHER, "org.freedesktop.DBus.Properties.Get", WATCHER[0], "IsStatusNotifierHostRegistered"))

    def start_x(self, *options):
        # Xvfb writes the display's number once it accepts clients; a reader gone before the line end makes it give up.
        reader, writer = os.pipe()
        self.spawn("Xvfb", ["Xvfb", "-displayfd", str(writer), "-screen", "0", "%dx%dx24" % SCREEN_SIZE, "-nolisten",
                            "tcp", *options], pass_fds=(writer,))  # fmt: skip
        os.close(writer)
        with os.fdopen(reader) as pipe:
            if not (number := pipe.readline()).endswith("\n"):
                self.fail_to_start("Xvfb")
        self.name = ":" + number.strip()
        self.env = {"DISPLAY": self.name, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        self.root = int(re.search(r"Window id: (0x[0-9a-f]+)", self.call("xwininfo", "-root")).group(1), 16)

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

    def start_trayer(self):
        return self.start_client("trayer", ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                            "--height", "24", "--SetDockType", "true", "--transparent", "false"],
                                 lambda: self.search("--onlyvisible", "--name", "^panel$"))  # fmt: skip

    def fail_to_start(self, name):
        self.stop()
        raise AssertionError("%s did not start; see %s" % (name, self.logs))

    def stop(self):
        for process in reversed(self.processes):
            stop_process(process)

    def run(self, *args, timeout=10, **options):
        return subprocess.run(args, env=self.env, capture_output=True, timeout=timeout, **self.as_user, **options)

    def call(self, *args, check=True, timeout=10):
        finished = self.run(*args, timeout=timeout, text=True)
        if check and finished.returncode != 0:
            raise AssertionError("%s failed: %s" % (" ".join(args), finished.stderr.strip()))
        return finished.stdout

    def search(self, *criteria):
        return [int(line) for line in self.call("xdotool", "search", *criteria, check=False).split()]

    def info(self, window):
        text = self.call("xwininfo", "-id", str(window), check=False)
        number = lambda label: int((re.search(r"^\s*%s:\s*(-?\d+)" % label, text, re.M) or [0, 0])[1])  # noqa: E731
        return SimpleNamespace(id=window, name=(re.search(r'Window id: 0x[0-9a-f]+ "(.*)"', text) or [0, ""])[1],
                               x=number("Absolute upper-left X"), y=number("Absolute upper-left Y"),
                               width=number("Width"), height=number("Height"), viewable="IsViewable" in text,
                               override_redirect="Override Redirect State: yes" in text)  # fmt: skip

    def parent(self, window):
        match = re.search(r"Parent window id: (0x[0-9a-f]+)", self.call("xwininfo", "-children", "-id", str(window),
                                                                         check=False))  # fmt: skip
        return int(match.group(1), 16) if match else None

    def active_window(self):
        return self.call("xdotool", "getactivewindow", check=False).strip()

    def property(self, window, name):
        return self.call("xprop", "-id", str(window), name, check=False)

    def bus_call(self, destination, path, method, *args, check=False):
        return self.call("gdbus", "call", "--session", "--timeout", "5", "--dest", destination, "--object-path", path,
                         "--method", method, "--", *args, check=check)  # fmt: skip

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

    def click(self, window, point, button=1, repeat=1):
        self.call("xdotool", "mousemove", "--window", str(window), str(point[0]), str(point[1]),
                  "click", "--repeat", str(repeat), "--delay", "80", str(button))  # fmt: skip

    def selection(self, name="clipboard", target=None):
        try:  # an owner that does not answer in 2 s, as a stopped one, holds nothing; a 5 s wait reads more than once
            finished = self.run("xclip", "-o", "-selection", name, *(["-t", target] if target else []), timeout=2,
                                encoding="utf-8", errors="surrogateescape")  # fmt: skip
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
        picture = self.run("import", "-window", str(window), "-depth", "8", "ppm:-", timeout=30, check=True).stdout
        _, size, _, data = picture.split(b"\n", 3)
        return (*map(int, size.split()), data)


class DesktopSession(Display):
    """A desktop shell as on a person's computer: run as a user made for the test (the shells misbehave as root),
    with a private runtime folder and private session and system buses, on Xvfb with GLX and Mesa's software
    renderer. The shell itself is the caller's to start."""

    def __init__(self, logs, user, environment):
        self.logs, self.processes, self.env, self.as_user = logs, [], None, {}
        self.start_x("+extension", "GLX")
        home, runtime = logs / "home", logs / "runtime"
        created = subprocess.run(["useradd", "--system", "--user-group", "--no-create-home", "--home-dir", str(home),
                                  "--shell", "/usr/sbin/nologin", user], capture_output=True, text=True)  # fmt: skip
        if created.returncode not in (0, 9):
            self.fail_to_start("useradd: " + created.stderr.strip())
        self.user = user
        logs.chmod(0o755)  # for the user to reach its home and runtime folder
        for folder in home, runtime:
            folder.mkdir(mode=0o700)
            shutil.chown(folder, user, user)
        self.as_user = {"user": user, "group": user, "extra_groups": []}
        self.env |= {"HOME": str(home), "XDG_RUNTIME_DIR": str(runtime), "LANG": "C.UTF-8", "NO_AT_BRIDGE": "1",
                     "LIBGL_ALWAYS_SOFTWARE": "1", "DBUS_SESSION_BUS_ADDRESS": "unix:path=%s/bus" % runtime,
                     "DBUS_SYSTEM_BUS_ADDRESS": "unix:path=%s/system-bus" % runtime, **environment}  # fmt: skip
        # A stand-in for the system bus: without one, GNOME Shell stops at its start.
        for bus in "bus", "system-bus":
            self.start_client("dbus-" + bus, ["dbus-daemon", "--session", "--nofork", "--address", "unix:path=%s/%s"
                                              % (runtime, bus)], (runtime / bus).exists)  # fmt: skip

    def stop(self):  # the services the buses started run as the user too: every process of the user is stopped
        super().stop()
        pids = subprocess.run(["pgrep", "-u", self.user], capture_output=True, text=True).stdout.split()
        subprocess.run(["kill", "-KILL", *pids], capture_output=True)
        subprocess.run(["userdel", self.user], capture_output=True)

    def wait_for_name(self, name, timeout=60):
        return poll(lambda: "true" in self.bus_call("org.freedesktop.DBus", "/", "org.freedesktop.DBus.NameHasOwner",
                                                    name), timeout)  # fmt: skip


class EndToEndTest(unittest.TestCase):
    tray = "trayer"

    @classmethod
    def setUpClass(cls):
        cls.logs = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-display-"))
        cls.x = cls.display = Display(cls.logs, cls.tray)

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
        # Without the display's session bus, if it has none, the tray icon is the plain X11 one.
        self.env = {name: value for name, value in os.environ.items() if name.endswith("SAN_OPTIONS")} | {
            "DISPLAY": self.display.name, "HOME": str(home), "XDG_CONFIG_HOME": str(config), "LANG": "C.UTF-8",
            "XDG_RUNTIME_DIR": str(root / "runtime"), "PATH": "%s/bin:%s" % (root, os.environ["PATH"]),
            "DBUS_SESSION_BUS_ADDRESS": self.display.env.get("DBUS_SESSION_BUS_ADDRESS", "unix:path=%s/no-bus" % root),
        }  # fmt: skip
        self.addCleanup(self.clean_up)

    def clean_up(self):
        for process in self.programs + self.helpers:
            stop_process(process)
        self.wait_for("the program's windows to go", lambda: not self.x.search("--classname", "tarnwick"))
        shutil.rmtree(self.sandbox.root, ignore_errors=True)

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
            if info.width <= 64 and info.height <= 64:  # a tray icon is a small window; the program has no other
                return "icon"
            if info.override_redirect:
                return "menu"
            return "dialog" if "_DIALOG" in self.x.property(info.id, "_NET_WM_WINDOW_TYPE") else "main"

        found = map(self.x.info, self.x.search("--onlyvisible", "--pid", str(program.pid)))
        return [info.id for info in found if info.viewable and kind_of(info) == kind and title in (None, info.name)]

    def tray_icon(self, program):
        icons = self.windows(program, "icon")
        return next((icon for icon in icons if self.x.parent(icon) not in (self.display.root, None)), None)

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
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertEqual(self.windows(program, "main") + self.windows(program, "dialog"), [])

    def wait_gone(self, window, what="the window"):
        self.wait_for(what + " to close", lambda: not self.x.info(window).viewable)

    def grab(self, name, action, give_up=None):  # what the action puts in the selection; after give_up s, nothing
        marker = "nothing yet %f" % time.monotonic()
        self.helpers.append(self.x.offer(marker, name))
        self.wait_for("the %s selection" % name, lambda: self.x.selection(name) == marker)
        action()
        fresh = lambda: (text := self.x.selection(name)) != marker and text  # noqa: E731
        return (poll(fresh, give_up) or "") if give_up else self.wait_for("the text in the %s selection" % name, fresh)

    def message(self, program, text, key="Return", screenshot=None):
        # The text right of the icon and above the buttons is selected with the mouse and read from the selection.
        window = self.wait_dialog(program, TITLE)
        if screenshot:
            self.screenshot(screenshot, window)
        width, height, data = self.x.pixels(window)

        def ink(x, y):  # dark grey
            pixel = data[(y * width + x) * 3 : (y * width + x) * 3 + 3]
            return sum(pixel) < 300 and max(pixel) - min(pixel) < 40

        points = [(x, y) for y in range(height - 42) for x in range(56, width) if ink(x, y)]
        self.assertTrue(points, "text in the message box")
        left, top, bottom = min(x for x, _ in points), min(y for _, y in points), max(y for _, y in points)
        self.assertEqual(self.grab("primary", lambda: self.x.call(
            "xdotool", "mousemove", "--window", str(window), str(left), str(top + 4), "mousedown", "1",
            "mousemove", "--window", str(window), str(width - 2), str(bottom - 4), "mouseup", "1")), text)  # fmt: skip
        if key:
            self.x.key(key)
            self.wait_gone(window, "the message %r" % text)
        return window

    def double_click_icon(self, program):
        self.x.click(self.tray_icon(program), (10, 10), repeat=2)

    def choose(self, menu, position, what="the menu"):
        self.x.key(*(["Down"] * position), "Return")
        self.wait_gone(menu, what)

    def open_tray_menu(self, program, position=None):
        for _ in range(3):  # a click that came as the last menu closed opens none
            self.x.click(self.tray_icon(program), (10, 10), button=3)
            if menus := poll(lambda: self.windows(program, "menu"), 1.5):
                return self.choose(menus[0], position, "the tray menu") if position else menus[0]
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
        self.open_tray_menu(program, UNLOAD)
        return self.wait_exit(program)

    def close_window(self, window):
        info = self.x.info(window)
        self.x.call("xdotool", "mousemove", str(info.x + info.width - 10), str(info.y - 10), "click", "1")
        self.wait_gone(window, "the main window")

    def point(self, window, place):  # the centre of a place in twips; a menu bar above the controls moves them down
        left, top, width, height = place
        info = self.x.info(window)
        scale = info.width / DESIGN_SIZE[0]
        return (round((left + width / 2) * scale), info.height - round((DESIGN_SIZE[1] - top - height / 2) * scale))

    def click_field(self, window, index, repeat=1, button=1):
        self.x.click(window, self.point(window, FIELD_PLACES[index]), button, repeat)

    def select_field(self, window, index, *then):
        self.click_field(window, index)  # into a focused field a click only moves the cursor: select all
        self.x.key("ctrl+a", *then)

    def type_into_field(self, window, index, text):
        self.select_field(window, index)
        self.x.type(text)

    def read_field(self, window, index):
        return self.grab("clipboard", lambda: self.select_field(window, index, "ctrl+c"), 2.0)

    def pick_account(self, window, key="Down"):  # the list focused with Tab from the last field picks nothing yet
        self.click_field(window, COMMENT)
        self.x.key("Tab", "Tab", key)


class DesktopTest(EndToEndTest):  # the program run as the desktop's user, on its buses
    session = {}

    @classmethod
    def start_desktop(cls, shell):
        if os.geteuid() != 0 or not shutil.which(shell):
            raise unittest.SkipTest("runs %s as a user of its own: needs root and the desktop's packages" % shell)
        cls.logs = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-desktop-"))
        cls.x = cls.display = DesktopSession(cls.logs, DESKTOP_USER, cls.session)

    @classmethod
    def tearDownClass(cls):
        cls.display.stop()
        shutil.rmtree(cls.logs, ignore_errors=True)

    def setUp(self):
        super().setUp()
        self.database.add_account(self.database.add_user(DESKTOP_USER, "pw"), Account="Bank", UserName="old")
        subprocess.run(["chown", "-R", "%s:%s" % (DESKTOP_USER, DESKTOP_USER), str(self.sandbox.root)], check=True)
        self.env |= {name: self.display.env[name] for name in ("DBUS_SESSION_BUS_ADDRESS", *self.session)}

    def start(self):  # until its item is there
        program = self.start_program(wait_for_icon=False, **self.display.as_user)
        return program, self.wait_for("the program's item", lambda: status_item(self.x.bus_call, program.pid), 10)

    def activate(self, item):  # what a host sends for a click or a double click on the item
        self.x.bus_call(*item, ITEM + ".Activate", "0", "0", check=True)

    def choose(self, item, label):
        path, entries = exported_menu(self.x.bus_call, item)
        self.x.bus_call(item[0], path, MENU + ".Event", str(dict(entries)[label]), "'clicked'", "<0>", "0", check=True)

    def log_on_from(self, program, item):
        self.activate(item)
        self.enter_password(program, "pw", DESKTOP_USER)
        return self.wait_main_window(program)

    def brightness(self, window):  # of the window's middle row, 0 to 255
        width, height, data = self.x.pixels(window)
        row = data[height // 2 * width * 3 : (height // 2 + 1) * width * 3]
        return sum(row) / len(row)
