#!/usr/bin/python3
"""The real folder picker confirmed from the keyboard, as a screen-reader user
picks a folder: under Xvfb with a window manager, an AT-SPI bus and a
listening client, both buttons that open the picker are pressed with Enter,
a path is typed (at several speeds, on a loaded machine) until the picker's
suggestion list shows, and Enter confirms it. Each time the window must take
keys again at once: Enter on the same button opens the picker again.

    picker_keys_test.py path/to/delvora [rounds]

Exits 77 (skipped) when a tool is missing.
"""
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
NEVER_SHOWN = 3
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from atspi_window_test import start_display, answers  # noqa: E402


def skip(why):
    print("SKIP: " + why)
    sys.exit(SKIP)


def xdo(*args, check=False):
    done = subprocess.run(["xdotool"] + list(args), capture_output=True, text=True)
    if check and done.returncode != 0:
        raise RuntimeError("xdotool %s: %s" % (" ".join(args), done.stderr.strip()))
    return done.stdout.split()


def visible_windows(pid):
    return set(xdo("search", "--onlyvisible", "--pid", str(pid)))


def named(title):
    return set(xdo("search", "--onlyvisible", "--name", "^" + title + "$"))


def wait_for(condition, seconds=15):
    end = time.time() + seconds
    while time.time() < end:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    return None


def burners(count):
    """Busy processes, so that the typing meets a loaded machine."""
    return [subprocess.Popen(["/bin/sh", "-c", "while :; do :; done"], start_new_session=True)
            for _ in range(count)]


def listener():
    """A client that listens on the accessibility bus, as a screen reader does."""
    code = (
        "import pyatspi, signal\n"
        "signal.alarm(600)\n"
        "def heard(event):\n"
        "    try:\n"
        "        source = event.source\n"
        "        source.name, source.getRoleName(), source.getState().getStates()\n"
        "        source.parent and source.parent.name\n"
        "        for child in list(source)[:8]:\n"
        "            child.name\n"
        "    except Exception:\n"
        "        pass\n"
        "for kind in ('object:children-changed', 'focus:', 'object:state-changed',\n"
        "             'object:property-change', 'window:', 'object:text-changed'):\n"
        "    pyatspi.Registry.registerEventListener(heard, kind)\n"
        "print('listening', flush=True)\n"
        "pyatspi.Registry.start()\n")
    ear = subprocess.Popen(["/usr/bin/python3", "-c", code], start_new_session=True,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    # The window is started once the client listens, as with a screen reader
    # that runs before the program: the order is the same on every machine.
    ready = select.select([ear.stdout], [], [], 30)[0]
    if not ready or not ear.stdout.readline().startswith(b"listening"):
        print("note: the listener did not say it listens")
    return ear


def start_window(program, env, log):
    return subprocess.Popen([program], env=env, start_new_session=True,
                            stdout=log, stderr=subprocess.STDOUT)


def report_start(process, log):
    """What a window that never showed was doing, so that a failure elsewhere
    can be read rather than guessed."""
    state = "running" if process.poll() is None else "exited with %s" % process.returncode
    print("  the window process: " + state)
    for window in xdo("search", "--pid", str(process.pid)):
        print("  its X window %s: %r" % (window, " ".join(xdo("getwindowname", window))))
    if process.poll() is None and shutil.which("gdb"):
        trace = subprocess.run(["gdb", "-p", str(process.pid), "-batch", "-ex",
                                "thread apply all bt 12"], capture_output=True, text=True,
                               timeout=120)
        lines = [line for line in trace.stdout.splitlines() if line.startswith(("#", "Thread"))]
        print("  where it was:\n    " + "\n    ".join(lines[:60]))
    log.seek(0)
    said = log.read().decode(errors="replace").splitlines()
    print("  what it printed (last lines):\n    " + "\n    ".join(said[-25:]))


def main_inside(program, rounds):
    work = tempfile.mkdtemp()
    base = os.path.join(work, "data")
    for name in ("out", "out2", "out3", "other"):
        os.makedirs(os.path.join(base, name))
    with open(os.path.join(base, "out2", "a.csv"), "w") as f:
        f.write("a,b\n")
    config = os.path.join(work, "config")
    os.makedirs(os.path.join(config, "Quorvane"))
    with open(os.path.join(config, "Quorvane", "Delvora.conf"), "w") as f:
        f.write("[General]\nLastFolder=%s\nLastFolderDot=%s\nSnapshot=x\n" %
                (os.path.join(base, "out3"), os.path.join(base, "out3")))
    os.makedirs(os.path.join(work, "home"))
    os.makedirs(os.path.join(work, "path"))
    opener = os.path.join(work, "path", "xdg-open")  # no browser for the vendor page
    with open(opener, "w") as f:
        f.write("#!/bin/sh\nexit 0\n")
    os.chmod(opener, 0o755)
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               HOME=os.path.join(work, "home"), XDG_CONFIG_HOME=config,
               PATH=os.path.join(work, "path") + ":" + os.environ["PATH"])
    env.pop("QT_QPA_PLATFORMTHEME", None)
    ear = listener()
    window_log = tempfile.TemporaryFile()
    window_process = start_window(program, env, window_log)
    load = []
    failures = []
    try:
        main = wait_for(lambda: named("Delvora"), 60)
        if not main and window_process.poll() is not None:
            # The X connection can fail while the bus's helpers come and go
            # on a new display; one more start.
            print("note: the window exited (%s) before it showed; once more" %
                  window_process.returncode)
            window_process = start_window(program, env, window_log)
            main = wait_for(lambda: named("Delvora"), 60)
        if not main:
            print("FAIL: the window never appeared")
            report_start(window_process, window_log)
            return NEVER_SHOWN
        main = sorted(main)[0]
        # The load is for the typing; a start starved of the processor
        # tells nothing of the picker.
        load = burners(2)
        xdo("windowactivate", "--sync", main)
        xdo("windowfocus", "--sync", main)
        # The list has the focus: Tab twice is "Add All CSV File(s) In Folder".
        xdo("key", "--delay", "60", "Tab", "Tab")
        # Milliseconds between typed keys, and between the last key and
        # Enter: None waits for the suggestion list to show first, 0 sends
        # Enter at once, while the list may still be on its way.
        speeds = [(1, None), (12, 0), (40, None), (0, 30), (5, 0), (25, 80), (0, 0), (3, 10)]
        listed = 0  # rounds that had the suggestion list open at Enter
        for round_number in range(rounds):
            delay, pause = speeds[round_number % len(speeds)]
            target = "out" if round_number % 3 else "out2"
            what = "round %d (%d ms a key, %s ms before Enter, %s)" % (
                round_number + 1, delay, "list" if pause is None else pause, target)
            xdo("key", "Return")
            picker = wait_for(lambda: named("Please select folder:"))
            if not picker:
                failures.append(what + ": Enter on the button opened no picker: the window "
                                "takes no keys")
                print("FAIL: " + failures[-1])
                break
            before = visible_windows(window_process.pid)
            # The picker's line edit has the focus; replace what it holds.
            xdo("key", "ctrl+a")
            xdo("type", "--delay", str(delay), os.path.join(base, target))
            if pause is None:
                popup = wait_for(lambda: visible_windows(window_process.pid) - before, 5)
                if not popup:
                    print("note: %s: no suggestion list showed" % what)
            else:
                time.sleep(pause / 1000)
                popup = visible_windows(window_process.pid) - before
            xdo("key", "Return")
            if not wait_for(lambda: not named("Please select folder:")):
                failures.append(what + ": the picker stayed open after Enter")
                print("FAIL: " + failures[-1])
                xdo("key", "Escape")
                continue
            listed += bool(popup)
            print("ok: " + what + (" with the suggestion list" if popup else ""))
        # Enter over an open suggestion list is the way that failed: a run
        # that never had one proved nothing.
        if not failures and listed == 0:
            failures.append("the suggestion list never showed: Enter over it was never tried")
            print("FAIL: " + failures[-1])
        # Last, the output folder's "..." from the keyboard: Tab on to it.
        if not failures:
            xdo("key", "--delay", "60", *(["Tab"] * 9))
            xdo("key", "Return")
            if not wait_for(lambda: named("Please select folder:")):
                failures.append("Enter on \"...\" opened no picker")
            else:
                before = visible_windows(window_process.pid)
                xdo("key", "ctrl+a")
                xdo("type", "--delay", "3", os.path.join(base, "out"))
                popup = wait_for(lambda: visible_windows(window_process.pid) - before, 5)
                xdo("key", "Return")
                wait_for(lambda: not named("Please select folder:"))
                xdo("key", "Return")
                if not wait_for(lambda: named("Please select folder:")):
                    failures.append("after \"...\" the window takes no keys")
                else:
                    print("ok: \"...\"" + (" with the suggestion list" if popup else ""))
                    xdo("key", "Escape")
            for failure in failures[-1:]:
                print("FAIL: " + failure)
        # And clicks: "Help" at the window's top opens its notice.
        if not failures:
            xdo("mousemove", "--window", main, "200", "18")
            xdo("click", "1")
            if not wait_for(lambda: len(named("Delvora")) > 1):
                failures.append("a click on Help after the pickers opened nothing")
                print("FAIL: " + failures[-1])
            else:
                print("ok: a click on Help")
    finally:
        for process in load + [ear, window_process]:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failures else 0


