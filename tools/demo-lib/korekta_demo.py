#!/usr/bin/python3
"""korekta's demo and end-to-end driver: a demo update server's tree, a demo installation,
and korekta.exe driven through its real windows under X (Xvfb) with xdotool.

    korekta_demo.py prepare --work DIR [--firm F ...]
        The server's tree DIR/server (Upgrade/Tavrin/firmy.txt, one build of the demo
        program per firm) and the installation DIR/install/Tavrin (Tavrin.exe dated
        2020-01-10, UpdateQV.exe beside it); DIR/before.json records the installation.
    korekta_demo.py drive --exe EXE --work DIR --shots DIR [--firm F] [--display :N]
        The correction, as a user does it; exits 1 when a step fails.
    korekta_demo.py drive-server-down --exe EXE --work DIR --port PORT --shots DIR
        The start with no server: the error box, then the main window with no firms.
    korekta_demo.py drive-silent-data --exe EXE --work DIR --port PORT --shots DIR
        The start against a server that accepts the data connection of firmy.txt and then
        sends nothing (demo_ftp_server.py --silent-data //Upgrade/Tavrin/firmy.txt on PORT):
        the error box after the client's 60 s limit, then the main window with no firms.
    korekta_demo.py report --work DIR
        What changed in the installation since prepare.
    korekta_demo.py e2e --exe EXE --work DIR --port PORT --shots DIR [--server S]
        prepare, serve, drive, check the transcript, stop the server, drive-server-down,
        drive-silent-data; then the slow transfer: the same correction from a server that
        sends the program slowly, during which " ..." and "Zamknij" are clicked and must do
        nothing, with a second installation beside the first that must stay as it was.
        --server proftpd serves the same tree with ProFTPD instead of the tests' server
        (pyftpdlib) and drives the correction alone; it exits 77 when proftpd cannot run.
    korekta_demo.py docs --shots DIR --out docs
        The README's pictures from an e2e run's screenshots.

--wineprefix runs wine in that prefix (created on first use). Without --display each
drive starts an Xvfb of its own, on a display number it checks is free. No window manager
runs, so each X window is a window's client area, and the coordinates below are client
coordinates.
"""

import argparse
import datetime
import hashlib
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
PYTHON = "/usr/bin/python3"

USER = "korekta"
PASSWORD = "Tavrin-Demo7"
PROGRAM = "Tavrin.exe"
UPDATER = "UpdateQV.exe"
BACKUP = "Tavrin.esa"
OLD_DATE = "2020-01-10 10:00:00"
# Firm folder names on the server and the update server each firm's build asks.
FIRMS = [
    ("KOWALSKI", "aktualizacje.kowalski.example"),
    ("NOWAK", "serwis.nowak.example"),
    ("WISNIEWSKI", "update.wisniewski.example"),
]
DEMO_FIRM = "NOWAK"

MAIN_CAPTION = "***"
TRANSFER_CAPTION = "  PRZERZUT NA/Z FTP*"
ERROR_CAPTION = "korekta"  # the application's title: the executable's name
INFO_CAPTION = "Informacja"
MODULE_CAPTIONS = {"  KOMPRESJA DANYCH*", "  UPGRADE MANAGER*", "UPGRADE QVX*", "UpgFFtpL*"}

# Client coordinates in the main window (568 x 240).
PATH_BUTTON = (520, 128)  # " ..." inside the right end of Ed_PathExe (256, 118, 277 wide)
FIRM_COMBO = (282, 72)  # CBx_Firm (216, 62, 133 wide)
FIRM_TEXT = (221, 65, 105, 15)  # the combo's text area, left of its arrow
STATUS = (408, 145, 125, 16)  # L_Prog
START = (399, 217)  # SBt_Start: footer at 196, button at 362, 6, 75 x 31
CLOSE = (485, 219)  # SBt_Zam: 451, 12, 69 x 23 on the footer

SCREEN = (800, 600)
BLUE = (0, 128, 255)
GREEN = (0, 128, 0)
GREY = (128, 128, 128)


class StepFailed(Exception):
    pass


# ---------------------------------------------------------------- the demo's files


def compiler():
    for cc in ("x86_64-w64-mingw32-gcc-posix", "x86_64-w64-mingw32-gcc"):
        if shutil.which(cc):
            return cc
    raise SystemExit("no MinGW-w64 C compiler (x86_64-w64-mingw32-gcc) found")


def build_program(source, out, defines=()):
    cmd = [compiler(), "-O2", "-s", "-Wall", "-Wextra", "-Werror", "-o", out, source]
    cmd += ["-D%s=\"%s\"" % kv for kv in defines]
    subprocess.run(cmd, check=True)


def set_date(path, text):
    stamp = datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S").timestamp()
    os.utime(path, (stamp, stamp))


def file_facts(path):
    with open(path, "rb") as f:
        data = f.read()
    return {"sha256": hashlib.sha256(data).hexdigest(), "size": len(data),
            "mtime": os.stat(path).st_mtime, "marker": marker(data)}


def marker(data):
    m = re.search(rb"TAVRIN-DEMO [ -~]*", data)
    return m.group(0).decode("ascii") if m else None


