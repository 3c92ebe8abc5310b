#pragma once

#include <cstdint>

#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "midi/track_table.h"

namespace meldrix {

inline constexpr std::uint64_t LYRIC_RECORD_SIZE = 4;

// Turns the lyric records into Lyric meta events of LYRIC_TRACK.
//
// A lyric record is 4 bytes: the character, a byte never read, and its time in ticks as an
// unsigned 16-bit little-endian number, 0 meaning "at the time of the record before".
// Converts every record whose offset is below coveredLength (the smaller of the declared and
// the produced length); a last partial record is read whole, bytes past the produced ones
// reading as 0. Each record appends its delta time and FF 05 01 <character>. A time lower than
// the last non-zero time is written with delta 0 and does not move that time. Prints "." after
// every tenth record (each time the offset reaches a multiple of 40).
void convertLyrics(const DecodedSection& section, std::uint64_t coveredLength, TrackTable& table,
                   Console& console);

}  // namespace meldrix
