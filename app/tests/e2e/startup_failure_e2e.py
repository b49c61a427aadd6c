"""End to end, a broken table file: the program shows the last-resort report captioned
"Application Error" instead of its main window, prints the message on stderr and, once the
report is confirmed, ends with exit code 1."""

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
    if "Unknown field type (DateTime)" not in shown:
        k.fail("unexpected report: %r" % shown)
    k.press(k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
    code = proc.wait(timeout=k.TIMEOUT)
    err = proc.stderr.read()
    if code != 1:
        k.fail("exit code %d" % code)
    if "Unknown field type (DateTime)" not in err:
        k.fail("message missing on stderr: %r" % err)
    print("start-up failure end-to-end: OK")