def paths(work):
    return {
        "server": os.path.join(work, "server"),
        "product": os.path.join(work, "server", "Upgrade", "Tavrin"),
        "install": os.path.join(work, "install", "Tavrin"),
        "program": os.path.join(work, "install", "Tavrin", PROGRAM),
        "backup": os.path.join(work, "install", "Tavrin", BACKUP),
        "updater": os.path.join(work, "install", "Tavrin", UPDATER),
        "before": os.path.join(work, "before.json"),
        "ftp": os.path.join(work, "ftp"),
        "transcript": os.path.join(work, "ftp", "transcript"),
    }


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def prepare(work, firms):
    p = paths(work)
    for key in ("server", "ftp"):
        shutil.rmtree(p[key], ignore_errors=True)
    shutil.rmtree(os.path.join(work, "install"), ignore_errors=True)
    for key in ("product", "install", "ftp"):
        os.makedirs(p[key])
    source = os.path.join(ROOT, "demo", "Tavrin.c")
    # The firm list: one firm folder per line, CR LF, as the vendor's server keeps it.
    with open(os.path.join(p["product"], "firmy.txt"), "wb") as f:
        f.write(b"".join(name.encode("cp1250") + b"\r\n" for name, _ in firms))
    for name, server in firms:
        folder = os.path.join(p["product"], name)
        os.makedirs(folder)
        build_program(source, os.path.join(folder, PROGRAM),
                      [("TAVRIN_FIRM", name), ("TAVRIN_SERVER", server)])
    build_program(source, p["program"])
    build_program(os.path.join(ROOT, "demo", "UpdateQV.c"), p["updater"])
    set_date(p["program"], OLD_DATE)
    set_date(p["updater"], OLD_DATE)
    with open(p["before"], "w") as f:
        json.dump({"program": file_facts(p["program"]),
                   "firms": {name: file_facts(os.path.join(p["product"], name, PROGRAM))
                             for name, _ in firms}}, f, indent=1)
    return p


# ---------------------------------------------------------------- the demo server


def port_in_use(port):
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.settimeout(1)
        return s.connect_ex(("127.0.0.1", port)) == 0


