#include "convert/music_conversion.h"

#include <algorithm>

#include "convert/progress_dots.h"
#include "midi/track_writer.h"

namespace meldrix {

namespace {

constexpr std::uint8_t NOTE_OFF = 0x80;
constexpr std::uint8_t NOTE_ON = 0x90;
constexpr std::uint8_t MAX_DATA_BYTE = 0x7F;
// What one record adds to the track at most: its event and one note-off, each a delta time of at
// most 4 bytes and 3 bytes of event.
constexpr std::uint64_t MAX_RECORD_BYTES = 14;

static_assert(MUSIC_RECORD_SIZE <= RECORD_PADDING, "a partial record must be readable whole");

// A byte at or above 0x80 would read as a status byte and derail every reader of the track.
std::uint8_t dataByte(std::uint8_t value) { return std::min(value, MAX_DATA_BYTE); }

// Every delta time of the music track goes through here, so that ticks carried from an
// unrecognised record land in whatever delta time is written next.
void appendEvent(std::int64_t delta, TrackEvent event, TrackWriter& track, std::int64_t& pendingDelta) {
    track.append(delta + pendingDelta, event);
    pendingDelta = 0;
}

TrackEvent event(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, std::uint8_t count) {
    return TrackEvent{{status, data1, data2, 0}, count};
}

// Writes the note-offs due no later than limit (see writeDueNoteOffs), with the carried ticks
// kept in a local by the caller: the track's byte stores cannot then touch it.
std::int64_t writeNoteOffsDue(std::int64_t limit, std::int64_t baseTime, TrackWriter& track,
                              NoteOffSchedule& schedule, std::int64_t& pendingDelta, Console& console) {
    std::int64_t previousTime = baseTime;
    schedule.takeAllDue(limit, [&](const PendingNoteOff& due) {
        const std::int64_t gap = due.time - previousTime;
        if (gap < 0 || gap > GAP_WARNING_LIMIT) console.print("bad\n");
        appendEvent(gap, event(static_cast<std::uint8_t>(NOTE_OFF | due.channel), due.note, due.velocity, 3),
                    track, pendingDelta);
        previousTime = due.time;
    });
    return previousTime;
}

}  // namespace

std::int64_t writeDueNoteOffs(std::int64_t limit, std::int64_t baseTime, TrackTable& table,
                              NoteOffSchedule& schedule, MusicTrackState& state, Console& console) {
    TrackWriter track(table, MUSIC_TRACK);
    return writeNoteOffsDue(limit, baseTime, track, schedule, state.pendingDelta, console);
}

void convertMusic(const DecodedSection& section, std::uint64_t coveredLength, TrackTable& table,
                  NoteOffSchedule& schedule, MusicTrackState& state, Console& console) {
    // Never read a record that starts past the produced bytes, whatever the caller passes.
    const std::uint64_t covered = std::min(coveredLength, section.produced());
    const std::uint8_t* bytes = section.data();
    table.reserve(MUSIC_TRACK, (covered + MUSIC_RECORD_SIZE - 1) / MUSIC_RECORD_SIZE * MAX_RECORD_BYTES);
    TrackWriter track(table, MUSIC_TRACK);

    // The running state in locals for the loop, written back at the end.
    std::int64_t musicClock = state.musicClock;
    std::int64_t pendingDelta = state.pendingDelta;
    ProgressDots dots(console);
    for (std::uint64_t offset = 0; offset < covered; offset += MUSIC_RECORD_SIZE) {
        // A record that starts below the produced count lies inside the zero padding at worst.
        const std::uint8_t* record = bytes + offset;
        const std::uint8_t delta = record[0];
        const std::uint8_t duration = record[1];
        const std::uint8_t kind = record[2];
        const std::uint8_t data1 = dataByte(record[3]);
        const std::uint8_t data2 = dataByte(record[4]);

        // Delta step: the note-offs due by this record's time come first, and the record keeps
        // what is left of its delta. A delta of 0 writes no note-off and leaves the clock.
        std::int64_t remaining = 0;
        if (delta != 0) {
            const std::int64_t target = musicClock + delta;
            remaining = target - writeNoteOffsDue(target, musicClock, track, schedule, pendingDelta, console);
            musicClock = target;
        }

        // Event step.
        const auto channel = static_cast<std::uint8_t>(kind & 0x0F);
        switch (kind >> 4) {
        case 0x0:
            appendEvent(remaining, event(static_cast<std::uint8_t>(NOTE_ON | channel), data1, data2, 3), track,
                        pendingDelta);
            schedule.addNoteOff(musicClock + duration, data1, data2, channel);
            break;
        case 0xB:  // Control Change
        case 0xE:  // Pitch Bend
            appendEvent(remaining, event(kind, data1, data2, 3), track, pendingDelta);
            break;
        case 0xC:  // Program Change: one data byte
            appendEvent(remaining, event(kind, data1, 0, 2), track, pendingDelta);
            break;
        default:
            // No event to stand after a delta time: its ticks move on to the next delta time.
            console.printf("Unrecognize code %02X\n", kind);
            pendingDelta += remaining;
            break;
        }

        dots.recordConverted();
    }
    state.musicClock = musicClock;
    state.pendingDelta = pendingDelta;
}

void flushNoteOffs(TrackTable& table, NoteOffSchedule& schedule, MusicTrackState& state,
                   Console& console) {
    if (schedule.count() != 0) {
        writeDueNoteOffs(state.musicClock + FLUSH_HORIZON, state.musicClock, table, schedule, state,
                         console);
    }
    // The track ends here: ticks still carried have no event to reach.
    state.pendingDelta = 0;
}

}  // namespace meldrix
