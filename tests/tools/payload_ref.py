#!/usr/bin/env python3
"""Independent reference reader and writer of payload archives (Python 3, standard library only).

Archive: 4-byte little-endian checksum of everything after it, then the compressed section (a bit stream,
most significant bit first, of tokens: flag bit; when set, 12-bit window position and 5-bit length - 1;
then an 8-bit literal), then the stored section. The content stream is the directory (4-byte size D, then
273-byte entries: size, checksum, 260-byte zero-terminated path, storage flag, kind) followed by the files.

Commands:

  payload_ref.py decode ARCHIVE OUTDIR
      Checks the archive checksum, decodes everything, checks every file checksum and writes each file to
      OUTDIR/<Placeholder>/dir/name (backslashes become folders, placeholders stay folder names), as
      `mkpayload extract` does. Exit status 0 on success, 1 on any problem (printed).

  payload_ref.py write OUT [--entry KIND:STORAGE:DESTINATION:SOURCEFILE ...] [--signed DIR] [--manifest FILE]
      Writes an archive. STORAGE is compress or store (case-insensitive); DESTINATION is the path stored
      in the archive, e.g. '<InstallPath>\\Lang\\x.dll' (UTF-8 on the command line, stored in code page
      1252); SOURCEFILE is the file to pack (it may contain ':'). --manifest reads a TAB-separated manifest
      (KIND STORAGE DESTINATION SOURCE [sign], # comments, 'auto' counts as compress; a --signed DIR given
      before it supplies the entries marked 'sign' from DIR/SOURCE). Compressed entries are
      placed first, zero-length files are always stored. The encoder is a simple greedy one, so the bytes
      differ from mkpayload's while the decoded files are the same.

  payload_ref.py list ARCHIVE
      Prints one line per entry: kind, storage, size, checksum, path.
"""

import os
import struct
import sys

WINDOW = 4096
ENTRY = 273


def checksum(data, value=0):
    for b in data:
        value = (value * 33 + b) & 0xFFFFFFFF
    return value or 592952593


class Bits:
    """Reads fields most significant bit first."""

    def __init__(self, data):
        self.data = data
        self.pos = 0  # bit position

    def take(self, count):
        if self.pos + count > len(self.data) * 8:
            raise ValueError("compressed section ends inside a token")
        value = 0
        for _ in range(count):
            byte = self.data[self.pos >> 3]
            value = (value << 1) | ((byte >> (7 - (self.pos & 7))) & 1)
            self.pos += 1
        return value


class Window:
    """The 4096-byte ring of recent output."""

    def __init__(self):
        self.ring = bytearray(WINDOW)
        self.count = 0  # bytes produced

    def token(self, bits):
        out = bytearray()
        if bits.take(1):
            position = bits.take(12)
            length = bits.take(5) + 1
            if self.count < WINDOW:
                if position + length > self.count:
                    raise ValueError("reference outside the window at content byte %d" % self.count)
                start = position
            else:
                start = self.count % WINDOW  # the oldest byte's slot
            for k in range(length):
                out.append(self.ring[(start + position + k) % WINDOW] if self.count >= WINDOW
                           else self.ring[start + k])
        out.append(bits.take(8))
        for b in out:
            self.ring[self.count % WINDOW] = b
            self.count += 1
        return out


def parse_entry(raw):
    size, check = struct.unpack_from("<II", raw, 0)
    path = raw[8:268]
    if 0 not in path:
        raise ValueError("path without terminating zero")
    path = path[:path.index(0)]
    compressed = raw[268] != 0
    (kind,) = struct.unpack_from("<i", raw, 269)
    return {"size": size, "checksum": check, "path": path, "compressed": compressed, "kind": kind}


