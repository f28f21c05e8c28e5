#!/usr/bin/python3
"""One ProFTPD server for the tests: a server independent of the tests' own (pyftpdlib), so
the client is not tuned to one server.

    proftpd_server.py CONFIG.json        run until SIGTERM or SIGINT
    proftpd_server.py --available        exit 0 when ProFTPD can run here, else say why

The configuration is the one ftp_server.py takes ({"dir", "root", "user", "password"}), plus
an optional "port" (default: a free one) and "read_only". Everything ProFTPD needs is
written under <dir>: its configuration, a user file of its own (no system account is used
or changed), its log. Like ftp_server.py it writes its port to <dir>/port once it listens,
every command line it receives to <dir>/transcript (the password as "(hidden)": ProFTPD
never writes it) and the number of open control connections to <dir>/sessions. The count
is taken every TICK seconds, so <dir>/sessions also holds the number of the count: "N T".
A reader that wants the sessions of now waits for a count two numbers later than the one
it first read (the one after that may have begun before it looked).

ProFTPD listens on 127.0.0.1 only, its passive ports are the system's free ones, and each
session is changed into the served root (chroot), which needs root. Sessions run as root
too, so the tests' own files in the root can be overwritten and deleted as with the tests'
other server.
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import time
import warnings

TICK = 0.02


def unavailable():
    if not shutil.which("proftpd"):
        return "proftpd is not installed (Debian package proftpd-core)"
    if os.geteuid() != 0:
        return "proftpd changes each session into the served folder (chroot), which needs root"
    return None


def write_file(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def password_hash(password):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        import crypt
    return crypt.crypt(password, crypt.mksalt(crypt.METHOD_SHA512))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    with socket.socket() as s:
        s.settimeout(1)
        return s.connect_ex(("127.0.0.1", port)) == 0


def configure(config, port):
    d = config["dir"]
    f = {name: os.path.join(d, name) for name in
         ("proftpd.conf", "passwd", "group", "proftpd.pid", "scoreboard", "log", "commands")}
    write_file(f["passwd"], "%s:%s:0:0::%s:/bin/false\n" %
               (config["user"], password_hash(config["password"]), os.path.abspath(config["root"])))
    write_file(f["group"], "root:x:0:\n")
    for name in ("passwd", "group"):
        os.chmod(f[name], 0o600)  # ProFTPD refuses user files that others can read
    write_only = "<Limit WRITE>\n  DenyAll\n</Limit>\n" if config.get("read_only") else ""
    write_file(f["proftpd.conf"], f"""ServerName "korekta test proftpd"
ServerType standalone
Port {port}
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
User root
Group root
RootLogin on
MaxInstances 64
PidFile {f["proftpd.pid"]}
ScoreboardFile {f["scoreboard"]}
DelayTable none
DelayEngine off
WtmpLog off
UseReverseDNS off
AuthOrder mod_auth_file.c
AuthUserFile {f["passwd"]}
AuthGroupFile {f["group"]}
RequireValidShell off
DefaultRoot ~
AllowOverwrite on
AllowStoreRestart on
AllowRetrieveRestart on
Umask 022
SystemLog {f["log"]}
LogFormat commands "%m %J"
ExtendedLog {f["commands"]} ALL commands
{write_only}""")
    return f


def children(pid):
    """The process ids whose parent is pid: the master's session processes."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as st:
                fields = st.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid:
            found.append(int(name))
    return found


def transcript_lines(raw):
    """ProFTPD's command log as the tests' transcript: "VERB arg" or "VERB"; the internal
    "OPTS_<name>" entry it logs beside each OPTS is left out."""
    lines = []
    for line in raw.split(b"\n"):
        if not line:
            continue
        verb, _, arg = line.partition(b" ")
        if verb.startswith(b"OPTS_"):
            continue
        lines.append(verb + (b" " + arg if arg else b""))
    return lines


def serve(config):
    why = unavailable()
    if why:
        sys.exit(why)
    port = int(config.get("port") or free_port())
    files = configure(config, port)
    open(files["commands"], "wb").close()
    master = subprocess.Popen(["proftpd", "-n", "-q", "-c", files["proftpd.conf"]],
                              stdin=subprocess.DEVNULL)
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(1))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(1))
    transcript = os.path.join(config["dir"], "transcript")
    sessions = os.path.join(config["dir"], "sessions")
    announced = False
    last = None
    tick = 0
    try:
        while not stopping and master.poll() is None:
            # Sessions are counted before the log is read: when none is open, every command
            # of the ended ones is already in the log, so a reader that waits for zero
            # sessions sees them all.
            open_now = len(children(master.pid))
            with open(files["commands"], "rb") as f:
                raw = f.read()
            if raw != last:
                tmp = transcript + ".tmp"
                with open(tmp, "wb") as f:
                    f.write(b"".join(l + b"\n" for l in transcript_lines(raw)))
                os.replace(tmp, transcript)
                last = raw
            tick += 1
            write_file(sessions, "%d %d" % (open_now, tick))
            if not announced and listening(port):
                write_file(os.path.join(config["dir"], "port"), str(port))
                announced = True
            time.sleep(TICK)
    finally:
        left = children(master.pid)
        if master.poll() is None:
            master.terminate()
            try:
                master.wait(timeout=5)
            except subprocess.TimeoutExpired:
                master.kill()
                master.wait()
        # ProFTPD ends its sessions with itself; one still there is ended by its id.
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
    if master.returncode and not stopping:
        with open(files["log"], errors="replace") as f:
            sys.exit("proftpd ended: " + " | ".join(f.read().strip().splitlines()[-3:]))


def main():
    if sys.argv[1:] == ["--available"]:
        why = unavailable()
        if why:
            print(why)
            return 1
        return 0
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1]) as f:
        serve(json.load(f))
    return 0


if __name__ == "__main__":
    sys.exit(main())
