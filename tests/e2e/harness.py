"""The end-to-end harness: runs the real program on a private X server with a window manager and a tray host,
in a fresh home and program folder for every test, drives it with keys and clicks as a person would, and reads
back what it stored with the sqlcipher shell.

Every helper process is started here and stopped by its PID. Every wait is bounded; a wait that runs out saves
a screenshot and fails with its path and the program's error output.
"""

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

REPOSITORY = Path(__file__).resolve().parents[2]
PROGRAM = Path(os.environ.get("TARNWICK_PROGRAM", REPOSITORY / "build" / "tarnwick"))
NEWDB = Path(os.environ.get("TARNWICK_NEWDB", REPOSITORY / "build" / "tarnwick-newdb"))
SCREENSHOTS = Path(os.environ.get("TARNWICK_E2E_SCREENSHOTS", REPOSITORY / "build" / "e2e-screenshots"))

DATABASE_NAME = "AccountInfo.mdb"
DATABASE_KEY = "wendrapolix"
TITLE = "Tarnwick"
LOGIN_NAME = pwd.getpwuid(os.geteuid()).pw_name
SCREEN_SIZE = (1024, 768)
TWIPS_PER_PIXEL = 15  # 1440 twips per inch at 96 dots per inch
# The main window's client area, 7080 by 4245 twips.
MAIN_SIZE = (7080 // TWIPS_PER_PIXEL, 4245 // TWIPS_PER_PIXEL)
# A tray icon is a small window; anything larger of the program's is a window of its own.
LARGEST_ICON = 64

SHORT_WAIT = 5.0
LONG_WAIT = 15.0
POLL_INTERVAL = 0.05
TOOL_TIMEOUT = 10.0

# Places on the main window, left, top, width, height in twips, as its layout gives them.
FIELD_PLACES = [
    (1320, 195, 2535, 300),
    (1440, 582, 2415, 300),
    (1440, 969, 2415, 300),
    (1440, 1356, 2415, 300),
    (1440, 1743, 2415, 300),
    (1440, 2130, 2415, 1455),
]
ACCOUNT, USER_NAME, PASSWORD, URL, PHONE, COMMENT = range(6)
# Positions of the menu items that can be chosen, first 1: the tray menus before and after the logon, and the
# account list's menu.
LOG_IN = OPEN = 1
UNLOAD = 2
LEAVE_MENU = 3
ADD_NEW_ACCOUNT = 1
DELETE_ACCOUNT = 2
FIELD_COLUMNS = ["Account", "UserName", "Password", "URL", "Phone", "Comment"]
ADD_ACCOUNT_PLACE = (4560, 135, 1500, 375)
LIST_PLACE = (5100, 915, 1920, 2700)
LAUNCH_PLACE = (120, 3690, 5100, 255)
FLOAT_PLACE = (120, 3945, 5100, 255)


def centre(place):
    """The centre of a place given in twips, in pixels of the window's client area."""
    left, top, width, height = place
    return ((left + width // 2) // TWIPS_PER_PIXEL, (top + height // 2) // TWIPS_PER_PIXEL)


def check_box_point(place):
    """A point on the box of a check box, which is drawn at the left of its place."""
    left, top, _, height = place
    return (left // TWIPS_PER_PIXEL + 8, (top + height // 2) // TWIPS_PER_PIXEL)


# The password transforms, written from their description so that the program's are checked against another
# implementation. Both work on 16-bit code units and change only their low bytes.


def utf16_units(text):
    data = text.encode("utf-16-le", "surrogatepass")
    return [data[i] | data[i + 1] << 8 for i in range(0, len(data), 2)]


def from_utf16_units(units):
    return b"".join(unit.to_bytes(2, "little") for unit in units).decode("utf-16-le", "surrogatepass")


def hash_password(password):
    s = utf16_units(password)
    n = len(s)
    if n == 0:
        return ""
    if n == 1:
        return from_utf16_units([s[0] & 0xFF00 | (((s[0] & 0xFF) * (s[0] & 0xFF) + (s[0] & 0xFF)) % 256)])
    if n == 2:
        a, b = s[0] & 0xFF, s[1] & 0xFF
        return from_utf16_units([s[0] & 0xFF00 | (a + b) % 256, s[1] & 0xFF00 | (a * b) % 256])
    result = []
    for i in range(1, n + 1):
        j = i + 1 if i + 1 <= n else 1
        k = j + 1 if j + 1 <= n else 1
        lo_i, lo_j, lo_k = s[i - 1] & 0xFF, s[j - 1] & 0xFF, s[k - 1] & 0xFF
        result.append(s[i - 1] & 0xFF00 | (lo_i + i + (lo_j + i) * lo_k + 1) % 256)
    return from_utf16_units(result)


def crypt_string(key, data):
    k = utf16_units(key)
    d = utf16_units(data)
    if not d:
        return ""
    state = sum(unit & 0xFF for unit in k) % 256
    result = []
    for i, unit in enumerate(d):
        state = (state + (k[i % len(k)] & 0xFF)) % 256
        result.append(unit & 0xFF00 | (state ^ (unit & 0xFF)))
    return from_utf16_units(result)


def account_key(user_name, user_id):
    return user_name + str(user_id)


OUTPUT_MARKER = "-- output --"


def text_literal(text):
    """SQL for exactly this text in the account file, whose text is UTF-16: control characters, unpaired
    surrogates and quotes included."""
    return "CAST(X'" + text.encode("utf-16-le", "surrogatepass").hex() + "' AS TEXT)"


class AccountFile:
    """An account database read and written with the sqlcipher shell, as another program would."""

    def __init__(self, path):
        self.path = Path(path)

    def run(self, script, key=DATABASE_KEY, timeout=LONG_WAIT):
        """Runs SQL in the shell and returns the finished process; waits up to 10 s for the program's locks."""
        text = "PRAGMA key='" + key + "';\n.timeout 10000\nSELECT '" + OUTPUT_MARKER + "';\n" + script + "\n"
        return subprocess.run(
            ["sqlcipher", "-batch", "-noheader", str(self.path)],
            input=text,
            capture_output=True,
            text=True,
            timeout=timeout,
        )

    def execute(self, script, key=DATABASE_KEY):
        finished = self.run(script, key)
        lines = finished.stdout.splitlines()
        if finished.returncode != 0 or finished.stderr.strip() or OUTPUT_MARKER not in lines:
            raise AssertionError("sqlcipher failed on %s: %s" % (self.path, finished.stderr.strip()))
        # Some versions answer the key with "ok": the script's output starts after the marker.
        return lines[lines.index(OUTPUT_MARKER) + 1 :]

    def rows(self, table, columns, where="", order="ID"):
        """The rows as dictionaries: text exactly as stored, whole numbers as int, NULL as None."""
        expressions = [
            "CASE typeof([%s]) WHEN 'text' THEN 't' || hex([%s]) WHEN 'null' THEN 'n' ELSE 'v' || [%s] END"
            % (column, column, column)
            for column in columns
        ]
        sql = "SELECT " + ", ".join(expressions) + " FROM [" + table + "]"
        if where:
            sql += " WHERE " + where
        if order:
            sql += " ORDER BY " + order
        rows = []
        for line in self.execute(sql + ";"):
            values = line.split("|")
            rows.append({column: self.decode(value) for column, value in zip(columns, values)})
        return rows

    @staticmethod
    def decode(value):
        if value.startswith("t"):
            return bytes.fromhex(value[1:]).decode("utf-16-le", "surrogatepass")
        if value == "n":
            return None
        number = value[1:]
        return int(number) if re.fullmatch(r"-?\d+", number) else number

    def users(self):
        return self.rows("User", ["ID", "UserName", "Password"])

    def accounts(self, user_id=None):
        where = "[UserID] = %d" % user_id if user_id is not None else ""
        return self.rows("Accounts", ["ID", "UserID"] + FIELD_COLUMNS, where)

    def add_user(self, name, password):
        """Adds a user as the program would and returns its ID."""
        self.execute(
            "INSERT INTO User ([UserName], [Password]) VALUES (%s, %s);"
            % (text_literal(name), text_literal(hash_password(password)))
        )
        return int(self.execute("SELECT max(ID) FROM User;")[0])

    def add_account(self, user_name, user_id, **fields):
        """Adds an account of the user, its password enciphered as the program does, and returns its ID."""
        values = {column: fields.get(column, "") for column in FIELD_COLUMNS}
        values["Password"] = crypt_string(account_key(user_name, user_id), values["Password"])
        columns = ", ".join("[%s]" % column for column in FIELD_COLUMNS)
        literals = ", ".join(text_literal(values[column]) for column in FIELD_COLUMNS)
        self.execute("INSERT INTO Accounts ([UserID], %s) VALUES (%d, %s);" % (columns, int(user_id), literals))
        return int(self.execute("SELECT max(ID) FROM Accounts;")[0])

    def integrity(self):
        return self.execute("PRAGMA integrity_check;")

    def is_locked(self):
        """True while another connection keeps readers out."""
        finished = subprocess.run(
            ["sqlcipher", "-batch", "-noheader", str(self.path)],
            input="PRAGMA key='" + DATABASE_KEY + "';\nSELECT count(*) FROM User;\n",
            capture_output=True,
            text=True,
            timeout=LONG_WAIT,
        )
        return "locked" in finished.stderr


class WriteLock:
    """An exclusive lock on an account file, held by a sqlcipher shell until released."""

    def __init__(self, account_file):
        self.process = subprocess.Popen(
            ["sqlcipher", "-batch", str(account_file.path)],
            stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            text=True,
        )
        self.process.stdin.write("PRAGMA key='" + DATABASE_KEY + "';\n.timeout 10000\nBEGIN EXCLUSIVE;\n")
        self.process.stdin.flush()
        deadline = time.monotonic() + LONG_WAIT
        while not account_file.is_locked():
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.release()
                raise AssertionError("could not lock %s" % account_file.path)
            time.sleep(POLL_INTERVAL)

    def release(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("COMMIT;\n")
                self.process.stdin.close()
                self.process.wait(timeout=SHORT_WAIT)
            except (BrokenPipeError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()


def stop_process(process, grace=SHORT_WAIT):
    """Ends a process we started: SIGTERM, then SIGKILL when it does not end within the grace time."""
    if process.poll() is not None:
        return process.returncode
    process.terminate()
    try:
        return process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait()


class WindowInfo:
    """What xwininfo tells of a window: name, place and size of its client area, whether it shows."""

    def __init__(self, window, text):
        def number(label):
            match = re.search(r"^\s*" + label + r":\s*(-?\d+)", text, re.MULTILINE)
            return int(match.group(1)) if match else 0

        self.id = window
        name = re.search(r'Window id: 0x[0-9a-f]+ "(.*)"', text)
        self.name = name.group(1) if name else ""
        self.x = number("Absolute upper-left X")
        self.y = number("Absolute upper-left Y")
        self.width = number("Width")
        self.height = number("Height")
        self.viewable = "Map State: IsViewable" in text
        self.override_redirect = "Override Redirect State: yes" in text

    @property
    def size(self):
        return (self.width, self.height)


class X:
    """The tools that look at and act on one display."""

    def __init__(self, env):
        self.env = env

    def call(self, *args, check=True, timeout=TOOL_TIMEOUT):
        finished = subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=timeout)
        if check and finished.returncode != 0:
            raise AssertionError("%s failed: %s" % (" ".join(args), finished.stderr.strip()))
        return finished.stdout

    def search(self, *criteria):
        """Windows that xdotool finds; none is not an error."""
        output = self.call("xdotool", "search", *criteria, check=False)
        return [int(line) for line in output.split()]

    def info(self, window):
        """The window's geometry and state; None when it no longer exists."""
        finished = subprocess.run(
            ["xwininfo", "-id", str(window)], env=self.env, capture_output=True, text=True, timeout=TOOL_TIMEOUT
        )
        return WindowInfo(window, finished.stdout) if finished.returncode == 0 else None

    def parent(self, window):
        output = self.call("xwininfo", "-children", "-id", str(window), check=False)
        match = re.search(r"Parent window id: (0x[0-9a-f]+)", output)
        return int(match.group(1), 16) if match else None

    def root(self):
        output = self.call("xwininfo", "-root")
        return int(re.search(r"Window id: (0x[0-9a-f]+)", output).group(1), 16)

    def active_window(self):
        output = self.call("xdotool", "getactivewindow", check=False).strip()
        return int(output) if output.isdigit() else None

    def property(self, window, name):
        return self.call("xprop", "-id", str(window), name, check=False)

    # Keys go to whichever window has the focus: "xdotool key --window" can leave a key held down in Xvfb.
    def key(self, *keys):
        self.call("xdotool", "key", "--delay", "40", *keys)

    def type(self, text):
        if not text.isascii():
            raise ValueError("xdotool types ASCII reliably only; put other text on the clipboard")
        # A line break typed as a character is a line feed key, which text fields ignore: press Return.
        for number, line in enumerate(text.split("\n")):
            if number:
                self.key("Return")
            if line:
                self.call("xdotool", "type", "--delay", "20", "--", line, timeout=TOOL_TIMEOUT + len(line) * 0.1)

    def click(self, window, point, button=1, repeat=1):
        x, y = point
        self.call(
            "xdotool", "mousemove", "--window", str(window), str(x), str(y),
            "click", "--repeat", str(repeat), "--delay", "80", str(button),
        )  # fmt: skip

    def click_at(self, point, button=1):
        x, y = point
        self.call("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def drag(self, window, start, end):
        self.call(
            "xdotool", "mousemove", "--window", str(window), str(start[0]), str(start[1]), "mousedown", "1",
            "mousemove", "--window", str(window), str(end[0]), str(end[1]), "mouseup", "1",
        )  # fmt: skip

    def selection(self, name="clipboard"):
        """The text of a selection; None when nobody offers text."""
        finished = subprocess.run(
            ["xclip", "-o", "-selection", name], env=self.env, capture_output=True, timeout=TOOL_TIMEOUT
        )
        if finished.returncode != 0:
            return None
        return finished.stdout.decode("utf-8", "surrogateescape")

    def offer_clipboard(self, text, name="clipboard"):
        """Offers the text as the selection from an xclip that stays until another owner takes the selection or
        it is stopped; returns that process."""
        process = subprocess.Popen(
            ["xclip", "-quiet", "-i", "-selection", name],
            env=self.env,
            stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        process.stdin.write(text.encode("utf-8", "surrogatepass"))
        process.stdin.close()
        return process

    def capture(self, path, window=None):
        """Saves a picture of the whole screen, or of one window with its frame."""
        Path(path).parent.mkdir(parents=True, exist_ok=True)
        if window is None:
            self.call("import", "-window", "root", str(path), timeout=30)
        else:
            self.call("import", "-frame", "-window", str(window), str(path), timeout=30)

    def pixels(self, window):
        """The window's client area as (width, height, RGB bytes)."""
        finished = subprocess.run(
            ["import", "-window", str(window), "-depth", "8", "ppm:-"],
            env=self.env,
            capture_output=True,
            timeout=30,
        )
        if finished.returncode != 0:
            raise AssertionError("cannot capture window %d" % window)
        magic, size, maximum, data = finished.stdout.split(b"\n", 3)
        width, height = (int(part) for part in size.split())
        if magic != b"P6" or maximum != b"255":
            raise AssertionError("unexpected picture format from import")
        return width, height, data


class Display:
    """A private X server with a window manager and a tray host."""

    def __init__(self, logs):
        self.logs = Path(logs)
        self.processes = []
        self.name = None

    @property
    def env(self):
        return {"DISPLAY": self.name, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}

    def start(self):
        self.logs.mkdir(parents=True, exist_ok=True)
        self.start_server()
        x = X(self.env)
        self.start_client(
            "openbox",
            ["openbox", "--sm-disable"],
            lambda: "window id" in x.property(x.root(), "_NET_SUPPORTING_WM_CHECK"),
        )
        self.start_client(
            "trayer",
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24",
             "--SetDockType", "true", "--transparent", "false"],
            lambda: x.search("--onlyvisible", "--name", "^panel$"),
        )  # fmt: skip

    def start_server(self):
        # The server picks a free display itself and writes its number to the pipe once it accepts clients.
        reader, writer = os.pipe()
        log = open(self.logs / "Xvfb.log", "wb")
        server = subprocess.Popen(
            ["Xvfb", "-displayfd", str(writer), "-screen", "0", "%dx%dx24" % SCREEN_SIZE, "-nolisten", "tcp"],
            pass_fds=(writer,),
            stdout=log,
            stderr=log,
        )
        log.close()
        self.processes.append(server)
        os.close(writer)
        number = b""
        deadline = time.monotonic() + LONG_WAIT
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([reader], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(reader, 16) if ready else b""
            if not chunk:
                os.close(reader)
                self.stop()
                raise AssertionError("Xvfb did not start; see %s" % (self.logs / "Xvfb.log"))
            number += chunk
        os.close(reader)
        self.name = ":" + number.decode().strip()
        x = X(self.env)
        self.wait_until("Xvfb", lambda: x.call("xwininfo", "-root", check=False))

    def start_client(self, name, command, ready):
        """Starts a client and waits until it is ready; one that gives up at once, as a client connecting in the
        moment the server comes up sometimes does, is started again after a pause."""
        for _ in range(5):
            with open(self.logs / (name + ".log"), "ab") as log:
                client = subprocess.Popen(command, env=self.env, stdout=log, stderr=log, stdin=subprocess.DEVNULL)
            self.processes.append(client)
            deadline = time.monotonic() + LONG_WAIT
            while client.poll() is None and time.monotonic() < deadline:
                if ready():
                    return
                time.sleep(POLL_INTERVAL)
            stop_process(client)
            time.sleep(0.5)
        self.fail_to_start(name)

    def wait_until(self, name, ready):
        deadline = time.monotonic() + LONG_WAIT
        while not ready():
            if time.monotonic() > deadline:
                self.fail_to_start(name)
            time.sleep(POLL_INTERVAL)

    def fail_to_start(self, name):
        self.stop()
        raise AssertionError("%s did not start on %s; see %s" % (name, self.name, self.logs))

    def stop(self):
        for process in reversed(self.processes):
            stop_process(process)
        self.processes = []


class Sandbox:
    """A fresh home, configuration, runtime folder and program folder: the program is copied beside its own
    database, so that the program's folder is the test's."""

    def __init__(self, root, program=PROGRAM):
        self.root = Path(root)
        self.home = self.root / "home"
        self.config = self.home / ".config"
        self.runtime = self.root / "runtime"
        self.program_folder = self.root / "program"
        self.bin = self.root / "bin"
        for folder in (self.home, self.config, self.runtime, self.program_folder, self.bin):
            folder.mkdir(parents=True)
        self.runtime.chmod(0o700)
        self.program = self.program_folder / Path(program).name
        shutil.copy2(program, self.program)
        self.database_path = self.program_folder / DATABASE_NAME
        self.database = AccountFile(self.database_path)

    def create_database(self):
        subprocess.run([str(NEWDB), str(self.database_path)], check=True, timeout=LONG_WAIT)

    def install_recorder(self, name):
        """Puts a program of this name first in the PATH that appends its arguments, one a line, to a file;
        returns the file's path."""
        record = self.root / (name + ".record")
        script = self.bin / name
        script.write_text('#!/bin/sh\nprintf \'%%s\\n\' "$@" >> \'%s\'\n' % record)
        script.chmod(0o755)
        return record

    @property
    def settings_path(self):
        return self.config / "Tarnwick" / "settings.reg"

    @property
    def autostart_path(self):
        return self.config / "autostart" / "Tarnwick.desktop"

    def settings(self):
        """The stored values by name: text as str, numbers as int."""
        values = {}
        if not self.settings_path.exists():
            return values
        for line in self.settings_path.read_text(encoding="utf-8").splitlines():
            text = re.fullmatch(r'text "(.*)" "(.*)"', line)
            number = re.fullmatch(r'number "(.*)" ([0-9a-f]{8})', line)
            if text:
                values[text.group(1)] = text.group(2)
            elif number:
                value = int(number.group(2), 16)
                values[number.group(1)] = value - (1 << 32) if value >= 1 << 31 else value
        return values

    def env(self, display):
        # No session bus: the tray icon is the plain X11 one and nothing starts a bus behind our back.
        # A sanitizer build's options pass through.
        sanitizer = {name: value for name, value in os.environ.items() if name.endswith("SAN_OPTIONS")}
        return sanitizer | {
            "DISPLAY": display.name,
            "HOME": str(self.home),
            "XDG_CONFIG_HOME": str(self.config),
            "XDG_RUNTIME_DIR": str(self.runtime),
            "PATH": str(self.bin) + ":" + os.environ.get("PATH", "/usr/bin:/bin"),
            "LANG": "C.UTF-8",
            "DBUS_SESSION_BUS_ADDRESS": "unix:path=" + str(self.root / "no-bus"),
        }


class Program:
    """One run of the program, started from a folder that is not its own."""

    def __init__(self, sandbox, display, name):
        self.name = name
        self.stdout_path = sandbox.root / (name + ".out")
        self.stderr_path = sandbox.root / (name + ".err")
        with open(self.stdout_path, "wb") as stdout, open(self.stderr_path, "wb") as stderr:
            self.process = subprocess.Popen(
                [str(sandbox.program)],
                cwd=str(sandbox.home),
                env=sandbox.env(display),
                stdin=subprocess.DEVNULL,
                stdout=stdout,
                stderr=stderr,
            )

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def stderr(self):
        return self.stderr_path.read_text(errors="replace") if self.stderr_path.exists() else ""

    def signal(self, number):
        self.process.send_signal(number)


class EndToEndTest(unittest.TestCase):
    """One display per test class; a fresh sandbox and database for every test."""

    @classmethod
    def setUpClass(cls):
        missing = [tool for tool in TOOLS if shutil.which(tool) is None]
        if missing:
            raise AssertionError("missing tools (scripts/install-deps.sh test installs them): " + ", ".join(missing))
        if not PROGRAM.exists() or not NEWDB.exists():
            raise AssertionError("build the program first: %s, %s" % (PROGRAM, NEWDB))
        cls.logs = Path(tempfile.mkdtemp(prefix="tarnwick-e2e-display-"))
        cls.display = Display(cls.logs)
        cls.display.start()
        cls.x = X(cls.display.env)

    @classmethod
    def tearDownClass(cls):
        cls.display.stop()
        shutil.rmtree(cls.logs, ignore_errors=True)

    def setUp(self):
        self.sandbox = Sandbox(tempfile.mkdtemp(prefix="tarnwick-e2e-"))
        self.sandbox.create_database()
        self.database = self.sandbox.database
        self.programs = []
        self.helpers = []
        self.addCleanup(self.clean_up)

    def clean_up(self):
        for program in self.programs:
            stop_process(program.process)
        for helper in self.helpers:
            stop_process(helper)
        self.wait_for("the program's windows to go", lambda: not self.x.search("--classname", "tarnwick"))
        shutil.rmtree(self.sandbox.root, ignore_errors=True)

    # Waiting

    def wait_for(self, what, condition, timeout=SHORT_WAIT):
        """Polls until the condition gives a true value and returns it; fails with a screenshot when the time
        runs out."""
        deadline = time.monotonic() + timeout
        while True:
            value = condition()
            if value:
                return value
            if time.monotonic() > deadline:
                self.fail_with_evidence("waited %.0f s for %s" % (timeout, what))
            time.sleep(POLL_INTERVAL)

    def fail_with_evidence(self, message):
        path = SCREENSHOTS / ("FAILED-%s.png" % self.id().split(".", 1)[-1])
        try:
            self.x.capture(path)
        except (AssertionError, subprocess.SubprocessError):
            path = "(no screenshot)"
        errors = "".join("\n--- %s stderr:\n%s" % (program.name, program.stderr()) for program in self.programs)
        self.fail("%s\nscreenshot: %s%s" % (message, path, errors))

    def screenshot(self, name, window=None):
        path = SCREENSHOTS / (name + ".png")
        self.x.capture(path, window)
        return path

    # The program

    def start_program(self, wait_for_icon=True):
        program = Program(self.sandbox, self.display, "tarnwick-%d" % (len(self.programs) + 1))
        self.programs.append(program)
        if wait_for_icon:
            self.wait_for("the tray icon of %s" % program.name, lambda: self.tray_icon(program), LONG_WAIT)
        return program

    def wait_exit(self, program, timeout=LONG_WAIT):
        self.wait_for("%s to end" % program.name, lambda: not program.running(), timeout)
        return program.process.returncode

    def windows(self, program):
        """The program's visible windows."""
        found = []
        for window in self.x.search("--onlyvisible", "--pid", str(program.pid)):
            info = self.x.info(window)
            if info and info.viewable:
                found.append(info)
        return found

    def tray_icon(self, program):
        """The program's icon window once the tray host has embedded it."""
        root = self.x.root()
        for info in self.windows(program):
            small = info.width <= LARGEST_ICON and info.height <= LARGEST_ICON
            if small and self.x.parent(info.id) not in (root, None):
                return info.id
        return None

    def main_window(self, program):
        for info in self.windows(program):
            if info.size == MAIN_SIZE and not info.override_redirect:
                return info.id
        return None

    def dialogs(self, program, title=None):
        """The program's visible windows other than the main window, the icon and menus."""
        return [
            info.id
            for info in self.windows(program)
            if not info.override_redirect
            and info.size != MAIN_SIZE
            and (info.width > LARGEST_ICON or info.height > LARGEST_ICON)
            and (title is None or re.fullmatch(title, info.name))
        ]

    def menus(self, program):
        return [
            info.id
            for info in self.windows(program)
            if info.override_redirect and (info.width > LARGEST_ICON or info.height > LARGEST_ICON)
        ]

    def wait_active(self, window, what):
        self.wait_for(what + " to get the focus", lambda: self.x.active_window() == window)

    def wait_main_window(self, program):
        window = self.wait_for("the main window", lambda: self.main_window(program), LONG_WAIT)
        self.wait_active(window, "the main window")
        return window

    def wait_dialog(self, program, title, timeout=LONG_WAIT):
        """The one dialog with this title, once it has the focus."""
        found = self.wait_for("a dialog titled %r" % title, lambda: self.dialogs(program, re.escape(title)), timeout)
        self.assertEqual(len(found), 1, "one dialog titled %r" % title)
        self.wait_active(found[0], "the dialog %r" % title)
        return found[0]

    def assert_stays_hidden(self, program):
        """Nothing of the program but its icon shows up within a second."""
        deadline = time.monotonic() + 1.0
        while time.monotonic() < deadline:
            self.assertIsNone(self.main_window(program))
            self.assertEqual(self.dialogs(program), [])
            time.sleep(0.1)

    def wait_gone(self, window, what="the window"):
        self.wait_for(what + " to close", lambda: not self.viewable(window))

    def viewable(self, window):
        info = self.x.info(window)
        return info is not None and info.viewable

    # Message boxes

    def message_text(self, window):
        """The text of a one-line message box, selected with the mouse and read from the primary selection."""
        width, height, data = self.x.pixels(window)

        def ink(x, y):
            offset = (y * width + x) * 3
            red, green, blue = data[offset], data[offset + 1], data[offset + 2]
            return red + green + blue < 300 and max(red, green, blue) - min(red, green, blue) < 40

        # The text stands right of the icon and above the row of buttons; its first line is the first band of
        # rows with ink, gaps of a row or two (the dot of an i) included.
        left, bottom = 56, height - 42
        rows = [y for y in range(bottom) if any(ink(x, y) for x in range(left, width))]
        if not rows:
            self.fail_with_evidence("no text in the message box")
        first = [rows[0]]
        for y in rows[1:]:
            if y - first[-1] > 3:
                break
            first.append(y)
        middle_y = (first[0] + first[-1]) // 2
        columns = [x for x in range(left, width) if any(ink(x, y) for y in first)]
        press = ((columns[0] + columns[-1]) // 2, middle_y)
        # From the same point to the left end and to the right end: the two parts meet exactly there. A press on
        # selected text would start dragging it, so a click on the last character ends the first selection.
        before = self.selected_text(window, press, (1, middle_y))
        self.x.click(window, (columns[-1], middle_y))
        return before + self.selected_text(window, press, (width - 2, middle_y))

    def selected_text(self, window, start, end):
        """The text selected by dragging the mouse, read once it has replaced a marker in the primary selection."""
        marker = "nothing selected %f" % time.monotonic()
        self.helpers.append(self.x.offer_clipboard(marker, "primary"))
        self.wait_for("the primary selection", lambda: self.x.selection("primary") == marker)
        self.x.drag(window, start, end)

        def selected():
            text = self.x.selection("primary")
            return None if text == marker else text

        return self.wait_for("the selected text", selected)

    def wait_message(self, program, text, screenshot=None):
        """The message box with this text, once it has the focus."""
        window = self.wait_dialog(program, TITLE)
        if screenshot:
            self.screenshot(screenshot, window)
        self.assertEqual(self.message_text(window), text)
        return window

    def answer_message(self, program, text, key="Return", screenshot=None):
        """Answers the message box with this text with a key: Return for its first button, the button's letter
        for another."""
        window = self.wait_message(program, text, screenshot)
        self.x.key(key)
        self.wait_gone(window, "the message %r" % text)

    # The tray icon and its menus

    def double_click_icon(self, program):
        self.x.click(self.tray_icon(program), (10, 10), repeat=2)

    def open_tray_menu(self, program):
        """Right-clicks the icon and returns the menu that pops up. A click that comes while the program is still
        finishing the last menu is ignored by it, so an unanswered click is repeated."""
        for _ in range(3):
            self.x.click(self.tray_icon(program), (10, 10), button=3)
            deadline = time.monotonic() + 1.5
            while time.monotonic() < deadline:
                menus = self.menus(program)
                if menus:
                    return menus[0]
                time.sleep(POLL_INTERVAL)
        self.fail_with_evidence("no tray menu after three right clicks")

    def choose_from_tray_menu(self, program, position):
        """Chooses the item at this position (1 first), counting only items that can be chosen."""
        menu = self.open_tray_menu(program)
        self.x.key(*(["Down"] * position), "Return")
        self.wait_gone(menu, "the tray menu")

    # Logging on

    def type_new_password(self, program, password, confirmation=None):
        dialog = self.wait_dialog(program, "Enter password for user " + LOGIN_NAME)
        self.x.type(password)
        self.x.key("Tab")
        self.x.type(password if confirmation is None else confirmation)
        self.x.key("Return")
        return dialog

    def enter_password(self, program, password, user=LOGIN_NAME):
        dialog = self.wait_dialog(program, "Enter password for user " + user)
        self.x.type(password)
        self.x.key("Return")
        self.wait_gone(dialog, "the password dialog")

    def log_on(self, program, password, user=LOGIN_NAME):
        self.double_click_icon(program)
        self.enter_password(program, password, user)
        return self.wait_main_window(program)

    def unload(self, program):
        """Unloads through the tray menu, hiding the window first when it is shown."""
        window = self.main_window(program)
        if window:
            self.close_window(window)
        self.choose_from_tray_menu(program, UNLOAD)
        return self.wait_exit(program)

    # The main window

    def close_window(self, window):
        """Clicks the close box in the window's frame."""
        info = self.x.info(window)
        self.x.click_at((info.x + info.width - 10, info.y - 10))
        self.wait_gone(window, "the main window")

    def click_field(self, window, index):
        self.x.click(window, centre(FIELD_PLACES[index]))

    def select_field(self, window, index):
        """Clicks into the field and selects all of its text: a click into a field that has the focus already
        only moves the cursor."""
        self.click_field(window, index)
        self.x.key("ctrl+a")

    def type_into_field(self, window, index, text):
        """Replaces the field's text."""
        self.select_field(window, index)
        self.x.type(text)

    def paste_into_field(self, window, index, text):
        self.helpers.append(self.x.offer_clipboard(text))
        self.wait_for("the clipboard", lambda: self.x.selection() == text)
        self.select_field(window, index)
        self.x.key("ctrl+v")

    def read_field(self, window, index):
        """The field's whole text, copied with Ctrl+C. Copying nothing leaves the clipboard as it was, which
        reads as the empty text after a short wait."""
        marker = "nothing copied %f" % time.monotonic()
        self.helpers.append(self.x.offer_clipboard(marker))
        self.wait_for("the clipboard", lambda: self.x.selection() == marker)
        self.select_field(window, index)
        self.x.key("ctrl+c")
        deadline = time.monotonic() + 2.0
        while time.monotonic() < deadline:
            copied = self.x.selection()
            if copied != marker:
                return copied or ""
            time.sleep(POLL_INTERVAL)
        return ""

    def click_add_account(self, window):
        self.x.click(window, centre(ADD_ACCOUNT_PLACE))

    def choose_from_account_menu(self, program, window, position):
        """Right-clicks the empty bottom of the account list and chooses the item at this position (1 first)."""
        left, top, width, height = LIST_PLACE
        self.x.click(window, ((left + width // 2) // TWIPS_PER_PIXEL, (top + height) // TWIPS_PER_PIXEL - 6), 3)
        menu = self.wait_for("the account menu", lambda: self.menus(program))[0]
        self.x.key(*(["Down"] * position), "Return")
        self.wait_gone(menu, "the account menu")

    def focus_list(self, window):
        """Moves the focus to the account list with Tab from the last field, so that no item is picked."""
        self.click_field(window, COMMENT)
        self.x.key("Tab", "Tab")

    def pick_next_account(self, window):
        self.focus_list(window)
        self.x.key("Down")

    def pick_previous_account(self, window):
        self.focus_list(window)
        self.x.key("Up")


TOOLS = [
    "Xvfb", "openbox", "trayer", "xdotool", "xclip", "xwininfo", "xprop", "xmessage", "sqlcipher", "import",
    "desktop-file-validate",
]  # fmt: skip