class Server:
    """The demo server as a child process, stopped by its process id. It writes "PORT" to
    DIR/ftp/port once it listens and every command it receives to DIR/ftp/transcript."""

    name = "the demo FTP server"
    output = "log"  # in DIR/ftp: what the server process prints

    def __init__(self, work, port, silent_data=None, rate=0):
        self.p = paths(work)
        self.port = port
        self.silent_data = silent_data
        self.rate = rate  # bytes a second of a data connection (0: as fast as it goes)
        self.proc = None

    @staticmethod
    def available():
        return None

    def command(self):
        cmd = [PYTHON, os.path.join(HERE, "demo_ftp_server.py"), "--root", self.p["server"],
               "--port", str(self.port), "--user", USER, "--password", PASSWORD,
               "--dir", self.p["ftp"]]
        if self.silent_data:
            cmd += ["--silent-data", self.silent_data]
        if self.rate:
            cmd += ["--rate", str(self.rate)]
        return cmd

    def start(self):
        if port_in_use(self.port):
            raise StepFailed(f"port {self.port} on 127.0.0.1 is already in use: the "
                             "korekta.exe driven is built for it, so nothing else may listen "
                             "there")
        ftp = self.p["ftp"]
        os.makedirs(ftp, exist_ok=True)
        for name in ("port", "transcript", "sessions"):
            if os.path.exists(os.path.join(ftp, name)):
                os.remove(os.path.join(ftp, name))
        out = open(os.path.join(ftp, self.output), "wb")
        self.proc = subprocess.Popen(self.command(), stdin=subprocess.DEVNULL, stdout=out,
                                     stderr=out)
        out.close()
        deadline = time.time() + 15
        while not os.path.exists(os.path.join(ftp, "port")):
            if self.proc.poll() is not None or time.time() > deadline:
                self.stop()
                with open(os.path.join(ftp, self.output), errors="replace") as f:
                    raise StepFailed(f"{self.name} did not start: " + f.read()[-300:])
            time.sleep(0.05)
        return self

    def stop(self):
        if self.proc and self.proc.poll() is None:
            os.kill(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.kill(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.proc = None


class ProftpdServer(Server):
    """ProFTPD, a server independent of the tests' own, serving the same tree read-only to
    the same user on the fixed port (tests/servers/proftpd_server.py: a configuration and a
    user file of its own under DIR/ftp, 127.0.0.1 only, the same port and transcript files)."""

    SCRIPT = os.path.join(ROOT, "tests", "servers", "proftpd_server.py")
    name = "proftpd"
    output = "out"  # ProFTPD's own log is DIR/ftp/log

    @classmethod
    def available(cls):
        done = subprocess.run([PYTHON, cls.SCRIPT, "--available"], stdin=subprocess.DEVNULL,
                              capture_output=True, text=True)
        return None if done.returncode == 0 else (done.stdout.strip() or "proftpd cannot run")

    def command(self):
        ftp = self.p["ftp"]
        config = os.path.join(ftp, "config.json")
        with open(config, "w") as f:
            json.dump({"dir": os.path.abspath(ftp), "root": os.path.abspath(self.p["server"]),
                       "user": USER, "password": PASSWORD, "port": self.port,
                       "read_only": True}, f)
        return [PYTHON, self.SCRIPT, config]


SERVERS = {"pyftpdlib": Server, "proftpd": ProftpdServer}


# ---------------------------------------------------------------- X and the screen


def pixels(png):
    """The image's pixels as a dict (x, y) -> (r, g, b)."""
    out = subprocess.run(["convert", png, "-depth", "8", "txt:-"], capture_output=True,
                         text=True, check=True).stdout
    result = {}
    for line in out.splitlines()[1:]:
        m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
        if m:
            x, y, r, g, b = map(int, m.groups())
            result[(x, y)] = (r, g, b)
    return result


def near(a, b, tolerance):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


class Screen:
    """One X display (an Xvfb of our own unless one is given) and the program on it."""

    def __init__(self, shots, display=None):
        self.shots = shots
        self.env = dict(os.environ)
        self.env.setdefault("WINEDEBUG", "-all")
        self.xvfb = None
        self.program = None
        self.step = 0
        os.makedirs(shots, exist_ok=True)
        if display:
            self.env["DISPLAY"] = display
            return
        self.start_xvfb()

    def start_xvfb(self):
        """An Xvfb on a display number of a high range, checked to be ours: several test
        runs share this machine, and the low numbers go fast."""
        log = open(os.path.join(self.shots, "xvfb.log"), "wb")
        first = 400 + os.getpid() % 400
        for number in range(first, first + 40):
            if os.path.exists(f"/tmp/.X{number}-lock") or \
                    os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            # -noreset: each xdotool call is a client of its own, and a server reset between
            # two of them, while wine connects, can lose wine's connection.
            self.xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", f"{SCREEN[0]}x{SCREEN[1]}x24",
                 "-nolisten", "tcp", "-noreset"], stdout=subprocess.DEVNULL, stderr=log)
            self.env["DISPLAY"] = f":{number}"
            deadline = time.time() + 10
            while time.time() < deadline and self.xvfb.poll() is None:
                size = self.x("getdisplaygeometry").split()
                if size == [str(v) for v in SCREEN] and self.xvfb.poll() is None:
                    log.close()
                    return
                time.sleep(0.1)
            if self.xvfb.poll() is None:
                os.kill(self.xvfb.pid, signal.SIGTERM)
            self.xvfb.wait()
            self.xvfb = None
        log.close()
        raise StepFailed("could not start Xvfb on a free display")

    def display_users(self):
        """Processes (wine's desktop process among them) that run on our display."""
        tag = b"DISPLAY=" + self.env["DISPLAY"].encode() + b"\0"
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if tag in f.read() + b"\0":
                        found.append(int(pid))
            except OSError:
                pass
        return found

    def close(self):
        self.stop_program()
        if self.xvfb:
            # Wine's desktop process outlives the program by a few seconds; losing its X
            # server meanwhile leaves it hung, and every later window of the prefix with it.
            deadline = time.time() + 20
            while self.display_users() and time.time() < deadline:
                time.sleep(0.2)
            os.kill(self.xvfb.pid, signal.SIGTERM)
            self.xvfb.wait()
            self.xvfb = None

    def x(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, capture_output=True,
                              text=True).stdout

    def start_program(self, exe, cwd):
        self.program = subprocess.Popen(["wine", exe], cwd=cwd, env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)

    def stop_program(self):
        if self.program and self.program.poll() is None:
            os.kill(self.program.pid, signal.SIGTERM)
            try:
                self.program.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(self.program.pid, signal.SIGKILL)
                self.program.wait()

    def windows(self, caption):
        """Visible windows whose caption is exactly the text given."""
        out = self.x("search", "--onlyvisible", "--name", "^" + re.escape(caption) + "$")
        return [w for w in out.split() if w]

    def visible_captions(self):
        out = self.x("search", "--onlyvisible", "--name", ".")
        return {w: self.x("getwindowname", w).strip() for w in out.split() if w}

    def geometry(self, wid):
        out = self.x("getwindowgeometry", wid)
        pos = re.search(r"Position: (-?\d+),(-?\d+)", out)
        size = re.search(r"Geometry: (\d+)x(\d+)", out)
        if not (pos and size):
            return None
        return tuple(map(int, pos.groups() + size.groups()))

    def wait_for(self, what, test, timeout):
        deadline = time.time() + timeout
        while time.time() < deadline:
            got = test()
            if got:
                return got
            if self.xvfb and self.xvfb.poll() is not None:
                raise StepFailed(f"the X server ended while waiting for {what}")
            if self.program and self.program.poll() is not None:
                raise StepFailed(f"korekta ended (exit code {self.program.returncode}) "
                                 f"while waiting for {what}")
            time.sleep(0.15)
        raise StepFailed(f"{what} did not come within {timeout} s")

    def wait_window(self, caption, timeout):
        return self.wait_for(f"the window {caption.strip()!r}",
                             lambda: (self.windows(caption) or [None])[0], timeout)

    def wait_gone(self, wid, what, timeout):
        def gone():
            return wid not in self.x("search", "--onlyvisible", "--name", ".").split()
        self.wait_for(f"{what} to close", gone, timeout)

    def shot(self, name, say):
        self.step += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.step, name))
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)
        print(f"  [{self.step:2}] {say}  ({path})", flush=True)
        return path

    def window_image(self, wid):
        path = os.path.join(self.shots, ".window.png")
        subprocess.run(["import", "-window", wid, path], env=self.env, check=True)
        img = pixels(path)
        os.remove(path)
        return img

    def click(self, wid, point):
        self.x("mousemove", "--window", wid, str(point[0]), str(point[1]), "click", "1")

    def keys_to(self, wid, *keys):
        # No window manager: the key events go to the window under the pointer.
        self.x("mousemove", "--window", wid, "10", "10")
        time.sleep(0.2)
        self.x("key", "--delay", "80", *keys)

    def type_to(self, wid, text):
        self.x("mousemove", "--window", wid, "10", "10")
        time.sleep(0.2)
        self.x("type", "--delay", "25", text)

    def answer_box(self, wid, what):
        """Presses Enter (the OK button) in a message box and waits until it is gone."""
        for _ in range(3):
            self.keys_to(wid, "Return")
            try:
                self.wait_gone(wid, what, 8)
                return
            except StepFailed:
                continue
        raise StepFailed(f"{what} does not close on Enter")


