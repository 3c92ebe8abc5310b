#pragma once

#include <cstdint>

#include "convert/note_off_schedule.h"
#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "midi/track_table.h"

namespace meldrix {

inline constexpr std::uint64_t MUSIC_RECORD_SIZE = 5;
inline constexpr std::int64_t FLUSH_HORIZON = 1000;
inline constexpr std::int64_t GAP_WARNING_LIMIT = 300;

// The running state of the music track, shared by convertMusic and flushNoteOffs.
struct MusicTrackState {
    // Time in ticks of the last record's event: the sum of the deltas of all records so far.
    std::int64_t musicClock = 0;
    // Ticks not yet written as a delta time (the rest of an unrecognised record's delta): they
    // are added to the next delta time written to MUSIC_TRACK.
    std::int64_t pendingDelta = 0;
};

// Turns the music records into channel events of MUSIC_TRACK.
//
// A music record is 5 bytes: delta (ticks since the previous record), duration (for note-ons),
// kind, data1, data2. Kinds 00-0F are note-ons on channel kind & 0x0F (their note-off is
// scheduled duration ticks later), B0-BF control changes, C0-CF program changes (data1 only),
// E0-EF pitch bends; data bytes above 0x7F are clamped to 0x7F. Any other kind prints
// "Unrecognize code %02X\n" and appends nothing; the rest of its delta is carried.
// Before each record with a non-zero delta, the note-offs due by the record's time are written,
// the record's delta split around them. Converts every record whose offset is below
// coveredLength, a last partial record read whole with missing bytes as 0, and prints "." after
// every tenth record (each time the offset reaches a multiple of 50). Leaves the note-offs not
// yet due in the schedule. The clock continues from state.musicClock (0 for a fresh state) and
// every delta time written includes, and clears, state.pendingDelta.
void convertMusic(const DecodedSection& section, std::uint64_t coveredLength, TrackTable& table,
                  NoteOffSchedule& schedule, MusicTrackState& state, Console& console);

// Writes every note-off due no later than limit, earliest first, the first with its gap from
// baseTime and each later one from the one before. Prints "bad\n" for a gap below 0 or above
// GAP_WARNING_LIMIT (the note-off is written all the same; the check is on the gap itself, while
// the delta time written also carries state.pendingDelta). Returns the time of the last
// note-off written, or baseTime when none was due.
std::int64_t writeDueNoteOffs(std::int64_t limit, std::int64_t baseTime, TrackTable& table,
                              NoteOffSchedule& schedule, MusicTrackState& state, Console& console);

// Writes the note-offs still pending up to FLUSH_HORIZON ticks after the music clock, which by
// construction is all of them, the first gap grown by any carried ticks. The clock does not move;
// a carry still pending is dropped (pendingDelta becomes 0): the track ends here.
void flushNoteOffs(TrackTable& table, NoteOffSchedule& schedule, MusicTrackState& state,
                   Console& console);

}  // namespace meldrix
