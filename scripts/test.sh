#!/usr/bin/env bash
# The whole test suite: installs what it needs, then builds and runs every test twice, once
# optimised and once under AddressSanitizer + UndefinedBehaviorSanitizer. Warnings are errors.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DMELDRIX_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== Test suite (optimised build)"
run_suite build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Test suite (AddressSanitizer + UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build/asan -DCMAKE_BUILD_TYPE=Debug -DMELDRIX_SANITIZE=ON
if [[ -x scripts/fuzz-smoke.sh ]]; then
    echo "== Fuzz smoke runs"
    scripts/fuzz-smoke.sh
fi