def read_archive(data):
    """Returns (entries, contents); raises ValueError on any problem."""
    if len(data) < 4:
        raise ValueError("archive shorter than 4 bytes")
    (stored_sum,) = struct.unpack_from("<I", data, 0)
    if checksum(data[4:]) != stored_sum:
        raise ValueError("archive checksum mismatch")
    body = data[4:]
    bits = Bits(body)
    window = Window()
    content = bytearray()

    def produce(n):
        while len(content) < n:
            content.extend(window.token(bits))

    produce(4)
    (dsize,) = struct.unpack_from("<I", content, 0)
    if dsize < 4 or (dsize - 4) % ENTRY:
        raise ValueError("invalid directory size %d" % dsize)
    if dsize > len(body) * 8 // 26 * 33 + 33:
        raise ValueError("directory size %d larger than the archive" % dsize)
    produce(dsize)
    entries = [parse_entry(content[4 + i * ENTRY:4 + (i + 1) * ENTRY]) for i in range((dsize - 4) // ENTRY)]
    flags = [e["compressed"] for e in entries]
    if flags != sorted(flags, reverse=True):
        raise ValueError("a compressed entry follows a stored one")
    for e in entries:
        if not 0 <= e["kind"] <= 4:
            raise ValueError("unknown kind %d" % e["kind"])
    compressed_total = dsize + sum(e["size"] for e in entries if e["compressed"])
    produce(compressed_total)
    if len(content) != compressed_total:
        raise ValueError("last token runs past the compressed content")
    stored = body[(bits.pos + 7) // 8:]
    stored_total = sum(e["size"] for e in entries if not e["compressed"])
    if len(stored) != stored_total:
        raise ValueError("stored section has %d bytes for %d" % (len(stored), stored_total))
    contents = []
    at_c, at_s = dsize, 0
    for e in entries:
        if e["compressed"]:
            piece = bytes(content[at_c:at_c + e["size"]])
            at_c += e["size"]
        else:
            piece = bytes(stored[at_s:at_s + e["size"]])
            at_s += e["size"]
        if e["checksum"] and checksum(piece) != e["checksum"]:
            raise ValueError("checksum mismatch for %r" % e["path"])
        contents.append(piece)
    return entries, contents


def native_path(path):
    parts = path.decode("cp1252").split("\\")
    for p in parts:
        if p in ("", ".", "..") or "/" in p or ":" in p:
            raise ValueError("unsafe path %r" % path)
    return os.path.join(*parts)


def decode(archive, outdir):
    with open(archive, "rb") as f:
        entries, contents = read_archive(f.read())
    for e, piece in zip(entries, contents):
        target = os.path.join(outdir, native_path(e["path"]))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(piece)


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, count):
        self.acc = (self.acc << count) | value
        self.n += count
        while self.n >= 8:
            self.n -= 8
            self.out.append((self.acc >> self.n) & 0xFF)
        self.acc &= (1 << self.n) - 1

    def finish(self):
        if self.n:
            self.out.append((self.acc << (8 - self.n)) & 0xFF)
        return bytes(self.out)


def greedy_encode(data):
    """Greedy parse: the longest match among the 8 most recent sources with the same 3 bytes."""
    w = BitWriter()
    recent = {}
    n = len(data)
    i = 0

    def remember(j):
        if j + 3 <= n:
            lst = recent.setdefault(data[j:j + 3], [])
            lst.append(j)
            if len(lst) > 8:
                del lst[0]

    while i < n:
        best, src = 0, 0
        for s in reversed(recent.get(data[i:i + 3], [])):
            if s < i - WINDOW:
                continue
            cap = min(32, n - i - 1, i - s)
            length = 0
            while length < cap and data[s + length] == data[i + length]:
                length += 1
            if length > best:
                best, src = length, s
        if best >= 3:
            position = src if i < WINDOW else src - (i - WINDOW)
            w.put(1, 1)
            w.put(position, 12)
            w.put(best - 1, 5)
        else:
            best = 0
            w.put(0, 1)
        w.put(data[i + best], 8)
        for j in range(i, i + best + 1):
            remember(j)
        i += best + 1
    return w.finish()


def write(out, entries):
    """entries: list of (kind, compress, destination bytes, data)."""
    entries = [(k, c and len(d) > 0, p, d) for k, c, p, d in entries]
    ordered = [e for e in entries if e[1]] + [e for e in entries if not e[1]]
    directory = bytearray(struct.pack("<I", 4 + ENTRY * len(ordered)))
    for kind, comp, path, data in ordered:
        if len(path) >= 260:
            raise ValueError("path too long: %r" % path)
        directory += struct.pack("<II", len(data), checksum(data))
        directory += path + bytes(260 - len(path))
        directory += struct.pack("<Bi", 1 if comp else 0, kind)
    content = bytes(directory) + b"".join(d for _, c, _, d in ordered if c)
    body = greedy_encode(content) + b"".join(d for _, c, _, d in ordered if not c)
    with open(out, "wb") as f:
        f.write(struct.pack("<I", checksum(body)) + body)


def main(argv):
    if len(argv) == 3 and argv[0] == "decode":
        try:
            decode(argv[1], argv[2])
        except (ValueError, OSError, UnicodeDecodeError) as e:
            print("error: %s" % e, file=sys.stderr)
            return 1
        return 0
    if len(argv) == 2 and argv[0] == "list":
        with open(argv[1], "rb") as f:
            entries, _ = read_archive(f.read())
        for e in entries:
            print("%d %s %d %08X %s" % (e["kind"], "compress" if e["compressed"] else "store", e["size"],
                                        e["checksum"], e["path"].decode("cp1252")))
        return 0
    if len(argv) >= 2 and argv[0] == "write":
        out, rest, entries, signed = argv[1], argv[2:], [], None
        while rest:
            if rest[0] == "--entry" and len(rest) >= 2:
                kind, storage, dest, source = rest[1].split(":", 3)
                with open(source, "rb") as f:
                    entries.append((int(kind), storage.lower() == "compress", dest.encode("cp1252"), f.read()))
            elif rest[0] == "--signed" and len(rest) >= 2:
                signed = rest[1]
            elif rest[0] == "--manifest" and len(rest) >= 2:
                base = os.path.dirname(rest[1])
                with open(rest[1], encoding="utf-8-sig") as f:
                    for line in f:
                        line = line.rstrip("\r\n")
                        if not line.strip() or line.lstrip().startswith("#"):
                            continue
                        kind, storage, dest, source, *sign = line.split("\t")
                        folder = signed if sign == ["sign"] and signed else base
                        with open(os.path.join(folder, source), "rb") as g:
                            entries.append((int(kind), storage.strip() != "store", dest.encode("cp1252"), g.read()))
            else:
                print(__doc__, file=sys.stderr)
                return 2
            rest = rest[2:]
        write(out, entries)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
