"""End to end, send mode: the program is started without arguments under a window manager
(openbox); with the keyboard alone the user picks a send definition (the list has the focus, Down
selects the second) and presses "Provést akci" (Enter); the bundled Simple MAPI provider hands the message to
msmtp (the sendmail-compatible program), which delivers it to a local SMTP sink. The test checks
the received message (recipient, subject with today's date, the attachment's name and bytes),
the closing text and the end of the run.

Then a definition with the compose window on a desktop whose mailto: handler is a web browser
(a stand-in installed as a browser installs itself, recording what it is given): the provider
reports no success and opens nothing, the program's "Odeslání e-mailem" window shows, the
browser got exactly the mailto: URI of recipient and subject, the file manager (a stand-in for
org.freedesktop.FileManager1 on the session bus) was asked to show exactly the transfer file;
"Hotovo" (Enter) then gives the closing text and the end of the run."""

import datetime
import email
import email.policy
import os
import shutil
import json
import subprocess
import time
import urllib.parse

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

    # --- a browser as the mailto: handler: the manual hand-off ---------------------------------
    desktop = os.path.join(root, "desktop")
    config, data, bindir = (os.path.join(desktop, d) for d in ("config", "data", "bin"))
    for d in (config, os.path.join(data, "applications"), bindir):
        os.makedirs(d)
    browser_record = os.path.join(root, "browser.txt")
    browser = os.path.join(bindir, "kdx-test-browser")
    with open(browser, "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$1\" >> '%s'\n" % browser_record)
    os.chmod(browser, 0o755)
    with open(os.path.join(data, "applications", "kdx-test-browser.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Test Browser\nExec=%s %%u\n"
                "MimeType=text/html;x-scheme-handler/http;x-scheme-handler/https;"
                "x-scheme-handler/mailto;\nCategories=Network;WebBrowser;\n" % browser)
    desktop_env = {"XDG_CONFIG_HOME": config, "XDG_DATA_HOME": data, "XDG_CURRENT_DESKTOP": "",
                   "DESKTOP_SESSION": "", "KDE_FULL_SESSION": "", "GNOME_DESKTOP_SESSION_ID": "",
                   "MAILER": "", "BROWSER": ""}
    subprocess.run(["xdg-mime", "default", "kdx-test-browser.desktop", "x-scheme-handler/mailto"],
                   env=dict(os.environ, **desktop_env), check=True)

    fm_record = os.path.join(root, "file-manager.txt")
    file_manager = subprocess.Popen(
        ["/usr/bin/python3", os.path.join(here, "stand_in_file_manager.py"), fm_record],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    try:
        if file_manager.stdout.readline().strip() != "ready":
            k.fail("the stand-in file manager did not start")
        attachment = os.path.join(folder, "demo", "Velkor", "Odeslani", "SKLAD.KDX")
        with open(os.path.join(folder, "kdx_exp.tab"), "wb") as f:
            f.write(('"Nazev","KDXFilePath","Email","InfoText","EndText","EmailShow",\r\n'
                     '"Odeslání do pobočky","%s","pobocka@example.cz","Popis odeslání",'
                     '"Soubor odeslán.","True",\r\n' % attachment).encode("cp1250"))
        proc = k.start_program(folder, [], dict(desktop_env, KDX_REGISTRY=registry))
        app = k.wait_for(lambda: k.find_app(proc.pid), "the program on the accessibility bus")
        main = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
        k.wait_for(lambda: "Popis odeslání" in k.all_text(main), "the definition")
        k.keys("Return")
        manual = k.wait_for(lambda: k.find_window(app, "Odeslání e-mailem"),
                            "the manual hand-off", timeout=40)
        for title in ("Informace", "KDX manager"):
            if k.find_window(app, title):
                k.fail("a \"%s\" box came before the manual hand-off" % title)

        def field(label):
            for node in k.descendants(manual):
                if node.name == label and node.getRole() != pyatspi.ROLE_LABEL:
                    return node.queryText().getText(0, -1)
            return None
        subject = k.wait_for(lambda: field("Předmět:"), "the subject field")
        if not subject.startswith("Přenosový soubor Velkor ze dne ") or \
                str(datetime.date.today().year) not in subject:
            k.fail("the subject field shows %r" % subject)
        if field("Adresát:") != "pobocka@example.cz" or field("Soubor:") != attachment:
            k.fail("fields: %r, %r" % (field("Adresát:"), field("Soubor:")))
        k.wait_for(lambda: os.path.exists(browser_record) and os.path.exists(fm_record),
                   "the e-mail opened and the file shown")
        time.sleep(1)  # a second call would come now
        with open(browser_record) as f:
            opened = f.read().splitlines()
        uri = "mailto:pobocka@example.cz?subject=" + urllib.parse.quote(subject, safe="")
        if opened != [uri]:
            k.fail("the browser got %r, expected [%r]" % (opened, uri))
        with open(fm_record) as f:
            shown = [json.loads(line) for line in f]
        if shown != [[["file://" + urllib.parse.quote(attachment)], ""]]:
            k.fail("the file manager was asked %r" % shown)
        k.screenshot("send-manual.png")

        k.focused(manual, pyatspi.ROLE_PUSH_BUTTON, "Hotovo")
        k.keys("Return")
        box = k.wait_for(lambda: k.find_window(app, "Informace"), "the closing text")
        if "Soubor odeslán." not in " ".join(k.all_text(box)):
            k.fail("unexpected closing text: %r" % k.all_text(box))
        k.keys("Return")
        code = proc.wait(timeout=k.TIMEOUT)
        if code != 0:
            k.fail("exit code %d: %s" % (code, proc.stderr.read()))
        if "does not take attachments" not in proc.stderr.read():
            k.fail("the provider did not say why it opened nothing")
        print("send end-to-end, manual hand-off: OK (%s)" % uri)
    finally:
        file_manager.stdin.close()
        file_manager.wait(timeout=10)
