"""End to end, receive mode: the program is started with a received attachment's path, the user
presses "Provést akci", reads the closing text and confirms it; the file lands in the
definition's folder under its upper-cased name and the program ends with exit code 0."""

import os

import pyatspi

import kdxdrive as k

opts = k.parse_options()

with k.program_session(opts.program, opts.make_demo) as (root, folder):
    attachment = os.path.join(folder, "demo", "mail", "pob1_pb.kdx")
    target = os.path.join(folder, "demo", "Velkor", "Prijem", "POB1_PB.KDX")
    proc = k.start_program(folder, [attachment])
    app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")
    main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    k.wait_for(lambda: "POB1_PB.KDX" in k.all_text(main), "the received file name")
    texts = k.all_text(main)
    if os.path.join(folder, "demo", "Velkor", "Prijem") + "/" not in texts:
        k.fail("target folder not shown: %r" % texts)
    k.screenshot("receive-before.png")

    button = k.wait_for(lambda: k.find(main, pyatspi.ROLE_PUSH_BUTTON, "Provést akci"),
                        "the action button")
    k.press(button)

    box = k.wait_for(lambda: k.find_window(app, "Informace"), "the closing text")
    shown = " ".join(k.all_text(box))
    if "Přenosový soubor byl uložen do složky pro přenosy" not in shown:
        k.fail("unexpected closing text: %r" % shown)
    if not os.path.exists(target):
        k.fail("the file was not copied before the closing text")
    k.screenshot("receive-closing.png")
    k.press(k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))

    code = proc.wait(timeout=k.TIMEOUT)
    if code != 0:
        k.fail("exit code %d: %s" % (code, proc.stderr.read()))
    with open(attachment, "rb") as a, open(target, "rb") as b:
        if a.read() != b.read():
            k.fail("the copy differs from the attachment")
    print("receive end-to-end: OK")
