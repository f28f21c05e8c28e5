#!/usr/bin/python3
"""Packing benchmark (not a test): packs and unpacks 100 MiB of mixed binaries and 100 MiB of
random data with CCompres/DCompres under wine, with a minimal direct FCI/FDI program under
wine (the floor the engine stands on), and with gcab -z / cabextract natively. Prints
seconds, MiB/s, cabinet size and peak memory of each, and the engine's ratios to the direct
program.

    tools/bench-pack/run.py [BUILD_DIR] [--reps N]

BUILD_DIR is a configured x86_64 build (default build/x86_64); the bench_pack target is
built there. WINEPREFIX is taken from the environment.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

MIB = 1 << 20
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def measure(args, cwd=None):
    """Runs args; returns (wall seconds, peak resident KiB, stdout).

    The peak comes from /usr/bin/time, a small parent: a child forked from this script would
    start with the script's own (large) resident size as its peak.
    """
    env = dict(os.environ, WINEDEBUG="-all")
    with tempfile.NamedTemporaryFile("r", suffix=".rss") as peak:
        start = time.monotonic()
        run = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name] + args, cwd=cwd,
                             env=env, stdin=subprocess.DEVNULL, capture_output=True)
        seconds = time.monotonic() - start
        if run.returncode != 0:
            raise RuntimeError(f"{args[:3]} failed ({run.returncode}): {run.stderr.decode()}")
        kib = int(peak.read().split()[-1])
    return seconds, kib, run.stdout.decode()


def inner(out):
    """The program's own figures: seconds, and the peak working set in KiB."""
    fields = dict(part.split("=") for part in out.split())
    return float(fields["seconds"]), int(fields["peak_working_set"]) // 1024


def mixed_binaries(folder):
    """About 100 MiB of real executables and libraries of this machine."""
    os.makedirs(folder)
    total = 0
    pools = ["/usr/lib/x86_64-linux-gnu/*.so*", "/usr/x86_64-w64-mingw32/lib/*.a",
             "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll", "/usr/bin/*"]
    seen = set()
    for pattern in pools:
        for path in sorted(glob.glob(pattern)):
            real = os.path.realpath(path)
            if real in seen or not os.path.isfile(real):
                continue
            size = os.path.getsize(real)
            if size < 4096 or size > 8 * MIB:
                continue
            seen.add(real)
            take = min(size, 100 * MIB - total)
            name = f"{len(seen):04d}_{os.path.basename(real)}".replace(" ", "_")
            with open(real, "rb") as src, open(os.path.join(folder, name), "wb") as dst:
                dst.write(src.read(take))
            total += take
            if total >= 100 * MIB:
                return
    raise RuntimeError("not enough binaries for 100 MiB")


def random_data(folder):
    os.makedirs(folder)
    for i in range(4):
        with open(os.path.join(folder, f"random{i}.bin"), "wb") as f:
            f.write(os.urandom(25 * MIB))


def best(runs):
    return min(runs, key=lambda r: r[0])


def main():
    args = [a for a in sys.argv[1:] if not a.startswith("--")]
    reps = 5
    if "--reps" in sys.argv:
        reps = int(sys.argv[sys.argv.index("--reps") + 1])
        args = [a for a in args if a != str(reps)]
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build", "x86_64"))
    subprocess.run(["cmake", "--build", build, "--target", "bench_pack", "-j2"], check=True,
                   stdout=subprocess.DEVNULL)
    bench = os.path.join(build, "tests", "pack", "bench_pack.exe")
    subprocess.run(["wineserver", "-p"], check=False)

    work = tempfile.mkdtemp(prefix="korekta-bench-pack-")
    rows = []
    try:
        for label, make in (("mixed binaries", mixed_binaries), ("random data", random_data)):
            src = os.path.join(work, label.split()[0])
            make(src)
            files = sorted(os.path.join(src, f) for f in os.listdir(src))
            size = sum(os.path.getsize(f) for f in files)
            results = {}
            # Engine and direct runs alternate, so both meet the same load of the machine.
            runs = {"engine": [], "direct": []}
            for _ in range(reps):
                for who in runs:
                    cab = os.path.join(work, f"{who}.cab")
                    t, rss, out = measure(["wine", bench, who, "pack", win(cab)] +
                                          [win(f) for f in files])
                    seconds, working = inner(out)
                    runs[who].append((seconds, rss, os.path.getsize(cab), working))
            for who, done in runs.items():
                results[f"{who} pack"] = best(done)
            runs = {"engine": [], "direct": []}
            for _ in range(reps):
                for who in runs:
                    cab = os.path.join(work, f"{who}.cab")
                    dest = os.path.join(work, f"{who}-out")
                    shutil.rmtree(dest, ignore_errors=True)
                    os.makedirs(dest)
                    t, rss, out = measure(["wine", bench, who, "unpack", win(cab), win(dest)])
                    seconds, working = inner(out)
                    runs[who].append((seconds, rss, os.path.getsize(cab), working))
            for who, done in runs.items():
                results[f"{who} unpack"] = best(done)
            cab = os.path.join(work, "gcab.cab")
            runs = []
            for _ in range(reps):
                if os.path.exists(cab):
                    os.remove(cab)
                t, rss, _ = measure(["gcab", "-c", "-z", cab] + [os.path.basename(f) for f in files],
                                    cwd=src)
                runs.append((t, rss, os.path.getsize(cab), None))
            results["gcab -z pack"] = best(runs)
            runs = []
            for _ in range(reps):
                dest = os.path.join(work, "cabextract-out")
                shutil.rmtree(dest, ignore_errors=True)
                t, rss, _ = measure(["cabextract", "-q", "-d", dest,
                                     os.path.join(work, "engine.cab")])
                runs.append((t, rss, os.path.getsize(os.path.join(work, "engine.cab")), None))
            results["cabextract unpack"] = best(runs)
            rows.append((label, size, results))
            shutil.rmtree(src)
    finally:
        shutil.rmtree(work, ignore_errors=True)

    print(f"best of {reps} runs; wine times are measured inside the program, native ones by wall"
          " clock; peak RSS is the process's maximum resident size (wine's own share included),"
          " peak WS the Windows program's own peak working set")
    for label, size, results in rows:
        print(f"\n{label}: {size / MIB:.1f} MiB in the sources")
        print(f"  {'run':<20}{'seconds':>9}{'MiB/s':>9}{'cabinet MiB':>13}{'peak RSS MiB':>14}"
              f"{'peak WS MiB':>13}")
        for name, (seconds, rss, cab, working) in results.items():
            ws = f"{working / 1024:>13.1f}" if working is not None else f"{'-':>13}"
            print(f"  {name:<20}{seconds:>9.2f}{size / MIB / seconds:>9.1f}{cab / MIB:>13.2f}"
                  f"{rss / 1024:>14.1f}{ws}")
        for op in ("pack", "unpack"):
            e, d = results[f"engine {op}"], results[f"direct {op}"]
            print(f"  engine/direct {op}: time {e[0] / d[0]:.3f}, peak RSS {(e[1] - d[1]) / 1024:+.1f}"
                  f" MiB, peak WS {(e[3] - d[3]) / 1024:+.1f} MiB, cabinet size {e[2] / d[2]:.4f}")


if __name__ == "__main__":
    main()
