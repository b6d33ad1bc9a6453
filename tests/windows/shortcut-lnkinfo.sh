#!/usr/bin/env bash
# shortcut-lnkinfo.sh WINE_RUN BUILD_TREE MAKE_SHORTCUT_EXE SCRATCH_FOLDER
# Makes a link to a program under Wine, then checks with lnkinfo that it names the program and its folder.
set -euo pipefail
wine_run=$1 tree=$2 program=$3 scratch=$4

rm -rf "$scratch"
mkdir -p "$scratch/Sarventa 5" "$scratch/Menu"
printf 'MZ' >"$scratch/Sarventa 5/Sarventa.exe"
win=Z:$(printf '%s' "$scratch" | tr / '\\')

output=$("$wine_run" "$tree" "$program" "$win\\Sarventa 5\\Sarventa.exe" "$win\\Menu" "Sarventa 5.23" | tr -d '\r')
expected="$win\\Menu\\Sarventa 5.23.lnk"
if [ "$output" != "$expected" ]; then
  echo "make-shortcut printed '$output', expected '$expected'" >&2
  exit 1
fi

# lnkinfo aligns its fields with tabs: one space each, none at the start.
info=$(lnkinfo "$scratch/Menu/Sarventa 5.23.lnk" | sed -e 's/[[:space:]]\+/ /g' -e 's/^ //')
echo "$info"
fail=0
grep -qixF "Local path : $win\\Sarventa 5\\Sarventa.exe" <<<"$info" || { echo "target not found" >&2; fail=1; }
grep -qixF "Working directory : $win\\Sarventa 5" <<<"$info" || { echo "working folder not found" >&2; fail=1; }
rm -rf "$scratch"
exit $fail
