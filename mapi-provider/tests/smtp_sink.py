#!/usr/bin/python3
"""A local SMTP sink for the provider's tests.

Listens on 127.0.0.1 on a free port, stores every message it accepts as <n>.eml (the data as
received) and <n>.rcpt (the envelope recipients, one a line) in the folder given as the only
argument, prints the port on standard output once it accepts connections, and stops when its
standard input closes. An optional second argument makes it a server that fails:
  reject-recipient  refuses (550) every recipient whose local part starts with "unknown"
  reject-data       refuses (554) every message at the end of its data
  silent            accepts connections and never answers
"""
import os
import socket
import sys

from aiosmtpd.controller import Controller


class Sink:
    def __init__(self, folder, behaviour):
        self.folder = folder
        self.behaviour = behaviour
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.behaviour == "reject-recipient" and address.startswith("unknown"):
            return "550 5.1.1 No such user"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        if self.behaviour == "reject-data":
            return "554 5.7.1 Message refused"
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
    behaviour = sys.argv[2] if len(sys.argv) > 2 else "accept"
    if behaviour == "silent":
        # The kernel completes every connection to a listening socket: it is never answered.
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            s.listen(16)
            print(s.getsockname()[1], flush=True)
            sys.stdin.read()
        return
    for _ in range(20):
        port = free_port()
        controller = Controller(Sink(folder, behaviour), hostname="127.0.0.1", port=port)
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
