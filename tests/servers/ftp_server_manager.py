#!/usr/bin/python3
"""Starts and stops the tests' FTP servers on request.

The test programs run under wine and cannot start Linux processes, so this daemon does it
for them. It listens on 127.0.0.1 and takes one request per connection, a JSON line:

  {"op": "start", "user": "u", "password": "p", "root": "/linux/path" or absent,
   "scripted": true|false, "script": {...},
   "kind": "pyftpdlib" (default) | "proftpd"}    -> OK<TAB>id=..<TAB>port=..<TAB>dir=..<TAB>root=..
  {"op": "available", "kind": "proftpd"}        -> OK<TAB>available=1, or
                                                   OK<TAB>available=0<TAB>why=reason
  {"op": "stop", "id": 3}                       -> OK
  {"op": "ping"}                                -> OK<TAB>pid=..
  {"op": "shutdown"}                            -> OK (stops every server, then itself)

Errors come back as ERR<TAB>text. Each server (ftp_server.py or proftpd_server.py) gets a
fresh folder under /tmp with its transcript; without a root it also gets a fresh root there.
Stopping a server kills it by its process id and removes that folder.

  ftp_server_manager.py start STATE_FILE   start the daemon, wait until it listens
  ftp_server_manager.py stop STATE_FILE    stop it (and whatever servers it still runs)

STATE_FILE receives "port pid" of the running daemon.
"""

import json
import os
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"
# The kinds of server a test may ask for: the tests' own (pyftpdlib, scriptable) and ProFTPD.
SERVER_SCRIPTS = {"pyftpdlib": "ftp_server.py", "proftpd": "proftpd_server.py"}


