#!/usr/bin/python3
"""The compose window hand-off against the real Thunderbird (run under its own xvfb-run).

Thunderbird is the desktop's mail client (the mailto: handler) and is not running. The provider
is asked for the compose window; xdg-email starts Thunderbird with -compose, which only returns
when Thunderbird quits. The call must come back once the compose window is open, with success,
while Thunderbird keeps running; the compose window carries the recipient, the subject and the
attachment. A screenshot is kept in --out (thunderbird-compose.png, or
thunderbird-compose-openbox.png with --wm openbox, where a window manager frames Thunderbird's
windows as a desktop does).

Exit status 77: Thunderbird or xdg-email is not installed (the test is skipped).
"""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SUBJECT = "Přenosový soubor Velkor ze dne 7.12.2026"
ADDRESS = "ucetni@example.test"
HANDOFF_LIMIT = 90  # seconds for Thunderbird to start and open its compose window

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
    attachment = os.path.join(work, "files", "EXPORT.KDX")
    write(attachment, "transfer data\n")

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
            probe = subprocess.Popen([args.probe, args.provider, ADDRESS, SUBJECT, attachment],
                                     env=env, stdout=result_file, start_new_session=True)
        try:
            probe.wait(timeout=HANDOFF_LIMIT)
        except subprocess.TimeoutExpired:
            failures.append(f"the hand-off did not return within {HANDOFF_LIMIT} s while "
                            "Thunderbird was running")
        with open(result_path) as f:
            output = f.read()
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
