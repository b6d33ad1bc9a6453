#!/usr/bin/env bash
# Start-up time under Wine: from CreateProcess of setup.exe to its wizard's language page being visible
# (the frame with the language list), against the minimal dialog program (one dialog from a template,
# DialogBox, nothing else) started the same way. The wine server of the tree is started first and stays
# warm; each program runs once unmeasured, then RUNS times. Prints both medians and the difference.
#
#   bench/wine-startup.sh [BUILD_TREE] [RUNS]     (default build/win64, 9 runs)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-build/win64}
runs=${2:-9}

[ -f "$build/CMakeCache.txt" ] || cmake --preset "$(basename "$build")" >/dev/null
cmake --build "$build" -j2 --target setup minimal-dialog startup-bench >/dev/null
setup=$build/app/setup.exe
minimal=$build/bench/windows/minimal-dialog.exe
driver=$build/bench/windows/startup-bench.exe

trap 'scripts/wine-run --stop "$build" >/dev/null 2>&1 || true' EXIT
scripts/wine-run --start "$build" >/dev/null
scripts/wine-run "$build" cmd /c exit </dev/null >/dev/null 2>&1 || true

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# Median in ms of RUNS starts of a program, after one unmeasured start.
median() {
  local out
  scripts/wine-run "$build" "$driver" "$(winpath "$root/$1")" 1 </dev/null >/dev/null 2>&1 || true
  out=$(scripts/wine-run "$build" "$driver" "$(winpath "$root/$1")" "$runs" </dev/null 2>&1 | tr -d '\r') || {
    echo "$out" >&2
    return 1
  }
  echo "$out" | sed 's/^/  /' >&2
  echo "$out" | sed -n 's/^median: \([0-9.]*\) ms$/\1/p'
}

echo "setup.exe ($build):" >&2
setup_ms=$(median "$setup")
echo "minimal dialog:" >&2
minimal_ms=$(median "$minimal")
echo "setup.exe to the language page: median ${setup_ms} ms of $runs runs"
echo "minimal dialog program:         median ${minimal_ms} ms of $runs runs"
awk -v s="$setup_ms" -v m="$minimal_ms" 'BEGIN { printf "difference:                     %.1f ms\n", s - m }'
