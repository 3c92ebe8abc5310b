#pragma once

#include <string>
#include <vector>

#include "driver/console.h"

namespace meldrix {

// How a run ends, as the process's exit status.
enum ExitStatus : int {
    EXIT_CONVERTED = 0,  // the MIDI file was written (diagnostics do not change this)
    EXIT_STOPPED = 1,    // an early stop: a file, a header, memory, a track too long
    EXIT_USAGE = 2,      // fewer than two arguments
};

// Converts the song file named by arguments[0] into the MIDI file named by arguments[1]
// (further arguments are ignored), printing every stage on the console. A single "-h" or
// "--help" prints the usage, a single "--version" only the banner. An early stop leaves the
// output file exactly as it was. Returns the exit status.
int runConverter(const std::vector<std::string>& arguments, Console& console);

}  // namespace meldrix
