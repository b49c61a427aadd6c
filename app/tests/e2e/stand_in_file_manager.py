"""A stand-in for the desktop's file manager on the session bus: owns
org.freedesktop.FileManager1 and appends every ShowItems call to RECORD as one JSON line
([uris, startup id]). Prints "ready" once the name is owned; ends when its input closes."""

import json
import sys
import threading

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.FileManager1"


class FileManager(dbus.service.Object):
    def __init__(self, bus, record):
        super().__init__(bus, "/org/freedesktop/FileManager1")
        self.record = record

    @dbus.service.method(NAME, in_signature="ass", out_signature="")
    def ShowItems(self, uris, startup_id):
        with open(self.record, "a") as f:
            f.write(json.dumps([[str(u) for u in uris], str(startup_id)]) + "\n")

    @dbus.service.method(NAME, in_signature="ass", out_signature="")
    def ShowFolders(self, uris, startup_id):
        self.ShowItems(uris, startup_id)


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(NAME, bus)  # noqa: F841 (held while the loop runs)
    FileManager(bus, sys.argv[1])
    loop = GLib.MainLoop()
    threading.Thread(target=lambda: (sys.stdin.read(), GLib.idle_add(loop.quit)),
                     daemon=True).start()
    print("ready", flush=True)
    loop.run()


main()
