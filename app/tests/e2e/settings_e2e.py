"""End to end: an administrator configures the program from scratch.

Starts the built program with /SET in a fresh program folder without table files, finds the
controls through the accessibility tree, confirms the first-run message, adds one receive and
one send definition by typing into the edit boxes (real key presses via XTest), presses
"Uložit" with the cursor still in the last box, waits for the run to end and compares
kdx_imp.tab and kdx_exp.tab byte for byte with the expected cp1250 text.
"""

import os
import time

import pyatspi

import kdxdrive as k

EXPECTED_IMPORT = (
    '"Nazev","KDXFile","SavePath","InfoText","EndText",\r\n'
    '"Pobočka Brno","POB1_PB.KDX","/srv/přenosy/","Uložení přenosového souboru",,\r\n'
)
EXPECTED_EXPORT = (
    '"Nazev","KDXFilePath","Email","InfoText","EndText","EmailShow",\r\n'
    '"Odeslání do skladu","/srv/odeslat/SKLAD.KDX","sklad@example.cz",,,"True",\r\n'
)

opts = k.parse_options(make_demo_required=False)  # the administrator starts without definitions


def control(app, role, name_start):
    """A showing control of the program, in any of its windows, whose name starts so."""
    return k.wait_for(lambda: k.find(app, role, name_start, prefix=True),
                      "%s %r" % (role, name_start))


def type_into(app, label_start, text):
    box = control(app, pyatspi.ROLE_TEXT, label_start)
    k.retype(box, text, label_start)


def press(app, name):
    k.press(control(app, pyatspi.ROLE_PUSH_BUTTON, name))
    time.sleep(0.4)


with k.program_session(opts.program) as (root, folder):
    proc = k.start_program(folder, ["/SET"], {"LC_ALL": "C.UTF-8"})
    app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")

    # The first-run message, then the settings window on the import page.
    control(app, pyatspi.ROLE_LABEL, "Nyní je třeba program nakonfigurovat")
    press(app, "OK")
    control(app, pyatspi.ROLE_PUSH_BUTTON, "Uložit")

    press(app, "Přidat definici")
    type_into(app, "Název definice (libovolný identifikační název)", "Pobočka Brno")
    type_into(app, "Název KDX souboru i s příponou", "POB1_PB.KDX")
    type_into(app, "Soubor z přílohy e-mailu uložit do", "/srv/přenosy/")
    type_into(app, "Popis akce - zde uveďte", "Uložení přenosového souboru")

    k.click(control(app, pyatspi.ROLE_PAGE_TAB, "Připojení souboru k e-mailu"))
    time.sleep(0.3)
    press(app, "Přidat definici")
    type_into(app, "Název definice (libovolný text", "Odeslání do skladu")
    type_into(app, "Název KDX souboru (včetně plné cesty)", "/srv/odeslat/SKLAD.KDX")
    type_into(app, "E-mailová adresa příjemce", "sklad@example.cz")

    # The cursor is still in the address box: "Uložit" must save what it holds.
    press(app, "Uložit")
    code = proc.wait(timeout=30)  # configuration mode ends with the window
    if code != 0:
        k.fail("exit code %d: %s" % (code, proc.stderr.read()))

    for name, expected in (("kdx_imp.tab", EXPECTED_IMPORT), ("kdx_exp.tab", EXPECTED_EXPORT)):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            k.fail("%s was not written" % name)
        with open(path, "rb") as f:
            actual = f.read()
        if actual != expected.encode("cp1250"):
            k.fail("%s differs:\n  expected %r\n  actual   %r"
                   % (name, expected.encode("cp1250"), actual))
    print("settings end-to-end: OK")
