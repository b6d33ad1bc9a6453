#!/usr/bin/env bash
# Start-up time under Wine: from CreateProcess of setup.exe to its wizard's language page being visible
# (the frame with the language list), against the minimal dialog program (one dialog from a template,
# DialogBox, nothing else) started the same way, and against that program built with version 6 of the
# common controls and an extended combo box (what the installer's language list needs), and against the
# wizard's bare windows (wizard-floor: the frame and six pages from setup.exe's templates, the language
# list's flags and names, nothing else), the floor below which setup.exe cannot start. The wine server of
# the tree is started first and stays warm; each program runs once unmeasured, then once in each of RUNS
# rounds. Prints the medians, the difference and the medians of the rounds' ratios; QU_STARTUP_BEFORE=path
# times an older setup.exe in the same rounds.
#
#   bench/wine-startup.sh [BUILD_TREE] [RUNS]     (default build/win64, 9 runs)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/win64}
runs=${2:-9}

[ -f "$build/CMakeCache.txt" ] || cmake --preset "$(basename "$build")" >/dev/null
cmake --build "$build" -j2 --target setup minimal-dialog minimal-dialog-controls wizard-floor startup-bench >/dev/null
setup=$build/app/setup.exe
minimal=$build/bench/windows/minimal-dialog.exe
controls=$build/bench/windows/minimal-dialog-controls.exe
floor=$build/bench/windows/wizard-floor.exe
driver=$build/bench/windows/startup-bench.exe

trap 'scripts/wine-run --stop "$build" >/dev/null 2>&1 || true' EXIT
scripts/wine-run --start "$build" >/dev/null
scripts/wine-run "$build" cmd /c exit </dev/null >/dev/null 2>&1 || true

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# One start of a program, measured, in ms.
once() {
  local out path=$1
  [ "${path#/}" != "$path" ] || path=$root/$path
  out=$(scripts/wine-run "$build" "$driver" "$(winpath "$path")" 1 </dev/null 2>&1 | tr -d '\r') || {
    echo "$out" >&2
    return 1
  }
  echo "$out" | sed -n 's/^median: \([0-9.]*\) ms$/\1/p'
}

# Rounds of one start of each program (after one unmeasured start each), so that every ratio compares
# starts of the same moment of a shared machine.
programs=("$setup" "$minimal" "$controls" "$floor")
[ -z "${QU_STARTUP_BEFORE:-}" ] || programs+=("$QU_STARTUP_BEFORE")
times=$(mktemp)
trap 'rm -f "$times"; scripts/wine-run --stop "$build" >/dev/null 2>&1 || true' EXIT
for p in "${programs[@]}"; do once "$p" >/dev/null || true; done
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
for round in $(seq 1 "$runs"); do
  line=""
  for p in "${programs[@]}"; do line="$line $(once "$p")"; done
  echo "round $round:$line" >&2
  echo "$line" >>"$times"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
python3 - "$times" "$runs" <<'PY'
import statistics, sys
rows = [[float(x) for x in l.split()] for l in open(sys.argv[1]) if l.strip()]
med = [statistics.median(r[i] for r in rows) for i in range(len(rows[0]))]
print(f"setup.exe to the language page: median {med[0]:.1f} ms of {sys.argv[2]} runs")
print(f"minimal dialog program:         median {med[1]:.1f} ms of {sys.argv[2]} runs")
print(f"difference:                     {med[0] - med[1]:.1f} ms")
print(f"ratio setup.exe / minimal dialog (median of the rounds' ratios): {statistics.median(r[0] / r[1] for r in rows):.2f}")
print(f"minimal dialog with the common controls (version 6, extended combo box): median {med[2]:.1f} ms; "
      f"ratio setup.exe / it {statistics.median(r[0] / r[2] for r in rows):.2f}")
print(f"the wizard's bare windows (wizard-floor): median {med[3]:.1f} ms, ratio to the minimal dialog "
      f"{statistics.median(r[3] / r[1] for r in rows):.2f}; ratio setup.exe / it {statistics.median(r[0] / r[3] for r in rows):.2f}")
if len(med) > 4:
    print(f"before (QU_STARTUP_BEFORE):     median {med[4]:.1f} ms, ratio to the minimal dialog "
          f"{statistics.median(r[4] / r[1] for r in rows):.2f}")
PY