def text_in(img, rect, colour, tolerance=40, least=4):
    x, y, w, h = rect
    hits = sum(1 for yy in range(y, y + h) for xx in range(x, x + w)
               if near(img.get((xx, yy), (-999,) * 3), colour, tolerance))
    return hits >= least


def foreground_pixels(img, rect):
    """Pixels of the rectangle that stand out from its commonest colour (its text)."""
    x, y, w, h = rect
    values = [img.get((xx, yy)) for yy in range(y, y + h) for xx in range(x, x + w)]
    values = [v for v in values if v is not None]
    if not values:
        return 0
    background = max(set(values), key=values.count)
    return sum(1 for v in values if sum(abs(a - b) for a, b in zip(v, background)) > 150)


def status_is(screen, wid, colour):
    return text_in(screen.window_image(wid), STATUS, colour)


# ---------------------------------------------------------------- the scenarios


def expect_no_box(screen, when):
    for caption in (ERROR_CAPTION, INFO_CAPTION):
        boxes = screen.windows(caption)
        if boxes:
            path = screen.shot("unexpected-box", f"an unexpected message box {when}")
            raise StepFailed(f"a message box {caption!r} appeared {when}; see {path}")


def start_main_window(screen, exe, p):
    """Starts korekta and waits for the transfer window fetching the firm list, then for the
    main window with its status monitor running."""
    screen.start_program(exe, p["install"])
    wid = screen.wait_window(TRANSFER_CAPTION, 90)
    if screen.windows(MAIN_CAPTION):
        raise StepFailed("the main window is on the screen while the firm list is fetched")
    time.sleep(0.6)  # the progress bar's paint
    screen.shot("firm-list-transfer", "at start only the FTP transfer window: it fetches "
                "//Upgrade/Tavrin/firmy.txt")
    screen.wait_gone(wid, "the transfer window", 60)
    expect_no_box(screen, "while the firm list was fetched")
    main = screen.wait_window(MAIN_CAPTION, 30)
    time.sleep(1.2)  # the first paint and the first status tick
    expect_no_box(screen, "at start")
    for wid, caption in screen.visible_captions().items():
        if caption in MODULE_CAPTIONS or caption == TRANSFER_CAPTION:
            raise StepFailed(f"the window {caption!r} is visible beside the main window")
    return main


def choose_program(screen, main, program):
    known = set(screen.visible_captions())
    screen.click(main, PATH_BUTTON)
    dialog = screen.wait_for("the open-file dialog",
                             lambda: next(iter(set(screen.visible_captions()) - known - {main}),
                                          None), 20)
    time.sleep(0.8)
    screen.type_to(dialog, windows_path(program))
    time.sleep(0.3)
    screen.shot("open-file-dialog", f"\" ...\" opens the open-file dialog; typed "
                f"{windows_path(program)}")
    screen.keys_to(dialog, "Return")
    screen.wait_gone(dialog, "the open-file dialog", 20)
    screen.wait_for("the status \"DO AKTUALIZACJI\" (blue)",
                    lambda: status_is(screen, main, BLUE), 6)
    screen.shot("program-chosen", "the path is in the edit; the next tick shows "
                "\"DO AKTUALIZACJI\" (dated 2020-01-10, before 2021-05-16)")


def open_firm_list(screen, main):
    """Opens the firm list; returns the drop-down's geometry on the screen."""
    before = set(screen.x("search", "--onlyvisible", "--name", "^$").split())
    screen.click(main, FIRM_COMBO)

    def dropped():
        for w in set(screen.x("search", "--onlyvisible", "--name", "^$").split()) - before:
            g = screen.geometry(w)
            if g and g[2] < 400:
                return g
        return None
    geometry = screen.wait_for("the firm list's drop-down", dropped, 10)
    time.sleep(0.4)
    return geometry


def pick_firm(screen, main, firms, firm):
    if firm not in firms:
        raise StepFailed(f"the firm {firm!r} is not in the demo's firm list")
    open_firm_list(screen, main)
    screen.shot("firm-list", f"the firm list from the server: {', '.join(firms)}")
    screen.keys_to(main, *(["Down"] * (firms.index(firm) + 1)), "Return")
    time.sleep(0.8)
    if foreground_pixels(screen.window_image(main), FIRM_TEXT) < 10:
        raise StepFailed("no firm shows in the firm list after picking one")
    screen.shot("firm-chosen", f"the firm {firm} picked")


def closing_box(screen):
    """The box a correction ends with, the completion's or an error's: (caption, window)."""
    def box():
        for caption in (INFO_CAPTION, ERROR_CAPTION):
            found = screen.windows(caption)
            if found:
                return (caption, found[0])
        return None
    return screen.wait_for("the completion box", box, 30)