def available(kind):
    """None when servers of that kind can run on this machine, else the reason."""
    if kind not in SERVER_SCRIPTS:
        return "no such kind of server: " + kind
    if kind == "pyftpdlib":
        return None
    done = subprocess.run([PYTHON, os.path.join(HERE, SERVER_SCRIPTS[kind]), "--available"],
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return None if done.returncode == 0 else (done.stdout.strip() or "cannot run")


class Servers:
    def __init__(self):
        self.lock = threading.Lock()
        self.next_id = 1
        self.running = {}  # id -> (Popen, folder)

    def start(self, req):
        kind = req.get("kind", "pyftpdlib")
        if kind not in SERVER_SCRIPTS:
            raise ValueError("no such kind of server: " + kind)
        if kind == "proftpd" and bool(req.get("scripted")):
            raise ValueError("only the tests' own server can follow a script")
        folder = tempfile.mkdtemp(prefix="korekta-ftp-")
        root = req.get("root")
        if not root:
            root = os.path.join(folder, "root")
            os.mkdir(root)
        if not os.path.isdir(root):
            shutil.rmtree(folder, ignore_errors=True)
            raise ValueError("no such root folder: " + root)
        config = {
            "dir": folder,
            "root": root,
            "user": req.get("user", "korekta"),
            "password": req.get("password", "korekta"),
            "scripted": bool(req.get("scripted")),
            "script": req.get("script") or {},
        }
        with open(os.path.join(folder, "config.json"), "w") as f:
            json.dump(config, f)
        log = open(os.path.join(folder, "log"), "wb")
        proc = subprocess.Popen([PYTHON, os.path.join(HERE, SERVER_SCRIPTS[kind]),
                                 os.path.join(folder, "config.json")],
                                stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        log.close()
        port_file = os.path.join(folder, "port")
        deadline = time.time() + 15
        while not os.path.exists(port_file):
            if proc.poll() is not None or time.time() > deadline:
                proc.kill()
                proc.wait()
                with open(os.path.join(folder, "log"), "rb") as f:
                    text = f.read().decode("utf-8", "replace").strip().splitlines()
                shutil.rmtree(folder, ignore_errors=True)
                raise ValueError("the FTP server did not start: " + " | ".join(text[-3:]))
            time.sleep(0.02)
        with open(port_file) as f:
            port = int(f.read())
        with self.lock:
            sid = self.next_id
            self.next_id += 1
            self.running[sid] = (proc, folder)
        return {"id": sid, "port": port, "pid": proc.pid, "dir": folder, "root": root}

    def stop(self, sid):
        with self.lock:
            entry = self.running.pop(sid, None)
        if entry is None:
            return
        proc, folder = entry
        if proc.poll() is None:
            os.kill(proc.pid, signal.SIGTERM)
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.kill(proc.pid, signal.SIGKILL)
                proc.wait()
        shutil.rmtree(folder, ignore_errors=True)

    def stop_all(self):
        with self.lock:
            ids = list(self.running)
        for sid in ids:
            self.stop(sid)


SERVERS = Servers()


class RequestHandler(socketserver.StreamRequestHandler):
    def handle(self):
        line = self.rfile.readline()
        try:
            req = json.loads(line.decode("utf-8"))
            op = req.get("op")
            if op == "start":
                info = SERVERS.start(req)
                answer = "OK\t" + "\t".join("%s=%s" % kv for kv in info.items())
            elif op == "stop":
                SERVERS.stop(int(req["id"]))
                answer = "OK"
            elif op == "available":
                why = available(req.get("kind", "pyftpdlib"))
                answer = "OK\tavailable=1" if why is None else "OK\tavailable=0\twhy=" + why
            elif op == "ping":
                answer = "OK\tpid=%d" % os.getpid()
            elif op == "shutdown":
                answer = "OK"
                threading.Thread(target=self.server.shutdown, daemon=True).start()
            else:
                answer = "ERR\tunknown request"
        except Exception as err:  # every failure goes back to the test as text
            answer = "ERR\t" + str(err).replace("\n", " ")
        self.wfile.write((answer + "\n").encode("utf-8"))


class Daemon(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(state_file):
    daemon = Daemon(("127.0.0.1", 0), RequestHandler)
    port = daemon.server_address[1]
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=daemon.shutdown).start())
    tmp = state_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d %d\n" % (port, os.getpid()))
    os.replace(tmp, state_file)
    try:
        daemon.serve_forever()
    finally:
        SERVERS.stop_all()
        try:
            os.remove(state_file)
        except OSError:
            pass


def request(port, req, timeout=10):
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall((json.dumps(req) + "\n").encode("utf-8"))
        return s.makefile("rb").readline().decode("utf-8").strip()


def read_state(state_file):
    try:
        with open(state_file) as f:
            port, pid = f.read().split()
        return int(port), int(pid)
    except (OSError, ValueError):
        return None


def stop(state_file):
    state = read_state(state_file)
    if state is None:
        return 0
    port, pid = state
    try:
        # Only the daemon this file names is asked to stop, not whatever took its port since.
        if request(port, {"op": "ping"}, timeout=3) == "OK\tpid=%d" % pid:
            request(port, {"op": "shutdown"})
    except OSError:
        pass
    deadline = time.time() + 10
    while os.path.exists(state_file) and time.time() < deadline:
        time.sleep(0.05)
    if os.path.exists(state_file):
        # The daemon did not answer: end it by the id it recorded, and nothing else.
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                ours = b"ftp_server_manager.py" in f.read()
            if ours:
                os.kill(pid, signal.SIGTERM)
        except OSError:
            pass
        os.remove(state_file)
    return 0


def start(state_file):
    stop(state_file)
    os.makedirs(os.path.dirname(os.path.abspath(state_file)), exist_ok=True)
    log = open(state_file + ".log", "wb")
    subprocess.Popen([PYTHON, os.path.abspath(__file__), "serve", state_file],
                     stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True,
                     close_fds=True)
    log.close()
    deadline = time.time() + 15
    while time.time() < deadline:
        state = read_state(state_file)
        if state is not None:
            try:
                if request(state[0], {"op": "ping"}) == "OK\tpid=%d" % state[1]:
                    print("FTP server manager listening on 127.0.0.1:%d (pid %d)" % state)
                    return 0
            except OSError:
                pass
        time.sleep(0.05)
    print("FTP server manager did not start; see %s.log" % state_file, file=sys.stderr)
    return 1


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("start", "stop", "serve"):
        print(__doc__, file=sys.stderr)
        return 2
    op, state_file = sys.argv[1], sys.argv[2]
    if op == "serve":
        serve(state_file)
        return 0
    return start(state_file) if op == "start" else stop(state_file)


if __name__ == "__main__":
    sys.exit(main())
