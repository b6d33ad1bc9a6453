#!/usr/bin/env bash
# Extraction speed under Wine: payload-extract.exe unpacking a large payload (about 75 MB of DLLs, text and
# already compressed files) against Wine's xcopy copying the same files. Prints both times and the ratio
# from one run. The payload is built once and reused (delete build/bench/wine-extract to rebuild it).
#
#   bench/wine-extract.sh [BUILD_TREE]     (default build/win64)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/win64}
work=$root/build/bench/wine-extract
src=$work/files
archive=$work/payload.bin

# The tools: the native mkpayload and the Windows payload-extract.exe.
mkpayload=
for m in build/native/tools/mkpayload "$build/host/tools/mkpayload"; do
  if [ -x "$m" ]; then mkpayload=$root/$m; break; fi
done
extractor=$build/tools/payload-extract/payload-extract.exe
if [ -z "$mkpayload" ] || [ ! -f "$extractor" ]; then
  echo "== Building mkpayload and payload-extract"
  [ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
  cmake --build "$build" -j2 --target host_tools payload-extract
  mkpayload=$root/$build/host/tools/mkpayload
fi

make_files() {
  rm -rf "$src"
  mkdir -p "$src/dll" "$src/text" "$src/packed"
  # Real PE files: Wine's own DLLs, in name order, up to about 45 MB.
  local total=0 f size
  for f in /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/*.dll; do
    size=$(stat -c %s "$f")
    if [ "$size" -gt 4000000 ]; then continue; fi
    cp "$f" "$src/dll/"
    total=$((total + size))
    if [ "$total" -ge 45000000 ]; then break; fi
  done
  # Text (about 18 MB) and already compressed files (about 12 MB), made from a fixed seed.
  python3 - "$src" <<'EOF'
import gzip, random, sys
root = sys.argv[1]
rng = random.Random(20261207)
words = ("install folder archive payload window dialog registry value shortcut desktop program files "
         "common data sample checksum extract verify language wizard progress update version publisher").split()
def text(n):
    out, size = [], 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(6, 16))) + "\n"
        out.append(line)
        size += len(line)
    return "".join(out).encode()
for i in range(180):
    with open(f"{root}/text/doc{i:03}.txt", "wb") as f:
        f.write(text(100_000))
for i in range(60):
    noisy = rng.randbytes(120_000) + text(200_000)
    with open(f"{root}/packed/pack{i:02}.gz", "wb") as f:
        f.write(gzip.compress(noisy, 6, mtime=0))
EOF
  # The manifest: compressible files compressed, the .gz files stored.
  {
    echo "# Benchmark payload"
    (cd "$src" && find . -type f ! -name payload.manifest | sort | sed 's|^\./||') | while read -r rel; do
      storage=compress
      case $rel in *.gz) storage=store ;; esac
      printf '0\t%s\t<InstallPath>\\%s\t%s\n' "$storage" "${rel//\//\\}" "$rel"
    done
  } >"$src/payload.manifest"
}

if [ ! -f "$archive" ] || [ ! -f "$work/ready" ]; then
  echo "== Making the benchmark files in $src"
  rm -f "$work/ready"
  make_files
  echo "== Building the payload"
  "$mkpayload" build "$src/payload.manifest" -o "$archive"
  touch "$work/ready"
fi
files=$(grep -vc '^#' "$src/payload.manifest")
echo "payload: $(stat -c %s "$archive") bytes, $files files, $(du -sb --exclude=payload.manifest "$src" | cut -f1) bytes of content"

# Wine sees the build tree through drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }

trap 'scripts/wine-run --stop "$build" >/dev/null 2>&1 || true' EXIT
scripts/wine-run --start "$build"
scripts/wine-run "$build" cmd /c exit </dev/null >/dev/null 2>&1 || true

# Prints the seconds a command takes (to 1 ms).
timed() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" </dev/null >"$work/last.log" 2>&1 || { cat "$work/last.log" >&2; return 1; }
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}

rm -rf "$work/out-extract" "$work/out-copy"
sync
extract_ms=$(timed scripts/wine-run "$build" "$extractor" "$(winpath "$archive")" "$(winpath "$work/out-extract")")
copy_ms=$(timed scripts/wine-run "$build" cmd /c xcopy "$(winpath "$src")" "$(winpath "$work/out-copy")" /E /I /Q /Y)

# The extracted tree must be the source tree, or the timing means nothing.
if ! diff -rq -x payload.manifest "$src" "$work/out-extract" >/dev/null; then
  echo "wine-extract: the extracted files differ from the source files" >&2
  exit 1
fi

echo "payload-extract.exe: ${extract_ms} ms"
echo "xcopy:               ${copy_ms} ms"
awk -v e="$extract_ms" -v c="$copy_ms" 'BEGIN { printf "ratio extract/copy:  %.2f\n", (c > 0 ? e / c : 0) }'
rm -rf "$work/out-extract" "$work/out-copy"
