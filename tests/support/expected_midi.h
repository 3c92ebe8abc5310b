#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "support/smf_reader.h"

namespace meldrix::testing {

// What a MIDI file converted from a song must hold, worked out from the records by a reading of
// the format independent of the converter's code: every event with its absolute tick.
struct TimedEvent {
    std::int64_t tick;
    std::uint8_t status;  // 0xFF for a Lyric meta event
    std::vector<std::uint8_t> data;
    auto operator<=>(const TimedEvent&) const = default;
};

// The Lyric events of whole lyric records, in order.
std::vector<TimedEvent> expectedLyricEvents(std::span<const std::uint8_t> lyricRecords);

// The channel events of whole music records (note-offs included), sorted by (tick, status, data).
std::vector<TimedEvent> expectedMusicEvents(std::span<const std::uint8_t> musicRecords);

// The events of a track as read, without the fixed time-signature, tempo and End of Track
// events; music events sorted like expectedMusicEvents.
std::vector<TimedEvent> lyricEventsOf(const MidiTrack& track);
std::vector<TimedEvent> musicEventsOf(const MidiTrack& track);

}  // namespace meldrix::testing
