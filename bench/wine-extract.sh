#!/usr/bin/env bash
# Extraction speed under Wine: payload-extract.exe unpacking a large payload (about 75 MB of DLLs, text and
# already compressed files) against Wine's xcopy copying the same files, in the same run. Each round times
#   - the extraction as the installer does it, without printing (payload-extract --quiet --timings), with
#     its phases: archive checksum pass, decoding, file calls, writes, verification;
#   - the tool printing every event into a file, in blocks;
#   - xcopy of the source files;
#   - optionally an older payload-extract.exe (QU_BENCH_BEFORE=path), printing every event;
#   - the wizard's own cost: the install sequence's extraction with the real progress page (status line,
#     log box line per file, progress bar) against a progress side that does nothing (wizard-cost.exe;
#     QU_BENCH_WIZARD=0 leaves it out).
# and prints the medians of QU_BENCH_RUNS rounds (default 7) and the machine's load. The payload is built
# once and reused (delete build/bench/wine-extract to rebuild it).
#
#   bench/wine-extract.sh [BUILD_TREE]     (default build/win64)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/win64}
work=$root/build/bench/wine-extract
src=$work/files
archive=$work/payload.bin

# The tools: the native mkpayload, the Windows payload-extract.exe and wizard-cost.exe (brought up to date).
echo "== Building mkpayload, payload-extract and wizard-cost"
[ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
nice -n 10 cmake --build "$build" -j2 --target host_tools payload-extract wizard-cost >/dev/null
mkpayload=$root/$build/host/tools/mkpayload
extractor=$build/tools/payload-extract/payload-extract.exe
wizard=$build/bench/windows/wizard-cost.exe

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

# Milliseconds a command takes (wall clock, the Wine process start included, as for xcopy).
timed() {
  local t0 t1 log=$1
  shift
  t0=$(date +%s%N)
  "$@" </dev/null >"$log" 2>&1 || { cat "$log" >&2; return 1; }
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000000 ))
}

runs=${QU_BENCH_RUNS:-7}
before=${QU_BENCH_BEFORE:-}
results=$work/results.txt
: >"$results"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$runs"); do
  rm -rf "$work/out-extract" "$work/out-print" "$work/out-copy" "$work/out-before"
  sync
  quiet_ms=$(timed "$work/quiet.log" scripts/wine-run "$build" "$extractor" --quiet --timings \
    "$(winpath "$archive")" "$(winpath "$work/out-extract")")
  print_ms=$(timed "$work/print.log" scripts/wine-run "$build" "$extractor" \
    "$(winpath "$archive")" "$(winpath "$work/out-print")")
  copy_ms=$(timed "$work/copy.log" scripts/wine-run "$build" cmd /c xcopy "$(winpath "$src")" \
    "$(winpath "$work/out-copy")" /E /I /Q /Y)
  page_ms=0 null_ms=0
  if [ -f "$wizard" ] && [ "${QU_BENCH_WIZARD:-1}" != 0 ]; then
    rm -rf "$work/out-wizard"
    scripts/wine-run "$build" "$wizard" page "$(winpath "$archive")" "$(winpath "$work/out-wizard")" \
      </dev/null >"$work/wizard.log" 2>&1 || { cat "$work/wizard.log" >&2; exit 1; }
    page_ms=$(tr -d '\r' <"$work/wizard.log" | awk '/^wizard-cost/ { print $4 }')
    rm -rf "$work/out-wizard"
    scripts/wine-run "$build" "$wizard" null "$(winpath "$archive")" "$(winpath "$work/out-wizard")" \
      </dev/null >"$work/wizard.log" 2>&1 || { cat "$work/wizard.log" >&2; exit 1; }
    null_ms=$(tr -d '\r' <"$work/wizard.log" | awk '/^wizard-cost/ { print $4 }')
    rm -rf "$work/out-wizard"
  fi
  before_ms=0
  if [ -n "$before" ]; then
    before_ms=$(timed "$work/before.log" scripts/wine-run "$build" "$before" \
      "$(winpath "$archive")" "$(winpath "$work/out-before")")
  fi
  # The extracted trees must be the source tree, or the timing means nothing.
  for out in out-extract out-print; do
    if ! diff -rq -x payload.manifest "$src" "$work/$out" >/dev/null; then
      echo "wine-extract: the files extracted into $out differ from the source files" >&2
      exit 1
    fi
  done
  phases=$(grep '^timings ' "$work/quiet.log" | tr -d '\r')
  lines=$(grep -c '^EXTRACT_' "$work/print.log" || true)
  echo "$quiet_ms $print_ms $copy_ms $before_ms $lines $page_ms $null_ms $phases" >>"$results"
  echo "round $round: quiet ${quiet_ms} ms, printing ${print_ms} ms, xcopy ${copy_ms} ms$([ -n "$before" ] && echo ", before ${before_ms} ms"); load $(cut -d' ' -f1 /proc/loadavg)"
done
rm -rf "$work/out-extract" "$work/out-print" "$work/out-copy" "$work/out-before"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$results" "$runs" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
med = lambda xs: statistics.median(xs)
col = lambda k: [float(r[k]) for r in rows]
quiet, printing, copy, before = col(0), col(1), col(2), col(3)
lines = int(rows[0][4])
page, null = col(5), col(6)
# "timings checksum A loop B decode C files D writes E verify F total G files N"
# (the second "files" is the number of files)
phase = {}
for r in rows:
    t = r[7:]
    seen = set()
    for k in range(1, len(t) - 1, 2):
        name = t[k] if t[k] not in seen else "n" + t[k]
        seen.add(t[k])
        phase.setdefault(name, []).append(float(t[k + 1]))
print(f"medians of {sys.argv[2]} rounds ({lines} event lines when printing)")
print(f"  payload-extract --quiet (the installer's work)   {med(quiet):8.0f} ms")
for name, label in (("checksum", "archive checksum pass"), ("decode", "decoding"), ("files", "file calls"),
                    ("writes", "writes"), ("verify", "verification"), ("total", "inside the process")):
    if name in phase:
        print(f"    {label:<44} {med(phase[name]):8.1f} ms")
print(f"  payload-extract printing every event, in blocks {med(printing):8.0f} ms")
if any(before):
    print(f"  older payload-extract printing every event      {med(before):8.0f} ms")
print(f"  xcopy of the same files                         {med(copy):8.0f} ms")
print(f"  ratio quiet / xcopy: median of the rounds {med([q / c for q, c in zip(quiet, copy)]):.2f}, "
      f"of the medians {med(quiet) / med(copy):.2f}")
print(f"  ratio printing / xcopy: median of the rounds {med([p / c for p, c in zip(printing, copy)]):.2f}")
if any(before):
    print(f"  ratio older / xcopy: median of the rounds {med([b / c for b, c in zip(before, copy)]):.2f}")
if any(page):
    nfiles = int(phase["nfiles"][0])
    print(f"  the install sequence's extraction with the real progress page {med(page):8.0f} ms, "
          f"with a null progress side {med(null):8.0f} ms")
    print(f"  the wizard's own cost: {med([p - n for p, n in zip(page, null)]):.0f} ms in all, "
          f"{1000 * med([p - n for p, n in zip(page, null)]) / nfiles:.0f} us per file ({nfiles} files)")
PY
