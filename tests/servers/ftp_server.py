#!/usr/bin/python3
"""One FTP server for the tests: pyftpdlib on 127.0.0.1, optionally scripted.

Started by ftp_server_manager.py with one argument, the path of a JSON configuration:

  {"dir": "/tmp/...", "root": "/tmp/.../root", "user": "u", "password": "p",
   "scripted": false, "script": {...}}

It writes its port to <dir>/port once it listens, every received command line (raw bytes,
without CR LF) to <dir>/transcript, and the number of open control connections to
<dir>/sessions. A real server (scripted false) is stock pyftpdlib, except that it accepts
"OPTS UTF8 ON", as most servers that offer UTF8 do.

A script (scripted true) may hold:
  "greeting": ["120 Wait", "220 Ready"]      raw lines sent in place of the banner
  "feat": ["MLSD", "UTF8", "CLNT", "PRET"]   the exact FEAT lines (absent: pyftpdlib's own)
  "rules": [ {"cmd": "SIZE", "arg": "a.txt", "times": 1, "action": "reply",
              "lines": ["550 No such file."]}, ... ]
Rule actions: "reply" (send the raw lines, the command is not carried out; with "close":
true the connection is closed after them), "close" (close
the control connection without a reply), "stall" ("ms" milliseconds, then carry it out;
no "ms": never answer), "pasv" (listen on "address", which must lie in 127.0.0.0/8, and name
it in the reply), "cut" (the data connection of this command is closed after "bytes" bytes
and the command is answered 426), "data" (the command is answered over the data connection
with the bytes of "data", a text whose characters are bytes 0 to 255). A rule matches the verb (upper case) and, when it has
"arg", the exact argument; "times" limits how often it fires.

Rules for the faults that make a client wait (the command is not carried out unless said):
  "hold"     RETR sends the first "bytes" bytes of the file (it is carried out that far),
             then keeps the data connection open and silent.
  "noread"   the command (STOR) is answered 150 and its data connection is never read, so
             the client's sends block once the socket buffers are full.
  "flood"    the data connection carries the bytes of "data" repeated without end.
  "endless"  the raw lines of "lines", then the line "line" without end, one every "ms"
             milliseconds (0: as fast as the client reads).
  "trickle"  the raw lines of "lines", one byte every "ms" milliseconds.
A data connection opened and then silent needs no rule of its own: {"action": "reply",
"lines": ["150 ..."]} answers the command and sends nothing on the connection.
"""

import itertools
import json
import os
import socket
import struct
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, PassiveDTP
from pyftpdlib.ioloop import AsyncChat
from pyftpdlib.log import logger
from pyftpdlib.servers import FTPServer


