#!/usr/bin/python3
"""The compose window hand-off against the real Thunderbird (run under its own xvfb-run).

Thunderbird is the desktop's mail client (the mailto: handler) and is not running. The provider
is asked for the compose window; xdg-email starts Thunderbird with -compose, which only returns
when Thunderbird quits. The call must come back once the compose window is open, with success,
while Thunderbird keeps running; the compose window carries the recipient, the subject and the
attachments, each under the name the recipient is to see (read through Thunderbird's remote
protocol, Marionette, on a loopback port): a path handed over as it is, one whose folder only
makes the provider copy the file under its own name, a symbolic link (Thunderbird would name the
file it leads to), and two names the provider rewrites (a comma would split Thunderbird's list,
a backslash is an escape to xdg-email's echo, Thunderbird calls a file named like one of its
URLs "Attached Message Part"). A screenshot is kept in --out (thunderbird-compose.png, or
thunderbird-compose-openbox.png with --wm openbox, where a window manager frames Thunderbird's
windows as a desktop does).

Exit status 77: Thunderbird or xdg-email is not installed (the test is skipped).
"""

import argparse
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SUBJECT = "Přenosový soubor Velkor ze dne 7.12.2026"
ADDRESS = "ucetni@example.test"
HANDOFF_LIMIT = 90  # seconds for Thunderbird to start and open its compose window
# The files under files/, and the name each is to reach the recipient under.
ATTACHMENTS = [
    ("FIRMA (1).KDX", "FIRMA (1).KDX"),
    ("kopie,2/Č'S \"Q\" #1 %41 &;$.KDX", "Č'S \"Q\" #1 %41 &;$.KDX"),
    ("a,b\\c.KDX", "a_b_c.KDX"),
    ("ODKAZ.KDX", "ODKAZ.KDX"),  # a link to FIRMA (1).KDX
    ("file:x.KDX", "file_x.KDX"),
]
COMPOSED_NAMES = """
const names = [];
for (const win of Services.wm.getEnumerator("msgcompose"))
  for (const item of win.gAttachmentBucket?.itemChildren ?? []) names.push(item.attachment.name);
return names;
"""

PREFS = """
user_pref("mail.accountmanager.accounts", "account1,account2");
user_pref("mail.accountmanager.defaultaccount", "account1");
user_pref("mail.accountmanager.localfoldersserver", "server2");
user_pref("mail.account.account1.identities", "id1");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.account.account2.server", "server2");
user_pref("mail.identity.id1.fullName", "KDX Test");
user_pref("mail.identity.id1.useremail", "kdx@example.test");
user_pref("mail.identity.id1.smtpServer", "smtp1");
user_pref("mail.identity.id1.valid", true);
user_pref("mail.server.server1.type", "pop3");
user_pref("mail.server.server1.hostname", "127.0.0.1");
user_pref("mail.server.server1.port", 9);
user_pref("mail.server.server1.userName", "kdx");
user_pref("mail.server.server1.name", "kdx@example.test");
user_pref("mail.server.server1.login_at_startup", false);
user_pref("mail.server.server1.check_new_mail", false);
user_pref("mail.server.server1.download_on_biff", false);
user_pref("mail.server.server2.type", "none");
user_pref("mail.server.server2.hostname", "Local Folders");
user_pref("mail.server.server2.name", "Local Folders");
user_pref("mail.server.server2.userName", "nobody");
user_pref("mail.smtpservers", "smtp1");
user_pref("mail.smtp.defaultserver", "smtp1");
user_pref("mail.smtpserver.smtp1.hostname", "127.0.0.1");
user_pref("mail.smtpserver.smtp1.port", 9);
user_pref("mail.shell.checkDefaultClient", false);
user_pref("mail.provider.enabled", false);
user_pref("mailnews.start_page.enabled", false);
user_pref("mail.rights.version", 1);
user_pref("app.update.enabled", false);
user_pref("app.update.auto", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("mail.spotlight.firstRunDone", true);
user_pref("mail.winsearch.firstRunDone", true);
user_pref("mailnews.auto_config_url", "");
"""


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def prepare_home(home):
    """A user whose mail client is Thunderbird, with one account and no first-run wizard."""
    write(os.path.join(home, ".thunderbird/profiles.ini"),
          "[General]\nStartWithLastProfile=1\nVersion=2\n\n"
          "[Profile0]\nName=default\nIsRelative=1\nPath=kdx.default\nDefault=1\n")
    write(os.path.join(home, ".thunderbird/kdx.default/prefs.js"), PREFS)
    write(os.path.join(home, ".local/share/applications/kdx-thunderbird.desktop"),
          "[Desktop Entry]\nType=Application\nName=Thunderbird\nExec=thunderbird %u\n"
          "MimeType=x-scheme-handler/mailto;\n")
    write(os.path.join(home, ".config/mimeapps.list"),
          "[Default Applications]\nx-scheme-handler/mailto=kdx-thunderbird.desktop\n")


