#!/usr/bin/python3
"""Cross-checks of the packing operations against the native archivers.

    interop.py CHECK PACK_TOOL

PACK_TOOL is the Windows pack_tool.exe, run under wine; the native side is cabextract, gcab,
unzip or Python's zipfile. Each CHECK makes archives on one side and reads them on the
other, comparing names, sizes, bytes and modification times. Exit code 0 when all agree.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import struct
import time
import zipfile
import zlib

TOOL = None
FAILURES = []
# Modification times the formats keep exactly (DOS times have 2-second steps).
STAMP = time.mktime((2023, 6, 5, 14, 30, 42, 0, 0, -1))


def win(path):
    """The host path as the wine program sees it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def tool(*args):
    env = dict(os.environ, WINEDEBUG="-all")
    run = subprocess.run(["wine", TOOL] + list(args), stdin=subprocess.DEVNULL,
                         capture_output=True, env=env, timeout=300)
    return run.returncode, run.stdout.decode("utf-8", "replace")


def native(*args, cwd=None):
    run = subprocess.run(list(args), capture_output=True, timeout=300, cwd=cwd)
    if run.returncode != 0:
        raise RuntimeError(f"{args} failed: {run.stderr.decode('utf-8', 'replace')}")
    return run.stdout.decode("utf-8", "replace")


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAIL:", what)


def make_sources(root):
    """A few files of mixed kinds, one in a subfolder, one whose name the ANSI code page cannot
    hold; returns {relative name: bytes}."""
    files = {
        "Prog.exe": os.urandom(70000) + b"MZ" * 40000,
        "readme.txt": b"korekta\r\n" * 5000,
        "empty.dat": b"",
        os.path.join("sub", "deep.bin"): bytes(range(256)) * 300,
        # Outside the test prefix's code page 1252: a cabinet stores it as UTF-8 with the flag.
        "Łódź ｘ.txt": "Łódź".encode("utf-8") * 100,
    }
    for rel, data in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (STAMP, STAMP))
    return files


def same_tree(folder, expected, what):
    for rel, data in expected.items():
        path = os.path.join(folder, rel)
        if not os.path.isfile(path):
            check(False, f"{what}: {rel} missing")
            continue
        check(open(path, "rb").read() == data, f"{what}: {rel} bytes differ")
        check(abs(os.stat(path).st_mtime - STAMP) < 1, f"{what}: {rel} time differs")


def cab_to_native(work):
    """A cabinet written by CCompres, read by cabextract and by gcab."""
    src = os.path.join(work, "src")
    files = make_sources(src)
    cab = os.path.join(work, "out.cab")
    with open(cab, "wb") as f:
        f.write(b"an older cabinet that must be replaced" * 100)
    code, _ = tool("pack", win(cab), *[win(os.path.join(src, rel)) for rel in files])
    check(code == 0, "pack_tool pack failed")
    bare = {os.path.basename(rel): data for rel, data in files.items()}

    listing = native("cabextract", "-l", cab)
    for name, data in bare.items():
        check(any(line.split("|")[-1].strip() == name and
                  line.split("|")[0].strip() == str(len(data)) and
                  "05.06.2023 14:30:42" in line for line in listing.splitlines()),
              f"cabextract -l: {name} with its size and date")
    out = os.path.join(work, "cabextract")
    native("cabextract", "-q", "-d", out, cab)
    check(sorted(os.listdir(out)) == sorted(bare), "cabextract: the same names")
    same_tree(out, bare, "cabextract")

    details = native("gcab", "-l", cab)
    for name, data in bare.items():
        check(f"{name} {len(data)} 2023-06-05 14:30:42" in details, f"gcab -l: {name}")
    out = os.path.join(work, "gcab")
    os.makedirs(out)
    native("gcab", "-x", "-C", out, cab)
    check(sorted(os.listdir(out)) == sorted(bare), "gcab -x: the same names")
    for name, data in bare.items():
        check(open(os.path.join(out, name), "rb").read() == data, f"gcab -x: {name} bytes")


