#!/usr/bin/env python3
"""Start-up time and memory of the program against bare Qt tray programs, and logging on with many accounts.

Runs on a private X server with a window manager and a tray host (the end-to-end harness). Three programs are
started in turn, each run in a fresh folder: a bare Qt tray program, the same opening the database before it shows
its icon (the floor plus the key derivation), and tarnwick. Start-up lasts until the tray host has embedded the
icon (the program opens its database before it adds the icon), idle memory is VmRSS after two seconds without
input. The
logon is timed from Enter in the password dialog until the main window is mapped, which follows the filling of
the account list. Prints a Markdown table of medians.

usage: bench/startup.py [--build DIR] [--runs N] [--accounts N]
"""

import argparse
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[1]


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=REPOSITORY / "build", help="build folder (default: build)")
    parser.add_argument("--runs", type=int, default=7, help="runs of each program (default: 7)")
    parser.add_argument("--accounts", type=int, default=100000, help="accounts for the logon (default: 100000)")
    return parser.parse_args()


ARGUMENTS = parse_arguments()
os.environ["TARNWICK_PROGRAM"] = str(ARGUMENTS.build / "tarnwick")
os.environ["TARNWICK_NEWDB"] = str(ARGUMENTS.build / "tarnwick-newdb")
os.environ["TARNWICK_E2E_SCREENSHOTS"] = str(ARGUMENTS.build / "e2e-screenshots")
sys.path.insert(0, str(REPOSITORY / "tests" / "e2e"))

import harness  # noqa: E402  (after the paths it reads are set)

BARE_TRAY = ARGUMENTS.build / "bench" / "bare_tray"
BARE_TRAY_DATABASE = ARGUMENTS.build / "bench" / "bare_tray_database"
PROGRAMS = (("bare", BARE_TRAY), ("bare+database", BARE_TRAY_DATABASE), ("tarnwick", None))
PASSWORD = "pw"  # one of the passwords whose stored form the harness knows
IDLE_SECONDS = 2.0


