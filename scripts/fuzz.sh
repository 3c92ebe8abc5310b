#!/usr/bin/env bash
# Fuzzes each target for as long as asked, both at once when there are two cores or more:
#   scripts/fuzz.sh [SECONDS]        (default 60; `make fuzz FUZZ_SECONDS=600`)
# Each target keeps its corpus in build/fuzz/corpus-<target> from one run to the next, starting
# from the seeds the build writes. Exits non-zero on any finding; the input that caused it is kept
# in build/fuzz/findings/, the logs in build/fuzz/logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build/fuzz
targets=(lzw_decoder_fuzzer song_conversion_fuzzer)

scripts/fuzz-smoke.sh --build-only
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings" "$build/logs"

fuzz_one() {
    local target=$1
    mkdir -p "$build/corpus-$target"
    "$build/fuzz/$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" "$build/corpus-$target" "$build/fuzz/seeds-$target" \
        >"$build/logs/$target.log" 2>&1
}

echo "== Fuzzing ${targets[*]} for $seconds s each"
declare -A status
if (($(nproc) >= 2)); then
    declare -A pids
    for target in "${targets[@]}"; do
        fuzz_one "$target" &
        pids[$target]=$!
    done
    for target in "${targets[@]}"; do
        status[$target]=0
        wait "${pids[$target]}" || status[$target]=$?
    done
else
    for target in "${targets[@]}"; do
        status[$target]=0
        fuzz_one "$target" || status[$target]=$?
    done
fi

failed=0
for target in "${targets[@]}"; do
    executed=$(grep -Eo 'stat::number_of_executed_units: [0-9]+' "$build/logs/$target.log" | grep -Eo '[0-9]+$' || echo "?")
    if ((status[$target] == 0)); then
        echo "$target: $executed executions, nothing found"
    else
        failed=1
        tail -n 60 "$build/logs/$target.log"
        echo "$target: finding after $executed executions (log: $build/logs/$target.log, input in $build/findings/)" >&2
    fi
done
exit "$failed"