def native_to_cab(work):
    """Cabinets written by gcab, with and without compression, listed and unpacked."""
    src = os.path.join(work, "src")
    files = make_sources(src)
    for zipped in (False, True):
        what = "gcab -z" if zipped else "gcab"
        cab = os.path.join(work, "z.cab" if zipped else "n.cab")
        args = ["gcab", "-c"] + (["-z"] if zipped else []) + [cab] + sorted(files)
        native(*args, cwd=src)
        code, listing = tool("list", win(cab))
        check(code == 0, f"{what}: list failed")
        got = {}
        for line in listing.splitlines():
            name, size, stamp = line.split("\t")
            got[name] = (int(size), stamp)
        want = {rel.replace("/", "\\"): (len(data), "2023-06-05 14:30:42")
                for rel, data in files.items()}
        check(got == want, f"{what}: listing {got} != {want}")
        out = os.path.join(work, "out-" + ("z" if zipped else "n"))
        code, _ = tool("unpack", win(cab), win(out))
        check(code == 0, f"{what}: unpack failed")
        same_tree(out, files, what)


def mixed(size):
    """Bytes that pack to about half: runs of text between runs of noise."""
    out = bytearray()
    while len(out) < size:
        out += os.urandom(3000) + "Zażółć gęślą jaźń ".encode("utf-8") * 200
    return bytes(out[:size])