class Reparenting:
    """Reports windows that leave the root window for another parent: a tray icon being embedded, a window
    being framed by the window manager. Listens with xev from before the program starts."""

    def __init__(self, display, root):
        self.root = root
        self.process = subprocess.Popen(
            # Line by line, as the events come: xev leaves the buffering of a pipe to stdio.
            ["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
            env=display.env,
            stdout=subprocess.PIPE,
        )
        self.pending = b""
        # xev prints nothing until an event comes; give it a moment to select its events.
        time.sleep(0.3)

    def lines(self, deadline):
        """The lines of xev's output as they arrive, each with the time it was read, until the deadline."""
        while True:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                yield line.decode(errors="replace"), time.monotonic()
            # The pipe is read directly: a buffered reader would hide lines it has read ahead from select.
            ready, _, _ = select.select([self.process.stdout], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                return
            chunk = os.read(self.process.stdout.fileno(), 65536)
            if not chunk:
                return
            self.pending += chunk

    def next(self, timeout):
        """The time at which the next window got a parent other than the root, or None."""
        reparented = False
        for line, when in self.lines(time.monotonic() + timeout):
            if line.startswith("ReparentNotify"):
                reparented = True
            elif reparented and "parent 0x" in line:
                reparented = False
                if int(line.split("parent ")[1].split(",")[0], 16) != self.root:
                    return when
        return None

    def stop(self):
        harness.stop_process(self.process)


def resident_kilobytes(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError("no VmRSS for %d" % pid)


class Driver(harness.EndToEndTest):
    """The harness's fresh folders and its ways of finding windows and typing, used outside a test run."""

    def __init__(self, display):
        super().__init__()
        self.display = self.x = display

    def runTest(self):
        pass


def prepared_driver(display, program, accounts=0):
    """A fresh folder with this program beside a database holding the login user and its accounts."""
    driver = Driver(display)
    driver.setUp()
    # As on a desktop where no screen reader runs: Qt then leaves the accessibility bus alone.
    del driver.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"]
    shutil.copy2(program, driver.sandbox.program)
    user_id = driver.database.add_user(harness.LOGIN_NAME, PASSWORD)
    if accounts:
        driver.database.execute(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %d) "
            "INSERT INTO Accounts ([UserID], [Account], [UserName], [Password], [URL], [Phone], [Comment]) "
            "SELECT %d, 'Account ' || i, 'user' || i, 'secret' || i, 'https://example.org/' || i, "
            "'555 ' || i, 'Comment of account ' || i FROM n;" % (accounts, user_id)
        )
    return driver


def start(driver):
    return driver.start_program(wait_for_icon=False)


def measure_start(program, display, listener):
    """Milliseconds until the icon is embedded, and kilobytes resident when idle."""
    driver = prepared_driver(display, program)
    try:
        started = time.monotonic()
        run = start(driver)
        embedded = listener.next(harness.LONG_WAIT)
        if embedded is None:
            raise RuntimeError("%s: no tray icon embedded" % program.name)
        time.sleep(IDLE_SECONDS)
        return (embedded - started) * 1000, resident_kilobytes(run.pid)
    finally:
        driver.doCleanups()


def measure_logon(display, listener, accounts):
    """Milliseconds from Enter in the password dialog to the main window, and kilobytes resident afterwards."""
    driver = prepared_driver(display, harness.PROGRAM, accounts)
    try:
        program = start(driver)
        if listener.next(harness.LONG_WAIT) is None:
            raise RuntimeError("tarnwick: no tray icon embedded")
        driver.wait_for("the tray icon", lambda: driver.tray_icon(program))
        driver.double_click_icon(program)
        driver.wait_dialog(program, "Enter password for user " + harness.LOGIN_NAME)
        listener.next(0.5)  # the dialog's own framing
        driver.x.type(PASSWORD)
        entered = time.monotonic()
        driver.x.call("xdotool", "key", "--delay", "0", "Return")
        shown = listener.next(120)
        if shown is None:
            raise RuntimeError("tarnwick: no main window after the logon")
        driver.wait_main_window(program)
        time.sleep(IDLE_SECONDS)
        return (shown - entered) * 1000, resident_kilobytes(program.pid)
    finally:
        driver.doCleanups()


def main():
    for path in (harness.PROGRAM, harness.NEWDB, BARE_TRAY, BARE_TRAY_DATABASE):
        if not path.exists():
            sys.exit("missing %s: build with -DTARNWICK_BENCHMARKS=ON first" % path)
    logs = Path(tempfile.mkdtemp(prefix="tarnwick-bench-display-"))
    display = harness.Display(logs)
    display.start_window_manager()
    display.start_trayer()
    listener = Reparenting(display, display.root)
    try:
        starts = {name: [] for name, _ in PROGRAMS}
        memories = {name: [] for name, _ in PROGRAMS}
        for _ in range(ARGUMENTS.runs):
            for name, program in PROGRAMS:
                milliseconds, kilobytes = measure_start(program or harness.PROGRAM, display, listener)
                starts[name].append(milliseconds)
                memories[name].append(kilobytes)
        logons = [measure_logon(display, listener, ARGUMENTS.accounts) for _ in range(max(5, ARGUMENTS.runs // 2))]
    finally:
        listener.stop()
        display.stop()
        shutil.rmtree(logs, ignore_errors=True)
    print_table(starts, memories, logons)


def print_table(starts, memories, logons):
    start = {name: statistics.median(values) for name, values in starts.items()}
    memory = {name: statistics.median(values) / 1024 for name, values in memories.items()}
    start_target = 1.3 * start["bare"]
    memory_target = memory["bare"] + 5
    runs = len(starts["bare"])
    print("| measure (median) | bare Qt tray | bare tray opening the database | tarnwick | target |")
    print("|---|---:|---:|---:|---|")
    print(
        "| start-up until the icon is embedded, %d runs | %.0f ms | %.0f ms | %.0f ms | ≤ 1.3 × floor = %.0f ms: %s |"
        % (runs, start["bare"], start["bare+database"], start["tarnwick"], start_target,
           verdict(start["tarnwick"] <= start_target))
    )
    print(
        "| resident memory when idle, %d runs | %.1f MB | %.1f MB | %.1f MB | ≤ floor + 5 MB = %.1f MB: %s |"
        % (runs, memory["bare"], memory["bare+database"], memory["tarnwick"], memory_target,
           verdict(memory["tarnwick"] <= memory_target))
    )
    logon_time = statistics.median(time for time, _ in logons)
    logon_memory = statistics.median(memory for _, memory in logons) / 1024
    print(
        "| logon with %d accounts, Enter to window shown, %d runs | | | %.0f ms | |"
        % (ARGUMENTS.accounts, len(logons), logon_time)
    )
    print("| resident memory with %d accounts loaded | | | %.1f MB | |" % (ARGUMENTS.accounts, logon_memory))
    print()
    for name, values in starts.items():
        print("start-up samples of %s (ms): %s" % (name, rounded(values)))
    print("logon samples (ms): %s" % rounded([time for time, _ in logons]))


def verdict(met):
    return "met" if met else "missed"


def rounded(values):
    return ", ".join("%.0f" % value for value in values)


if __name__ == "__main__":
    main()
