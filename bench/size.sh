#!/usr/bin/env bash
# Sizes of the shipped programs of a build tree: setup.exe, its payload archive, the overhead (setup.exe
# without the payload) split into the program's code and data and its other resources, and the demo's
# programs that the payload carries. Builds them first.
#
#   bench/size.sh [BUILD_TREE]     (default build/win32, the shipped 32-bit build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/win32}
[ -f "$build/CMakeCache.txt" ] || cmake --preset "$(basename "$build")" >/dev/null
cmake --build "$build" -j2 --target setup >/dev/null

python3 - "$build" <<'PY'
import os, subprocess, sys
build = sys.argv[1]
def sections(exe):
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-h", exe], capture_output=True, text=True, check=True).stdout
    return {p[1]: int(p[2], 16) for p in (l.split() for l in out.splitlines()) if len(p) >= 7 and p[0].isdigit()}
setup, payload = f"{build}/app/setup.exe", f"{build}/res/payload.bin"
size, pay = os.path.getsize(setup), os.path.getsize(payload)
s = sections(setup)
rsrc = s.get(".rsrc", 0)
print(f"setup.exe                        {size:>9,} bytes")
print(f"  payload archive                {pay:>9,}")
print(f"  overhead (setup.exe - payload) {size - pay:>9,}")
print(f"    other resources              {rsrc - pay:>9,}  (texts, dialogs, icons, bitmap, manifest, version)")
print(f"    code, data and headers       {size - rsrc:>9,}  (.text {s.get('.text', 0):,}, unwind tables "
      f"{s.get('.eh_fram', 0) + s.get('.pdata', 0) + s.get('.xdata', 0):,}, .rdata {s.get('.rdata', 0):,})")
for name in ("Plankora.exe", "Uninstall.exe"):
    print(f"demo/{name:<27} {os.path.getsize(f'{build}/demo/{name}'):>9,} bytes")
PY
