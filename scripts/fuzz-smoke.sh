#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build/fuzz and runs each for a short, fixed number of runs from its seed corpus, which the build
# writes with the project's encoder. Exits non-zero on any finding; the input that caused it is
# kept in build/fuzz/findings/.
#   scripts/fuzz-smoke.sh               build, then the smoke runs
#   scripts/fuzz-smoke.sh --build-only  build only (scripts/fuzz.sh uses it)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
targets=(lzw_decoder_fuzzer song_conversion_fuzzer)
# Runs per target: each song conversion writes a MIDI file, so it is the slower one.
declare -A runs=([lzw_decoder_fuzzer]=20000 [song_conversion_fuzzer]=10000)

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMELDRIX_FUZZ=ON -DMELDRIX_SANITIZE=ON -DMELDRIX_TESTS=OFF -DMELDRIX_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" fuzz_seed_corpus
[[ "${1:-}" == "--build-only" ]] && exit 0

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings"
for target in "${targets[@]}"; do
    # New inputs of this run go to a scratch folder, so every smoke run starts from the seeds.
    scratch="$build/smoke-$target"
    rm -rf "$scratch"
    mkdir -p "$scratch"
    echo "== $target: ${runs[$target]} runs"
    if ! "$build/fuzz/$target" -runs="${runs[$target]}" -seed=1 -timeout=60 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" "$scratch" "$build/fuzz/seeds-$target" \
        >"$build/smoke-$target.log" 2>&1; then
        tail -n 60 "$build/smoke-$target.log"
        echo "$target: finding (log: $build/smoke-$target.log, input in $build/findings/)" >&2
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$build/smoke-$target.log" || true
done
