#!/usr/bin/env python3
"""Drives mkpayload and the reference implementation against each other.

usage: payload_cli_test.py mk2ref|ref2mk|cli MKPAYLOAD PAYLOAD_REF WORKDIR
  mk2ref  mkpayload builds an archive from a folder of varied files; the reference decodes it byte for byte.
  ref2mk  the reference writes an archive; mkpayload verify accepts it and mkpayload extract reproduces it.
  cli     exit codes, determinism, and no output left behind by a failed build.
"""
import os
import random
import shutil
import subprocess
import sys


def make_files(root):
    rnd = random.Random(42)
    files = {
        "readme.txt": b"Plain text line.\r\n" * 300,
        "bin/program.exe": bytes(rnd.randrange(256) if i % 7 else 0 for i in range(70000)),
        "bin/zeros.dat": bytes(20000),
        "data/random.bin": bytes(rnd.randrange(256) for _ in range(9000)),
        "data/empty.ini": b"",
        "data/one.txt": b"x",
        "with blank/caf\u00e9 \u20ac.txt": b"accents " * 50,
    }
    with open(sys.argv[0], "rb") as f:
        files["src/script.py"] = f.read()
    for name, data in files.items():
        path = os.path.join(root, "src_files", name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    rows = [
        ("2", "compress", "<InstallPath>\\readme.txt", "readme.txt"),
        ("1", "auto", "<InstallPath>\\bin\\program.exe", "bin/program.exe"),
        ("0", "compress", "<InstallPath>\\bin\\zeros.dat", "bin/zeros.dat"),
        ("0", "auto", "<CommonData>\\random.bin", "data/random.bin"),
        ("3", "compress", "<CommonData>\\empty.ini", "data/empty.ini"),
        ("4", "store", "<SamplePath>\\one.txt", "data/one.txt"),
        ("0", "store", "<Documents>\\Caf\u00e9 \u20ac.txt", "with blank/caf\u00e9 \u20ac.txt"),
        ("0", "auto", "<InstallPath>\\script.py", "src/script.py"),
    ]
    manifest = os.path.join(root, "manifest.txt")
    with open(manifest, "w", encoding="utf-8", newline="") as f:
        f.write("# test payload\r\n")
        for row in rows:
            f.write("\t".join(row[:3]) + "\tsrc_files/" + row[3] + "\r\n")
    expected = {}
    for _, _, dest, src in rows:
        with open(os.path.join(root, "src_files", src), "rb") as f:
            expected[dest.replace("\\", "/")] = f.read()
    return manifest, expected


def tree(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return found


def run(args, expect):
    result = subprocess.run(args, capture_output=True)
    if result.returncode != expect:
        sys.exit("%s: exit %d, expected %d\n%s%s" % (" ".join(args), result.returncode, expect,
                                                     result.stdout.decode(errors="replace"),
                                                     result.stderr.decode(errors="replace")))
    return result.stdout.decode(errors="replace")


def check_tree(folder, expected):
    got = tree(folder)
    if got != expected:
        sys.exit("extracted files differ: %s vs %s" % (sorted(got), sorted(expected)))


def main():
    mode, mk, ref, work = sys.argv[1:5]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    manifest, expected = make_files(work)
    archive = os.path.join(work, "payload.bin")
    py = [sys.executable, ref]
    if mode == "mk2ref":
        run([mk, "build", manifest, "-o", archive], 0)
        run(py + ["decode", archive, os.path.join(work, "ref_out")], 0)
        check_tree(os.path.join(work, "ref_out"), expected)
        run([mk, "extract", archive, os.path.join(work, "mk_out")], 0)
        check_tree(os.path.join(work, "mk_out"), expected)
    elif mode == "ref2mk":
        run(py + ["write", archive, "--manifest", manifest], 0)
        if "OK" not in run([mk, "verify", archive], 0):
            sys.exit("verify did not print OK")
        listing = run([mk, "list", archive], 0)
        if len(listing.splitlines()) != len(expected):
            sys.exit("list printed:\n" + listing)
        run([mk, "extract", archive, os.path.join(work, "mk_out")], 0)
        check_tree(os.path.join(work, "mk_out"), expected)
    elif mode == "cli":
        run([mk, "build", manifest, "-o", archive], 0)
        with open(archive, "rb") as f:
            first = f.read()
        second = archive + ".2"
        run([mk, "build", manifest, "-o", second], 0)
        with open(second, "rb") as f:
            if f.read() != first:
                sys.exit("two builds differ")
        for args in ([], ["build", manifest], ["frobnicate", archive], ["list"], ["extract", archive]):
            run([mk] + args, 2)
        # A broken manifest: exit 1, the message names the line, no output and no temporary file.
        bad = os.path.join(work, "bad.txt")
        with open(bad, "w") as f:
            f.write("0\tstore\t<InstallPath>\\a.txt\treadme.txt\n0\tstore\t<Nowhere>\\b\treadme.txt\n")
        out = os.path.join(work, "bad.bin")
        result = subprocess.run([mk, "build", bad, "-o", out], capture_output=True)
        if result.returncode != 1 or b"bad.txt:2:" not in result.stderr:
            sys.exit("bad manifest: exit %d, %r" % (result.returncode, result.stderr))
        if any(name.startswith("bad.bin") for name in os.listdir(work)):
            sys.exit("a failed build left output behind")
        # A damaged archive: verify lists the problem and fails; extract writes nothing.
        damaged = os.path.join(work, "damaged.bin")
        with open(damaged, "wb") as f:
            f.write(first[:-1])
        run([mk, "verify", damaged], 1)
        run([mk, "extract", damaged, os.path.join(work, "never")], 1)
        if os.path.exists(os.path.join(work, "never")):
            sys.exit("extract of a damaged archive wrote files")
        # A foreign archive with "a.txt" and "a.txt.", one file on Windows: verify names the second.
        twins = os.path.join(work, "twins.bin")
        readme = os.path.join(work, "src_files", "readme.txt")
        run(py + ["write", twins, "--entry", "0:store:<InstallPath>\\a.txt:" + readme,
                  "--entry", "0:store:<InstallPath>\\a.txt.:" + readme], 0)
        result = subprocess.run([mk, "verify", twins], capture_output=True)
        if result.returncode != 1 or b"'a.txt.' ends in a dot" not in result.stderr:
            sys.exit("verify of a.txt and a.txt.: exit %d, %r" % (result.returncode, result.stderr))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