def press_start(screen, main, firm):
    screen.click(main, START)
    transfer = screen.wait_window(TRANSFER_CAPTION, 30)
    time.sleep(0.6)
    screen.shot("program-transfer", f"\"START\": the transfer window fetches "
                f"//Upgrade/Tavrin/{firm}/{PROGRAM}")
    screen.wait_gone(transfer, "the transfer window", 120)

    caption, wid = closing_box(screen)
    time.sleep(0.6)
    if caption != INFO_CAPTION:
        path = screen.shot("error-box", "an error box in place of the completion box")
        raise StepFailed(f"an error box came in place of the completion box; see {path}")
    screen.shot("completion-box", "\"Wykonano korektę adresu Serwera Aktualizacji !\"")
    screen.answer_box(wid, "the completion box")
    screen.wait_for("the status \"OK !\" (green)", lambda: status_is(screen, main, GREEN), 6)
    screen.shot("corrected", "the status monitor runs again: \"OK !\"")


def close_main(screen, main):
    screen.click(main, CLOSE)
    try:
        screen.program.wait(timeout=30)
    except subprocess.TimeoutExpired:
        raise StepFailed("korekta did not end after \"Zamknij\"")
    print("  \"Zamknij\" ends korekta", flush=True)


def check_files(p, firm):
    """The correction's result on disk; returns the list of faults."""
    with open(p["before"]) as f:
        before = json.load(f)
    old, new = before["program"], before["firms"][firm]
    faults = []
    if not os.path.exists(p["program"]):
        return [f"{p['program']} is gone"]
    now = file_facts(p["program"])
    if now["sha256"] != new["sha256"]:
        faults.append(f"{PROGRAM} is not the build for {firm} (it holds {now['marker']!r})")
    if not os.path.exists(p["backup"]):
        faults.append(f"no backup {BACKUP}")
    else:
        backup = file_facts(p["backup"])
        if backup["sha256"] != old["sha256"]:
            faults.append(f"{BACKUP} does not hold the old program's bytes")
        if abs(backup["mtime"] - old["mtime"]) > 2:
            faults.append(f"{BACKUP} lost the old program's date")
    if os.path.exists(p["updater"]):
        faults.append(f"{UPDATER} is still there")
    left = [n for n in os.listdir(p["install"]) if n not in (PROGRAM, BACKUP)]
    if left:
        faults.append(f"unexpected files in the installation: {left}")
    return faults


def fetch_sequence(lines, remote):
    """The commands of one fetch of remote: SIZE, SIZE, PASV, RETR, then QUIT."""
    try:
        i = lines.index("SIZE " + remote)
    except ValueError:
        return None
    seq = [l.split(" ")[0] for l in lines[i:]]
    end = seq.index("QUIT") + 1 if "QUIT" in seq else len(seq)
    return seq[:end]


def check_transcript(p, firm):
    with open(p["transcript"], "rb") as f:
        lines = f.read().decode("utf-8", "replace").splitlines()
    faults = []
    for remote in ("//Upgrade/Tavrin/firmy.txt", f"//Upgrade/Tavrin/{firm}/{PROGRAM}"):
        seq = fetch_sequence(lines, remote)
        if seq != ["SIZE", "SIZE", "PASV", "RETR", "QUIT"]:
            faults.append(f"the fetch of {remote}: {seq}, expected SIZE, SIZE, PASV, RETR, QUIT")
    if sum(1 for l in lines if l.startswith("USER ")) != 2:
        faults.append("expected two sessions (firm list, program)")
    if any(l.split(" ")[0] in ("STOR", "DELE", "MKD", "RNFR") for l in lines):
        faults.append("the correction changed something on the server")
    return faults


def run_scenario(name, body, shots, display):
    screen = None
    try:
        screen = Screen(shots, display)
        body(screen)
        print(f"{name}: passed", flush=True)
        return 0
    except StepFailed as err:
        print(f"{name}: FAILED: {err}", flush=True)
        if screen:
            try:
                screen.shot("failure", "the screen when the step failed")
            except Exception:
                pass
        return 1
    finally:
        if screen:
            screen.close()


def drive(exe, work, shots, firm, display=None, transcript=True):
    p = paths(work)
    with open(os.path.join(p["product"], "firmy.txt"), "rb") as f:
        firms = f.read().decode("cp1250").split("\r\n")[:-1]

    def body(screen):
        main = start_main_window(screen, exe, p)
        screen.shot("main-window", "the main window: no path chosen, \"----\"")
        choose_program(screen, main, p["program"])
        pick_firm(screen, main, firms, firm)
        press_start(screen, main, firm)
        close_main(screen, main)
        faults = check_files(p, firm)
        if transcript:
            faults += check_transcript(p, firm)
        if faults:
            raise StepFailed("; ".join(faults))
        print("  on disk: backup with the old bytes and date, the firm's build in place, "
              "the updater gone; the server saw the two fetches", flush=True)

    return run_scenario("correction", body, shots, display)


def drive_server_down(exe, work, port, shots, display=None):
    p = paths(work)

    def body(screen):
        if port_in_use(port):
            raise StepFailed(f"something listens on 127.0.0.1:{port}; the scenario needs "
                             "the server stopped")
        before = file_facts(p["program"]) if os.path.exists(p["program"]) else None
        screen.start_program(exe, p["install"])
        box = screen.wait_window(ERROR_CAPTION, 90)
        if screen.windows(MAIN_CAPTION):
            raise StepFailed("the main window came before the error box")
        time.sleep(0.6)
        screen.shot("no-server-error", "no server: the failure's text in the error box, "
                    "before the main window")
        screen.answer_box(box, "the error box")
        main = screen.wait_window(MAIN_CAPTION, 30)
        time.sleep(1.5)
        expect_no_box(screen, "after the error box")
        if not status_is(screen, main, GREY):
            raise StepFailed("the status monitor does not show \"----\" after the failed start")
        screen.shot("no-server-main-window", "the main window opens anyway; the status "
                    "monitor runs (\"----\")")
        x, y, w, h = open_firm_list(screen, main)
        img = pixels(screen.shot("no-server-firm-list", "the firm list is empty"))
        if foreground_pixels(img, (x + 2, y + 2, w - 4, min(h - 4, 40))) > 0:
            raise StepFailed("the firm list's drop-down shows entries")
        screen.keys_to(main, "Escape")
        time.sleep(0.5)
        close_main(screen, main)
        if before and file_facts(p["program"]) != before:
            raise StepFailed(f"{PROGRAM} changed although nothing was corrected")

    return run_scenario("no server", body, shots, display)


