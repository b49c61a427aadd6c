"""Drives the built KDXMngr as a user would, through the accessibility bus (AT-SPI).

Run inside `xvfb-run -a dbus-run-session -- /usr/bin/python3 ...`: the helper starts the AT-SPI
bus, lays out a program folder (a copy of the program beside demo definitions written by
kdx_make_demo), starts the program and finds its windows and controls by role and name.
"""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

TIMEOUT = 20.0

_started = []  # the programs start_program started, for program_session to end


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def start_accessibility_bus():
    """Starts the accessibility bus and waits until it answers and its registry runs: a program
    started before that decides that nobody listens and never shows up on the bus."""
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    end = time.time() + TIMEOUT
    while time.time() < end:
        answer = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                 "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                                capture_output=True)
        if answer.returncode == 0:
            break
        time.sleep(0.1)
    else:
        fail("the accessibility bus did not start")
    pyatspi.Registry.getDesktop(0).childCount  # starts the registry daemon
    time.sleep(0.3)
    return launcher


def make_program_folder(program, make_demo=None):
    """A temporary program folder: the executable (its folder holds the table files) and, with
    `make_demo`, the demo definitions and files."""
    root = tempfile.mkdtemp(prefix="kdx-e2e-")
    folder = os.path.join(root, "program")
    os.makedirs(folder)
    shutil.copy2(program, os.path.join(folder, "KDXMngr"))
    if make_demo:
        subprocess.run([make_demo, folder], check=True)
    return root, folder


def parse_options(make_demo_required=True, build_dir_required=False):
    """The options ctest gives every end-to-end test (app/tests/CMakeLists.txt): --program,
    --make-demo, --build-dir; a test says which of the last two it needs."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--make-demo", required=make_demo_required)
    parser.add_argument("--build-dir", required=build_dir_required)
    return parser.parse_args()


@contextlib.contextmanager
def program_session(program, make_demo=None):
    """One test's accessibility bus and program folder (make_program_folder): yields (root,
    folder). Leaving it, also by a failure, kills what start_program started and still runs,
    ends the bus and removes the folder."""
    bus = start_accessibility_bus()
    root = None
    try:
        root, folder = make_program_folder(program, make_demo)
        yield root, folder
    finally:
        while _started:
            proc = _started.pop()
            if proc.poll() is None:
                proc.kill()
        bus.terminate()
        if root:
            shutil.rmtree(root, ignore_errors=True)


@contextlib.contextmanager
def killed_on_leaving(proc):
    """`proc` for the block; leaving it, also by a failure, kills `proc` if it still runs."""
    try:
        yield proc
    finally:
        if proc.poll() is None:
            proc.kill()


def start_window_manager():
    """Starts openbox on the display, as a desktop has one (it gives a new window the keyboard
    focus), and waits until it has taken the screen; start_program's end kills it too."""
    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    _started.append(wm)
    wait_for(lambda: "window id" in subprocess.run(
        ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout,
        "the window manager")
    return wm


def keys(*names):
    """Presses keys (xdotool names, "alt" alone is pressed and released) where the focus is."""
    for name in names:
        subprocess.run(["xdotool", "key", "--delay", "80", name], check=True)
        time.sleep(0.3)


def has_state(node, state):
    try:
        return node.getState().contains(state)
    except Exception:
        return False


def focused(node, role, name):
    """`node`'s control of this role and name, once it has the keyboard focus."""
    return wait_for(lambda: next((c for c in descendants(node) if c.getRole() == role
                                  and c.name == name and has_state(c, pyatspi.STATE_FOCUSED)),
                                 None), "the focus on " + name)


def program_env(extra_env=None):
    """The environment the program runs in: the toolkit's accessibility on, on the display."""
    env = dict(os.environ)
    env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
    env["QT_ACCESSIBILITY"] = "1"
    env.pop("QT_QPA_PLATFORM", None)
    if extra_env:
        env.update(extra_env)
    return env


def start_program(folder, args, extra_env=None):
    proc = subprocess.Popen([os.path.join(folder, "KDXMngr")] + list(args),
                            env=program_env(extra_env), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    _started.append(proc)
    return proc


def wait_for(predicate, what, timeout=TIMEOUT):
    end = time.time() + timeout
    while time.time() < end:
        try:
            value = predicate()
        except Exception:  # the tree changes under us while windows come and go
            value = None
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def find_app(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def descendants(node):
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is None:
            continue
        yield child
        yield from descendants(child)


def find(node, role, name=None, showing=True, prefix=False):
    """The first control under `node` with this role and name (with `prefix`: whose name starts
    with `name`)."""
    for child in descendants(node):
        try:
            if child.getRole() != role:
                continue
            if name is not None and not (child.name.startswith(name) if prefix
                                         else child.name == name):
                continue
            if showing and not child.getState().contains(pyatspi.STATE_SHOWING):
                continue
            return child
        except Exception:
            continue
    return None


def all_text(node):
    """Names of every label under `node` (what the user reads)."""
    texts = []
    for child in descendants(node):
        try:
            if child.getRole() == pyatspi.ROLE_LABEL and child.getState().contains(
                    pyatspi.STATE_SHOWING):
                texts.append(child.name)
        except Exception:
            continue
    return texts


def press(button):
    action = button.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("Press", "press", "click"):
            action.doAction(i)
            return
    action.doAction(0)


def find_window(app, title):
    for window in app:
        try:
            if window is not None and window.name == title:
                return window
        except Exception:
            continue
    return None


def screenshot(path):
    if os.environ.get("KDX_E2E_SHOTS"):
        subprocess.run(["import", "-window", "root", path], check=False)


def click(node):
    """A left click in the middle of `node`, with the X test extension (xdotool). There is no
    window manager to give the window the input focus on a click, so the helper does."""
    ext = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    x, y = ext.x + ext.width // 2, ext.y + ext.height // 2
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
    where = subprocess.run(["xdotool", "getmouselocation", "--shell"], check=True,
                           capture_output=True, text=True).stdout
    window = dict(line.split("=", 1) for line in where.split())["WINDOW"]
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True)
    time.sleep(0.2)
    subprocess.run(["xdotool", "click", "1"], check=True)


def retype(box, text, what):
    """Replaces the text of an edit box by typing `text` (real key presses) and checks what the
    box then holds. xdotool types a letter missing from the keyboard map by remapping a spare
    key for a moment; on a busy machine that letter is sometimes lost, so a box that does not
    show the text is typed again, more slowly (what the program stores is checked by the tests
    themselves)."""
    got = None
    for attempt in range(3):
        click(box)
        subprocess.run(["xdotool", "key", "--clearmodifiers", "ctrl+a"], check=True)
        subprocess.run(["xdotool", "type", "--delay", str(30 + 40 * attempt), text], check=True)
        time.sleep(0.3)
        got = box.queryText().getText(0, -1)
        if got == text:
            return
    fail("typed %r into %r, the box shows %r" % (text, what, got))
