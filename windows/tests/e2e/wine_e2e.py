#!/usr/bin/python3
"""End to end: the real KDXMngr.exe under Wine's X11 driver on a virtual display, driven as a
person would, with the mouse and the keyboard (xdotool). Wine's windows are not on the
accessibility bus, so controls are found through the program's geometry report (KDX_TEST_GEOMETRY,
app/src/GeometryReport.h); captions are read as Windows shows them (GetWindowTextW, through
wintitles.exe) and as the X server shows them (_NET_WM_NAME). Screenshots of every window go to
the shots folder.

Runs inside the Windows stage (scripts/test.d/30-wine.sh): WINEPREFIX is a Czech workstation
(code page 1250) whose graphics driver is x11, DISPLAY a virtual display, KDX_WINE the Wine that
starts 64-bit programs here (scripts/bitness.sh; default `wine`).

Scenarios (all by default):
  receive    wine KDXMngr.exe C:\\Pošta\\pob1_pb.kdx, then POB1_PB(2).KDX and POB1_PB (1).KDX,
             read-only, into the same folder, without a window manager: mouse only
  send       through Wine's mapi32.dll to the recording client DLL registered as the default
             mail client
  manual     no mail client at all (webmail, the new Outlook): the e-mail opened through the
             mailto: handler, the transfer file shown in Wine's file manager, "Hotovo"
  settings   /SET: definitions typed in (Czech letters), "Uložit", tables byte for byte
  picker     the folder picker over Wine's drives (C:, Z:)
  installer  KDXManager-Setup.exe /S, then a .KDX file opened through the shell
  msi        KDXManager.msi as an office's administrator deploys it (msiexec /qn with the
             administrator's tables), a standard user's receive and save, upgrade, uninstall

Usage: wine_e2e.py --out DIR --build DIR --shots DIR [SCENARIO...]
"""

import argparse
import datetime
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.parse

TIMEOUT = 30.0
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
WINE = os.environ.get("KDX_WINE") or "wine"
OPTIONS = None
PREFIX = None


class Failure(Exception):
    pass


def log(message):
    print("wine_e2e: " + message, flush=True)


# --- Wine --------------------------------------------------------------------------------------

def wine(*args, check=True, timeout=60, env=None):
    result = subprocess.run([WINE] + list(args), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=timeout,
                            env=env)
    if check and result.returncode != 0:
        raise Failure("wine %s failed (%d)" % (" ".join(args), result.returncode))
    return result.stdout.decode("utf-8", "replace").replace("\r", "")


def drive_c(*parts):
    return os.path.join(PREFIX, "drive_c", *parts)


def windows_to_host(path):
    """The host path of a Windows path (winepath)."""
    return wine("winepath", "-u", path).strip()


def windows_path(unix_path):
    """The Windows spelling of a host path (winepath)."""
    return wine("winepath", "-w", unix_path).strip()


def reg_add(key, name, value, kind="REG_SZ", view=64):
    """Writes into the registry view of `view` bits: in a WoW64 prefix a plain `wine reg` is the
    32-bit reg.exe and would write HKLM\\Software into the 32-bit view."""
    args = ["reg", "add", key, "/f", "/t", kind, "/d", value, "/reg:%d" % view]
    args += ["/ve"] if name is None else ["/v", name]
    wine(*args)


def short_date_format():
    """The prefix's short date format, as the Windows program reads it (LOCALE_SSHORTDATE)."""
    out = wine("reg", "query", r"HKCU\Control Panel\International", "/v", "sShortDate",
               check=False)
    match = re.search(r"sShortDate\s+REG_SZ\s+(.+)$", out, re.M)
    if match:
        return match.group(1).strip()
    return "dd.MM.yyyy"  # Wine's Czech default, written to the registry only once changed


def format_short_date(pattern, date):
    """Formats a date with a Windows short date picture (d, dd, M, MM, y, yy, yyyy)."""
    def field(m):
        token = m.group(0)
        if token[0] == "d":
            return "%02d" % date.day if len(token) >= 2 else str(date.day)
        if token[0] == "M":
            return "%02d" % date.month if len(token) >= 2 else str(date.month)
        return str(date.year) if len(token) != 2 else "%02d" % (date.year % 100)
    return re.sub(r"d+|M+|y+", field, pattern)


# --- the program and its windows ---------------------------------------------------------------

class Program:
    """One run of KDXMngr.exe under Wine with the geometry report switched on."""

    def __init__(self, exe, args, env=None, name="run"):
        self.report = os.path.join(OPTIONS.work, name + ".geometry")
        if os.path.exists(self.report):
            os.remove(self.report)
        self.output = open(os.path.join(OPTIONS.work, name + ".out"), "w")
        environment = dict(os.environ)
        environment["KDX_TEST_GEOMETRY"] = windows_path(self.report)
        environment.update(env or {})
        self.proc = subprocess.Popen([WINE, exe] + list(args), stdin=subprocess.DEVNULL,
                                     stdout=self.output, stderr=subprocess.STDOUT,
                                     env=environment)

    def items(self):
        try:
            with open(self.report, encoding="utf-8") as f:
                text = f.read()
        except FileNotFoundError:
            return []
        if not text.endswith("end\n"):
            return []
        items = []
        for line in text.splitlines()[:-1]:
            kind, name, extra, x, y, w, h, flag, value = line.split("\t")
            value = (value.replace("\\n", "\n").replace("\\t", "\t").replace("\\r", "\r")
                     .replace("\\\\", "\\"))
            items.append(dict(kind=kind, name=name, extra=extra, x=int(x), y=int(y), w=int(w),
                              h=int(h), flag=flag == "1", text=value))
        return items

    def wait_for(self, what, predicate, timeout=TIMEOUT):
        end = time.time() + timeout
        while time.time() < end:
            found = predicate(self.items())
            if found:
                return found
            if self.proc.poll() is not None:
                raise Failure("the program ended (exit %s) while waiting for %s"
                              % (self.proc.returncode, what))
            time.sleep(0.1)
        shot("TIMEOUT-" + re.sub(r"[^A-Za-z0-9]+", "-", what)[:40])
        raise Failure("timed out waiting for " + what)

    def window(self, title, timeout=TIMEOUT):
        return self.wait_for("window %r" % title, lambda items: next(
            (i for i in items if i["kind"] == "window" and i["text"] == title), None), timeout)

    def control(self, name=None, text=None, kind="control", enabled=True):
        def find(items):
            for i in items:
                if i["kind"] != kind:
                    continue
                if name is not None and i["name"] != name:
                    continue
                if text is not None and i["text"] != text:
                    continue
                if enabled and kind == "control" and not i["flag"]:
                    continue
                return i
            return None
        return self.wait_for("%s %s %r" % (kind, name or "", text or ""), find)

    def gone(self, title, timeout=TIMEOUT):
        self.wait_for("window %r to close" % title, lambda items: not any(
            i["kind"] == "window" and i["text"] == title for i in items) or [True], timeout)

    def wait_exit(self, timeout=TIMEOUT):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.output.close()


