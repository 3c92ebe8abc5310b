#!/usr/bin/env bash
# Builds the release binary, converts the example song (examples/twinkle.zuno) and tells where the
# MIDI file went. Needs only a C++20 compiler, CMake and Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."

song=examples/twinkle.zuno
midi=build/demo/twinkle.mid

echo "== Building the release binary (build/release)"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMELDRIX_TESTS=OFF >/dev/null
# make_example_song rebuilds the example from examples/twinkle.song; it is small, so build it too.
cmake --build build/release --target MELDRIX make_example_song

mkdir -p build/demo
echo
echo "== build/release/MELDRIX $song $midi"
build/release/MELDRIX "$song" "$midi"

echo
echo "== The MIDI file: $midi ($(wc -c <"$midi") bytes)"
# A summary read back by mido, a MIDI library the project did not write, when it is installed.
if /usr/bin/python3 -c 'import mido' 2>/dev/null; then
    /usr/bin/python3 tests/mido/dump_midi.py --summary "$midi"
else
    echo "(install python3-mido to see what the file holds)"
fi
echo
echo "To listen (needs fluidsynth and a General MIDI soundfont: apt-get install fluidsynth fluid-soundfont-gm):"
echo "    fluidsynth -i /usr/share/sounds/sf2/FluidR3_GM.sf2 $midi"
echo "or turn it into a WAV file:"
echo "    fluidsynth -ni -F build/demo/twinkle.wav /usr/share/sounds/sf2/FluidR3_GM.sf2 $midi"
