#!/usr/bin/env python3
"""mkpayload on hostile input: archives of random bytes, cut at every structure boundary, with huge counts
and sizes or unsafe destinations, and hostile manifests. Every case must end with exit status 1 and an
error message, and leave the destination folder and its parent as they were (no file outside, nothing
half-written, no ".partial" file).

usage: hostile_payload_test.py MKPAYLOAD PAYLOAD_REF WORKDIR
"""
import os
import random
import shutil
import struct
import subprocess
import sys

MKPAYLOAD, REF, WORK = sys.argv[1:4]
sys.path.insert(0, os.path.dirname(os.path.abspath(REF)))
import payload_ref as ref  # noqa: E402

ENTRY = 273
failures = []


def with_checksum(body):
    return struct.pack("<I", ref.checksum(body)) + body


def literal_section(content):
    """Every content byte as a literal token (9 bits), so content offsets map to known bit positions."""
    w = ref.BitWriter()
    for b in content:
        w.put(0, 1)
        w.put(b, 8)
    return w.finish()


def entry(path, data, compressed=True, kind=0, size=None, checksum=None):
    raw = path if isinstance(path, bytes) else path.encode("cp1252")
    field = (raw + bytes(260))[:260]
    return (struct.pack("<II", len(data) if size is None else size,
                        ref.checksum(data) if checksum is None else checksum)
            + field + struct.pack("<Bi", 1 if compressed else 0, kind))


def archive(entries, directory_size=None, extra_directory=b""):
    """entries: (path, data, compressed). Compressed ones first, as the writer orders them."""
    directory = struct.pack("<I", 4 + ENTRY * len(entries) if directory_size is None else directory_size)
    directory += b"".join(entry(p, d, c) for p, d, c in entries) + extra_directory
    content = directory + b"".join(d for _, d, c in entries if c)
    return literal_section(content) + b"".join(d for _, d, c in entries if not c), content


GOOD = [("<InstallPath>\\a.txt", b"alpha " * 20, True),
        ("<InstallPath>\\sub\\b.bin", bytes(range(256)), True),
        ("<SamplePath>\\c.dat", b"stored bytes" * 5, False),
        ("<CommonData>\\d.dat", b"more stored", False)]


