#pragma once

#include <cstdint>
#include <cstdio>

#include "midi/track_table.h"

namespace meldrix {

inline constexpr std::uint16_t TICKS_PER_QUARTER = 27;
inline constexpr std::uint32_t TEMPO_USEC_PER_QUARTER = 458752;  // 0x070000

// Writes a table of tracks as a Standard MIDI File.
class MidiFileWriter {
public:
    // Requires: !table.overflowed() (an overflowed table writes nothing and returns false).
    // Writes nothing when table.trackCount() is 0. Otherwise the header chunk (format 1 for
    // several tracks, 0 for one; division TICKS_PER_QUARTER) and one track chunk per filled slot
    // in slot order: the time-signature and tempo events at time 0, the buffered events (one
    // block write), End of Track; chunk length = buffer length + TRACK_FIXED_BYTES. Each buffer
    // is released once written. Returns false, at the first one, if the stream refused a write.
    static bool write(std::FILE* stream, TrackTable& table);
};

}  // namespace meldrix
