#!/usr/bin/env bash
# mkpayload build speed on the PE files (Wine's DLLs) of the bench/wine-extract.sh payload, with 1 and with 2
# threads, rounds interleaved: medians of wall clock and CPU time, MB/s, and a check that the archives of
# every thread count are the same bytes.
#
#   bench/mkpayload-speed.sh [ROUNDS]     (default 5; needs build/native and bench/wine-extract.sh's files)
#
# QU_MKPAYLOAD names another mkpayload; QU_THREADS the thread counts (default "1 2"; "-" runs it without
# --threads, for a build that has no such option).
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
for round in $(seq 1 "$rounds"); do
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
python3 - "$work/times" "$bytes" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
size = int(sys.argv[2]) / 1e6
for t in dict.fromkeys(r[0] for r in rows):
    wall = statistics.median(float(r[1]) for r in rows if r[0] == t)
    cpu = statistics.median(float(r[2]) + float(r[3]) for r in rows if r[0] == t)
    print(f"{t} thread(s): wall {wall:6.2f} s = {size / wall:5.1f} MB/s, CPU {cpu:6.2f} s = {size / cpu:5.1f} MB/s of CPU time")
PY
