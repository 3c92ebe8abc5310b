#!/usr/bin/env bash
# Builds the release binary and shows it working.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMELDRIX_TESTS=OFF >/dev/null
cmake --build build/release --target MELDRIX
build/release/MELDRIX || true
