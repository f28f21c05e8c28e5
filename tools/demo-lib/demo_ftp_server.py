#!/usr/bin/python3
"""The demo's update server: the tests' pyftpdlib server on 127.0.0.1 and a fixed port.

    demo_ftp_server.py --root ROOT --port PORT --user USER --password PASSWORD --dir DIR
                       [--silent-data REMOTE] [--rate BYTES]

korekta has its server's port built in, so this server listens on the port given (the
tests' servers take a free one). It serves ROOT read-only to USER, writes "PORT" to
DIR/port once it listens, every command it receives to DIR/transcript and the number of
open sessions to DIR/sessions, and runs until it is sent SIGTERM or SIGINT.

--silent-data makes it a server that stalls: RETR of that remote path is answered 150,
and its data connection, accepted, stays open with nothing sent on it.

With --rate its data connections send about that many bytes a second, in small pieces, so
that a transfer lasts long enough to act during it.
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "servers"))

import ftp_server  # noqa: E402  (the tests' server: transcript, OPTS UTF8 ON)
from pyftpdlib.authorizers import DummyAuthorizer  # noqa: E402
from pyftpdlib.handlers import ThrottledDTPHandler  # noqa: E402
from pyftpdlib.servers import FTPServer  # noqa: E402


class DemoHandler(ftp_server.Handler):
    banner = "korekta demo update server ready."
    silent_data = None  # the remote path whose data connection stays silent

    def pre_process_command(self, line, cmd, arg):
        if cmd == "RETR" and arg == self.silent_data:
            self.respond("150 Opening BINARY mode data connection.")
            return
        ftp_server.Handler.pre_process_command(self, line, cmd, arg)


class SlowDTP(ThrottledDTPHandler):
    """Sends write_limit bytes a second, its send buffer cut down to that size."""


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--user", required=True)
    ap.add_argument("--password", required=True)
    ap.add_argument("--dir", required=True)
    ap.add_argument("--silent-data")
    ap.add_argument("--rate", type=int, default=0, help="bytes a second of a data connection")
    a = ap.parse_args()
    DemoHandler.silent_data = a.silent_data
    os.makedirs(a.dir, exist_ok=True)
    ftp_server.STATE = ftp_server.State({"dir": a.dir, "scripted": False})
    authorizer = DummyAuthorizer()
    # Read-only: the demo's client only fetches.
    authorizer.add_user(a.user, a.password, a.root, perm="elr")
    DemoHandler.authorizer = authorizer
    if a.rate > 0:
        SlowDTP.write_limit = a.rate
        DemoHandler.dtp_handler = SlowDTP
    try:
        server = FTPServer(("127.0.0.1", a.port), DemoHandler)
    except OSError as err:
        sys.exit(f"cannot listen on 127.0.0.1:{a.port}: {err.strerror or err}")
    ftp_server.write_file(os.path.join(a.dir, "port"), str(server.socket.getsockname()[1]))
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
