"""End to end, the windows as the window system shows them, on a Czech desktop.

The captions are read from the real X windows (_NET_WM_NAME and WM_NAME, what a task bar or a
window manager shows), not from the toolkit: the main window, a "Chyba" box, the about window,
the "Dotaz" question (whose buttons are the toolkit's and so Czech), the settings window, which
is transient for the main window, and the general error box. A click on the about window's
address hands a web address to the desktop's opener (a recording stand-in first in PATH).
Last, an argument that the toolkit would take for its own option ("-reverse") is still the
received file's path: the program opens its receive page for it.
"""

import os
import subprocess
import time

import pyatspi

import kdxdrive as k

opts = k.parse_options()



def czech_environment(root):
    """A Czech desktop: cs_CZ.UTF-8, compiled into `root` when the system lacks it (Debian's
    "locales" has its source), so that the C library and Xlib run in it too."""
    env = {"LANG": "cs_CZ.UTF-8", "LC_ALL": "cs_CZ.UTF-8", "LANGUAGE": ""}
    have = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    if "cs_cz.utf8" not in have and "cs_cz.utf-8" not in have:
        compiled = os.path.join(root, "locale")
        os.makedirs(compiled)
        subprocess.run(["localedef", "-i", "cs_CZ", "-f", "UTF-8",
                        os.path.join(compiled, "cs_CZ.UTF-8")], capture_output=True)
        if not os.path.exists(os.path.join(compiled, "cs_CZ.UTF-8", "LC_CTYPE")):
            k.fail("cannot compile the cs_CZ.UTF-8 locale")
        env["LOCPATH"] = compiled
    return env



def unescape(text):
    """xprop's quoted text: backslash escapes (octal bytes of UTF-8 included) undone."""
    raw, out, i = text.encode("utf-8"), bytearray(), 0
    while i < len(raw):
        if raw[i] == 0x5C and raw[i + 1:i + 4].isdigit() and len(raw[i + 1:i + 4]) == 3:
            out.append(int(raw[i + 1:i + 4], 8))
            i += 4
        elif raw[i] == 0x5C and i + 1 < len(raw):
            out.append(raw[i + 1])
            i += 2
        else:
            out.append(raw[i])
            i += 1
    return out.decode("utf-8", "replace")


def x_property(window, name):
    """The text of one property of an X window ("" when it is not set)."""
    out = subprocess.run(["xprop", "-id", window, "-notype", name], capture_output=True,
                         env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode("utf-8", "replace")
    line = out.strip()
    if "not found" in line or "no such atom" in line:
        return ""
    for separator in ("=", ":"):
        if separator in line:
            value = line.split(separator, 1)[1].strip()
            break
    else:
        return ""
    if value.startswith('"') and value.endswith('"'):
        value = unescape(value[1:-1])
    return value


def viewable_windows(pid):
    """The program's mapped top-level X windows: {id: (_NET_WM_NAME, WM_NAME, transient for)}."""
    found = subprocess.run(["xdotool", "search", "--all", "--pid", str(pid), "--onlyvisible",
                            "--name", ""], capture_output=True, text=True).stdout.split()
    windows = {}
    for window in found:
        info = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        if "IsViewable" not in info:
            continue
        transient = x_property(window, "WM_TRANSIENT_FOR")
        windows[int(window)] = (x_property(window, "_NET_WM_NAME"), x_property(window, "WM_NAME"),
                                int(transient.split("#")[-1].strip(), 16) if transient else None)
    return windows


def x_window(pid, caption):
    """The id of the program's viewable window whose caption, as the window system shows it, is
    exactly `caption` in both properties; fails, listing the captions, when there is none."""
    seen = {}

    def look():
        seen.clear()
        seen.update(viewable_windows(pid))
        for window, (net_name, name, _) in seen.items():
            if net_name == caption and name == caption:
                return window
        return None

    end = time.time() + k.TIMEOUT
    while time.time() < end:
        window = look()
        if window:
            return window
        time.sleep(0.2)
    k.fail("no window captioned %r; the window system shows %r"
           % (caption, [v[:2] for v in seen.values()]))


def shown(pid, caption):
    return any(v[0] == caption for v in viewable_windows(pid).values())


def press_and_wait(app, button, title):
    k.press(button)
    return k.wait_for(lambda: k.find_window(app, title), "the window " + title)


def confirm(box):
    k.press(k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))


def menu_item(app, name):
    return k.wait_for(lambda: k.find(app, pyatspi.ROLE_MENU_ITEM, name), "the menu item " + name)


