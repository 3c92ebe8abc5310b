#!/usr/bin/env bash
# Builds an optimised MELDRIX with the benchmarks (build/bench) and prints the figures:
#   1. the Google Benchmark results (medians of 5 repetitions): LZW decoding, the conversions,
#      the note-off schedule, MIDI writing;
#   2. the targets, each a ratio of two commands timed side by side, run after run (medians of
#      BENCH_RUNS runs, default 15), against ncompress's `uncompress` (uncompress.real on Debian) on the same
#      decoded bytes.
# Times are wall-clock; the processor time (user + system) is shown beside them, as it is what a
# busy machine disturbs least. Needs ncompress and libbenchmark-dev (installed if missing).
# (Debian builds Google Benchmark itself without NDEBUG, hence the warning it prints, left out
# here; the code measured is built as Release.)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

runs=${BENCH_RUNS:-15}
build=build/bench
data=$build/data

echo "== Building the release with benchmarks ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMELDRIX_BENCH=ON -DMELDRIX_TESTS=OFF >/dev/null
cmake --build "$build" --target MELDRIX meldrix_benchmarks decode_song time_commands generate_song

meldrix=$build/MELDRIX
# ncompress's own decompressor. On Debian the `uncompress` on the PATH is gzip's script (gzip -d,
# a shell and another LZW decoder); ncompress installs its `uncompress` as uncompress.real, the
# same program as `compress -d`.
if command -v uncompress.real >/dev/null; then uncompress=(uncompress.real); else uncompress=(compress -d); fi
timer=$build/bench/time_commands
generate=$build/tools/generate_song
mkdir -p "$data"

echo
echo "== Benchmarks (bytes_per_second: decoded or written bytes; items_per_second: records)"
"$build/bench/meldrix_benchmarks" --benchmark_min_time=0.2 --benchmark_repetitions=5 \
    --benchmark_display_aggregates_only=true 2>&1 | grep -v -E '_(mean|stddev|cv) |Library was built as DEBUG'

# Song files and, for ncompress, their decoded bytes compressed by `compress`.
song() {  # name, then generate_song's options
    local name=$1; shift
    if [[ ! "$data/$name.zuno" -nt "$generate" ]]; then
        "$generate" "$@" --decoded "$data/$name.raw" "$data/$name.zuno"
        compress -c "$data/$name.raw" >"$data/$name.Z"
    fi
}
echo
echo "== Generating the songs ($data)"
song lzw --music 4000000 --lyrics 1000000
song million --music 1000000 --lyrics 200000
song typical --music 5000 --lyrics 2000
song small --music 166667 --lyrics 33333
song large --music 1666667 --lyrics 333333
song at_once_200k --kind all-at-once --music 200000 --lyrics 0
song realistic_200k --music 200000 --lyrics 0

