#!/usr/bin/python3
"""A local SMTP sink for the provider's tests.

Listens on 127.0.0.1 on a free port, stores every message it accepts as <n>.eml (the data as
received) and <n>.rcpt (the envelope recipients, one a line) in the folder given as the only
argument, prints the port on standard output once it accepts connections, and stops when its
standard input closes.
"""
import os
import socket
import sys

from aiosmtpd.controller import Controller


class Sink:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".rcpt.tmp", "w") as f:
            f.write("\n".join(envelope.rcpt_tos) + "\n")
        with open(base + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content or envelope.content)
        os.rename(base + ".rcpt.tmp", base + ".rcpt")
        os.rename(base + ".eml.tmp", base + ".eml")
        return "250 OK"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    folder = sys.argv[1]
    for _ in range(20):
        port = free_port()
        controller = Controller(Sink(folder), hostname="127.0.0.1", port=port)
        try:
            controller.start()
            break
        except Exception:
            continue
    else:
        sys.exit("no free port")
    print(port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
