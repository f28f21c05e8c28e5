#!/usr/bin/python3
"""Starts a korekta program under Xvfb and wine, waits for a window of the given caption,
takes a screenshot of it and checks colours at given places; optionally closes the window by
a click and waits for the process to end.

    screen_test.py EXE CAPTION OUT.png [--arg ARG] [--size WxH]
                   [--pixel X,Y,R,G,B] [--text X,Y,W,H,R,G,B] [--hidden CAPTION]
                   [--close-click X,Y]

Coordinates are in the window's client area (no window manager runs, so the X window is
the client area). --pixel: the colour at one point; --text: some pixels of the rectangle
carry the colour (text); --hidden: no visible window of that caption may exist.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time


def run(cmd, env, check=False):
    return subprocess.run(cmd, env=env, capture_output=True, text=True, check=check)


def visible_windows(env, caption_regex):
    r = run(["xdotool", "search", "--onlyvisible", "--name", caption_regex], env)
    return [w for w in r.stdout.split() if w]


def window_name(env, wid):
    return run(["xdotool", "getwindowname", wid], env).stdout.strip()


def geometry(env, wid):
    out = run(["xdotool", "getwindowgeometry", wid], env).stdout
    m = re.search(r"Geometry: (\d+)x(\d+)", out)
    return (int(m.group(1)), int(m.group(2))) if m else None


def pixels(png):
    """All pixels of the image as a dict (x, y) -> (r, g, b)."""
    out = subprocess.run(["convert", png, "-depth", "8", "txt:-"], capture_output=True,
                         text=True, check=True).stdout
    result = {}
    for line in out.splitlines()[1:]:
        m = re.match(r"(\d+),(\d+): \((\d+),(\d+),(\d+)", line)
        if m:
            x, y, r, g, b = map(int, m.groups())
            result[(x, y)] = (r, g, b)
    return result


def near(a, b, tolerance=12):
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("exe")
    ap.add_argument("caption")
    ap.add_argument("out")
    ap.add_argument("--arg", action="append", default=[])
    ap.add_argument("--size")
    ap.add_argument("--pixel", action="append", default=[])
    ap.add_argument("--text", action="append", default=[])
    ap.add_argument("--hidden", action="append", default=[])
    ap.add_argument("--close-click")
    ap.add_argument("--close-key", help="keys that close the window, e.g. alt+F4")
    ap.add_argument("--type", help="text typed into the window before the close keys")
    ap.add_argument("--box-click", help="X,Y: each of two clicks there must bring up an error "
                    "box captioned with the program's title, which is then answered")
    ap.add_argument("--exit-code", type=int, help="the exit code the program must end with")
    ap.add_argument("--prefix", help="a wine prefix of these tests alone")
    ap.add_argument("--dpi", type=int, default=96,
                    help="the screen's DPI; sizes and places are given at 96 DPI")
    a = ap.parse_args()

    env = dict(os.environ)
    env.setdefault("WINEDEBUG", "-all")
    if a.prefix:
        # Wine's desktop process stays on the display it first met, so every run gets a
        # wine server of its own in a prefix that only these tests use (one at a time).
        env["WINEPREFIX"] = a.prefix
        if not os.path.exists(os.path.join(a.prefix, "system.reg")):
            subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=env)
    if a.dpi != 96 and not a.prefix:
        ap.error("--dpi needs --prefix")

    def scaled(v):
        return (v * a.dpi + 48) // 96

    def set_dpi(dpi):
        run(["wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
             "REG_DWORD", "/d", str(dpi), "/f"], env)
        run(["wineserver", "-w"], env)

    if a.prefix:
        set_dpi(a.dpi)
    read_fd, write_fd = os.pipe()
    # No reset when the last client leaves: the server stays as the program left it.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(write_fd,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    display = os.read(read_fd, 16).decode().strip()
    env["DISPLAY"] = ":" + display
    program = None
    failures = []
    try:
        program = subprocess.Popen(["wine", os.path.abspath(a.exe)] + a.arg, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wid = None
        deadline = time.time() + 60
        pattern = "^" + re.escape(a.caption) + "$"
        while time.time() < deadline and wid is None:
            found = visible_windows(env, pattern)
            if found:
                wid = found[0]
                break
            # A failure box of the program (caption: the program's title) is answered.
            title = os.path.splitext(os.path.basename(a.exe))[0]
            for box in visible_windows(env, "^" + re.escape(title) + "$"):
                run(["xdotool", "key", "--window", box, "Return"], env)
            time.sleep(0.5)
        if wid is None:
            print(f"no visible window with the caption {a.caption!r} appeared; windows:")
            r = run(["xwininfo", "-root", "-tree"], env)
            print(env["DISPLAY"], r.stdout, r.stderr)
            return 1
        time.sleep(1.5)  # the first paint
        subprocess.run(["import", "-window", wid, a.out], env=env, check=True)
        size = geometry(env, wid)
        print(f"window {a.caption!r}: {size[0]}x{size[1]}, screenshot {a.out}")
        # Without a window manager wine frames tool windows itself: the X window is then the
        # client area plus that frame, and client coordinates move by the frame.
        ox = oy = 0
        if a.size:
            want = tuple(scaled(int(v)) for v in a.size.split("x"))
            dw, dh = size[0] - want[0], size[1] - want[1]
            if (dw, dh) != (0, 0):
                if 0 < dw <= 12 and dw % 2 == 0 and 12 <= dh - dw // 2 <= 40:
                    ox, oy = dw // 2, dh - dw // 2
                    print(f"client area {want[0]}x{want[1]} inside a frame drawn by wine")
                else:
                    failures.append(f"client area {size}, expected {want}")
        img = pixels(a.out)
        img = {(x - ox, y - oy): v for (x, y), v in img.items()}
        for point in a.pixel:
            x, y, r, g, b = map(int, point.split(","))
            x, y = scaled(x), scaled(y)
            got = img.get((x, y))
            if got is None or not near(got, (r, g, b)):
                failures.append(f"pixel {x},{y} is {got}, expected {(r, g, b)}")
        for frame in a.text:
            x, y, w, h, r, g, b = map(int, frame.split(","))
            x, y, w, h = scaled(x), scaled(y), scaled(w), scaled(h)
            hits = sum(1 for yy in range(y, y + h) for xx in range(x, x + w)
                       if near(img.get((xx, yy), (-99, -99, -99)), (r, g, b), 40))
            if hits < 4:
                failures.append(f"no text of colour {(r, g, b)} in {x},{y} {w}x{h} ({hits} pixels)")
        for caption in a.hidden:
            if visible_windows(env, "^" + re.escape(caption) + "$"):
                failures.append(f"the window {caption!r} is visible")
        title = os.path.splitext(os.path.basename(a.exe))[0]
        if a.box_click:
            x, y = (scaled(int(v)) for v in a.box_click.split(","))
            for attempt in (1, 2):
                run(["xdotool", "windowfocus", "--sync", wid], env)
                run(["xdotool", "mousemove", "--window", wid, str(x + ox), str(y + oy)], env)
                time.sleep(0.3)
                run(["xdotool", "click", "1"], env)
                boxes = []
                until = time.time() + 20
                while not boxes and time.time() < until:
                    time.sleep(0.3)
                    boxes = visible_windows(env, "^" + re.escape(title) + "$")
                if not boxes:
                    failures.append(f"click {attempt}: no error box captioned {title!r}")
                    break
                if attempt == 1:
                    subprocess.run(["import", "-window", "root",
                                    os.path.splitext(a.out)[0] + "-box.png"], env=env)
                run(["xdotool", "key", "--window", boxes[0], "Return"], env)
                until = time.time() + 10
                while visible_windows(env, "^" + re.escape(title) + "$") and time.time() < until:
                    time.sleep(0.3)
            if program.poll() is not None:
                failures.append("the program ended after a failing handler")
        if a.close_click or a.close_key:
            if a.close_click:
                x, y = (scaled(int(v)) for v in a.close_click.split(","))
                run(["xdotool", "windowfocus", "--sync", wid], env)
                run(["xdotool", "mousemove", "--window", wid, str(x + ox), str(y + oy)], env)
                time.sleep(0.3)
                run(["xdotool", "click", "1"], env)
            else:
                run(["xdotool", "windowfocus", "--sync", wid], env)
                if a.type:
                    run(["xdotool", "type", "--delay", "50", a.type], env)
                run(["xdotool", "key", a.close_key], env)
            try:
                program.wait(timeout=30)
                print(f"the program ended with {program.returncode} after the window closed")
                if a.exit_code is not None and program.returncode != a.exit_code:
                    failures.append(f"exit code {program.returncode}, expected {a.exit_code}")
            except subprocess.TimeoutExpired:
                failures.append("the program did not end after the window was closed")
                after = os.path.splitext(a.out)[0] + "-after.png"
                subprocess.run(["import", "-window", "root", after], env=env)
                print("the screen then:", after)
                print(run(["xwininfo", "-root", "-tree"], env).stdout)
        for f in failures:
            print("FAIL:", f)
        return 1 if failures else 0
    finally:
        if program and program.poll() is None:
            os.kill(program.pid, signal.SIGTERM)
            try:
                program.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.kill(program.pid, signal.SIGKILL)
        if a.prefix:
            subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        os.kill(xvfb.pid, signal.SIGTERM)
        xvfb.wait()
        os.close(read_fd)


if __name__ == "__main__":
    sys.exit(main())