# Times commands side by side (separated by ---); prints the timer's lines and keeps them.
timed=""
measure() {
    timed=$("$timer" "$runs" "$@")
    echo "$timed" | sed 's/^/    /'
}
# A field of the timer's line for one command: field INDEX NAME.
field() { echo "$timed" | awk -v i="$1" -v f="$2" '$1 == "command" && $2 == i { for (k = 3; k < NF; k += 2) if ($k == f) print $(k + 1) }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
bytes() { stat -c %s "$1"; }
megabytes_per_second() { awk -v b="$1" -v ms="$2" 'BEGIN { printf "%.0f", b / 1e6 / (ms / 1e3) }'; }
verdict() { awk -v r="$1" -v op="$2" -v t="$3" 'BEGIN { ok = (op == ">=") ? r >= t : r <= t; print ok ? "met" : "NOT met" }'; }
# Prints a target line from the wall and processor ratios.
target() {  # text, wall ratio, cpu ratio, operator, threshold
    printf '  %-68s wall %s  cpu %s  (target %s %s: %s)\n' "$1" "$2" "$3" "$4" "$5" "$(verdict "$2" "$4" "$5")"
}

echo
echo "== Targets (medians of $runs runs, side by side)"

echo
echo "-- LZW decoding vs uncompress, on $(bytes "$data/lzw.raw") decoded bytes of a realistic song"
"$build/bench/decode_song" "$data/lzw.zuno" | cmp -s - "$data/lzw.raw" || { echo "decode_song does not give the song's bytes"; exit 1; }
measure "${uncompress[@]}" -c "$data/lzw.Z" --- "$build/bench/decode_song" "$data/lzw.zuno"
raw=$(bytes "$data/lzw.raw")
echo "    uncompress $(megabytes_per_second "$raw" "$(field 0 median_ms)") MB/s, MELDRIX's decoder $(megabytes_per_second "$raw" "$(field 1 median_ms)") MB/s"
target "decoded bytes per second, MELDRIX's decoder / uncompress" \
    "$(ratio "$(field 0 median_ms)" "$(field 1 median_ms)")" "$(ratio "$(field 0 median_cpu_ms)" "$(field 1 median_cpu_ms)")" ">=" 2

echo
echo "-- A whole run on 1000000 music and 200000 lyric records vs uncompress -c of the same decoded bytes"
echo "   output to files:"
measure "$meldrix" "$data/million.zuno" "$data/million.mid" --- "--stdout=$data/million.out" "${uncompress[@]}" -c "$data/million.Z"
target "whole run / uncompress, both writing a file" \
    "$(ratio "$(field 0 median_ms)" "$(field 1 median_ms)")" "$(ratio "$(field 0 median_cpu_ms)" "$(field 1 median_cpu_ms)")" "<=" 1
peak_kb=$(field 0 peak_kb)
echo "   output to /dev/null:"
measure "$meldrix" "$data/million.zuno" /dev/null --- "${uncompress[@]}" -c "$data/million.Z"
target "whole run / uncompress, both writing to /dev/null" \
    "$(ratio "$(field 0 median_ms)" "$(field 1 median_ms)")" "$(ratio "$(field 0 median_cpu_ms)" "$(field 1 median_cpu_ms)")" "<=" 1

echo
echo "-- Peak memory of that run vs 2 x (decoded sections + MIDI file) + 8 MB"
bound_kb=$(awk -v d="$(bytes "$data/million.raw")" -v m="$(bytes "$data/million.mid")" 'BEGIN { printf "%d", (2 * (d + m) + 8 * 1048576) / 1024 }')
echo "    peak ${peak_kb} KB, bound ${bound_kb} KB"
printf '  %-68s %s  (target <= 1: %s)\n' "peak memory / bound" "$(ratio "$peak_kb" "$bound_kb")" "$(verdict "$(ratio "$peak_kb" "$bound_kb")" "<=" 1)"

echo
echo "-- A typical song (5000 music, 2000 lyric records) vs MELDRIX printing its usage"
measure "$meldrix" "$data/typical.zuno" "$data/typical.mid" --- "$meldrix"
target "typical conversion / usage" \
    "$(ratio "$(field 0 median_ms)" "$(field 1 median_ms)")" "$(ratio "$(field 0 median_cpu_ms)" "$(field 1 median_cpu_ms)")" "<=" 1.5

echo
echo "-- Cost per record: 2000000 vs 200000 records (5 music to 1 lyric), less the start-up"
echo "   (the time of MELDRIX printing its usage, measured alongside, is a cost of no record)"
measure "$meldrix" "$data/large.zuno" "$data/large.mid" --- "$meldrix" "$data/small.zuno" "$data/small.mid" --- "$meldrix"
per_record() { awk -v ms="$1" -v start="$2" -v n="$3" 'BEGIN { print (ms - start) / n * 1e6 }'; }  # in ns
large_wall=$(per_record "$(field 0 median_ms)" "$(field 2 median_ms)" 2000000)
small_wall=$(per_record "$(field 1 median_ms)" "$(field 2 median_ms)" 200000)
large_cpu=$(per_record "$(field 0 median_cpu_ms)" "$(field 2 median_cpu_ms)" 2000000)
small_cpu=$(per_record "$(field 1 median_cpu_ms)" "$(field 2 median_cpu_ms)" 200000)
larger() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (a > b) ? a / b : b / a }'; }
printf '    per record (wall): %.1f ns at 2 million, %.1f ns at 200 thousand\n' "$large_wall" "$small_wall"
target "larger / smaller cost per record" "$(larger "$large_wall" "$small_wall")" "$(larger "$large_cpu" "$small_cpu")" "<=" 1.5

echo
echo "-- 200000 note-ons sounding at once vs 200000 realistic music records"
measure "$meldrix" "$data/at_once_200k.zuno" "$data/at_once_200k.mid" --- "$meldrix" "$data/realistic_200k.zuno" "$data/realistic_200k.mid"
target "all at once / realistic" \
    "$(ratio "$(field 0 median_ms)" "$(field 1 median_ms)")" "$(ratio "$(field 0 median_cpu_ms)" "$(field 1 median_cpu_ms)")" "<=" 1.5