# The transfer window's time-out on the data connection: each receive waits at most this long.
DATA_LIMIT = 60
FIRM_LIST = "//Upgrade/Tavrin/firmy.txt"


def temp_copies(name):
    """The files of that name in the TEMP folders of the wine prefix in use."""
    prefix = os.environ.get("WINEPREFIX") or os.path.expanduser("~/.wine")
    users = os.path.join(prefix, "drive_c", "users")
    found = []
    for user in (os.listdir(users) if os.path.isdir(users) else []):
        for temp in (("AppData", "Local", "Temp"), ("Temp",)):
            path = os.path.join(users, user, *temp, name)
            if os.path.exists(path):
                found.append(path)
    return found


def drive_silent_data(exe, work, port, shots, display=None):
    """A server that accepts the data connection of firmy.txt and then sends nothing (it
    must run): the transfer window waits the client's limit, then the error box, the main
    window with no firms, no partial firmy.txt in TEMP, and the server saw the client close
    without a QUIT."""
    p = paths(work)

    def body(screen):
        if not port_in_use(port):
            raise StepFailed(f"no server listens on 127.0.0.1:{port}")
        screen.start_program(exe, p["install"])
        transfer = screen.wait_window(TRANSFER_CAPTION, 90)
        shown = time.time()
        time.sleep(1.5)
        screen.shot("silent-transfer", "the transfer window fetches firmy.txt; the server "
                    "accepted the data connection and sends nothing")
        box = screen.wait_window(ERROR_CAPTION, DATA_LIMIT + 60)
        waited = time.time() - shown
        print(f"  the error box came {waited:.1f} s after the transfer window", flush=True)
        if waited < DATA_LIMIT - 2:
            raise StepFailed(f"the error box came after {waited:.1f} s, before the "
                             f"{DATA_LIMIT} s limit could end the wait")
        if waited > DATA_LIMIT + 20:
            raise StepFailed(f"the error box came after {waited:.1f} s, long past the "
                             f"{DATA_LIMIT} s limit")
        if transfer in screen.x("search", "--onlyvisible", "--name", ".").split():
            raise StepFailed("the transfer window is still on the screen beside the error box")
        if screen.windows(MAIN_CAPTION):
            raise StepFailed("the main window came before the error box")
        time.sleep(0.6)
        screen.shot("silent-error", f"after the {DATA_LIMIT} s limit: the time-out in the "
                    "error box, the transfer window gone")
        with open(p["transcript"], "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
        seq = fetch_sequence(lines, FIRM_LIST)
        if seq != ["SIZE", "SIZE", "PASV", "RETR"]:
            raise StepFailed(f"the fetch of {FIRM_LIST}: {seq}, expected SIZE, SIZE, PASV, "
                             "RETR and the client's close without a QUIT")
        sessions = os.path.join(p["ftp"], "sessions")
        deadline = time.time() + 5
        while time.time() < deadline:
            with open(sessions) as f:
                if f.read().strip() == "0":
                    break
            time.sleep(0.1)
        else:
            raise StepFailed("the client left its connection to the server open")
        left = temp_copies("firmy.txt")
        if left:
            raise StepFailed(f"the partial firm list was left behind: {left}")
        screen.answer_box(box, "the error box")
        main = screen.wait_window(MAIN_CAPTION, 30)
        time.sleep(1.5)
        expect_no_box(screen, "after the error box")
        if not status_is(screen, main, GREY):
            raise StepFailed("the status monitor does not show \"----\" after the failed start")
        x, y, w, h = open_firm_list(screen, main)
        img = pixels(screen.shot("silent-firm-list", "the main window opens; the firm list "
                                 "is empty"))
        if foreground_pixels(img, (x + 2, y + 2, w - 4, min(h - 4, 40))) > 0:
            raise StepFailed("the firm list's drop-down shows entries")
        screen.keys_to(main, "Escape")
        time.sleep(0.5)
        close_main(screen, main)

    return run_scenario("silent data connection", body, shots, display)


def tree_facts(folder):
    """Every file below folder: relative path -> its bytes' hash and its date."""
    facts = {}
    for base, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(base, name)
            f = file_facts(path)
            facts[os.path.relpath(path, folder)] = (f["sha256"], f["mtime"])
    return facts


def window_appeared(screen, known, timeout):
    """A visible window that was not there before, within timeout seconds; None if none."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        new = set(screen.visible_captions()) - known
        if new:
            return next(iter(new))
        time.sleep(0.2)
    return None


def drive_busy(exe, work, shots, firm, display=None):
    """The correction while the server sends the program slowly. The main window stands
    apart from the transfer window, so that its controls can be clicked during the
    transfer: a click on " ..." opens no dialog (had one opened, a second installation's
    program would be chosen in it), a click on "Zamknij" and Alt+F4 on either window leave
    korekta and its transfer window on the screen. Then the completion; on disk the first
    program corrected and nothing else changed."""
    p = paths(work)
    other = os.path.join(work, "install", "Inny", "Inny.exe")
    os.makedirs(os.path.dirname(other))
    shutil.copy2(p["program"], other)
    shutil.copy2(p["updater"], os.path.join(os.path.dirname(other), UPDATER))
    with open(os.path.join(p["product"], "firmy.txt"), "rb") as f:
        firms = f.read().decode("cp1250").split("\r\n")[:-1]
    before = tree_facts(os.path.join(work, "install"))

    def body(screen):
        main = start_main_window(screen, exe, p)
        # Clear of the transfer window, which comes up in the middle of the screen.
        screen.x("windowmove", main, "20", "20")
        time.sleep(0.5)
        choose_program(screen, main, p["program"])
        pick_firm(screen, main, firms, firm)
        screen.click(main, START)
        transfer = screen.wait_window(TRANSFER_CAPTION, 30)
        time.sleep(0.5)
        faults = []
        # Input waits for the next burst of the transfer, which pumps the messages: each
        # action gets a few seconds to show its effect.
        settle = 4
        known = set(screen.visible_captions())
        screen.click(main, PATH_BUTTON)
        dialog = window_appeared(screen, known, settle)
        if dialog:
            faults.append("\" ...\" opened a dialog during the transfer")
            screen.shot("busy-dialog", "a dialog opened during the transfer")
            # As the user would: the other installation's program is chosen in it.
            screen.type_to(dialog, windows_path(other))
            screen.keys_to(dialog, "Return")
            screen.wait_gone(dialog, "the dialog", 20)
        screen.click(main, CLOSE)
        time.sleep(settle)

        def transfer_shown():
            return transfer in screen.x("search", "--onlyvisible", "--name", ".").split()
        if not transfer_shown():
            raise StepFailed("the transfer ended before the clicks were done: the server "
                             "must send more slowly")
        if screen.program.poll() is not None or not screen.windows(MAIN_CAPTION):
            faults.append("\"Zamknij\" closed korekta during the transfer")
        # Nor does the keyboard close either window.
        for wid, what in ((main, "the main window"), (transfer, "the transfer window")):
            screen.x("windowfocus", "--sync", wid)
            screen.x("key", "alt+F4")
            time.sleep(settle)
            if screen.program.poll() is not None or not screen.windows(MAIN_CAPTION):
                faults.append(f"Alt+F4 on {what} closed korekta during the transfer")
            elif not transfer_shown():
                faults.append(f"Alt+F4 on {what} closed the transfer window")
        screen.shot("busy-transfer", "the slow transfer after the clicks on \" ...\" and "
                    "\"Zamknij\" and Alt+F4 on both windows")
        if faults:
            raise StepFailed("; ".join(faults))
        screen.wait_gone(transfer, "the transfer window", 180)

        caption, wid = closing_box(screen)
        if caption != INFO_CAPTION:
            path = screen.shot("error-box", "an error box in place of the completion box")
            raise StepFailed(f"an error box came in place of the completion box; see {path}")
        screen.answer_box(wid, "the completion box")
        screen.wait_for("the status \"OK !\" (green)", lambda: status_is(screen, main, GREEN),
                        6)
        close_main(screen, main)
        faults = check_files(p, firm)
        after = tree_facts(os.path.join(work, "install"))
        expected = {os.path.join("Tavrin", n) for n in (PROGRAM, BACKUP, UPDATER)}
        changed = sorted(k for k in set(before) | set(after)
                         if k not in expected and before.get(k) != after.get(k))
        if changed:
            faults.append(f"other files changed: {changed}")
        if faults:
            raise StepFailed("; ".join(faults))
        print("  on disk: the first program corrected, its backup made and its updater gone; "
              "the second installation as it was", flush=True)

    return run_scenario("slow transfer", body, shots, display)


# ---------------------------------------------------------------- the report


def when(mtime):
    return datetime.datetime.fromtimestamp(mtime).strftime("%Y-%m-%d %H:%M:%S")


def report(work):
    p = paths(work)
    with open(p["before"]) as f:
        before = json.load(f)
    old = before["program"]
    firm_of = {v["sha256"]: k for k, v in before["firms"].items()}
    print(f"What changed in {p['install']}:")
    if os.path.exists(p["backup"]):
        b = file_facts(p["backup"])
        same = "the old program's bytes" if b["sha256"] == old["sha256"] else "OTHER bytes"
        print(f"  {BACKUP:13} new: the backup, {b['size']} bytes dated {when(b['mtime'])}, "
              f"{same}")
    else:
        print(f"  {BACKUP:13} (no backup)")
    if os.path.exists(p["program"]):
        n = file_facts(p["program"])
        if n["sha256"] == old["sha256"]:
            print(f"  {PROGRAM:13} unchanged, dated {when(n['mtime'])}")
        else:
            firm = firm_of.get(n["sha256"], "an unknown build")
            print(f"  {PROGRAM:13} replaced: {old['size']} -> {n['size']} bytes, dated "
                  f"{when(old['mtime'])} -> {when(n['mtime'])}, now the build for {firm}")
            print(f"  {'':13} its marker: {old['marker']}")
            print(f"  {'':13}        ->  {n['marker']}")
    else:
        print(f"  {PROGRAM:13} GONE")
    print(f"  {UPDATER:13} " + ("still there" if os.path.exists(p["updater"]) else "deleted"))
    if os.path.exists(p["transcript"]):
        with open(p["transcript"], "rb") as f:
            lines = f.read().decode("utf-8", "replace").splitlines()
        print("The server's transcript (" + p["transcript"] + "):")
        print("  " + " | ".join("PASS ***" if l.startswith("PASS ") else l for l in lines))
    return 0


# ---------------------------------------------------------------- the README's pictures

# Screenshot of a run -> picture in docs/, cut to the windows' area of the 800 x 600 screen.
DOCS = [("correction/01-firm-list-transfer.png", "demo-start.png"),
        ("correction/05-firm-list.png", "demo-firm-list.png"),
        ("correction/07-program-transfer.png", "demo-transfer.png"),
        ("correction/08-completion-box.png", "demo-completed.png"),
        ("correction/09-corrected.png", "demo-corrected.png"),
        ("no-server/01-no-server-error.png", "demo-no-server.png")]


def docs(shots, out):
    os.makedirs(out, exist_ok=True)
    for source, name in DOCS:
        subprocess.run(["convert", os.path.join(shots, source), "-crop", "584x252+108+184",
                        "+repage", "-strip", os.path.join(out, name)], check=True)
        print(os.path.join(out, name))
    return 0


# ---------------------------------------------------------------- the end-to-end run


# Exit status of an e2e run whose server cannot run on this machine (CTest's skip).
SKIPPED = 77


def e2e(exe, work, port, shots, kind="pyftpdlib"):
    """The correction against the chosen server; with the tests' own server also the start
    with no server, which is the same whatever server is missing."""
    why = SERVERS[kind].available()
    if why:
        print(f"e2e against {kind}: skipped: {why}", flush=True)
        return SKIPPED
    prepare(work, FIRMS)
    server = SERVERS[kind](work, port)
    try:
        server.start()
        status = drive(exe, work, os.path.join(shots, "correction"), DEMO_FIRM)
    finally:
        server.stop()
    report(work)
    if kind == "pyftpdlib":
        status |= drive_server_down(exe, work, port, os.path.join(shots, "no-server"))
        server = Server(work, port, silent_data=FIRM_LIST)
        try:
            server.start()
            status |= drive_silent_data(exe, work, port, os.path.join(shots, "silent-data"))
        finally:
            server.stop()
        status |= e2e_busy(exe, os.path.join(work, "slow"), port, os.path.join(shots, "slow"))
    return status


def e2e_busy(exe, work, port, shots):
    """drive_busy against the tests' server sending the firm's build in about 40 s (bursts
    of the rate's size, about two seconds apart)."""
    p = prepare(work, FIRMS)
    size = os.path.getsize(os.path.join(p["product"], DEMO_FIRM, PROGRAM))
    server = Server(work, port, rate=max(512, size // 25))
    try:
        server.start()
        return drive_busy(exe, work, shots, DEMO_FIRM)
    finally:
        server.stop()


def use_wine_prefix(prefix):
    """Runs wine in a prefix of the run's own, created on first use. A prefix whose wine
    desktop process was started without an X display (a persistent wineserver started for
    the unit tests) shows no window on any display, so the driven runs keep apart."""
    os.environ["WINEPREFIX"] = os.path.abspath(prefix)
    os.environ.setdefault("WINEDEBUG", "-all")
    if os.path.exists(os.path.join(prefix, "system.reg")):
        return
    print(f"Creating the wine prefix {prefix} (once)", flush=True)
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    subprocess.run(["wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"], env=env)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="op", required=True)
    a = sub.add_parser("prepare")
    a.add_argument("--work", required=True)
    a.add_argument("--firm", action="append")
    for op in ("drive", "drive-server-down", "drive-silent-data", "e2e"):
        a = sub.add_parser(op)
        a.add_argument("--exe", required=True)
        a.add_argument("--work", required=True)
        a.add_argument("--shots", required=True)
        a.add_argument("--port", type=int, default=50021)
        a.add_argument("--firm", default=DEMO_FIRM)
        a.add_argument("--display")
        a.add_argument("--wineprefix", help="the wine prefix to run korekta in")
        a.add_argument("--server", choices=sorted(SERVERS), default="pyftpdlib",
                       help="the FTP server of an e2e run")
    a = sub.add_parser("report")
    a.add_argument("--work", required=True)
    a = sub.add_parser("docs")
    a.add_argument("--shots", required=True)
    a.add_argument("--out", required=True)
    args = ap.parse_args()
    if getattr(args, "wineprefix", None):
        use_wine_prefix(args.wineprefix)
    try:
        if args.op == "prepare":
            firms = [(f, f.lower() + ".example") for f in args.firm] if args.firm else FIRMS
            p = prepare(args.work, firms)
            print(f"server tree {p['server']}: Upgrade/Tavrin/firmy.txt with "
                  f"{', '.join(f for f, _ in firms)}, each firm's build of {PROGRAM}")
            print(f"installation {p['install']}: {PROGRAM} dated {OLD_DATE}, {UPDATER}")
            return 0
        if args.op == "drive":
            return drive(args.exe, args.work, args.shots, args.firm, args.display)
        if args.op == "drive-server-down":
            return drive_server_down(args.exe, args.work, args.port, args.shots, args.display)
        if args.op == "drive-silent-data":
            return drive_silent_data(args.exe, args.work, args.port, args.shots, args.display)
        if args.op == "report":
            return report(args.work)
        if args.op == "docs":
            return docs(args.shots, args.out)
        return e2e(args.exe, args.work, args.port, args.shots, args.server)
    except StepFailed as err:
        print("FAILED:", err, file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
