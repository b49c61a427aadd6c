"""End to end, send mode: the program is started without arguments under a window manager
(openbox); with the keyboard alone the user picks a send definition (the list has the focus, Down
selects the second) and presses "Provést akci" (Enter); the bundled Simple MAPI provider hands the message to
msmtp (the sendmail-compatible program), which delivers it to a local SMTP sink. The test checks
the received message (recipient, subject with today's date, the attachment's name and bytes),
the closing text and the end of the run."""

import datetime
import email
import email.policy
import os
import shutil
import subprocess
import time

import pyatspi

import kdxdrive as k

opts = k.parse_options(build_dir_required=True)

here = os.path.dirname(os.path.abspath(__file__))
sink_script = os.path.join(here, "..", "..", "..", "mapi-provider", "tests", "smtp_sink.py")
provider = os.path.join(opts.build_dir, "mapi-provider", "libkdxmapi.so")
msmtp = shutil.which("msmtp")
if not msmtp or not os.path.exists(provider):
    k.fail("needs msmtp and the built provider %s" % provider)

with k.program_session(opts.program, opts.make_demo) as (root, folder):
    inbox = os.path.join(root, "inbox")
    home = os.path.join(root, "home")
    os.makedirs(inbox)
    os.makedirs(home)
    sink = subprocess.Popen(["/usr/bin/python3", sink_script, inbox], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, text=True)
    try:
        port = int(sink.stdout.readline())

        # One send definition without the compose window, so the provider uses sendmail (msmtp).
        attachment = os.path.join(folder, "demo", "Velkor", "Odeslani", "SKLAD.KDX")
        row = '"Odeslání do pobočky","%s","pobocka@example.cz","Popis odeslání","Soubor odeslán.","False",' % attachment
        with open(os.path.join(folder, "kdx_exp.tab"), "wb") as f:
            f.write(('"Nazev","KDXFilePath","Email","InfoText","EndText","EmailShow",\r\n'
                     '"Jiná definice","/nonexistent/X.KDX","jina@example.cz","Jiný popis","","False",\r\n'
                     + row + '\r\n').encode("cp1250"))
        registry = os.path.join(root, "registry.reg")
        with open(registry, "w") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"KDX\"\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\KDX]\r\n@=\"KDX\"\r\n"
                    "\"DLLPath\"=\"%s\"\r\n" % provider)
        os.makedirs(os.path.join(home, "msmtp"))
        rc = os.path.join(home, "msmtp", "config")
        with open(rc, "w") as f:
            f.write("account default\nhost 127.0.0.1\nport %d\nfrom centrala@example.cz\n"
                    "auth off\ntls off\n" % port)
        os.chmod(rc, 0o600)

        k.start_window_manager()
        proc = k.start_program(folder, [], {"KDX_REGISTRY": registry, "KDX_SENDMAIL": msmtp,
                                            "XDG_CONFIG_HOME": home})
        app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")
        main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
        k.wait_for(lambda: "Jiný popis" in k.all_text(main), "the first definition's description")

        # The user selects the second definition in the list, which has the focus.
        k.wait_for(lambda: k.find(main, pyatspi.ROLE_TABLE_CELL, "Odeslání do pobočky"),
                   "the second definition in the list")
        k.keys("Down")
        k.wait_for(lambda: "Popis odeslání" in k.all_text(main), "the selected definition")
        if "pobocka@example.cz" not in k.all_text(main):
            k.fail("the recipient is not shown: %r" % k.all_text(main))
        k.screenshot("send-before.png")

        k.keys("Return")
        box = k.wait_for(lambda: k.find_window(app, "Informace"), "the closing text", timeout=40)
        if "Soubor odeslán." not in " ".join(k.all_text(box)):
            k.fail("unexpected closing text: %r" % k.all_text(box))
        k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK")
        k.keys("Return")
        code = proc.wait(timeout=k.TIMEOUT)
        if code != 0:
            k.fail("exit code %d: %s" % (code, proc.stderr.read()))

        eml = os.path.join(inbox, "1.eml")
        k.wait_for(lambda: os.path.exists(eml), "the delivered message")
        with open(os.path.join(inbox, "1.rcpt")) as f:
            if f.read().split() != ["pobocka@example.cz"]:
                k.fail("wrong envelope recipients")
        with open(eml, "rb") as f:
            msg = email.message_from_binary_file(f, policy=email.policy.default)
        if "pobocka@example.cz" not in str(msg["To"]):
            k.fail("To is %r" % msg["To"])
        subject = str(msg["Subject"])
        if not subject.startswith("Přenosový soubor Velkor ze dne "):
            k.fail("subject is %r" % subject)
        today = datetime.date.today()
        if str(today.year) not in subject or ":" in subject:
            k.fail("subject %r lacks today's date or carries a time" % subject)
        parts = [p for p in msg.iter_attachments()]
        if len(parts) != 1 or parts[0].get_filename() != "SKLAD.KDX":
            k.fail("attachments: %r" % [p.get_filename() for p in parts])
        with open(attachment, "rb") as f:
            if parts[0].get_content() != f.read():
                k.fail("the attachment's bytes differ")
        print("send end-to-end: OK (%s)" % subject)
    finally:
        sink.stdin.close()
        sink.wait(timeout=10)