with k.program_session(opts.program, opts.make_demo) as (root, folder):
    # No send definitions, and a table file that cannot be written: the send action reports the
    # missing address in a "Chyba" box, saving the settings fails into the general error box.
    os.remove(os.path.join(folder, "kdx_exp.tab"))
    os.makedirs(os.path.join(folder, "kdx_exp.tab"))
    opener_dir = os.path.join(root, "bin")
    os.makedirs(opener_dir)
    opened = os.path.join(root, "opened.txt")
    with open(os.path.join(opener_dir, "xdg-open"), "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" > '%s.tmp'\nmv '%s.tmp' '%s'\n"
                % (opened, opened, opened))
    os.chmod(os.path.join(opener_dir, "xdg-open"), 0o755)
    env = dict(czech_environment(root), PATH=opener_dir + ":" + os.environ.get("PATH", ""))

    proc = k.start_program(folder, [], env)
    app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")
    main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    main_x = x_window(proc.pid, "KDX Manager")

    # A box of the program's own.
    box = press_and_wait(app, k.wait_for(
        lambda: k.find(main, pyatspi.ROLE_PUSH_BUTTON, "Provést akci"), "the send button"),
        "Chyba")
    x_window(proc.pid, "Chyba")
    confirm(box)

    # The about window; its address opens as a web address.
    k.click(menu_item(app, "O aplikaci"))
    about = k.wait_for(lambda: k.find_window(app, "O aplikaci"), "the about window")
    x_window(proc.pid, "O aplikaci")
    k.click(k.wait_for(lambda: k.find(about, pyatspi.ROLE_LABEL, "www.kdxman.cz"), "the address"))
    k.wait_for(lambda: os.path.exists(opened), "the opener")
    with open(opened) as f:
        if f.read() != "http://www.kdxman.cz\n":
            k.fail("the opener got %r" % open(opened).read())
    k.screenshot("windows-about.png")
    k.press(k.wait_for(lambda: k.find(about, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
    k.wait_for(lambda: not shown(proc.pid, "O aplikaci"), "the about window to close")

    # The question before the settings: the toolkit's buttons in Czech.
    k.click(menu_item(app, "Program"))
    k.click(menu_item(app, "Nastavení"))
    question = k.wait_for(lambda: k.find_window(app, "Dotaz"), "the question")
    x_window(proc.pid, "Dotaz")
    buttons = sorted(b.name for b in k.descendants(question)
                     if b.getRole() == pyatspi.ROLE_PUSH_BUTTON)
    k.screenshot("windows-question.png")
    if buttons != ["Ano", "Ne"]:
        k.fail("the question's buttons are %r" % buttons)
    k.press(k.find(question, pyatspi.ROLE_PUSH_BUTTON, "Ano"))

    # The settings window belongs to the main window.
    settings = k.wait_for(lambda: k.find_window(app, "Nastavení"), "the settings window")
    settings_x = x_window(proc.pid, "Nastavení")
    owner = viewable_windows(proc.pid)[settings_x][2]
    if owner != main_x:
        k.fail("the settings window is transient for %r, not for the main window %r"
               % (owner, main_x))
    k.screenshot("windows-settings.png")

    # The folder picker has no title; the window system must not show the program's name.
    k.click(k.wait_for(lambda: k.find(settings, pyatspi.ROLE_PAGE_TAB,
                                      "Uložení souboru z e-mailu"), "the receive page's tab"))
    k.press(k.wait_for(lambda: k.find(settings, pyatspi.ROLE_PUSH_BUTTON, "Vybrat složku"),
                       "the folder button"))
    picker = k.wait_for(lambda: next((w for w in app if w is not None and k.find(
        w, pyatspi.ROLE_PUSH_BUTTON, "Zpět")), None), "the folder picker")
    k.wait_for(lambda: len(viewable_windows(proc.pid)) == 3, "the folder picker mapped")
    captions = sorted(v[:2] for v in viewable_windows(proc.pid).values())
    if captions != [("", ""), ("KDX Manager", "KDX Manager"), ("Nastavení", "Nastavení")]:
        k.fail("with the folder picker open the window system shows %r" % captions)
    k.screenshot("windows-picker.png")
    k.press(k.find(picker, pyatspi.ROLE_PUSH_BUTTON, "Zpět"))
    k.wait_for(lambda: len(viewable_windows(proc.pid)) == 2, "the folder picker to close")

    error = press_and_wait(app, k.find(settings, pyatspi.ROLE_PUSH_BUTTON, "Použít"),
                           "KDX manager")
    x_window(proc.pid, "KDX manager")
    confirm(error)
    k.press(k.wait_for(lambda: k.find(settings, pyatspi.ROLE_PUSH_BUTTON, "Storno"), "Storno"))
    k.wait_for(lambda: not shown(proc.pid, "Nastavení"), "the settings window to close")
    k.press(k.wait_for(lambda: k.find(main, pyatspi.ROLE_PUSH_BUTTON, "Storno"), "Storno"))
    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d: %s" % (code, proc.stderr.read()))

    # "-reverse" is the toolkit's option, but here it is what the user opened.
    proc = k.start_program(folder, ["-reverse"], env)
    app = k.wait_for(lambda: k.find_app(proc.pid), "the second run on the accessibility bus")
    main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    k.wait_for(lambda: "-REVERSE" in k.all_text(main), "the receive page naming -REVERSE")
    k.press(k.wait_for(lambda: k.find(main, pyatspi.ROLE_PUSH_BUTTON, "Storno"), "Storno"))
    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d of the second run" % code)
    print("windows end-to-end: OK")
