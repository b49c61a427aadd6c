"""End to end on the installed package, as an ordinary user of the machine.

Run as that user inside `xvfb-run -a dbus-run-session -- python3 installed_e2e.py ADMIN_IMPORT`,
with kdxdrive.py beside this file. ADMIN_IMPORT is the administrator's
/etc/kdx-manager/kdx_imp.tab, which names a receive folder in this user's home.

1. A received attachment is opened through xdg-open, as the desktop does: the installed program
   starts in receive mode with the administrator's definition (the user has none yet), "Provést
   akci" copies the file, the closing text is confirmed.
2. `kdx-manager /SET`: the settings window starts from the administrator's definitions; the
   user adds a send definition and presses "Uložit". Both tables land in
   $XDG_CONFIG_HOME/kdx-manager (~/.config/kdx-manager) byte for byte: the receive table as the
   administrator wrote it, the send table as typed. The administrator's file is left alone.
"""

import os
import subprocess
import sys
import time

import pyatspi

import kdxdrive as k

HOME = os.path.expanduser("~")
CONFIG = os.path.join(os.environ.get("XDG_CONFIG_HOME") or os.path.join(HOME, ".config"),
                      "kdx-manager")
EXPECTED_EXPORT = (
    '"Nazev","KDXFilePath","Email","InfoText","EndText","EmailShow",\r\n'
    '"Odeslání do skladu","/srv/odeslat/SKLAD.KDX","sklad@example.cz",,,"True",\r\n'
).encode("cp1250")


def find_program_app():
    """The program on the accessibility bus: started through xdg-open, its process id is not
    ours to know, so it is found by its name."""
    for app in pyatspi.Registry.getDesktop(0):
        try:
            if app is not None and "KDX" in (app.name or ""):
                return app
        except Exception:
            continue
    return None


def type_into(window, label_start, text):
    """Clicks the edit box whose accessible name starts with `label_start` and types `text`
    with real key presses; a letter xdotool loses on a busy machine is typed again."""
    def box_named():
        for node in k.descendants(window):
            try:
                if (node.getRole() == pyatspi.ROLE_TEXT and (node.name or "").startswith(label_start)
                        and node.getState().contains(pyatspi.STATE_SHOWING)):
                    return node
            except Exception:
                continue
        return None

    box = k.wait_for(box_named, "the edit box " + label_start)
    k.retype(box, text, label_start)


def receive(attachment, target):
    opener = subprocess.Popen(["xdg-open", attachment], env=k.program_env(),
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    with k.killed_on_leaving(opener):
        app = k.wait_for(find_program_app, "the program started by xdg-open")
        main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
        k.wait_for(lambda: attachment in k.all_text(main), "the received file's path")
        texts = k.all_text(main)
        if os.path.dirname(target) + "/" not in texts:
            k.fail("the administrator's receive folder is not shown: %r" % texts)
        k.press(k.wait_for(lambda: k.find(main, pyatspi.ROLE_PUSH_BUTTON, "Provést akci"),
                           "the action button"))
        box = k.wait_for(lambda: k.find_window(app, "Informace"), "the closing text")
        if "Pokračujte ve Velkor" not in " ".join(k.all_text(box)):
            k.fail("unexpected closing text: %r" % k.all_text(box))
        k.press(k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
        output, _ = opener.communicate(timeout=k.TIMEOUT)
    if opener.returncode != 0:
        k.fail("xdg-open ended with %d: %s" % (opener.returncode, output))
    with open(attachment, "rb") as a, open(target, "rb") as b:
        if a.read() != b.read():
            k.fail("the copy differs from the attachment")
    print("installed: receive through xdg-open: OK")


def configure(admin_import):
    proc = subprocess.Popen(["kdx-manager", "/SET"], env=k.program_env(), cwd=HOME,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    with k.killed_on_leaving(proc):
        app = k.wait_for(find_program_app, "the program in configuration mode")
        message = k.wait_for(lambda: k.find_window(app, "Informace"), "the first-run message")
        k.press(k.wait_for(lambda: k.find(message, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
        window = k.wait_for(lambda: k.find_window(app, "Nastavení"), "the settings window")
        # The receive page lists the administrator's definition.
        k.wait_for(lambda: any(n.name == "Pobočka Brno" for n in k.descendants(window)),
                   "the administrator's receive definition")
        k.click(k.wait_for(lambda: k.find(window, pyatspi.ROLE_PAGE_TAB,
                                          "Připojení souboru k e-mailu"), "the send page tab"))
        k.press(k.wait_for(lambda: k.find(window, pyatspi.ROLE_PUSH_BUTTON, "Přidat definici"),
                           "Přidat definici"))
        type_into(window, "Název definice (libovolný text", "Odeslání do skladu")
        type_into(window, "Název KDX souboru (včetně plné cesty)", "/srv/odeslat/SKLAD.KDX")
        type_into(window, "E-mailová adresa příjemce", "sklad@example.cz")
        k.press(k.wait_for(lambda: k.find(window, pyatspi.ROLE_PUSH_BUTTON, "Uložit"), "Uložit"))
        output, _ = proc.communicate(timeout=k.TIMEOUT)
    if proc.returncode != 0:
        k.fail("kdx-manager /SET ended with %d: %s" % (proc.returncode, output))

    with open(admin_import, "rb") as f:
        expected_import = f.read()
    for name, expected in (("kdx_imp.tab", expected_import), ("kdx_exp.tab", EXPECTED_EXPORT)):
        path = os.path.join(CONFIG, name)
        if not os.path.isfile(path):
            k.fail("%s was not saved in %s (there: %r)" % (name, CONFIG, os.listdir(HOME)))
        with open(path, "rb") as f:
            actual = f.read()
        if actual != expected:
            k.fail("%s differs:\n  expected %r\n  actual   %r" % (path, expected, actual))
    print("installed: /SET saved into %s: OK" % CONFIG)


def main():
    admin_import = sys.argv[1]
    bus = k.start_accessibility_bus()
    try:
        incoming = os.path.join(HOME, "Stažené soubory")
        target_folder = os.path.join(HOME, "Velkor", "Prijem")
        os.makedirs(incoming, exist_ok=True)
        os.makedirs(target_folder, exist_ok=True)
        attachment = os.path.join(incoming, "POB1_PB.KDX")
        with open(attachment, "wb") as f:
            f.write(b"KDX transfer\r\n" + bytes(range(256)))
        receive(attachment, os.path.join(target_folder, "POB1_PB.KDX"))
        configure(admin_import)
    finally:
        bus.terminate()


if __name__ == "__main__":
    main()