def native_windows(class_prefix="Qt"):
    """Visible top-level windows whose class begins with `class_prefix`, as Windows shows them:
    (caption, window class)."""
    out = wine(OPTIONS.wintitles, class_prefix, check=False)
    fields = [line.split("\t") for line in out.splitlines()]
    return [(f[7], f[6]) for f in fields if len(f) == 9]


def native_window_list(class_prefix):
    """Like native_windows, with every field: handle, owner, rectangle, class, caption, state."""
    out = wine(OPTIONS.wintitles, class_prefix, check=False)
    keys = ("handle", "owner", "x", "y", "w", "h", "class", "caption", "state")
    rows = [dict(zip(keys, line.split("\t"))) for line in out.splitlines()]
    for row in rows:
        for k in ("x", "y", "w", "h"):
            row[k] = int(row.get(k, 0))
    return [r for r in rows if "state" in r]


def x11_names():
    """_NET_WM_NAME of every mapped client window (what a window manager shows in its title)."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    names = []
    for wid in re.findall(r"^\s+(0x[0-9a-f]+) \"", tree, re.M):
        attrs = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True).stdout
        if "IsViewable" not in attrs:
            continue
        prop = subprocess.run(["xprop", "-id", wid, "-notype", "_NET_WM_NAME"],
                              capture_output=True).stdout.decode("utf-8", "replace").strip()
        match = re.match(r'_NET_WM_NAME = "(.*)"$', prop)
        if match:
            names.append(match.group(1).replace('\\"', '"').replace("\\\\", "\\"))
    return names


def check_caption(title):
    """The caption reads exactly `title` for Windows and for the X server. Wine gives a window
    with an empty caption no name at all on the X server: there, no window may carry the
    application's name instead."""
    end = time.time() + 10
    while True:
        natives = [w[0] for w in native_windows()]
        if title in natives:
            break
        if time.time() > end:
            raise Failure("no window captioned %r as Windows shows them: %r" % (title, natives))
        time.sleep(0.3)
    names = x11_names()
    if title == "":
        if "KDX manager" in names:
            raise Failure("an X window shows the application's name: %r" % names)
    elif title not in names:
        raise Failure("no X window named %r: %r" % (title, names))


def shot(name):
    path = os.path.join(OPTIONS.shots, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True)
    log("screenshot " + path)


def click(item, button=1):
    x, y = item["x"] + item["w"] // 2, item["y"] + item["h"] // 2
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y)], check=True)
    time.sleep(0.15)
    subprocess.run(["xdotool", "click", str(button)], check=True)
    time.sleep(0.4)


def key(*names):
    subprocess.run(["xdotool", "key", "--clearmodifiers"] + list(names), check=True)
    time.sleep(0.3)


def type_into(program, name, text):
    """Clicks into an edit box and replaces its text, checking what the box then holds. Text
    with Czech letters is pasted (Ctrl+V) from the X clipboard, which Wine hands to the program
    as Unicode text: xdotool types a letter missing from the keyboard by remapping a spare key
    for a moment, and Wine keeps the first such mapping, so "ř" would arrive as the "č" typed
    before it. ASCII text is typed key by key."""
    got = None
    for attempt in range(3):
        click(program.control(name))
        key("ctrl+a")
        if text.isascii():
            subprocess.run(["xdotool", "type", "--delay", str(40 + 40 * attempt), text],
                           check=True)
        else:
            subprocess.run(["xclip", "-selection", "clipboard", "-in"], input=text.encode(),
                           check=True)
            time.sleep(0.2)
            key("ctrl+v")
        end = time.time() + 3
        while time.time() < end:
            got = program.control(name)["text"]
            if got == text:
                return
            time.sleep(0.1)
    raise Failure("typed %r into %s, the box shows %r" % (text, name, got))


# --- folders and tables ------------------------------------------------------------------------

def write_table(path, header, rows):
    """A table file as the program stores it: cp1250, quoted values, CR LF, trailing commas."""
    def value(v):
        if v is None or v == "":
            return ""
        return '"' + v.replace('"', '""') + '"'
    lines = [",".join('"%s"' % h for h in header) + ","]
    lines += [",".join(value(v) for v in row) + "," for row in rows]
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp1250"))


IMPORT_HEADER = ["Nazev", "KDXFile", "SavePath", "InfoText", "EndText"]
EXPORT_HEADER = ["Nazev", "KDXFilePath", "Email", "InfoText", "EndText", "EmailShow"]


