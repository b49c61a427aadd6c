"""End to end, receive mode from the real Thunderbird, day after day (under openbox).

A local folder holds three mails, each with the attachment POB1_PB.KDX as our own send route
declares it (application/octet-stream). The .KDX type is associated with the built program as
the installed package does it (shared-mime-info type, desktop entry, default application), and
the profile's handlers.json says "open with the system's default", what a user gets by ticking
"Do this automatically" once in Thunderbird's question. Each mail's attachment is opened with a
double click, as a user does, while Thunderbird keeps running: Thunderbird saves it read-only
(0400) into $TMPDIR/pid-N/ as POB1_PB.KDX, then POB1_PB-1.KDX, POB1_PB-2.KDX, and starts the
program, which must show it, land it as POB1_PB.KDX in the import folder, replacing the day
before, writable, and end.

Thunderbird's message list and the place of the attachment are found through its remote
protocol (Marionette, on a loopback port); the double click goes through the X server. Screenshots
go to --out when KDX_E2E_SHOTS is set. Exit status 77: Thunderbird is not installed.
"""

import email.message
import json
import mailbox
import os
import shutil
import stat
import subprocess
import sys
import time

import pyatspi

import kdxdrive as k

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "mapi-provider", "tests"))
import thunderbird_compose_e2e as tb  # noqa: E402  the profile, the processes, the window
# manager, the remote protocol

DAYS = 3
START_LIMIT = 90  # seconds for Thunderbird to start and show the local folder


FIND_ATTACHMENT = """
const about3Pane = document.getElementById("tabmail").currentAbout3Pane;
const { MailServices } = ChromeUtils.importESModule("resource:///modules/MailServices.sys.mjs");
const inbox = MailServices.accounts.localFoldersServer.rootFolder.getChildNamed("Inbox");
if (about3Pane.gFolder != inbox) { about3Pane.displayFolder(inbox); return null; }
const view = about3Pane.gDBView;
let row = -1;
for (let i = 0; view && i < view.rowCount; i++)
  if (view.getMsgHdrAt(i).subject.endsWith("%s")) row = i;
if (row < 0) return null;
if (about3Pane.threadTree.selectedIndex != row) { about3Pane.threadTree.selectedIndex = row; return null; }
const message = about3Pane.messageBrowser.contentWindow;
const item = message.document.querySelector("#attachmentList richlistitem");
if (!item || !item.getBoundingClientRect().width) return null;
const r = item.getBoundingClientRect();
return [Math.round(message.mozInnerScreenX + r.left + r.width / 2),
        Math.round(message.mozInnerScreenY + r.top + r.height / 2), item.attachment.name];
"""


def write_mails(profile):
    """Three mails with the same attachment name, one a day, in the local folder's Inbox."""
    folder = os.path.join(profile, "Mail", "Local Folders")
    os.makedirs(folder)
    box = mailbox.mbox(os.path.join(folder, "Inbox"))
    for day in range(1, DAYS + 1):
        m = email.message.EmailMessage()
        m["From"] = "Pobocka Brno <brno@example.test>"
        m["To"] = "kdx@example.test"
        m["Subject"] = "Prenosovy soubor Velkor, den %d" % day
        m["Date"] = "Mon, %02d Dec 2026 08:00:00 +0100" % (6 + day)
        m["Message-ID"] = "<day%d@example.test>" % day
        m.set_content("Prenosovy soubor v priloze.\n")
        m.add_attachment(transfer(day), maintype="application", subtype="octet-stream",
                         filename="POB1_PB.KDX")
        box.add(mailbox.mboxMessage(m))
    box.close()


def transfer(day):
    return ("transfer data of day %d\r\n" % day).encode()


def associate(home, program):
    """The .KDX type and its default program, as the installed package and the desktop set them."""
    share = os.path.join(home, ".local", "share")
    here = os.path.dirname(os.path.abspath(__file__))
    packages = os.path.join(share, "mime", "packages")
    os.makedirs(packages, exist_ok=True)
    shutil.copy(os.path.join(here, "..", "..", "..", "packaging", "linux", "kdx-manager-mime.xml"),
                packages)
    subprocess.run(["update-mime-database", os.path.join(share, "mime")], check=True)
    tb.write(os.path.join(share, "applications", "kdx-manager.desktop"),
             "[Desktop Entry]\nType=Application\nName=KDX manager\nExec=%s %%f\n"
             "MimeType=application/x-kdx-transfer;\n" % program)
    with open(os.path.join(home, ".config", "mimeapps.list"), "a") as f:
        f.write("application/x-kdx-transfer=kdx-manager.desktop\n")


def program_pids(token):
    pids = []
    for pid in tb.marked_processes(token):
        try:
            with open("/proc/%d/comm" % pid) as f:
                if f.read().strip() == "KDXMngr":
                    pids.append(pid)
        except OSError:
            pass
    return pids


