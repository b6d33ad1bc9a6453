#!/usr/bin/env bash
# mkpayload build speed on the PE files (Wine's DLLs) of the bench/wine-extract.sh payload, with 1 and with 2
# threads, rounds interleaved: medians of wall clock and CPU time, MB/s, and a check that the archives of
# every thread count are the same bytes.
#
#   bench/mkpayload-speed.sh [ROUNDS]     (default 5; needs build/native and bench/wine-extract.sh's files)
#
# QU_MKPAYLOAD names another mkpayload; QU_THREADS the thread counts (default "1 2"; "-" runs it without
# --threads, for a build that has no such option). QU_MKPAYLOAD_BEFORE names an older mkpayload (run without
# --threads) timed in the same rounds, first in each, and reported as "before" with the speed-up against it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-5}
counts=${QU_THREADS:-1 2}
mkpayload=${QU_MKPAYLOAD:-$root/build/native/tools/mkpayload}
files=$root/build/bench/wine-extract/files
[ -d "$files/dll" ] || { echo "mkpayload-speed: run bench/wine-extract.sh once to make $files" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
manifest=$files/../pe.manifest  # sources relative to the manifest's folder
grep 'dll\\' "$files/payload.manifest" | sed 's#\tdll/#\tfiles/dll/#' >"$manifest"
bytes=$(du -sb "$files/dll" | cut -f1)
echo "PE input: $bytes bytes; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
before=${QU_MKPAYLOAD_BEFORE:-}
for round in $(seq 1 "$rounds"); do
  if [ -n "$before" ]; then
    /usr/bin/time -f "before %e %U %S" -o "$work/time" "$before" build "$manifest" -o "$work/before.bin" >/dev/null
    cat "$work/time" >>"$work/times"
  fi
  for threads in $counts; do
    option=(--threads "$threads")
    [ "$threads" != - ] || option=()
    /usr/bin/time -f "$threads %e %U %S" -o "$work/time" "$mkpayload" build "$manifest" \
      -o "$work/out$threads.bin" "${option[@]}" >/dev/null
    cat "$work/time" >>"$work/times"
    cmp -s "$work/out$threads.bin" "$work/out${counts%% *}.bin" ||
      { echo "mkpayload-speed: the archives differ" >&2; exit 1; }
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
if [ -n "$before" ]; then
  if cmp -s "$work/before.bin" "$work/out${counts%% *}.bin"; then echo "archive: the same bytes as before's"
  else echo "archive: differs from before's ($(stat -c %s "$work/before.bin") bytes before)"; fi
fi
python3 - "$work/times" "$bytes" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
size = int(sys.argv[2]) / 1e6
walls = {}
for t in dict.fromkeys(r[0] for r in rows):
    wall = statistics.median(float(r[1]) for r in rows if r[0] == t)
    cpu = statistics.median(float(r[2]) + float(r[3]) for r in rows if r[0] == t)
    walls[t] = [float(r[1]) for r in rows if r[0] == t]
    label = "before" if t == "before" else f"{t} thread(s)"
    print(f"{label}: wall {wall:6.2f} s = {size / wall:5.1f} MB/s, CPU {cpu:6.2f} s = {size / cpu:5.1f} MB/s of CPU time")
if "before" in walls:
    for t, w in walls.items():
        if t != "before":
            ratios = [b / x for b, x in zip(walls["before"], w)]
            print(f"speed-up of {t} thread(s) against before: median of the rounds {statistics.median(ratios):.2f}")
PY
