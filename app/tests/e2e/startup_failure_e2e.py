"""End to end, a table file whose definition section is not the table's: the program shows the
last-resort report captioned "Application Error", naming the file, instead of its main window,
prints the message on stderr and, once the report is confirmed, ends with exit code 1. Started
with /SET, it reports the file and opens the settings window, whose "Uložit" mends it."""

import os

import pyatspi

import kdxdrive as k

opts = k.parse_options()

with k.program_session(opts.program, opts.make_demo) as (root, folder):
    with open(os.path.join(folder, "kdx_imp.tab"), "wb") as f:
        f.write(b'"@@TABLEDEF START@@"\r\n"When=DateTime,0,""When"","""",10,Data,"""""\r\n'
                b'"@@TABLEDEF END@@"\r\n')
    proc = k.start_program(folder, [])
    app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")
    box = k.wait_for(lambda: k.find_window(app, "Application Error"), "the last-resort report")
    if k.find_window(app, "KDX Manager") is not None:
        k.fail("the main window is shown")
    shown = " ".join(k.all_text(box))
    refusal = "Table file %s does not match table ImportTable" % os.path.join(folder, "kdx_imp.tab")
    if refusal not in shown:
        k.fail("unexpected report: %r" % shown)
    k.press(k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
    code = proc.wait(timeout=k.TIMEOUT)
    err = proc.stderr.read()
    if code != 1:
        k.fail("exit code %d" % code)
    if refusal not in err:
        k.fail("message missing on stderr: %r" % err)

    # The administrator mends it with /SET: the refusal in the general error box, the first-run
    # message, then the settings window, whose "Uložit" writes a file the next start reads.
    proc = k.start_program(folder, ["/SET"])
    app = k.wait_for(lambda: k.find_app(proc.pid), "the configuration run on the bus")
    box = k.wait_for(lambda: k.find_window(app, "KDX manager"), "the general error box")
    if refusal not in " ".join(k.all_text(box)):
        k.fail("unexpected error box: %r" % k.all_text(box))
    ok = k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK")
    k.screenshot("startup-failure-set-error.png")
    k.press(ok)
    info = k.wait_for(lambda: k.find_window(app, "Informace"), "the first-run message")
    k.press(k.wait_for(lambda: k.find(info, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
    settings = k.wait_for(lambda: k.find_window(app, "Nastavení"), "the settings window")
    save = k.wait_for(lambda: k.find(settings, pyatspi.ROLE_PUSH_BUTTON, "Uložit"), "Uložit")
    k.screenshot("startup-failure-settings.png")
    k.press(save)
    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d of the configuration run" % code)
    with open(os.path.join(folder, "kdx_imp.tab"), "rb") as f:
        if f.read() != b'"Nazev","KDXFile","SavePath","InfoText","EndText",\r\n':
            k.fail("the saved receive table is not the empty one")
    proc = k.start_program(folder, [])
    app = k.wait_for(lambda: k.find_app(proc.pid), "the next run on the bus")
    main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    k.press(k.wait_for(lambda: k.find(main, pyatspi.ROLE_PUSH_BUTTON, "Storno"), "Storno"))
    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d of the next run" % code)
    print("start-up failure end-to-end: OK")
