"""End-to-end harness: the real program on a private X server, driven by keys and clicks, its file read back."""

import configparser
import contextlib
import os
import pwd
import re
import select
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

DATABASE_KEY = "wendrapolix"
TITLE = "Tarnwick"
LOGIN_NAME = pwd.getpwuid(os.geteuid()).pw_name
SCREEN_SIZE = (1024, 768)
TWIPS_PER_PIXEL = 15  # 1440 twips per inch at 96 dots per inch
DESIGN_SIZE = (7080, 4245)  # the main window's client area in twips; the window is this scaled to the desktop's font
LARGEST_ICON = 64  # a tray icon is a small window; anything larger of the program's is a window of its own
SHORT_WAIT, LONG_WAIT, POLL_INTERVAL = 5.0, 15.0, 0.05
TRAYER = ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24", "--SetDockType",
          "true", "--transparent", "false"]  # fmt: skip
WATCHER = ("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
# One panel along the top that holds only the status tray, the plugin that hosts StatusNotifierItems.
PANEL_CONFIG = """<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array"><value type="int" value="1"/></property>
    </property>
  </property>
  <property name="plugins" type="empty"><property name="plugin-1" type="string" value="systray"/></property>
</channel>
"""

# CopyQ's command that keeps what a password manager marks secret out of its history.
COPYQ_IGNORE_SECRETS = """[Commands]
1\\Automatic=true
1\\Command=copyq ignore
1\\Input=x-kde-passwordManagerHint
1\\Name=Ignore secrets
1\\Remove=true
size=1
"""

# Places on the main window in twips: left, top, width, height.
FIELD_PLACES = [(1320, 195, 2535, 300)] + [(1440, 582 + 387 * i, 2415, 300) for i in range(4)] + [(1440, 2130, 2415, 1455)]
ACCOUNT, USER_NAME, PASSWORD, URL, PHONE, COMMENT = range(6)
FIELD_COLUMNS = ["Account", "UserName", "Password", "URL", "Phone", "Comment"]
ADD_ACCOUNT_PLACE = (4560, 135, 1500, 375)
LIST_PLACE = (5100, 915, 1920, 2700)
LAUNCH_PLACE = (120, 3690, 5100, 255)
FLOAT_PLACE = (120, 3945, 5100, 255)
# Positions, 1 first, of the items that can be chosen: tray menus before and after the logon, the account menu.
LOG_IN = OPEN = ADD_NEW_ACCOUNT = 1
UNLOAD = DELETE_ACCOUNT = 2
LEAVE_MENU = 3


def poll(condition, timeout=LONG_WAIT):
    """The condition's first true value within the timeout, else its last value."""
    deadline = time.monotonic() + timeout
    while not (value := condition()) and time.monotonic() < deadline:
        time.sleep(POLL_INTERVAL)
    return value


def read_line(reader):
    """What a child writes to a pipe up to its first line end, within the long wait; the pipe is closed then."""
    text, deadline = b"", time.monotonic() + LONG_WAIT
    while not text.endswith(b"\n") and select.select([reader], [], [], max(0, deadline - time.monotonic()))[0]:
        if not (part := os.read(reader, 256)):
            break
        text += part
    os.close(reader)
    return text.decode() if text.endswith(b"\n") else None


def stop_process(process, grace=SHORT_WAIT):
    """Ends a process we started: SIGTERM, then SIGKILL when it does not end within the grace time."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            process.kill()
    return process.wait()


# The password transforms, written from their description to check the program's against another implementation.
# Both work on 16-bit code units and change only their low bytes.


def units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [data[i] | data[i + 1] << 8 for i in range(0, len(data), 2)]


def from_units(codes):
    return b"".join(code.to_bytes(2, "little") for code in codes).decode("utf-16-le", "surrogatepass")


def hash_password(password):
    s = units(password)
    n = len(s)
    if n == 1:
        return from_units([s[0] & 0xFF00 | (((s[0] & 0xFF) * (s[0] & 0xFF) + (s[0] & 0xFF)) % 256)])
    if n == 2:
        a, b = s[0] & 0xFF, s[1] & 0xFF
        return from_units([s[0] & 0xFF00 | (a + b) % 256, s[1] & 0xFF00 | (a * b) % 256])
    result = []
    for i in range(1, n + 1):
        j = i % n + 1
        k = j % n + 1
        lo_i, lo_j, lo_k = s[i - 1] & 0xFF, s[j - 1] & 0xFF, s[k - 1] & 0xFF
        result.append(s[i - 1] & 0xFF00 | (lo_i + i + (lo_j + i) * lo_k + 1) % 256)
    return from_units(result)


def crypt_string(key, data):
    k, result = units(key), []
    state = sum(code & 0xFF for code in k) % 256
    for i, code in enumerate(units(data)):
        state = (state + (k[i % len(k)] & 0xFF)) % 256
        result.append(code & 0xFF00 | (state ^ (code & 0xFF)))
    return from_units(result)


def text_literal(text):
    """SQL for exactly this text in the UTF-16 account file: control characters, lone surrogates and quotes too."""
    return "CAST(X'" + text.encode("utf-16-le", "surrogatepass").hex() + "' AS TEXT)"


OUTPUT_MARKER = "-- output --"


class AccountFile:
    """An account database read and written with the sqlcipher shell, as another program would."""

    def __init__(self, path):
        self.path = Path(path)

    def shell(self, script, key=DATABASE_KEY):
        return subprocess.run(["sqlcipher", "-batch", "-noheader", str(self.path)], input="PRAGMA key='%s';\n%s\n"
                              % (key, script), capture_output=True, text=True, timeout=LONG_WAIT)  # fmt: skip

    def execute(self, script, key=DATABASE_KEY):
        """Runs SQL, waiting up to 10 s for the program's locks, and returns its output lines."""
        finished = self.shell(".timeout 10000\nSELECT '%s';\n%s" % (OUTPUT_MARKER, script), key)
        lines = finished.stdout.splitlines()
        if finished.returncode != 0 or finished.stderr.strip() or OUTPUT_MARKER not in lines:
            raise AssertionError("sqlcipher failed on %s: %s" % (self.path, finished.stderr.strip()))
        return lines[lines.index(OUTPUT_MARKER) + 1 :]  # some versions answer the key with "ok"

    def rows(self, table, columns, where=""):
        """The rows by ID as dictionaries: text exactly as stored, whole numbers as int, NULL as None."""
        expressions = ["CASE typeof([%s]) WHEN 'text' THEN 't' || hex([%s]) WHEN 'null' THEN 'n' ELSE 'v' || [%s] END"
                       % (column, column, column) for column in columns]  # fmt: skip
        sql = "SELECT %s FROM [%s] %s ORDER BY ID;" % (", ".join(expressions), table, where and "WHERE " + where)
        return [dict(zip(columns, map(self.decode, line.split("|")))) for line in self.execute(sql)]

    @staticmethod
    def decode(value):
        if value.startswith("t"):
            return bytes.fromhex(value[1:]).decode("utf-16-le", "surrogatepass")
        return None if value == "n" else int(value[1:]) if re.fullmatch(r"-?\d+", value[1:]) else value[1:]

    def users(self):
        return self.rows("User", ["ID", "UserName", "Password"])

    def accounts(self, user_id=None):
        return self.rows("Accounts", ["ID", "UserID"] + FIELD_COLUMNS, "" if user_id is None else "UserID = %d" % user_id)

    def add_user(self, name, password):
        """Adds a user as the program would and returns its ID."""
        literals = (text_literal(name), text_literal(hash_password(password)))
        return int(self.execute("INSERT INTO User ([UserName], [Password]) VALUES (%s, %s);\n"
                                "SELECT max(ID) FROM User;" % literals)[0])  # fmt: skip

    def add_account(self, user_name, user_id, **fields):
        """Adds an account of the user, its password enciphered as the program does, and returns its ID."""
        values = [fields.get(column, "") for column in FIELD_COLUMNS]
        values[PASSWORD] = crypt_string(user_name + str(user_id), values[PASSWORD])
        columns = ", ".join("[%s]" % column for column in FIELD_COLUMNS)
        return int(self.execute("INSERT INTO Accounts ([UserID], %s) VALUES (%d, %s);\nSELECT max(ID) FROM Accounts;"
                                % (columns, user_id, ", ".join(map(text_literal, values))))[0])  # fmt: skip

    @contextlib.contextmanager
    def locked(self):
        """An exclusive lock on the file, held by a sqlcipher shell for the time of a with block."""
        shell = subprocess.Popen(["sqlcipher", "-batch", str(self.path)], stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, text=True)  # fmt: skip
        shell.stdin.write("PRAGMA key='" + DATABASE_KEY + "';\n.timeout 10000\nBEGIN EXCLUSIVE;\n")
        shell.stdin.flush()
        try:
            # Readers are kept out once the lock is held.
            if not poll(lambda: "locked" in self.shell("SELECT count(*) FROM User;").stderr):
                raise AssertionError("could not lock %s" % self.path)
            yield
        finally:
            try:
                shell.communicate("COMMIT;\n", timeout=SHORT_WAIT)
            finally:
                stop_process(shell)


class X:
    """The tools that look at and act on one display."""

    def __init__(self, env):
        self.env = env

    def run(self, *args, timeout=10, **options):
        return subprocess.run(list(args), env=self.env, capture_output=True, timeout=timeout, **options)

    def call(self, *args, check=True, timeout=10):
        finished = self.run(*args, timeout=timeout, text=True)
        if check and finished.returncode != 0:
            raise AssertionError("%s failed: %s" % (" ".join(args), finished.stderr.strip()))
        return finished.stdout

    def search(self, *criteria):
        return [int(line) for line in self.call("xdotool", "search", *criteria, check=False).split()]

    def info(self, window):
        """The window's name, place and client size, and state; a gone window is not viewable."""
        text = self.call("xwininfo", "-id", str(window), check=False)

        def number(label):
            match = re.search(r"^\s*" + label + r":\s*(-?\d+)", text, re.MULTILINE)
            return int(match.group(1)) if match else 0

        name = re.search(r'Window id: 0x[0-9a-f]+ "(.*)"', text)
        size = (number("Width"), number("Height"))
        return SimpleNamespace(id=window, name=name.group(1) if name else "", x=number("Absolute upper-left X"),
                               y=number("Absolute upper-left Y"), width=size[0], height=size[1], size=size,
                               viewable="Map State: IsViewable" in text,
                               override_redirect="Override Redirect State: yes" in text)  # fmt: skip

    def parent(self, window):
        output = self.call("xwininfo", "-children", "-id", str(window), check=False)
        match = re.search(r"Parent window id: (0x[0-9a-f]+)", output)
        return int(match.group(1), 16) if match else None

    def root(self):
        return int(re.search(r"Window id: (0x[0-9a-f]+)", self.call("xwininfo", "-root")).group(1), 16)

    def active_window(self):
        output = self.call("xdotool", "getactivewindow", check=False).strip()
        return int(output) if output.isdigit() else None

    def property(self, window, name):
        return self.call("xprop", "-id", str(window), name, check=False)

    def bus_call(self, destination, path, method, *args, timeout=SHORT_WAIT, check=True):
        """A method call on the display's session bus; its answer as GVariant text."""
        return self.call("gdbus", "call", "--session", "--timeout", str(int(timeout)), "--dest", destination,
                         "--object-path", path, "--method", method, "--", *args, check=check,
                         timeout=timeout + 5)  # fmt: skip

    def bus_property(self, destination, path, interface, name, check=True):
        return self.bus_call(destination, path, "org.freedesktop.DBus.Properties.Get", interface, name, check=check)

    # Keys go to whichever window has the focus: "xdotool key --window" can leave a key held down in Xvfb.
    def key(self, *keys):
        self.call("xdotool", "key", "--delay", "40", *keys)

    def type(self, text, *then):
        """Types ASCII text, then presses the keys; a line break is a Return, as text fields ignore a line feed."""
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
        """The text of a selection, or what it offers as the target; None when nobody offers that."""
        finished = self.run("xclip", "-o", "-selection", name, *(["-t", target] if target else []), encoding="utf-8",
                            errors="surrogateescape")  # fmt: skip
        return None if finished.returncode != 0 else finished.stdout

    def offer_clipboard(self, text, name="clipboard"):
        """Offers the text as a selection from an xclip that stays until it loses the selection; returns it."""
        process = subprocess.Popen(["xclip", "-quiet", "-i", "-selection", name], env=self.env, stdin=subprocess.PIPE,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # fmt: skip
        process.stdin.write(text.encode("utf-8", "surrogatepass"))
        process.stdin.close()
        return process

    def capture(self, path, window=None):
        """Saves a picture of the whole screen, or of one window with its frame."""
        Path(path).parent.mkdir(parents=True, exist_ok=True)
        self.call("import", *(["-window", "root"] if window is None else ["-frame", "-window", str(window)]),
                  str(path), timeout=30)  # fmt: skip

    def pixels(self, window):
        """The window's client area as (width, height, RGB bytes)."""
        picture = self.run("import", "-window", str(window), "-depth", "8", "ppm:-", timeout=30, check=True).stdout
        _, size, _, data = picture.split(b"\n", 3)
        width, height = (int(part) for part in size.split())
        return width, height, data


class Display:
    """A private X server with a window manager and a tray host: trayer, xfce4-panel on a session bus, or none."""

    def __init__(self, logs, tray="trayer"):
        self.logs, self.processes = logs, []
        self.name = ":" + self.start_server()
        self.env = {"DISPLAY": self.name, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        x = self.x = X(self.env)
        self.start_client("openbox", ["openbox", "--sm-disable"],
                          lambda: "window id" in x.property(x.root(), "_NET_SUPPORTING_WM_CHECK"))  # fmt: skip
        if tray == "trayer":
            self.start_trayer()
        elif tray == "xfce4-panel":
            self.start_panel()

    def start_trayer(self):
        return self.start_client("trayer", TRAYER, lambda: self.x.search("--onlyvisible", "--name", "^panel$"))

    def start_panel(self):
        """Starts a session bus and the panel on it, ready once its tray has registered as the items' host."""
        config = self.logs / ".config" / "xfce4" / "xfconf" / "xfce-perchannel-xml"
        config.mkdir(parents=True)
        (config / "xfce4-panel.xml").write_text(PANEL_CONFIG)
        # The bus starts the panel's settings daemon, which reads the file above from the home given here; GTK's
        # accessibility bus would only outlive the test.
        self.env |= {"HOME": str(self.logs), "NO_AT_BRIDGE": "1"}
        reader, writer = os.pipe()
        with open(self.logs / "dbus-daemon.log", "wb") as log:
            self.processes.append(subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=%d"
                                  % writer], env=self.env, pass_fds=(writer,), stdin=subprocess.DEVNULL, stdout=log,
                                  stderr=log))  # fmt: skip
        os.close(writer)
        if not (address := read_line(reader)):
            self.fail_to_start("dbus-daemon")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address.strip()
        self.start_client("xfce4-panel", ["xfce4-panel", "--disable-wm-check"], lambda: "true" in self.x.bus_property(
            *WATCHER, WATCHER[0], "IsStatusNotifierHostRegistered", check=False))

    def start_server(self):
        """Starts Xvfb on a free display and returns the display's number, which the server writes to a pipe once it
        accepts clients: the number and its line end in two writes, so the pipe is read to the line end (a reader that
        went away after the number would make the server give up)."""
        reader, writer = os.pipe()
        with open(self.logs / "Xvfb.log", "wb") as log:
            self.processes.append(subprocess.Popen(["Xvfb", "-displayfd", str(writer), "-screen", "0", "%dx%dx24"
                                  % SCREEN_SIZE, "-nolisten", "tcp"], pass_fds=(writer,), stdin=subprocess.DEVNULL,
                                  stdout=log, stderr=log))  # fmt: skip
        os.close(writer)
        if not (number := read_line(reader)):
            self.fail_to_start("Xvfb")
        return number.strip()

    def start_client(self, name, command, ready):
        """Starts a client and waits until it is ready, again when it gives up at once, as it may at server start."""
        for _ in range(5):
            with open(self.logs / (name + ".log"), "ab") as log:
                client = subprocess.Popen(command, env=self.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
            self.processes.append(client)
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


class Program(subprocess.Popen):
    """One run of the program, started from a folder that is not its own."""

    def __init__(self, sandbox, env, name, **options):
        self.name, self.stderr_path = name, sandbox.root / (name + ".err")
        with open(sandbox.root / (name + ".out"), "wb") as stdout, open(self.stderr_path, "wb") as stderr:
            super().__init__([str(sandbox.program)], cwd=sandbox.home, env=env, stdin=subprocess.DEVNULL, stdout=stdout,
                             stderr=stderr, **options)  # fmt: skip

    def running(self):
        return self.poll() is None

    def stderr_text(self):
        return self.stderr_path.read_text(errors="replace")


class EndToEndTest(unittest.TestCase):
    """One display per test class; a fresh sandbox and database for every test."""

    tray = "trayer"

    @classmethod
    def setUpClass(cls):
        cls.logs = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-display-"))
        cls.display = Display(cls.logs, cls.tray)
        cls.x = X(cls.display.env)

    @classmethod
    def tearDownClass(cls):
        cls.display.stop()
        shutil.rmtree(cls.logs, ignore_errors=True)

    def setUp(self):
        """A fresh home, configuration, runtime and program folder, the program copied beside its own database."""
        root = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-"))
        home, config = root / "home", root / "home" / ".config"
        for folder in (config, root / "runtime", root / "program", root / "bin"):
            folder.mkdir(parents=True)
        (root / "runtime").chmod(0o700)
        self.sandbox = SimpleNamespace(root=root, home=home, program=root / "program" / PROGRAM.name,
                                       database_path=root / "program" / "AccountInfo.mdb",
                                       settings_path=config / "Tarnwick" / "Tarnwick.ini",
                                       autostart_path=config / "autostart" / "Tarnwick.desktop")  # fmt: skip
        shutil.copy2(PROGRAM, self.sandbox.program)
        self.database, self.programs, self.helpers = AccountFile(self.sandbox.database_path), [], []
        self.create_database()
        # The display's session bus if it has one, else none: the tray icon is then the plain X11 one. A sanitizer
        # build's options pass through.
        self.env = {name: value for name, value in os.environ.items() if name.endswith("SAN_OPTIONS")} | {
            "DISPLAY": self.display.name, "HOME": str(home), "XDG_CONFIG_HOME": str(config),
            "XDG_RUNTIME_DIR": str(root / "runtime"), "PATH": str(root / "bin") + ":" + os.environ["PATH"],
            "LANG": "C.UTF-8",
            "DBUS_SESSION_BUS_ADDRESS": self.display.env.get("DBUS_SESSION_BUS_ADDRESS", "unix:path=%s/no-bus" % root),
        }  # fmt: skip
        self.addCleanup(self.clean_up)

    def create_database(self):
        subprocess.run([str(NEWDB), str(self.sandbox.database_path)], check=True, timeout=LONG_WAIT)

    def install_recorder(self, name):
        """Puts first in the PATH a program of this name that appends its arguments, one a line, to a file."""
        record, script = self.sandbox.root / (name + ".record"), self.sandbox.root / "bin" / name
        script.write_text('#!/bin/sh\nprintf \'%%s\\n\' "$@" >> \'%s\'\n' % record)
        script.chmod(0o755)
        return record

    def start_copyq(self):
        """Starts the CopyQ clipboard manager with a home of its own; returns its history's first ten texts, read
        through its client. Before version 8 it honours the password managers' hint only through the command its
        documentation gives for that, which is set up here."""
        home = self.sandbox.root / "copyq"
        env = self.env | {"HOME": str(home), "XDG_CONFIG_HOME": str(home / "config"), "XDG_DATA_HOME": str(home)}
        (home / "config" / "copyq").mkdir(parents=True)
        (home / "config" / "copyq" / "copyq-commands.ini").write_text(COPYQ_IGNORE_SECRETS)
        with open(self.sandbox.root / "copyq.log", "wb") as log:
            self.helpers.append(subprocess.Popen(["copyq"], env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log))

        def call(*command):
            return subprocess.run(["copyq", *command], env=env, capture_output=True, text=True, timeout=SHORT_WAIT)

        self.wait_for("CopyQ to start", lambda: call("count").returncode == 0, LONG_WAIT)
        return lambda: [call("read", str(row)).stdout for row in range(10)]

    def settings(self):
        """The values under the program's key, as QSettings writes them: numbers (digits) as int, text as str."""
        ini, prefix = configparser.RawConfigParser(delimiters=["="]), "Quillmoor\\Tarnwick\\"
        ini.optionxform = str
        ini.read(self.sandbox.settings_path, encoding="utf-8")
        values = ini["Software"] if ini.has_section("Software") else {}
        return {name[len(prefix):]: int(value) if re.fullmatch(r"-?[0-9]+", value) else value
                for name, value in values.items() if name.startswith(prefix)}  # fmt: skip

    def store_numbers(self, **numbers):
        """Replaces the stored settings with these numbers, written as the program writes them."""
        lines = ["[Software]"] + ["Quillmoor\\Tarnwick\\%s=%d" % item for item in numbers.items()]
        self.sandbox.settings_path.parent.mkdir(parents=True, exist_ok=True)
        self.sandbox.settings_path.write_text("\n".join(lines) + "\n", encoding="utf-8")

    def clean_up(self):
        for process in self.programs + self.helpers:
            stop_process(process)
        self.wait_for("the program's windows to go", lambda: not self.x.search("--classname", "tarnwick"))
        shutil.rmtree(self.sandbox.root, ignore_errors=True)

    def wait_for(self, what, condition, timeout=SHORT_WAIT):
        """Polls until the condition gives a true value and returns it; fails with a screenshot if it does not."""
        value = poll(condition, timeout)
        if not value:
            try:
                path = self.screenshot("FAILED-" + self.id().split(".", 1)[-1])
            except (AssertionError, subprocess.SubprocessError):
                path = "(no screenshot)"
            errors = "".join("\n--- %s stderr:\n%s" % (program.name, program.stderr_text()) for program in self.programs)
            self.fail("waited %.0f s for %s\nscreenshot: %s%s" % (timeout, what, path, errors))
        return value

    def screenshot(self, name, window=None):
        self.x.capture(path := SCREENSHOTS / (name + ".png"), window)
        return path

    # The program and its windows

    def start_program(self, wait_for_icon=True, **options):
        program = Program(self.sandbox, self.env, "tarnwick-%d" % (len(self.programs) + 1), **options)
        self.programs.append(program)
        if wait_for_icon:
            self.wait_for("the tray icon of %s" % program.name, lambda: self.tray_icon(program), LONG_WAIT)
        return program

    def wait_exit(self, program):
        self.wait_for("%s to end" % program.name, lambda: not program.running(), LONG_WAIT)
        return program.returncode

    def windows(self, program, kind, title=None):
        """The program's visible windows of a kind: icon, main, dialog or menu."""

        def kind_of(info):
            if info.width <= LARGEST_ICON and info.height <= LARGEST_ICON:
                return "icon"
            if info.override_redirect:
                return "menu"
            return "dialog" if "_DIALOG" in self.x.property(info.id, "_NET_WM_WINDOW_TYPE") else "main"

        found = map(self.x.info, self.x.search("--onlyvisible", "--pid", str(program.pid)))
        return [info.id for info in found if info.viewable and kind_of(info) == kind and title in (None, info.name)]

    def tray_icon(self, program):
        """The program's icon window once the tray host has embedded it."""
        root = self.x.root()
        return next((icon for icon in self.windows(program, "icon") if self.x.parent(icon) not in (root, None)), None)

    def main_window(self, program):
        return next(iter(self.windows(program, "main")), None)

    def dialogs(self, program, title=None):
        return self.windows(program, "dialog", title)

    def wait_active(self, window, what):
        self.wait_for(what + " to get the focus", lambda: self.x.active_window() == window)

    def wait_main_window(self, program):
        window = self.wait_for("the main window", lambda: self.main_window(program), LONG_WAIT)
        self.wait_active(window, "the main window")
        return window

    def wait_dialog(self, program, title):
        """The one dialog with this title, once it has the focus."""
        found = self.wait_for("a dialog titled %r" % title, lambda: self.dialogs(program, title), LONG_WAIT)
        self.assertEqual(len(found), 1, "one dialog titled %r" % title)
        self.wait_active(found[0], "the dialog %r" % title)
        return found[0]

    def assert_stays_hidden(self, program):
        """Nothing of the program but its icon shows up within a second."""
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertIsNone(self.main_window(program))
            self.assertEqual(self.dialogs(program), [])

    def wait_gone(self, window, what="the window"):
        self.wait_for(what + " to close", lambda: not self.x.info(window).viewable)

    # Selections

    def grab(self, name, action, give_up=None):
        # Copying nothing leaves the selection alone: with give_up, that many seconds without text read as empty.
        """The text the action puts in a selection, seen when it replaces a marker there."""
        marker = "nothing yet %f" % time.monotonic()
        self.helpers.append(self.x.offer_clipboard(marker, name))
        self.wait_for("the %s selection" % name, lambda: self.x.selection(name) == marker)
        action()

        def fresh():
            text = self.x.selection(name)
            return None if text == marker else text

        return (poll(fresh, give_up) or "") if give_up else self.wait_for("the text in the %s selection" % name, fresh)

    # Message boxes

    def message_text(self, window):
        """The text of a one-line message box, selected with the mouse and read from the primary selection."""
        width, height, data = self.x.pixels(window)

        def ink(x, y):
            red, green, blue = data[(y * width + x) * 3 : (y * width + x) * 3 + 3]
            return red + green + blue < 300 and max(red, green, blue) - min(red, green, blue) < 40

        # The text stands right of the icon and above the buttons; its first line is the first band of rows with
        # ink, gaps of a row or two (the dot of an i) included.
        left = 56
        rows = [y for y in range(height - 42) if any(ink(x, y) for x in range(left, width))]
        self.assertTrue(rows, "text in the message box")
        first = [rows[0]]
        for y in rows[1:]:
            if y - first[-1] > 3:
                break
            first.append(y)
        middle = (first[0] + first[-1]) // 2
        columns = [x for x in range(left, width) if any(ink(x, y) for y in first)]
        press = ((columns[0] + columns[-1]) // 2, middle)
        # From the same point to either end: the parts meet there. A press on selected text would drag it, so a
        # click on the last character ends the first selection.
        parts = []
        for end in ((1, middle), (width - 2, middle)):
            if parts:
                self.x.click(window, (columns[-1], middle))
            parts.append(self.grab("primary", lambda: self.x.call(
                "xdotool", "mousemove", "--window", str(window), str(press[0]), str(press[1]), "mousedown", "1",
                "mousemove", "--window", str(window), str(end[0]), str(end[1]), "mouseup", "1")))  # fmt: skip
        return "".join(parts)

    def wait_message(self, program, text, screenshot=None):
        """The message box with this text, once it has the focus."""
        window = self.wait_dialog(program, TITLE)
        if screenshot:
            self.screenshot(screenshot, window)
        self.assertEqual(self.message_text(window), text)
        return window

    def answer_message(self, program, text, key="Return", screenshot=None):
        """Answers the message box with a key: Return for its first button, the button's letter for another."""
        window = self.wait_message(program, text, screenshot)
        self.x.key(key)
        self.wait_gone(window, "the message %r" % text)

    # The tray icon and logging on

    def double_click_icon(self, program):
        self.x.click(self.tray_icon(program), (10, 10), repeat=2)

    def open_tray_menu(self, program):
        """Right-clicks the icon and returns the menu, clicking again when the click came as the last menu closed."""
        for _ in range(3):
            self.x.click(self.tray_icon(program), (10, 10), button=3)
            if menus := poll(lambda: self.windows(program, "menu"), 1.5):
                return menus[0]
        self.wait_for("a tray menu after three right clicks", lambda: False, 0)

    def choose(self, menu, position, what="the menu"):
        """Chooses the item at this position (1 first), counting only items that can be chosen."""
        self.x.key(*(["Down"] * position), "Return")
        self.wait_gone(menu, what)

    def choose_from_tray_menu(self, program, position):
        self.choose(self.open_tray_menu(program), position, "the tray menu")

    def type_new_password(self, program, password, confirmation=None, *then):
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.x.type(password, "Tab")
        self.x.type(password if confirmation is None else confirmation, *then)
        return dialog

    def enter_password(self, program, password, user=LOGIN_NAME):
        dialog = self.wait_dialog(program, "Enter password for user " + user)
        self.x.type(password, "Return")
        self.wait_gone(dialog, "the password dialog")

    def log_on(self, program, password, user=LOGIN_NAME):
        self.double_click_icon(program)
        self.enter_password(program, password, user)
        return self.wait_main_window(program)

    def unload(self, program):
        """Unloads through the tray menu, hiding the window first when it is shown."""
        if window := self.main_window(program):
            self.close_window(window)
        self.choose_from_tray_menu(program, UNLOAD)
        return self.wait_exit(program)

    # The main window

    def close_window(self, window):
        """Clicks the close box in the window's frame."""
        info = self.x.info(window)
        self.x.call("xdotool", "mousemove", str(info.x + info.width - 10), str(info.y - 10), "click", "1")
        self.wait_gone(window, "the main window")

    def point(self, window, place, x_offset=None):
        """The centre of a place on the main window given in design twips, or a point x_offset pixels into it; a menu
        bar above the controls moves them down."""
        left, top, width, height = place
        info = self.x.info(window)
        scale = info.width * TWIPS_PER_PIXEL / DESIGN_SIZE[0]
        menu_bar = info.height - round(DESIGN_SIZE[1] * scale / TWIPS_PER_PIXEL)
        x = left * scale / TWIPS_PER_PIXEL + x_offset if x_offset is not None else (left + width / 2) * scale / TWIPS_PER_PIXEL
        return (round(x), menu_bar + round((top + height / 2) * scale / TWIPS_PER_PIXEL))

    def click_field(self, window, index, repeat=1):
        self.x.click(window, self.point(window, FIELD_PLACES[index]), repeat=repeat)

    def select_field(self, window, index, *then):
        """Clicks into the field and selects all its text: a click into a focused field only moves the cursor."""
        self.click_field(window, index)
        self.x.key("ctrl+a", *then)

    def type_into_field(self, window, index, text):
        self.select_field(window, index)
        self.x.type(text)

    def paste_into_field(self, window, index, text):
        self.helpers.append(self.x.offer_clipboard(text))
        self.wait_for("the clipboard", lambda: self.x.selection() == text)
        self.select_field(window, index, "ctrl+v")

    def read_field(self, window, index):
        """The field's whole text, copied with Ctrl+C."""
        return self.grab("clipboard", lambda: self.select_field(window, index, "ctrl+c"), 2.0)

    def choose_from_account_menu(self, program, window, position, key=None):
        """Opens the account menu with the key in the focused list, or else by a right click on the list's empty
        bottom, and chooses the item at this position."""
        left, top, width, height = LIST_PLACE
        if key:
            self.x.key(key)
        else:
            self.x.click(window, self.point(window, (left, top + height - 150, width, 0)), 3)
        self.choose(self.wait_for("the account menu", lambda: self.windows(program, "menu"))[0], position, "the account menu")

    def focus_list(self, window):
        """Moves the focus to the account list with Tab from the last field, so that no item is picked."""
        self.click_field(window, COMMENT)
        self.x.key("Tab", "Tab")

    def pick_account(self, window, key="Down"):
        """Picks the next account in the list, or the previous one with Up."""
        self.focus_list(window)
        self.x.key(key)