class Marionette:
    """The few calls of Thunderbird's remote protocol that the Thunderbird tests need (chrome
    context)."""

    def __init__(self, port, deadline):
        while True:
            try:
                self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
                break
            except OSError:
                if time.time() > deadline:
                    raise
                time.sleep(0.5)
        self.last = 0
        self._read()  # the greeting
        self.call("WebDriver:NewSession", {"capabilities": {}})
        self.call("Marionette:SetContext", {"value": "chrome"})

    def _read(self):
        size = b""
        while not size.endswith(b":"):
            size += self.sock.recv(1)
        data = b""
        while len(data) < int(size[:-1]):
            data += self.sock.recv(int(size[:-1]) - len(data))
        return json.loads(data)

    def call(self, name, params):
        self.last += 1
        text = json.dumps([0, self.last, name, params]).encode()
        self.sock.sendall(str(len(text)).encode() + b":" + text)
        while True:
            answer = self._read()
            if answer[0] == 1 and answer[1] == self.last:
                if answer[2]:
                    raise RuntimeError("%s: %s" % (name, answer[2]))
                return answer[3]

    def js(self, script):
        return self.call("WebDriver:ExecuteScript", {"script": script, "args": []})["value"]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def marked_processes(token):
    """The processes started for this test: they carry our token in their environment."""
    found = []
    needle = ("KDX_THUNDERBIRD_TEST=" + token).encode()
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/environ", "rb") as f:
                if needle in f.read().split(b"\0"):
                    found.append(int(name))
        except OSError:
            pass
    return found


def end_processes(pids):
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for pid in pids:
            try:
                os.kill(pid, sig)
            except ProcessLookupError:
                pass
        deadline = time.time() + 5
        while time.time() < deadline and any(os.path.exists(f"/proc/{p}") for p in pids):
            time.sleep(0.2)


def window_names():
    out = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    return out