def main():
    opts = k.parse_options()
    if not shutil.which("thunderbird"):
        print("SKIP: thunderbird is not installed")
        return 77
    out = opts.build_dir or os.getcwd()
    with k.program_session(opts.program, opts.make_demo) as (root, folder):
        token = os.path.basename(root)
        home = os.path.join(root, "home")
        tb.prepare_home(home)
        profile = os.path.join(home, ".thunderbird", "kdx.default")
        port = tb.free_port()
        with open(os.path.join(profile, "prefs.js"), "a") as f:
            f.write('user_pref("marionette.port", %d);\n' % port)
            f.write('user_pref("mailnews.attachments.display.start_expanded", true);\n')
            f.write('user_pref("mail.server.server2.directory-rel", "[ProfD]Mail/Local Folders");\n')
        write_mails(profile)
        tb.write(os.path.join(profile, "handlers.json"), json.dumps({
            "defaultHandlersVersion": {}, "schemes": {},
            "mimeTypes": {"application/x-kdx-transfer": {"action": 4, "extensions": ["kdx"]}}}))
        program = os.path.join(folder, "KDXMngr")
        associate(home, program)
        temp = os.path.join(root, "tmp")
        os.makedirs(temp)
        target = os.path.join(folder, "demo", "Velkor", "Prijem", "POB1_PB.KDX")

        env = k.program_env({
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "XDG_DATA_HOME": os.path.join(home, ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(home, ".cache"),
            "XDG_DATA_DIRS": os.path.join(root, "none"),
            "TMPDIR": temp,
            "MOZ_LEGACY_PROFILES": "1",
            "MOZ_CRASHREPORTER_DISABLE": "1",
            "KDX_THUNDERBIRD_TEST": token,
        })
        for name in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                     "GNOME_DESKTOP_SESSION_ID"):
            env.pop(name, None)
        wm = tb.start_window_manager("openbox", os.path.join(root, "wm.log"))
        log = open(os.path.join(root, "thunderbird.log"), "w")
        try:
            subprocess.Popen(["thunderbird", "--marionette", "-remote-allow-system-access"], env=env, stdout=log, stderr=log,
                             start_new_session=True)
            remote = tb.Marionette(port, time.time() + START_LIMIT)
            for day in range(1, DAYS + 1):
                receive_day(remote, day, token, temp, target, out)
        finally:
            tb.end_processes(tb.marked_processes(token))
            wm.terminate()
            wm.wait()
            log.close()
    print("Thunderbird receive end-to-end: OK")
    return 0


def receive_day(remote, day, token, temp, target, out):
    where = k.wait_for(lambda: remote.js(FIND_ATTACHMENT % ("den %d" % day)),
                       "day %d's mail and its attachment in Thunderbird" % day, START_LIMIT)
    x, y, name = where
    if name != "POB1_PB.KDX":
        k.fail("day %d: the attachment is called %r" % (day, name))
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
    subprocess.run(["xdotool", "click", "--repeat", "2", "--delay", "80", "1"], check=True)

    pid = k.wait_for(lambda: program_pids(token), "day %d: the program started by Thunderbird"
                     % day, 60)[0]
    app = k.wait_for(lambda: k.find_app(pid), "the program on the accessibility bus")
    main_window = k.wait_for(lambda: k.find_window(app, "KDX Manager"), "the main window")
    texts = k.wait_for(lambda: [t for t in k.all_text(main_window) if t], "the receive page")
    received = "POB1_PB.KDX" if day == 1 else "POB1_PB-%d.KDX" % (day - 1)
    path = [t for t in texts if t.endswith("/" + received)]
    if not path or not path[0].startswith(temp + "/pid-"):
        k.fail("day %d: the page does not show Thunderbird's copy %s: %r" % (day, received, texts))
    if "POB1_PB.KDX" not in texts:
        k.fail("day %d: the page does not show the name it lands under: %r" % (day, texts))
    mode = stat.S_IMODE(os.stat(path[0]).st_mode)
    if mode & 0o222:
        k.fail("day %d: Thunderbird's copy is writable (%o): not the condition under test" % (day, mode))
    if os.environ.get("KDX_E2E_SHOTS"):
        k.screenshot(os.path.join(out, "thunderbird-receive-day%d.png" % day))
    k.press(k.wait_for(lambda: k.find(main_window, pyatspi.ROLE_PUSH_BUTTON, "Provést akci"),
                       "the action button"))
    box = k.wait_for(lambda: k.find_window(app, "Informace"), "day %d: the closing text" % day)
    k.press(k.wait_for(lambda: k.find(box, pyatspi.ROLE_PUSH_BUTTON, "OK"), "OK"))
    k.wait_for(lambda: not os.path.exists("/proc/%d" % pid) or
               open("/proc/%d/stat" % pid).read().split()[2] == "Z", "day %d: the end of the run" % day)
    with open(target, "rb") as f:
        if f.read() != transfer(day):
            k.fail("day %d: the import folder does not hold the day's transfer" % day)
    if not os.access(target, os.W_OK) or not stat.S_IMODE(os.stat(target).st_mode) & 0o200:
        k.fail("day %d: the copy in the import folder is read-only" % day)
    print("day %d: %s landed as POB1_PB.KDX" % (day, path[0]))


if __name__ == "__main__":
    sys.exit(main())
