#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build and the tests need and the machine lacks.
set -euo pipefail

packages=(g++ make cmake ninja-build libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
          python3 python3-mido ncompress)
missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