def start_window_manager(name, log_path):
    """Starts `name` (openbox) on the display and waits until it has taken the screen; its
    messages go to `log_path`."""
    with open(log_path, "w") as log:
        wm = subprocess.Popen([name, "--sm-disable"], stdout=log, stderr=log)
    deadline = time.time() + 20
    while time.time() < deadline and wm.poll() is None:
        out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                             capture_output=True, text=True).stdout
        if "window id" in out:
            return wm
        time.sleep(0.2)
    status = wm.poll()
    wm.kill()
    wm.wait()
    with open(log_path) as log:
        raise RuntimeError(f"{name} did not start (status {status}): {log.read()}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--provider", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--wm", default="", help="window manager to run (openbox), none if empty")
    args = parser.parse_args()
    if not shutil.which("thunderbird") or not os.path.exists("/usr/bin/xdg-email"):
        print("SKIP: thunderbird or xdg-email is not installed")
        return 77

    work = tempfile.mkdtemp(prefix="kdx-thunderbird-")
    token = os.path.basename(work)
    home = os.path.join(work, "home")
    prepare_home(home)
    port = free_port()
    with open(os.path.join(home, ".thunderbird/kdx.default/prefs.js"), "a") as f:
        f.write('user_pref("marionette.port", %d);\n' % port)
    attachments = [os.path.join(work, "files", name) for name, _ in ATTACHMENTS]
    os.makedirs(os.path.join(work, "files"))
    os.symlink("FIRMA (1).KDX", os.path.join(work, "files", "ODKAZ.KDX"))
    for path in attachments:
        write(path, "transfer data\n")
    os.makedirs(os.path.join(work, "tmp"))

    env = dict(os.environ)
    for name in ("XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                 "GNOME_DESKTOP_SESSION_ID", "MAILER", "KDX_SENDMAIL"):
        env.pop(name, None)
    env.update({
        "HOME": home,
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_DATA_HOME": os.path.join(home, ".local/share"),
        "XDG_CACHE_HOME": os.path.join(home, ".cache"),
        "XDG_DATA_DIRS": os.path.join(work, "none"),
        "TMPDIR": os.path.join(work, "tmp"),
        "MOZ_MARIONETTE": "1",  # Thunderbird is started by xdg-email: no command line of ours
        "MOZ_REMOTE_ALLOW_SYSTEM_ACCESS": "1",
        "MOZ_LEGACY_PROFILES": "1",  # the profile of profiles.ini, not one per installation
        "MOZ_CRASHREPORTER_DISABLE": "1",
        "KDX_THUNDERBIRD_TEST": token,
    })

    failures = []
    probe = None
    wm = None
    try:
        if args.wm:
            wm = start_window_manager(args.wm, os.path.join(work, "wm.log"))
        started = time.time()
        # The probe's output goes to a file: Thunderbird inherits it and keeps it open.
        result_path = os.path.join(work, "probe.out")
        with open(result_path, "w") as result_file:
            probe = subprocess.Popen([args.probe, args.provider, ADDRESS, SUBJECT] + attachments,
                                     env=env, stdout=result_file, start_new_session=True)
        try:
            probe.wait(timeout=HANDOFF_LIMIT)
        except subprocess.TimeoutExpired:
            failures.append(f"the hand-off did not return within {HANDOFF_LIMIT} s while "
                            "Thunderbird was running")
        with open(result_path) as f:
            # Thunderbird's own messages (Marionette's) may come first.
            output = "".join(line for line in f if line.startswith("result "))
        took = time.time() - started
        print(f"hand-off returned after {took:.1f} s: {output.strip()!r}")
        if output and output.strip() != "result 0":
            failures.append(f"the hand-off answered {output.strip()!r}, not success")

        if output and "Write: " not in window_names():
            failures.append("the hand-off returned before the compose window was open")
        time.sleep(3)  # let the compose window draw its fields
        names = window_names()
        shot = "thunderbird-compose" + (f"-{args.wm}" if args.wm else "") + ".png"
        subprocess.run(["import", "-window", "root", os.path.join(args.out, shot)], check=False)
        if f"Write: {SUBJECT}" not in names:
            failures.append("no compose window titled with the subject:\n" + names)
        if output:
            expected = [seen for _, seen in ATTACHMENTS]
            remote = Marionette(port, time.time() + 30)
            deadline = time.time() + 20  # the compose window adds its attachments on its own time
            names = remote.js(COMPOSED_NAMES)
            while names != expected and time.time() < deadline:
                time.sleep(0.5)
                names = remote.js(COMPOSED_NAMES)
            if names != expected:
                failures.append(f"the compose window attaches {names!r}, not {expected!r}")
        if not any(open(f"/proc/{p}/comm").read().strip().startswith("thunderbird")
                   for p in marked_processes(token) if os.path.exists(f"/proc/{p}/comm")):
            failures.append("Thunderbird is no longer running")
    finally:
        if probe is not None and probe.poll() is None:
            os.killpg(probe.pid, signal.SIGKILL)
            probe.wait()
        end_processes(marked_processes(token))
        if wm is not None:
            wm.terminate()
            wm.wait()
        shutil.rmtree(work, ignore_errors=True)

    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