def main_outside(program, rounds):
    for tool in ("Xvfb", "dbus-run-session", "xdotool", "openbox"):
        if shutil.which(tool) is None:
            skip(tool + " is not installed (packages xvfb, dbus, xdotool, openbox)")
    check = subprocess.run(["/usr/bin/python3", "-c", "import pyatspi"], capture_output=True)
    if check.returncode != 0:
        skip("python3-pyatspi is not installed (packages python3-pyatspi, at-spi2-core)")
    xvfb, display, log = start_display()
    manager = None
    try:
        if not display or not answers(display):
            print("FAIL: Xvfb's display does not answer")
            return 1
        env = dict(os.environ, DISPLAY=":" + display)
        manager = subprocess.Popen(["openbox", "--sm-disable"], env=env, start_new_session=True,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A window that never showed says nothing of the picker: once more on
        # a fresh bus; a window that showed and then failed is never retried.
        for attempt in (1, 2):
            inner = subprocess.run(
                ["dbus-run-session", "--", "/usr/bin/python3", os.path.abspath(__file__),
                 "--inside", program, str(rounds)], env=env, timeout=420)
            if inner.returncode != NEVER_SHOWN:
                break
            if attempt == 1:
                print("note: the window never showed; once more on a fresh bus")
        return inner.returncode
    finally:
        if manager is not None:
            manager.terminate()
            manager.wait()
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--inside":
        sys.exit(main_inside(sys.argv[2], int(sys.argv[3])))
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    sys.exit(main_outside(os.path.abspath(sys.argv[1]),
                          int(sys.argv[2]) if len(sys.argv) == 3 else 12))