def boundary_cuts():
    """(name, body) for a cut at every boundary of the good archive's structure, checksum made to match."""
    body, content = archive(GOOD)
    section = len(literal_section(content))
    cuts = {"directory size": 4, "first entry": 4 + ENTRY, "directory": 4 + ENTRY * len(GOOD)}
    at = cuts["directory"]
    for path, data, compressed in GOOD:
        if compressed:
            at += len(data)
            cuts["file " + path] = at
    boundaries = [("cut at content byte %d (after %s)" % (n, what), body[:(9 * n) // 8])
                  for what, n in cuts.items()]
    boundaries += [("cut one byte into content byte %d" % n, body[:(9 * n) // 8 + 1]) for n in cuts.values()]
    boundaries.append(("cut after the compressed section", body[:section]))
    boundaries.append(("cut inside the first stored file", body[:section + 5]))
    boundaries.append(("cut before the last stored byte", body[:-1]))
    boundaries.append(("one trailing byte", body + b"\0"))
    return [(name, with_checksum(b)) for name, b in boundaries]


def hostile_archives():
    rnd = random.Random(7)
    good_body, _ = archive(GOOD)
    good = with_checksum(good_body)
    cases = [
        ("empty file", b""),
        ("three bytes", b"\1\2\3"),
        ("checksum only", with_checksum(b"")),
        ("random bytes", bytes(rnd.randrange(256) for _ in range(4096))),
        ("random body, checksum matches", with_checksum(bytes(rnd.randrange(256) for _ in range(4096)))),
        ("good archive, one byte flipped", good[:50] + bytes([good[50] ^ 0x10]) + good[51:]),
        ("good archive cut without new checksum", good[:len(good) // 2]),
    ]
    cases += boundary_cuts()
    one = [("<InstallPath>\\x.txt", b"x" * 10, True)]
    cases += [
        ("directory size not 4 + 273 n", with_checksum(archive(one, directory_size=5)[0])),
        ("directory size of a million entries", with_checksum(archive(one, directory_size=4 + ENTRY * 1000001)[0])),
        ("directory size of 900000 entries", with_checksum(archive(one, directory_size=4 + ENTRY * 900000)[0])),
        ("directory size 0xFFFFFFFF", with_checksum(archive(one, directory_size=0xFFFFFFFF)[0])),
    ]
    huge = [
        ("compressed entry of 4 GiB - 1", [entry("<InstallPath>\\h", b"", True, size=0xFFFFFFFF)], b""),
        ("stored entry of 4 GiB - 1", [entry("<InstallPath>\\h", b"", False, size=0xFFFFFFFF)], b""),
        ("stored entries summing past 4 GiB", [entry("<InstallPath>\\h%d" % i, b"", False, size=0x80000001)
                                               for i in range(2)], b"abc"),
        ("unknown kind", [entry("<InstallPath>\\k", b"k", True, kind=-7)], b"k"),
        ("path of 260 bytes without zero", [entry(b"<InstallPath>\\" + b"p" * 246, b"p", True)], b"p"),
    ]
    for name, entries, files in huge:
        content = struct.pack("<I", 4 + ENTRY * len(entries)) + b"".join(entries)
        compressed = all(e[268] == 1 for e in entries)
        body = literal_section(content + (files if compressed else b"")) + (b"" if compressed else files)
        cases.append((name, with_checksum(body)))
    return cases


UNSAFE_DESTINATIONS = [
    "C:\\Windows\\evil.dll",
    "\\evil.txt",
    "..\\evil.txt",
    "<InstallPath>\\..\\..\\evil.txt",
    "<InstallPath>\\sub\\..\\..\\evil.txt",
    "<InstallPath>\\a/../../evil.txt",
    "<InstallPath>\\.\\evil.txt",
    "<InstallPath>\\\\evil.txt",
    "<InstallPath>\\evil.txt\\",
    "/etc/evil",
    "<InstallPath>\\con.txt",
    "<InstallPath>\\dot.",
    "<InstallPath>\\" + "\x01ctl",
]


def snapshot(folder):
    """Every path below folder's parent with its type and content: the destination and its neighbours."""
    parent = os.path.dirname(folder)
    found = {}
    for root, dirs, files in os.walk(parent, followlinks=False):
        for name in dirs + files:
            path = os.path.join(root, name)
            rel = os.path.relpath(path, parent)
            if os.path.islink(path):
                found[rel] = "link -> " + os.readlink(path)
            elif os.path.isdir(path):
                found[rel] = "folder"
            else:
                with open(path, "rb") as f:
                    found[rel] = f.read()
    return found


def expect_failure(name, args, folder, message):
    before = snapshot(folder)
    result = subprocess.run([MKPAYLOAD] + args, capture_output=True, timeout=120)
    after = snapshot(folder)
    err = result.stderr.decode(errors="replace")
    problems = []
    if result.returncode != 1:
        problems.append("exit %d" % result.returncode)
    if message not in err:
        problems.append("no %r in the error output %r" % (message, err[:300]))
    if before != after:
        changed = sorted(set(before.items()) ^ set(after.items()), key=str)
        problems.append("files changed: %s" % [k for k, _ in changed][:6])
    if problems:
        failures.append("%s (%s): %s" % (name, args[0], "; ".join(problems)))


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def main():
    root = fresh(os.path.abspath(WORK))
    # The destination folder holds a file of its own; its parent holds the archive and a neighbour.
    dest = os.path.join(root, "dest")
    os.makedirs(os.path.join(dest, "<InstallPath>"))
    with open(os.path.join(dest, "<InstallPath>", "keep.txt"), "wb") as f:
        f.write(b"the user's file")
    with open(os.path.join(root, "neighbour.txt"), "wb") as f:
        f.write(b"next to the destination")
    bad = os.path.join(root, "bad.bin")

    for name, data in hostile_archives():
        with open(bad, "wb") as f:
            f.write(data)
        for command in ("verify", "list"):
            expect_failure(name, [command, bad], dest, "error")
        expect_failure(name, ["extract", bad, dest], dest, "error")

    for destination in UNSAFE_DESTINATIONS:
        body, _ = archive([("<InstallPath>\\fine.txt", b"fine", True), (destination, b"evil", True)])
        with open(bad, "wb") as f:
            f.write(with_checksum(body))
        expect_failure(destination, ["extract", bad, dest], dest, "error")
        expect_failure(destination, ["verify", bad], dest, "error")

    # Sound archives whose extraction cannot complete: nothing of it may stay.
    for name, entries in [
        ("a file, then a folder of the same name", [("<InstallPath>\\f", b"file", True),
                                                    ("<InstallPath>\\f\\g", b"below", True)]),
        ("a new folder, then a file where the user's file is a folder",
         [("<InstallPath>\\new\\n.txt", b"n", True), ("<InstallPath>\\keep.txt\\x", b"x", True)]),
    ]:
        body, _ = archive(entries)
        with open(bad, "wb") as f:
            f.write(with_checksum(body))
        expect_failure(name, ["extract", bad, dest], dest, "cannot write")
        if name.startswith("a file, then"):
            expect_failure(name + ", into a new folder", ["extract", bad, os.path.join(dest, "new", "deeper")],
                           dest, "cannot write")

    # A link inside the destination that leads out of it: nothing is written through it.
    outside = fresh(os.path.join(root, "outside"))
    os.symlink(outside, os.path.join(dest, "<CommonData>"))
    body, _ = archive([("<InstallPath>\\fine.txt", b"fine", True), ("<CommonData>\\evil.txt", b"evil", True)])
    with open(bad, "wb") as f:
        f.write(with_checksum(body))
    expect_failure("link in the destination", ["extract", bad, dest], dest, "symbolic link")
    os.remove(os.path.join(dest, "<CommonData>"))

    # Destinations of 259 bytes (the longest the archive carries) extract; the archive writer refuses 260.
    long_name = "<InstallPath>\\" + "L" * 245
    body, _ = archive([(long_name, b"long", True)])
    with open(bad, "wb") as f:
        f.write(with_checksum(body))
    ok = fresh(os.path.join(root, "ok"))
    result = subprocess.run([MKPAYLOAD, "extract", bad, ok], capture_output=True)
    if result.returncode != 0 or not os.path.isfile(os.path.join(ok, "<InstallPath>", "L" * 245)):
        failures.append("259-byte destination: exit %d %s" % (result.returncode, result.stderr[:200]))

    # Hostile manifests: no archive and no temporary file may appear.
    src = fresh(os.path.join(root, "manifests"))
    os.makedirs(os.path.join(src, "folder"))
    with open(os.path.join(src, "f.txt"), "wb") as f:
        f.write(b"f")
    out = os.path.join(dest, "out.bin")
    rnd = random.Random(11)
    manifests = [
        ("random bytes", bytes(rnd.randrange(256) for _ in range(2048)), "m.txt:1: "),
        ("one line of a megabyte", b"0\tcompress\t<InstallPath>\\" + b"x" * 1000000 + b"\tf.txt\n", "destination"),
        ("a million fields", b"0" + b"\t" * 1000000 + b"\n", "field"),
        ("source is a folder", b"0\tcompress\t<InstallPath>\\a\tfolder\n", "source"),
        ("missing source", b"0\tcompress\t<InstallPath>\\a\tmissing.txt\n", "source"),
        ("huge kind", b"99999999999999999999\tcompress\t<InstallPath>\\a\tf.txt\n", "kind"),
        ("negative kind", b"-1\tcompress\t<InstallPath>\\a\tf.txt\n", "kind"),
        ("destination of 260 bytes", b"0\tstore\t<InstallPath>\\" + b"y" * 246 + b"\tf.txt\n", "260 bytes"),
        ("absolute destination", b"0\tstore\tC:\\evil.txt\tf.txt\n", "placeholder"),
        ("'..' destination", b"0\tstore\t<InstallPath>\\..\\evil.txt\tf.txt\n", "'..'"),
        ("duplicate destination", b"0\tstore\t<InstallPath>\\a\tf.txt\n0\tstore\t<InstallPath>\\A\tf.txt\n",
         "duplicate"),
    ]
    for name, text, message in manifests:
        manifest = os.path.join(src, "m.txt")
        with open(manifest, "wb") as f:
            f.write(text)
        expect_failure("manifest: " + name, ["build", manifest, "-o", out], dest, message)
    good = os.path.join(src, "good.txt")
    with open(good, "wb") as f:
        f.write(b"0\tstore\t<InstallPath>\\a\tf.txt\n")
    expect_failure("output is a folder", ["build", good, "-o", os.path.join(dest, "<InstallPath>")], dest,
                   "cannot")
    expect_failure("output in a missing folder", ["build", good, "-o", os.path.join(dest, "no", "out.bin")], dest,
                   "cannot")
    expect_failure("missing manifest", ["build", os.path.join(src, "none.txt"), "-o", out], dest, "cannot read")
    expect_failure("manifest is a folder", ["build", src, "-o", out], dest, "cannot read")
    expect_failure("archive is a folder", ["verify", src], dest, "cannot read")

    if failures:
        print("\n".join(failures))
        return 1
    print("hostile payload cases: all failed cleanly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