def zip_to_native(work):
    """Archives from ZipFile, read by unzip -t and by Python's zipfile, field by field."""
    cases = {
        "Zażółć gęślą jaźń.txt": "Pchnąć w tę łódź jeża lub ośm skrzyń fig.\r\n".encode("utf-8") * 3000,
        "empty.dat": b"",
        # Several of the writer's buffers.
        "Prog.exe": mixed(3 << 20),
    }
    for name, data in cases.items():
        src = os.path.join(work, name)
        with open(src, "wb") as f:
            f.write(data)
        os.utime(src, (STAMP, STAMP))
        archive = os.path.join(work, name + ".zip")
        code, _ = tool("zip", win(archive), win(src))
        check(code == 0, f"{name}: pack_tool zip failed")
        test = subprocess.run(["unzip", "-t", archive], capture_output=True)
        check(test.returncode == 0, "unzip -t: " + test.stdout.decode("utf-8", "replace"))
        with zipfile.ZipFile(archive) as z:
            check(z.testzip() is None, f"{name}: zipfile's CRC check")
            infos = z.infolist()
            check([i.filename for i in infos] == [name], f"{name}: names {infos}")
            info = infos[0]
            check(info.flag_bits == 0x800, f"{name}: flags {info.flag_bits:#x}, UTF-8 only")
            check(info.compress_type == zipfile.ZIP_DEFLATED, f"{name}: deflated")
            check(info.create_system == 0 and info.create_version == 20 and
                  info.extract_version == 20, f"{name}: versions 20, MS-DOS host")
            check(info.date_time == (2023, 6, 5, 14, 30, 42), f"{name}: date {info.date_time}")
            check(info.external_attr == 0x20, f"{name}: attributes {info.external_attr:#x}")
            check(info.extra == b"" and info.comment == b"", f"{name}: no extra field, no comment")
            check(z.read(info) == data, f"{name}: bytes")
        with open(archive, "rb") as f:
            raw = f.read()
        # The local header repeats the directory's fields, with no data descriptor after the
        # data; the data is zlib's raw deflate at level 6, the level of zip -6.
        local = struct.unpack_from("<IHHHHHIIIHH", raw, 0)
        dos_time, dos_date = (14 << 11) | (30 << 5) | (42 // 2), ((2023 - 1980) << 9) | (6 << 5) | 5
        check(local == (0x04034B50, 20, 0x800, 8, dos_time, dos_date, info.CRC,
                        info.compress_size, info.file_size, len(name.encode("utf-8")), 0),
              f"{name}: local header {local}")
        packer = zlib.compressobj(6, zlib.DEFLATED, -15, 8)
        expected = packer.compress(data) + packer.flush()
        start = 30 + len(name.encode("utf-8"))
        check(raw[start:start + info.compress_size] == expected, f"{name}: not zlib level 6")
        check(raw[start + info.compress_size:start + info.compress_size + 4] == b"PK\x01\x02",
              f"{name}: the directory follows the data")


def native_to_zip(work):
    """Archives from zip and Python's zipfile, unpacked by UnZipFile."""
    src = os.path.join(work, "src")
    files = make_sources(src)
    polish = "Łódź ćma.txt"
    files[polish] = "ąęśćżźńół".encode("utf-8") * 100
    with open(os.path.join(src, polish), "wb") as f:
        f.write(files[polish])
    os.utime(os.path.join(src, polish), (STAMP, STAMP))
    # Several of the reader's buffers, packed and unpacked.
    files["big.bin"] = mixed(3 << 20)
    with open(os.path.join(src, "big.bin"), "wb") as f:
        f.write(files["big.bin"])
    os.utime(os.path.join(src, "big.bin"), (STAMP, STAMP))
    os.makedirs(os.path.join(src, "emptydir"))

    archives = {}
    # Info-ZIP writing to a pipe: sizes and CRC-32 in data descriptors after the data.
    piped = subprocess.run(["zip", "-q", "-", "big.bin"], cwd=src, check=True,
                           capture_output=True).stdout
    archives["zip to a pipe"] = os.path.join(work, "piped.zip")
    with open(archives["zip to a pipe"], "wb") as f:
        f.write(piped)
    # Info-ZIP, deflated, with folder entries.
    archives["zip"] = os.path.join(work, "info.zip")
    subprocess.run(["zip", "-q", "-r", archives["zip"], "."], cwd=src, check=True)
    # Python's zipfile, stored and deflated, with an explicit folder entry.
    for kind, method in (("stored", zipfile.ZIP_STORED), ("deflated", zipfile.ZIP_DEFLATED)):
        path = os.path.join(work, kind + ".zip")
        with zipfile.ZipFile(path, "w", method) as z:
            z.write(os.path.join(src, "emptydir"), "emptydir/")
            for rel in files:
                z.write(os.path.join(src, rel), rel)
        archives[kind] = path
    for kind, archive in archives.items():
        with zipfile.ZipFile(archive) as z:
            # Info-ZIP on this host stores UTF-8 names without the flag; zipfile reads them
            # as code page 437.
            expected = {(i.filename if i.flag_bits & 0x800 else
                         i.filename.encode("cp437").decode("utf-8")): z.read(i)
                        for i in z.infolist() if not i.is_dir()}
            descriptors = all(i.flag_bits & 0x8 for i in z.infolist())
        check(descriptors == (kind == "zip to a pipe"), f"{kind}: data descriptors {descriptors}")
        out = os.path.join(work, "out-" + kind.replace(" ", "-"))
        code, _ = tool("unzip", win(archive), win(out))
        check(code == 0, f"{kind}: UnZipFile answered no")
        same_tree(out, {rel: files[rel.replace("/", os.sep)] for rel in expected}, kind)
        written = {os.path.relpath(os.path.join(folder, name), out)
                   for folder, _, names in os.walk(out) for name in names}
        check(written == {rel.replace("/", os.sep) for rel in expected},
              f"{kind}: exactly the entries written, no temporary file: {sorted(written)}")
        if kind != "zip to a pipe":
            check(os.path.isdir(os.path.join(out, "emptydir")), f"{kind}: folder entry")


CHECKS = {
    "cab_to_native": cab_to_native,
    "native_to_cab": native_to_cab,
    "zip_to_native": zip_to_native,
    "native_to_zip": native_to_zip,
}


def main():
    global TOOL
    TOOL = sys.argv[2]
    work = tempfile.mkdtemp(prefix="korekta-pack-")
    try:
        CHECKS[sys.argv[1]](work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if FAILURES:
        print(f"{len(FAILURES)} check(s) failed")
        return 1
    print("all checks agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
