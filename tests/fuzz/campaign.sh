#!/bin/bash
# Fuzz campaign: builds every libFuzzer target with AddressSanitizer and UndefinedBehaviorSanitizer (the
# libraries under test instrumented too, leak detection on, any undefined behaviour aborts), runs each alone
# for SECONDS seconds (default 600), merges the new interesting inputs into the committed corpora
# (tests/fuzz/corpus/<target>, -merge=1: only inputs that add coverage), and prints per target the
# executions, exec/s, coverage (cov/ft of libFuzzer's last status line), corpus size and crash/leak artifacts.
#
#   tests/fuzz/campaign.sh [SECONDS] [TARGET...]     e.g. nice -n 15 tests/fuzz/campaign.sh 600
#
# Build tree: build/fuzz-campaign; logs and artifacts: build/fuzz-campaign/runs/<target>/.
set -u
cd "$(dirname "$0")/../.."
SOURCE=$PWD
SECONDS_PER_TARGET=${1:-600}
shift || true
BUILD=$SOURCE/build/fuzz-campaign
CORPORA=$SOURCE/tests/fuzz/corpus

# Inputs larger than these teach nothing more and would bloat the committed corpora.
max_len() {
    case $1 in
    fuzz_integer) echo 64 ;;
    fuzz_merge) echo 256 ;;
    fuzz_placeholders) echo 512 ;;
    fuzz_archive) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

mkdir -p "$BUILD"
SAN="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$SOURCE" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQU_BUILD_FUZZERS=ON -DQU_BUILD_BENCH=OFF \
    "-DCMAKE_C_FLAGS=$SAN -fsanitize=fuzzer-no-link" "-DCMAKE_CXX_FLAGS=$SAN -fsanitize=fuzzer-no-link" \
    >"$BUILD/configure.log" 2>&1 || { cat "$BUILD/configure.log"; exit 1; }

if [ $# -eq 0 ]; then
    set -- $(cd tests/fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//')
fi
cmake --build "$BUILD" -j2 --target "$@" >"$BUILD/build.log" 2>&1 || { tail -50 "$BUILD/build.log"; exit 1; }

ROWS=()
STATUS=0
for target in "$@"; do
    run=$BUILD/runs/$target
    rm -rf "$run"
    mkdir -p "$run/new" "$run/artifacts" "$CORPORA/$target"
    len=$(max_len "$target")
    echo "== $target: ${SECONDS_PER_TARGET} s, -max_len=$len ($(date -u +%H:%M:%S) UTC)"
    # New inputs go to run/new; the committed corpus is read as seeds only.
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$BUILD/tests/fuzz/$target" -max_total_time="$SECONDS_PER_TARGET" -max_len="$len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -detect_leaks=1 -artifact_prefix="$run/artifacts/" \
        "$run/new" "$CORPORA/$target" >"$run/fuzz.log" 2>&1
    rc=$?
    before=$(ls "$CORPORA/$target" | wc -l)
    # Only inputs that add coverage to the committed corpus are copied into it.
    "$BUILD/tests/fuzz/$target" -merge=1 -max_len="$len" "$CORPORA/$target" "$run/new" >"$run/merge.log" 2>&1
    after=$(ls "$CORPORA/$target" | wc -l)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$run/fuzz.log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$run/fuzz.log" | tail -1)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$run/fuzz.log" | tail -1 | awk '{print $2 "/" $4}')
    bytes=$(du -sb "$CORPORA/$target" | cut -f1)
    crashes=$(find "$run/artifacts" -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' | wc -l)
    leaks=$(find "$run/artifacts" -name 'leak-*' | wc -l)
    [ "$rc" -eq 0 ] && [ "$crashes" -eq 0 ] && [ "$leaks" -eq 0 ] || STATUS=1
    echo "   exit $rc; executions ${execs:-?}, ${rate:-?}/s, cov/ft ${cov:-?}, corpus $before -> $after files" \
         "($bytes bytes), crashes $crashes, leaks $leaks"
    [ "$rc" -eq 0 ] || grep -m5 -E 'ERROR|runtime error|SUMMARY' "$run/fuzz.log" | sed 's/^/   /'
    [ "$bytes" -le 1048576 ] || echo "   warning: corpus above 1 MiB"
    ROWS+=("| \`$target\` | ${SECONDS_PER_TARGET} s | ${execs:-?} (${rate:-?}/s) | ${cov:-?} | $after files, $((bytes / 1024)) KiB | $crashes | $leaks |")
done

echo
echo "Fuzz campaign $(date -u +%Y-%m-%d), clang $(clang --version | sed -n 's/.*clang version \([0-9.]*\).*/\1/p'), ASan+UBSan, leak detection on"
echo "| Target | Time | Executions (exec/s) | cov/ft | Corpus | Crashes | Leaks |"
echo "|---|---|---|---|---|---|---|"
printf '%s\n' "${ROWS[@]}"
exit $STATUS