def program_folder(name):
    """C:\\<name>\\ holding KDXMngr.exe and its translations, as the installer lays it out."""
    folder = drive_c(name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy2(os.path.join(OPTIONS.out, "KDXMngr.exe"), folder)
    shutil.copy2(os.path.join(OPTIONS.out, "kdxmapi32.exe"), folder)
    shutil.copytree(os.path.join(OPTIONS.out, "translations"), os.path.join(folder, "translations"))
    return folder


# --- scenarios ---------------------------------------------------------------------------------

def receive_job(program, target_file, data, end_text, shot_prefix):
    """The receive page of a started program up to the end of the run."""
    program.window("KDX Manager")
    check_caption("KDX Manager")
    shot(shot_prefix + "-main")
    if program.control("Label2")["text"] != os.path.basename(target_file):
        raise Failure("Label2 shows %r" % program.control("Label2")["text"])
    click(program.control("Button1", "Provést akci"))
    program.window("Informace")
    check_caption("Informace")
    shot(shot_prefix + "-closing-text")
    label = program.wait_for("the closing text", lambda items: next(
        (i for i in items if i["kind"] == "control" and i["text"] == end_text), None))
    del label
    click(program.control(text="OK"))
    program.wait_exit()
    with open(target_file, "rb") as f:
        if f.read() != data:
            raise Failure("the copy in %s differs from the received file" % target_file)


def scenario_receive():
    """Three runs into one import folder, as the mail clients hand over a transfer day after
    day: read-only, the second day as Outlook names it, the third as a browser's download."""
    folder = program_folder("KDX manager")
    target = drive_c("Velkor", "Příjem")
    os.makedirs(target, exist_ok=True)
    mail = drive_c("Pošta")
    os.makedirs(mail, exist_ok=True)
    end_text = "Nyní spusťte Velkor a načtěte přenos."
    write_table(os.path.join(folder, "kdx_imp.tab"), IMPORT_HEADER,
                [["Pobočka Brno", "POB1_PB.KDX", "C:\\Velkor\\Příjem", "Uložení přenosu z Brna",
                  end_text]])
    for day, name in enumerate(["pob1_pb.kdx", "POB1_PB(2).KDX", "POB1_PB (1).KDX"], 1):
        data = b"KDX\x00transfer\xff day %d " % day * 100
        received = os.path.join(mail, name)
        with open(received, "wb") as f:
            f.write(data)
        os.chmod(received, 0o444)  # the read-only attribute, as the mail clients leave it
        program = Program("C:\\KDX manager\\KDXMngr.exe", ["C:\\Pošta\\" + name],
                          name="receive%d" % day)
        try:
            program.window("KDX Manager")
            if program.control("Label6")["text"] != "C:\\Velkor\\Příjem\\":
                raise Failure("Label6 shows %r" % program.control("Label6")["text"])
            shown = program.control("Label4")["text"]
            if shown != "C:\\Pošta\\" + name.upper():
                raise Failure("day %d: Label4 shows %r" % (day, shown))
            receive_job(program, os.path.join(target, "POB1_PB.KDX"), data, end_text,
                        "receive" if day == 1 else "receive-day%d" % day)
        finally:
            program.kill()
        landed = [n for n in os.listdir(target)]
        if landed != ["POB1_PB.KDX"]:
            raise Failure("day %d: the import folder holds %r" % (day, landed))
        if not os.stat(os.path.join(target, "POB1_PB.KDX")).st_mode & 0o200:
            raise Failure("day %d: the copy is read-only" % day)


def parse_record(path):
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    def fields(line):
        return dict(part.split("=", 1) for part in line.split()[1:] if "=" in part)
    unhex = lambda h: b"" if h == '""' else bytes.fromhex(h)
    record = {"recips": [], "files": []}
    for line in lines:
        if line.startswith("call="):
            record["call"] = dict(part.split("=", 1) for part in line.split())
        elif line.startswith("message "):
            record["message"] = fields(line)
        elif line.startswith("subject="):
            record["subject"] = unhex(line.split("=", 1)[1].split()[0])
        elif line.startswith("recip "):
            f = fields(line)
            record["recips"].append({"class": int(f["class"]), "address": unhex(f["address"])})
        elif line.startswith("file "):
            f = fields(line)
            record["files"].append({"path": unhex(f["path"])})
    return record


CLIENTS = r"HKLM\Software\Clients\Mail"


def client_dll(bits):
    """The recording client library of `bits` bits (windows/testmapi)."""
    sub = ["i686"] if bits == 32 else []
    return os.path.join(OPTIONS.build, *sub, "windows", "testmapi", "kdxtestmapi12.dll")


def unregister_clients(default):
    """The recording client's keys removed from both registry views, `default` the default mail
    client in both."""
    for view in (32, 64):
        wine("reg", "delete", CLIENTS + r"\KDX Test Recorder", "/f", "/reg:%d" % view, check=False)
        reg_add(CLIENTS, None, default, view=view)


def register_client(bits, views):
    """The recording client as the default mail client in the registry views `views`, as an
    installer of its bitness registers it; every trace of an earlier scenario removed first."""
    unregister_clients("Native Mail Client")
    for view in views:
        reg_add(CLIENTS + r"\KDX Test Recorder", "DLLPath", windows_path(client_dll(bits)),
                view=view)
        reg_add(CLIENTS, None, "KDX Test Recorder", view=view)


def send_definition(folder):
    outgoing = drive_c("Velkor", "Odesílání")
    os.makedirs(outgoing, exist_ok=True)
    with open(os.path.join(outgoing, "SKLAD.KDX"), "wb") as f:
        f.write(b"sklad")
    end_text = "Přenos byl předán poštovnímu programu."
    write_table(os.path.join(folder, "kdx_exp.tab"), EXPORT_HEADER,
                [["Odeslání do skladu", "C:\\Velkor\\Odesílání\\SKLAD.KDX", "sklad@example.cz",
                  "Odeslání přenosu do skladu", end_text, "True"]])


def send_subject():
    """The subject of today's send as the prefix's short date format writes it."""
    return "Přenosový soubor Velkor ze dne " + format_short_date(short_date_format(),
                                                                 datetime.date.today())


def start_send(program):
    """The user picks "Odeslání do skladu" in the main window and presses "Provést akci"."""
    program.window("KDX Manager")
    click(program.control("DBGrid1", kind="row", text="Odeslání do skladu"))
    click(program.control("Button3", "Provést akci"))


def check_record(record, bits):
    """The one call the client received: recipient, subject, attachment and flags exactly, in a
    process of `bits` bits, with the program's window as the parent."""
    r = parse_record(record)
    expected_subject = send_subject().encode("cp1250")
    problems = []
    if r["call"].get("bits") != str(bits):
        problems.append("called in a %s-bit process" % r["call"].get("bits"))
    if int(r["call"]["flags"]) != 0x1 | 0x8:
        problems.append("flags %s, not MAPI_LOGON_UI|MAPI_DIALOG" % r["call"]["flags"])
    # Through the helper the program disables its window itself, as a modal window's owner is;
    # in its own process that is left to the client's dialog.
    if r["call"].get("uiparam") in (None, "0") or (bits == 32 and
                                                    r["call"].get("ownerenabled") != "0"):
        problems.append("parent window %s, enabled %s" % (r["call"].get("uiparam"),
                                                           r["call"].get("ownerenabled")))
    if [x["class"] for x in r["recips"]] != [1]:
        problems.append("recipients %r" % r["recips"])
    elif r["recips"][0]["address"] != b"SMTP:sklad@example.cz":
        problems.append("address %r" % r["recips"][0]["address"])
    if r.get("subject") != expected_subject:
        problems.append("subject %r, expected %r" % (r.get("subject"), expected_subject))
    if [f["path"] for f in r["files"]] != ["C:\\Velkor\\Odesílání\\SKLAD.KDX".encode("cp1250")]:
        problems.append("attachments %r" % r["files"])
    if problems:
        raise Failure("the client received: " + "; ".join(problems))
    return r


def send_job(exe, name, env=None, during=None):
    """Runs a send of the definition "Odeslání do skladu" through `exe` and returns the record
    the client wrote. `during(program)` runs after "Provést akci" was pressed."""
    record = os.path.join(OPTIONS.work, name + "-record.txt")
    if os.path.exists(record):
        os.remove(record)
    program = Program(exe, [], name=name,
                      env=dict(env or {}, KDX_TESTMAPI_RECORD=windows_path(record)))
    try:
        program.window("KDX Manager")
        check_caption("KDX Manager")
        shot(name + "-main")
        click(program.control("DBGrid1", kind="row", text="Odeslání do skladu"))
        click(program.control("Button3", "Provést akci"))
        if during:
            during(program)
        program.window("Informace")
        check_caption("Informace")
        shot(name + "-closing-text")
        key("Return")
        program.wait_exit()
    finally:
        program.kill()
    return record


def scenario_send():
    """A 64-bit client, in the program's own process. MAPIX=1: the program calls Wine's
    mapi32.dll, which forwards to the default client."""
    folder = program_folder("KDX manager")
    send_definition(folder)
    register_client(64, [64])
    reg_add(r"HKLM\Software\Microsoft\Windows Messaging Subsystem", "MAPIX", "1")
    try:
        check_record(send_job("C:\\KDX manager\\KDXMngr.exe", "send"), 64)
    finally:
        wine("reg", "delete", r"HKLM\Software\Microsoft\Windows Messaging Subsystem", "/v",
             "MAPIX", "/f", "/reg:64", check=False)


def scenario_send32():
    """A 32-bit client as its 32-bit installer registers it: its keys and the default only in
    the 32-bit view. The 64-bit program reaches it through kdxmapi32.exe, which loads the 32-bit
    mapi32.dll, which forwards to the client."""
    folder = program_folder("KDX manager")
    send_definition(folder)
    register_client(32, [32])
    check_record(send_job("C:\\KDX manager\\KDXMngr.exe", "send32"), 32)


def scenario_send32both():
    """The same 32-bit client with its keys visible in both views."""
    folder = program_folder("KDX manager")
    send_definition(folder)
    register_client(32, [32, 64])
    check_record(send_job("C:\\KDX manager\\KDXMngr.exe", "send32both"), 32)


def scenario_compose():
    """A 32-bit client that keeps its compose window open until the user closes it: the window is
    owned by the program's main window, which stays disabled and responding meanwhile."""
    folder = program_folder("KDX manager")
    send_definition(folder)
    register_client(32, [32])

    def during(program):
        end = time.time() + TIMEOUT
        compose = None
        while compose is None and time.time() < end:
            compose = next((w for w in native_window_list("KdxTestCompose")), None)
            time.sleep(0.3)
        if compose is None:
            raise Failure("no compose window")
        main = [w for w in native_window_list("Qt") if w["caption"] == "KDX Manager"]
        if [w["handle"] for w in main] != [compose["owner"]]:
            raise Failure("compose window owned by %s, main window %r" % (compose["owner"], main))
        time.sleep(6)  # longer than the system waits before it calls a window not responding
        main = [w for w in native_window_list("Qt") if w["caption"] == "KDX Manager"]
        if not main or main[0]["state"] != "disabled":
            raise Failure("main window while composing: %r" % main)
        shot("compose-open")
        click(compose)

    check_record(send_job("C:\\KDX manager\\KDXMngr.exe", "compose",
                          env={"KDX_TESTMAPI_COMPOSE": "1"}, during=during), 32)


def scenario_sendfail():
    """A 32-bit client that answers MAPI_E_UNKNOWN_RECIPIENT: the user sees that code's text in
    the general error box, and the run goes on."""
    folder = program_folder("KDX manager")
    send_definition(folder)
    register_client(32, [32])
    program = Program("C:\\KDX manager\\KDXMngr.exe", [], name="sendfail",
                      env={"KDX_TESTMAPI_RESULT": "14"})
    try:
        start_send(program)
        program.window("KDX manager")
        check_caption("KDX manager")
        # The general error box adds a full stop only after a character above '.', not after '"'.
        program.control(text='MAPI Error: (14) "Unknown recipient"')
        shot("sendfail-error")
        key("Return")
        program.gone("KDX manager")
        program.window("KDX Manager")  # still running, the main window back
    finally:
        program.kill()


def scenario_manual():
    """No Simple MAPI client, as with webmail or the new Outlook: "Provést akci" opens a new
    e-mail through the shell's mailto: handler (a stand-in that records how the shell started
    it) with the recipient and subject, shows the transfer file in the file manager (Wine's
    explorer), and the user says when the e-mail is sent."""
    folder = program_folder("KDX manager")
    send_definition(folder)
    unregister_clients("")
    handler = drive_c("KDX tests", "recordargs.exe")
    os.makedirs(os.path.dirname(handler), exist_ok=True)
    shutil.copy(os.path.join(OPTIONS.build, "windows", "e2e", "recordargs.exe"), handler)
    reg_add(r"HKCR\mailto", "URL Protocol", "")
    reg_add(r"HKCR\mailto\shell\open\command", None, '"%s" "%%1"' % windows_path(handler))
    record = os.path.join(OPTIONS.work, "manual-mailto.txt")
    if os.path.exists(record):
        os.remove(record)
    subject = send_subject()
    expected = '"mailto:sklad@example.cz?subject=%s"' % urllib.parse.quote(subject, safe="")
    program = Program("C:\\KDX manager\\KDXMngr.exe", [], name="manual",
                      env={"KDX_TEST_RECORD_ARGS": windows_path(record)})
    try:
        start_send(program)
        program.window("Odeslání e-mailem")
        check_caption("Odeslání e-mailem")
        program.control(text="sklad@example.cz")
        program.control(text=subject)

        def recorded():
            try:
                with open(record, encoding="utf-8") as f:
                    return f.read().splitlines()
            except FileNotFoundError:
                return None
        lines = wait_until("the mailto: handler has started", recorded, timeout=TIMEOUT)
        if lines != [expected]:
            raise Failure("the mailto: handler was started with %r, expected %r"
                          % (lines, [expected]))
        wait_until("the file manager shows the folder Odesílání", lambda: [
            w for w in native_window_list("ExplorerWClass") if w["caption"] == "Odesílání"],
            timeout=TIMEOUT)
        shot("manual-file-manager")
        # The file manager opens over the program; the user drags the file into the e-mail,
        # closes the file manager and comes back to the program.
        key("alt+F4")
        wait_until("the file manager has closed", lambda: not native_window_list("ExplorerWClass"),
                   timeout=TIMEOUT)
        shot("manual-window")
        click(program.control(text="Hotovo"))
        program.window("Informace")
        shot("manual-closing-text")
        key("Return")
        program.wait_exit()
    finally:
        program.kill()
        wine("reg", "delete", r"HKCR\mailto", "/f", check=False)


EXPECTED_IMPORT = (
    '"Nazev","KDXFile","SavePath","InfoText","EndText",\r\n'
    '"Pobočka Brno","POB1_PB.KDX","C:\\Přenosy\\","Uložení přenosového souboru",,\r\n'
)
EXPECTED_EXPORT = (
    '"Nazev","KDXFilePath","Email","InfoText","EndText","EmailShow",\r\n'
    '"Odeslání do skladu","C:\\Odeslat\\SKLAD.KDX","sklad@example.cz",,,"True",\r\n'
)


def pick_file_natively(program, path):
    """The "..." button beside the file box opens the system's own file-open dialog (not one of
    the toolkit's windows); a path typed into it lands in the box."""
    os.makedirs(drive_c("Odeslat"), exist_ok=True)
    with open(drive_c("Odeslat", "SKLAD.KDX"), "wb") as f:
        f.write(b"sklad")
    click(program.control("BitBtn2"))
    title = "Vyberte přenosový soubor"
    end = time.time() + TIMEOUT
    while True:
        dialogs = [w for w in native_windows("") if w[0] == title]
        if dialogs:
            break
        if time.time() > end:
            raise Failure("no native dialog captioned %r" % title)
        time.sleep(0.3)
    if dialogs[0][1].startswith("Qt"):
        raise Failure("the file dialog is the toolkit's own window (%s)" % dialogs[0][1])
    shot("settings-file-dialog")
    subprocess.run(["xdotool", "type", "--delay", "60", path], check=True)
    key("Return")
    program.wait_for("the picked file", lambda items: any(
        i["name"] == EXPORT_EDITS["KDXFilePath"] and i["text"].lower() == path.lower()
        for i in items if i["kind"] == "control"))


def scenario_settings():
    folder = program_folder("KDX nastavení")
    program = Program("C:\\KDX nastavení\\KDXMngr.exe", ["/SET"], name="settings")
    try:
        box = program.wait_for("the first-run message", lambda items: next(
            (i for i in items if i["kind"] == "window" and i["name"] != "frmNastaveni"
             and any(c["text"].startswith("Nyní je třeba program nakonfigurovat")
                     for c in items if c["kind"] == "control")), None))
        check_caption(box["text"])
        shot("settings-first-run")
        key("Return")
        program.window("Nastavení")
        check_caption("Nastavení")
        click(program.control("Button4", "Přidat definici"))
        type_into(program, IMPORT_EDITS["Nazev"], "Pobočka Brno")
        type_into(program, IMPORT_EDITS["KDXFile"], "POB1_PB.KDX")
        type_into(program, IMPORT_EDITS["SavePath"], "C:\\Přenosy\\")
        type_into(program, IMPORT_EDITS["InfoText"], "Uložení přenosového souboru")
        shot("settings-import")
        click(program.control(text="Připojení souboru k e-mailu", kind="control", enabled=False))
        click(program.control("Button6", "Přidat definici"))
        type_into(program, EXPORT_EDITS["Nazev"], "Odeslání do skladu")
        pick_file_natively(program, "C:\\Odeslat\\SKLAD.KDX")
        type_into(program, EXPORT_EDITS["Email"], "sklad@example.cz")
        shot("settings-export")
        click(program.control("Button1", "Uložit"))
        program.wait_exit()
    finally:
        program.kill()
    for name, expected in (("kdx_imp.tab", EXPECTED_IMPORT), ("kdx_exp.tab", EXPECTED_EXPORT)):
        with open(os.path.join(folder, name), "rb") as f:
            actual = f.read()
        if actual != expected.encode("cp1250"):
            raise Failure("%s differs:\n  expected %r\n  actual   %r"
                          % (name, expected.encode("cp1250"), actual))


# The settings window's edit boxes by field (object names of the window).
IMPORT_EDITS = {"Nazev": "dbtext1", "KDXFile": "DBEdit1", "SavePath": "DBEdit2",
                "InfoText": "DBEdit3", "EndText": "DBEdit4"}
EXPORT_EDITS = {"Nazev": "DBEdit5", "KDXFilePath": "DBEdit6", "Email": "DBEdit7",
                "InfoText": "DBEdit8", "EndText": "DBEdit9"}


def scenario_picker():
    folder = program_folder("KDX výběr")
    write_table(os.path.join(folder, "kdx_imp.tab"), IMPORT_HEADER,
                [["Pobočka", "POB1_PB.KDX", "C:\\", "", ""]])
    os.makedirs(drive_c("Velkor", "Příjem"), exist_ok=True)
    program = Program("C:\\KDX výběr\\KDXMngr.exe", ["/SET"], name="picker")

    def rows(items):
        return [i for i in items if i["kind"] == "row" and i["name"] == "DirectoryListBox"]

    def current_drive(items):
        return next((i["text"] for i in items if i["kind"] == "item"
                     and i["name"] == "DriveComboBox" and i["flag"]), "")

    def choose_drive(letter):
        click(program.control("DriveComboBox"))
        key(letter)
        key("Return")
        program.wait_for("drive %s:" % letter,
                         lambda items: current_drive(items).lower().startswith(letter + ":")
                         and rows(items) and rows(items)[0]["text"].lower().startswith(letter + ":"))

    try:
        key_until_window(program, "Nastavení")
        click(program.control("BitBtn1"))
        dialog = program.wait_for("the folder picker", lambda items: next(
            (i for i in items if i["kind"] == "window" and i["name"] == "FormDirDialog"), None))
        check_caption(dialog["text"])
        shot("picker-open")
        screen_w, screen_h = map(int, subprocess.run(
            ["xdotool", "getdisplaygeometry"], check=True, capture_output=True,
            text=True).stdout.split())
        dx = dialog["x"] + dialog["w"] / 2 - screen_w / 2
        dy = dialog["y"] + dialog["h"] / 2 - screen_h / 2
        if abs(dx) > 2 or abs(dy) > 2:  # centred on the screen, not over the settings window
            raise Failure("the folder picker is off the screen's centre by %+d,%+d: %r"
                          % (dx, dy, dialog))
        drives = [i["text"].lower() for i in program.items()
                  if i["kind"] == "item" and i["name"] == "DriveComboBox"]
        for letter in ("c:", "z:"):
            if not any(d.startswith(letter) for d in drives):
                raise Failure("the drive list lacks %s: %r" % (letter, drives))
        choose_drive("z")
        shot("picker-drive-z")
        choose_drive("c")
        # Enter Velkor, then Příjem with a double click on each; a folder out of sight is
        # brought into the list with the mouse wheel first.
        listbox = program.control("DirectoryListBox")
        for name in ("velkor", "příjem"):
            def shown(items):
                return next((i for i in rows(items) if i["text"].lower() == name
                             and i["y"] + i["h"] <= listbox["y"] + listbox["h"] - 2), None)
            for _ in range(20):
                if shown(program.items()):
                    break
                subprocess.run(["xdotool", "mousemove", "--sync",
                                str(listbox["x"] + listbox["w"] // 2),
                                str(listbox["y"] + listbox["h"] // 2), "click", "5"], check=True)
                time.sleep(0.3)
            row = program.wait_for("folder %s in sight" % name, shown)
            x, y = row["x"] + row["w"] // 2, row["y"] + row["h"] // 2
            subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click",
                            "--repeat", "2", "--delay", "80", "1"], check=True)
            program.wait_for("folder %s entered" % name, lambda items: any(
                i["text"].lower() == name and i["flag"] for i in rows(items)))
        shot("picker-folder")
        click(program.control("BBOk", "OK"))
        program.wait_for("the picked folder", lambda items: next(
            (i for i in items if i["kind"] == "control" and i["name"] == IMPORT_EDITS["SavePath"]
             and i["text"].lower() == "c:\\velkor\\příjem"), None))  # exactly as picked
        shot("picker-picked")
        click(program.control("Button2", "Storno"))
        program.wait_exit()
    finally:
        program.kill()


def key_until_window(program, title):
    """Confirms the first-run message with Enter until the window titled `title` shows."""
    end = time.time() + TIMEOUT
    while time.time() < end:
        items = program.items()
        if any(i["kind"] == "window" and i["text"] == title for i in items) and \
                not any(i["kind"] == "window" and i["text"] == "Informace" for i in items):
            return
        if any(i["kind"] == "window" and i["text"] == "Informace" for i in items):
            key("Return")
        time.sleep(0.3)
    raise Failure("no window %r" % title)


def open_through_shell(path, name):
    """The program the shell starts for the file at the host path `path` ("open" verb); its
    geometry report is named by the environment the shell passes on."""
    program = Program.__new__(Program)
    program.report = os.path.join(OPTIONS.work, name + ".geometry")
    if os.path.exists(program.report):
        os.remove(program.report)
    program.output = open(os.path.join(OPTIONS.work, name + ".out"), "w")
    env = dict(os.environ, KDX_TEST_GEOMETRY=windows_path(program.report))
    program.proc = subprocess.Popen([WINE, "start", "/wait", "/unix", path],
                                    stdin=subprocess.DEVNULL, stdout=program.output,
                                    stderr=subprocess.STDOUT, env=env)
    return program


def scenario_installer():
    setup = os.path.join(OPTIONS.out, "KDXManager-Setup.exe")
    # For all users: Wine's shell reads file associations from HKLM\Software\Classes only
    # (Windows also reads the per-user ones, which the association check of the stage covers).
    # (/D= takes the rest of the command line unquoted: a folder without blanks here.)
    wine(setup, "/S", "/ALLUSERS", "/D=C:\\KDX-instalace", timeout=120)
    subprocess.run(["wineserver", "-w"], timeout=120)
    installed = drive_c("KDX-instalace")
    if not os.path.isfile(os.path.join(installed, "KDXMngr.exe")):
        raise Failure("the installer left no KDXMngr.exe in %s" % installed)
    if not os.path.isfile(os.path.join(installed, "translations", "qtbase_cs.qm")):
        raise Failure("the installer left no translations")
    if not os.path.isfile(os.path.join(installed, "kdxmapi32.exe")):
        raise Failure("the installer left no kdxmapi32.exe")
    end_text = "Přenos uložen, spusťte Velkor."
    write_table(os.path.join(installed, "kdx_imp.tab"), IMPORT_HEADER,
                [["Pobočka Brno", "POB1_PB.KDX", "C:\\Velkor\\Instalace", "", end_text]])
    target = drive_c("Velkor", "Instalace")
    os.makedirs(target, exist_ok=True)
    received = drive_c("Přijaté soubory")
    os.makedirs(received, exist_ok=True)
    data = b"installed program"
    with open(os.path.join(received, "pob1_pb.KDX"), "wb") as f:
        f.write(data)
    program = open_through_shell(os.path.join(received, "pob1_pb.KDX"), "installer")
    try:
        receive_job(program, os.path.join(target, "POB1_PB.KDX"), data, end_text, "installer")
    finally:
        program.kill()
    if os.environ.get("KDX_WINE_NO_32BIT"):
        return  # named among the skipped scenarios (main)
    # The installed copy sends through a 32-bit client.
    send_definition(installed)
    register_client(32, [32])
    check_record(send_job("C:\\KDX-instalace\\KDXMngr.exe", "installed-send32"), 32)


# --- the MSI package ----------------------------------------------------------------------------

UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def wait_until(what, condition, timeout=60):
    """The first true answer of `condition` (Wine's msiexec may return before its service has
    finished; a program the shell starts comes when it comes)."""
    end = time.time() + timeout
    while not (answer := condition()):
        if time.time() > end:
            raise Failure("timed out waiting until " + what)
        time.sleep(0.5)
    return answer


def msi_products():
    """{product code: (name, version, publisher)} of the Windows Installer entries of "Apps &
    features" named KDX manager."""
    out = wine("reg", "query", UNINSTALL, "/s", "/reg:64", check=False)
    products, key, values = {}, None, {}
    for line in out.splitlines() + ["HKEY_END"]:
        if line.startswith("HKEY"):
            # Windows Installer's entries are named by their product code (the NSIS installer's
            # is not).
            if key and key.endswith("}") and values.get("DisplayName") == "KDX manager":
                products[key.rsplit("\\", 1)[-1]] = (values.get("DisplayName"),
                                                      values.get("DisplayVersion"),
                                                      values.get("Publisher"))
            key, values = line.strip(), {}
        else:
            match = re.match(r"\s+(\S+)\s+REG_\w+\s+(.*)$", line)
            if match:
                values[match.group(1)] = match.group(2).strip()
    return products


def default_value(key):
    out = wine("reg", "query", key, "/ve", "/reg:64", check=False)
    match = re.search(r"REG_SZ\s+(.*)$", out, re.M)
    return match.group(1).strip() if match else None


def msiexec(*args):
    wine("msiexec", *args, "/qn", timeout=180)


class NotWritable:
    """The program folder made really not writable for this user, the rule Wine does not keep
    with access lists: immutable (chattr +i) for root, which may write anything else, read-only
    (chmod a-w) for any other user. Files in it can still be read and run."""

    def __init__(self, folder):
        self.folder = folder
        self.root = os.geteuid() == 0

    def __enter__(self):
        if self.root:
            result = subprocess.run(["chattr", "+i", self.folder], capture_output=True, text=True)
            if result.returncode != 0:
                raise Failure("cannot make %s immutable (chattr: %s): this machine cannot test a "
                              "program folder the user may not write" % (self.folder,
                                                                          result.stderr.strip()))
        else:
            os.chmod(self.folder, 0o555)
        probe = os.path.join(self.folder, "probe")
        try:
            os.close(os.open(probe, os.O_CREAT | os.O_EXCL | os.O_WRONLY))
            os.remove(probe)
            raise Failure("%s is still writable" % self.folder)
        except PermissionError:
            pass
        return self

    def __exit__(self, *exc):
        if self.root:
            subprocess.run(["chattr", "-i", self.folder], check=False)
        else:
            os.chmod(self.folder, 0o755)


def start_menu_links():
    """The entries of the Start menu folders "KDX manager", all users' and this user's (Wine's
    msiexec puts a per-machine package's into the user's)."""
    appdata = windows_to_host(wine("cmd", "/c", "echo", "%APPDATA%").strip())
    menus = [drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "KDX manager"),
             os.path.join(appdata, "Microsoft", "Windows", "Start Menu", "Programs", "KDX manager")]
    return {os.path.join(m, n) for m in menus if os.path.isdir(m) for n in os.listdir(m)}


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def scenario_msi():
    msi = os.path.join(OPTIONS.out, "KDXManager.msi")
    installed = drive_c("Program Files", "KDX manager")
    shared = drive_c("ProgramData", "KDX manager")
    # The administrator's tables, in a folder named on msiexec's command line.
    admin = drive_c("Správce")
    os.makedirs(admin, exist_ok=True)
    end_text = "Přenos uložen (MSI), spusťte Velkor."
    write_table(os.path.join(admin, "kdx_imp.tab"), IMPORT_HEADER,
                [["Pobočka Brno", "POB1_PB.KDX", "C:\\Velkor\\MSI", "", end_text]])
    send_definition(admin)
    admin_tables = {n: read_bytes(os.path.join(admin, n)) for n in ("kdx_imp.tab", "kdx_exp.tab")}

    links_before = start_menu_links()  # the NSIS installer's of an earlier scenario
    msiexec("/i", windows_path(msi), "TABLEFOLDER=C:\\Správce")
    exe = os.path.join(installed, "KDXMngr.exe")
    wait_until("the program is installed", lambda: len(msi_products()) == 1 and os.path.isfile(exe))
    for part in ("kdxmapi32.exe", os.path.join("translations", "qtbase_cs.qm")):
        if not os.path.isfile(os.path.join(installed, part)):
            raise Failure("the MSI left no %s" % part)
    (code, (_, version, publisher)), = msi_products().items()
    if publisher != "KDX manager developers" or not re.match(r"^\d+\.\d+\.\d+$", version or ""):
        raise Failure("the Apps & features entry: version %r, publisher %r" % (version, publisher))
    if default_value(r"HKLM\Software\Classes\.KDX") != "KDXManager.TransferFile":
        raise Failure(".KDX is not associated")
    command = default_value(r"HKLM\Software\Classes\KDXManager.TransferFile\shell\open\command")
    if command != '"C:\\Program Files\\KDX manager\\KDXMngr.exe" "%1"':
        raise Failure("the open command is %r" % command)
    links = sorted(os.path.basename(p) for p in start_menu_links() - links_before)
    if links != ["KDX manager.lnk", "Nastavení.lnk"]:
        raise Failure("Start menu entries %r" % links)
    for name, data in admin_tables.items():
        if read_bytes(os.path.join(shared, name)) != data:
            raise Failure("%%ProgramData%%\\KDX manager\\%s is not the administrator's" % name)
    user = os.path.join(windows_to_host(wine("cmd", "/c", "echo", "%APPDATA%").strip()),
                        "KDX manager")
    shutil.rmtree(user, ignore_errors=True)

    target = drive_c("Velkor", "MSI")
    mine = drive_c("Velkor", "Moje")
    received = drive_c("Přijaté MSI")
    for folder in (target, mine, received):
        os.makedirs(folder, exist_ok=True)
    with NotWritable(installed):
        # A user without tables starts from the administrator's: the receive job matches.
        with open(os.path.join(received, "pob1_pb.kdx"), "wb") as f:
            f.write(b"msi one")
        program = open_through_shell(os.path.join(received, "pob1_pb.kdx"), "msi-receive")
        try:
            receive_job(program, os.path.join(target, "POB1_PB.KDX"), b"msi one", end_text,
                        "msi-receive")
        finally:
            program.kill()
        # The user's save lands in the user's folder.
        program = Program(windows_path(exe), ["/SET"], name="msi-settings")
        try:
            key_until_window(program, "Nastavení")
            program.control(kind="row", text="Pobočka Brno")
            click(program.control("Button4", "Přidat definici"))
            type_into(program, IMPORT_EDITS["Nazev"], "Moje pobočka")
            type_into(program, IMPORT_EDITS["KDXFile"], "POB2_PB.KDX")
            type_into(program, IMPORT_EDITS["SavePath"], "C:\\Velkor\\Moje")
            type_into(program, IMPORT_EDITS["EndText"], "Uloženo.")
            shot("msi-settings")
            click(program.control("Button1", "Uložit"))
            program.wait_exit()
        finally:
            program.kill()
        saved = read_bytes(os.path.join(user, "kdx_imp.tab"))
        for name in ("Pobočka Brno", "Moje pobočka"):
            if name.encode("cp1250") not in saved:
                raise Failure("the user's kdx_imp.tab lacks %r: %r" % (name, saved))
        if any(n.endswith(".tab") for n in os.listdir(installed)):
            raise Failure("a table was written beside the installed program")
        for name, data in admin_tables.items():
            if read_bytes(os.path.join(shared, name)) != data:
                raise Failure("the administrator's %s was written" % name)
        # The next start reads the user's tables back.
        with open(os.path.join(received, "pob2_pb.kdx"), "wb") as f:
            f.write(b"msi two")
        program = open_through_shell(os.path.join(received, "pob2_pb.kdx"), "msi-reread")
        try:
            receive_job(program, os.path.join(mine, "POB2_PB.KDX"), b"msi two", "Uloženo.",
                        "msi-reread")
        finally:
            program.kill()

    # A package of a higher version replaces the installed one and keeps every table.
    user_tables = {n: read_bytes(os.path.join(user, n)) for n in os.listdir(user)}
    major, minor, patch = map(int, version.split("."))
    newer = "%d.%d.%d" % (major, minor, patch + 1)
    upgrade = os.path.join(OPTIONS.work, "KDXManager-" + newer + ".msi")
    subprocess.run([os.path.join(ROOT, "packaging", "windows", "build-msi.sh"), OPTIONS.out,
                    upgrade, newer], check=True, stdout=subprocess.DEVNULL)
    msiexec("/i", windows_path(upgrade))
    wait_until("the upgrade replaced " + version, lambda: [
        v for _, v, _ in msi_products().values()] == [newer] and os.path.isfile(exe))
    for name, data in user_tables.items():
        if read_bytes(os.path.join(user, name)) != data:
            raise Failure("the upgrade changed the user's %s" % name)
    for name, data in admin_tables.items():
        if read_bytes(os.path.join(shared, name)) != data:
            raise Failure("the upgrade changed the administrator's %s" % name)

    # Uninstalling removes the program's files, keys and entries; the tables stay.
    (code, _), = msi_products().items()
    msiexec("/x", code)
    wait_until("the uninstall removed the program", lambda: not msi_products()
               and not os.path.exists(installed))
    for key in (r"HKLM\Software\Classes\.KDX", r"HKLM\Software\Classes\KDXManager.TransferFile"):
        if subprocess.run([WINE, "reg", "query", key, "/reg:64"], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=60).returncode == 0:
            raise Failure("the uninstall left %s" % key)
    if start_menu_links() != links_before:
        raise Failure("the uninstall left the Start menu entries")
    for name, data in user_tables.items():
        if read_bytes(os.path.join(user, name)) != data:
            raise Failure("the uninstall removed the user's %s" % name)
    if sorted(os.listdir(shared)) != ["kdx_exp.tab", "kdx_imp.tab"]:
        raise Failure("the administrator's tables: %r" % os.listdir(shared))


SCENARIOS = {"receive": scenario_receive, "send": scenario_send, "send32": scenario_send32,
             "send32both": scenario_send32both, "compose": scenario_compose,
             "manual": scenario_manual,
             "sendfail": scenario_sendfail, "settings": scenario_settings,
             "picker": scenario_picker, "installer": scenario_installer, "msi": scenario_msi}


# Those that need a 32-bit process (the installer's 32-bit send too); the Windows stage names them
# in its line of what was not covered.
THIRTY_TWO_BIT = ("send32", "send32both", "compose", "sendfail")


def start_window_manager():
    wm = subprocess.Popen(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    return wm


def main():
    global OPTIONS, PREFIX
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--shots", required=True)
    parser.add_argument("scenarios", nargs="*")
    OPTIONS = parser.parse_args()
    OPTIONS.out = os.path.abspath(OPTIONS.out)
    OPTIONS.build = os.path.abspath(OPTIONS.build)
    OPTIONS.wintitles = os.path.join(OPTIONS.build, "windows", "e2e", "wintitles.exe")
    OPTIONS.work = os.path.join(os.path.abspath(OPTIONS.shots), "work")
    os.makedirs(OPTIONS.work, exist_ok=True)
    PREFIX = os.environ["WINEPREFIX"]
    names = OPTIONS.scenarios or ["receive", "send", "send32", "send32both", "compose",
                                  "manual", "sendfail", "settings", "picker", "installer", "msi"]
    if os.environ.get("KDX_WINE_NO_32BIT"):
        # Wine without its 32-bit half runs no 32-bit mail client.
        skipped = [n for n in names if n in THIRTY_TWO_BIT]
        names = [n for n in names if n not in THIRTY_TWO_BIT]
        if "installer" in names:
            skipped.append("installer's send through a 32-bit client")
        if skipped:
            log("SKIP (this Wine runs no 32-bit programs): " + ", ".join(skipped))
    failed = []
    wm = None
    for name in names:
        # Mouse alone reaches Wine's windows without a window manager; the keyboard needs one.
        if name != "receive" and wm is None:
            wm = start_window_manager()
        log("--- " + name)
        try:
            SCENARIOS[name]()
            log("PASS " + name)
        except (Failure, subprocess.SubprocessError, OSError, KeyError, ValueError) as error:
            log("FAIL %s: %s" % (name, error))
            failed.append(name)
            try:
                shot("FAILED-" + name)
            except Exception:
                pass
        subprocess.run(["wineserver", "-k"], check=False)
        subprocess.run(["wineserver", "-w"], check=False)
    if wm:
        wm.terminate()
    if failed:
        log("failed: " + " ".join(failed))
        return 1
    log("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