def write_file(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


class State:
    def __init__(self, config):
        self.dir = config["dir"]
        self.scripted = bool(config.get("scripted"))
        script = config.get("script") or {}
        self.greeting = script.get("greeting")
        self.feat = script.get("feat")
        self.rules = [dict(r) for r in script.get("rules", [])]
        for r in self.rules:
            r["cmd"] = r["cmd"].upper()
            if r.get("action") == "pasv" and not r.get("address", "").startswith("127."):
                raise SystemExit("a PASV rule may only name an address in 127.0.0.0/8")
        self.transcript = open(os.path.join(self.dir, "transcript"), "ab", buffering=0)
        self.sessions = 0
        self.write_sessions()

    def write_sessions(self):
        write_file(os.path.join(self.dir, "sessions"), str(self.sessions))

    def record(self, raw):
        self.transcript.write(raw + b"\n")

    def match(self, cmd, arg):
        for r in self.rules:
            if r["cmd"] != cmd:
                continue
            if "arg" in r and r["arg"] != arg:
                continue
            if "times" in r:
                if r["times"] <= 0:
                    continue
                r["times"] -= 1
            return r
        return None


STATE = None


class ScriptedPassiveDTP(PassiveDTP):
    def bind(self, addr):
        address = getattr(self.cmd_channel, "_pasv_address", None)
        if address:
            addr = (address, addr[1])
        return PassiveDTP.bind(self, addr)


class EndlessProducer:
    """The same bytes again and again, for a connection that never ends."""

    def __init__(self, data):
        self.chunk = data * max(1, 65536 // max(1, len(data)))

    def more(self):
        return self.chunk


class ScriptedDTPHandler(DTPHandler):
    _held = False  # the held part has been queued: once it is sent, the connection idles
    # The cut rule is armed on the control connection when its command arrives, which may be
    # after this data connection was accepted (passive mode).
    def handle_read(self):
        DTPHandler.handle_read(self)
        cut = self.cmd_channel._cut_after
        if cut is not None and self.tot_bytes_received >= cut and not self._closed:
            # A reset, so that the client's further sends fail at once.
            try:
                self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
            except OSError:
                pass
            self.transfer_finished = False
            self.close()

    # pyftpdlib's handler binds its read event to its own handle_read; without this the cut
    # above would never run and a "cut" store would be taken in whole.
    handle_read_event = handle_read

    def readable(self):
        if self.cmd_channel._no_read:
            # Never read: the client's data stays in the socket buffers until they are full.
            self.ioloop.unregister(self._fileno)
            return False
        # A held connection reads only to see the client's close.
        return self._held or DTPHandler.readable(self)

    def initiate_send(self):
        DTPHandler.initiate_send(self)
        # The held part is out: wait for nothing but the client's close, without polling.
        if self._held and not self.producer_fifo and not self._closed:
            self.modify_ioloop_events(self.ioloop.READ)

    def close(self):
        if self.cmd_channel._cut_after is not None and not self._closed:
            self.cmd_channel._cut_after = None
            self._resp = ("426 Connection closed; transfer aborted.", logger.debug)
        DTPHandler.close(self)


class Handler(FTPHandler):
    passive_dtp = ScriptedPassiveDTP
    dtp_handler = ScriptedDTPHandler
    permit_foreign_addresses = True
    use_sendfile = False
    banner = "korekta test FTP server ready."

    def __init__(self, *args, **kwargs):
        FTPHandler.__init__(self, *args, **kwargs)
        self._pasv_address = None
        self._cut_after = None
        self._no_read = False
        self._hold = None
        self._counted = False
        # A scripted server reads 8-bit commands until the client switches UTF8 on.
        self._encoding = "latin-1" if STATE.scripted else "utf8"

    def handle(self):
        STATE.sessions += 1
        STATE.write_sessions()
        self._counted = True
        if STATE.greeting is None:
            return FTPHandler.handle(self)
        self.on_connect()
        for line in STATE.greeting:
            self.push(line + "\r\n")

    def close(self):
        if self._counted:
            self._counted = False
            STATE.sessions -= 1
            STATE.write_sessions()
        FTPHandler.close(self)

    def decode(self, raw):
        STATE.record(raw)
        return raw.decode(self._encoding, self.unicode_errors)

    def pre_process_command(self, line, cmd, arg):
        rule = STATE.match(cmd, arg) if STATE.scripted else None
        if rule is not None:
            action = rule.get("action", "reply")
            if action == "reply":
                for l in rule.get("lines", []):
                    self.push(l + "\r\n")
                if rule.get("close"):
                    self.close_when_done()
                return
            if action == "close":
                self.close()
                return
            if action == "stall":
                if rule.get("ms") is None:
                    return
                self.ioloop.call_later(rule["ms"] / 1000.0, self._carry_out, line, cmd, arg)
                return
            if action == "pasv":
                self._pasv_address = rule["address"]
            if action == "cut":
                self._cut_after = int(rule["bytes"])
            if action == "data":
                if self._closed:
                    return
                data = rule.get("data", "").encode("latin-1")
                self.push_dtp_data(data, isproducer=False, cmd=cmd)
                return
            if action == "flood":
                data = rule.get("data", "x").encode("latin-1")
                self.push_dtp_data(EndlessProducer(data), isproducer=True, cmd=cmd)
                return
            if action == "hold":
                return self._retr_hold(arg, int(rule["bytes"]))
            if action == "noread":
                self._no_read = True
                self.respond("150 Ok to send data.")
                return
            if action == "endless":
                first = "".join(l + "\r\n" for l in rule.get("lines", []))
                more = rule.get("line", "") + "\r\n"
                if rule.get("ms", 0) <= 0:
                    if first:
                        AsyncChat.push(self, first.encode("latin-1"))
                    self.push_with_producer(EndlessProducer(more.encode("latin-1")))
                    return
                self._drip(itertools.chain([first], itertools.repeat(more)), rule["ms"])
                return
            if action == "trickle":
                text = "".join(l + "\r\n" for l in rule.get("lines", []))
                self._drip(iter(text), rule.get("ms", 0))
                return
        self._carry_out(line, cmd, arg)

    def _drip(self, pieces, ms):
        """Sends the pieces one at a time, ms milliseconds apart, until the connection ends."""
        def step():
            if self._closed:
                return
            piece = next(pieces, None)
            if piece is None:
                return
            if piece:
                AsyncChat.push(self, piece.encode("latin-1"))
            self.call_later(ms / 1000.0, step)
        step()

    def _retr_hold(self, arg, count):
        path = self.fs.ftp2fs(arg)
        try:
            with open(path, "rb") as f:
                data = f.read(count)
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return
        self._hold = data
        if self.data_channel is not None:
            self.respond("125 Data connection already open. Transfer starting.")
            self._send_held()
        else:
            self.respond("150 File status okay. About to open data connection.")

    def _send_held(self):
        data, self._hold = self._hold, None
        self.data_channel._held = True
        self.data_channel.push(data)

    def _on_dtp_connection(self):
        FTPHandler._on_dtp_connection(self)
        if self._hold is not None and self.data_channel is not None:
            self._send_held()

    def _carry_out(self, line, cmd, arg):
        if self._closed:
            return
        if cmd == "OPTS" and arg.upper() == "UTF8 ON":
            offered = STATE.feat is None or "UTF8" in STATE.feat
            if offered:
                self._encoding = "utf8"
                self.respond("200 UTF8 mode enabled.")
            else:
                self.respond("501 Unsupported option.")
            return
        if STATE.scripted and cmd in ("CLNT", "PRET") and STATE.feat and cmd in STATE.feat:
            self.respond("200 OK.")
            return
        if STATE.scripted and cmd == "FEAT" and STATE.feat is not None:
            self.push("211-Features:\r\n")
            for f in STATE.feat:
                self.push(" %s\r\n" % f)
            self.respond("211 End")
            return
        if cmd == "PASV" and self._pasv_address:
            self.masquerade_address = self._pasv_address
            try:
                FTPHandler.pre_process_command(self, line, cmd, arg)
            finally:
                self.masquerade_address = None
                self._pasv_address = None
            return
        if cmd == "RETR" and self._cut_after is not None:
            return self._retr_cut(line, cmd, arg)
        FTPHandler.pre_process_command(self, line, cmd, arg)

    def _retr_cut(self, line, cmd, arg):
        path = self.fs.ftp2fs(arg)
        try:
            with open(path, "rb") as f:
                data = f.read(self._cut_after)
        except OSError as err:
            self._cut_after = None
            self.respond("550 %s." % err.strerror)
            return
        self.push_dtp_data(data, isproducer=False, cmd="RETR")


def main():
    global STATE
    with open(sys.argv[1]) as f:
        config = json.load(f)
    STATE = State(config)
    authorizer = DummyAuthorizer()
    authorizer.add_user(config["user"], config["password"], config["root"], perm="elradfmwMT")
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)
    server.max_cons = 64
    port = server.socket.getsockname()[1]
    write_file(os.path.join(STATE.dir, "port"), str(port))
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
