"""End to end, receive mode, with the keyboard alone under a window manager (openbox): the
program is started with a received attachment's path; the focus is on "Provést akci", Tab goes
round the page and the button keeps its default look; the about window is opened from the menu
with Alt, Right and Enter and closed with Enter, after which Enter presses "Provést akci"; the
closing text is confirmed with Enter; the file lands in the definition's folder under its
upper-cased name and the program ends with exit code 0. A second run shows that Esc ends the
run after the menu was used with the keyboard."""

import os

import pyatspi

import kdxdrive as k

opts = k.parse_options()

BUTTON = pyatspi.ROLE_PUSH_BUTTON

with k.program_session(opts.program, opts.make_demo) as (root, folder):
    k.start_window_manager()
    attachment = os.path.join(folder, "demo", "mail", "pob1_pb.kdx")
    target = os.path.join(folder, "demo", "Velkor", "Prijem", "POB1_PB.KDX")
    proc = k.start_program(folder, [attachment])
    app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")
    main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    k.wait_for(lambda: "POB1_PB.KDX" in k.all_text(main), "the received file name")
    texts = k.all_text(main)
    if os.path.join(folder, "demo", "Velkor", "Prijem") + "/" not in texts:
        k.fail("target folder not shown: %r" % texts)

    action = k.focused(main, BUTTON, "Provést akci")
    k.keys("Tab")
    k.focused(main, BUTTON, "Storno")
    if k.has_state(action, pyatspi.STATE_IS_DEFAULT):
        k.fail("with the focus on Storno, Provést akci still looks like the default button")
    k.keys("Tab")
    k.focused(main, BUTTON, "Provést akci")

    k.keys("alt", "Right", "Return")
    k.wait_for(lambda: k.find_window(app, "O aplikaci"), "the about window")
    k.screenshot("receive-about.png")
    k.keys("Return")  # the about window's OK; then the focus is back on the page
    k.focused(main, BUTTON, "Provést akci")
    k.wait_for(lambda: k.has_state(action, pyatspi.STATE_IS_DEFAULT), "the default look")
    k.screenshot("receive-before.png")

    k.keys("Return")
    box = k.wait_for(lambda: k.find_window(app, "Informace"), "the closing text")
    shown = " ".join(k.all_text(box))
    if "Přenosový soubor byl uložen do složky pro přenosy" not in shown:
        k.fail("unexpected closing text: %r" % shown)
    if not os.path.exists(target):
        k.fail("the file was not copied before the closing text")
    k.screenshot("receive-closing.png")
    k.keys("Return")

    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d: %s" % (code, proc.stderr.read()))
    with open(attachment, "rb") as a, open(target, "rb") as b:
        if a.read() != b.read():
            k.fail("the copy differs from the attachment")

    # Esc ends the run after the about window was opened and closed with the keyboard.
    proc = k.start_program(folder, [attachment])
    app = k.wait_for(lambda: k.find_app(proc.pid), "the second run on the accessibility bus")
    main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    k.focused(main, BUTTON, "Provést akci")
    k.keys("alt", "Right", "Return")
    k.wait_for(lambda: k.find_window(app, "O aplikaci"), "the about window")
    k.keys("Return")
    k.focused(main, BUTTON, "Provést akci")
    k.keys("Escape")
    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d of the second run" % code)
    print("receive end-to-end: OK")
