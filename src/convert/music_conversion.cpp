#include "convert/music_conversion.h"

#include <algorithm>

namespace meldrix {

namespace {

constexpr std::uint64_t RECORDS_PER_DOT = 10;
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
void appendDelta(std::int64_t delta, TrackTable& table, MusicTrackState& state) {
    table.appendTrackByte(MUSIC_TRACK, delta + state.pendingDelta, true);
    state.pendingDelta = 0;
}

void appendByte(std::uint8_t value, TrackTable& table) {
    table.appendTrackByte(MUSIC_TRACK, value, false);
}

}  // namespace

std::int64_t writeDueNoteOffs(std::int64_t limit, std::int64_t baseTime, TrackTable& table,
                              NoteOffSchedule& schedule, MusicTrackState& state, Console& console) {
    std::int64_t previousTime = baseTime;
    while (const std::optional<PendingNoteOff> due = schedule.takeEarliestDue(limit)) {
        const std::int64_t gap = due->time - previousTime;
        if (gap < 0 || gap > GAP_WARNING_LIMIT) console.print("bad\n");
        appendDelta(gap, table, state);
        appendByte(static_cast<std::uint8_t>(NOTE_OFF | due->channel), table);
        appendByte(due->note, table);
        appendByte(due->velocity, table);
        previousTime = due->time;
    }
    return previousTime;
}

void convertMusic(const DecodedSection& section, std::uint64_t coveredLength, TrackTable& table,
                  NoteOffSchedule& schedule, MusicTrackState& state, Console& console) {
    // Never read a record that starts past the produced bytes, whatever the caller passes.
    const std::uint64_t covered = std::min(coveredLength, section.produced());
    const std::uint8_t* bytes = section.data();
    table.reserve(MUSIC_TRACK, (covered + MUSIC_RECORD_SIZE - 1) / MUSIC_RECORD_SIZE * MAX_RECORD_BYTES);

    for (std::uint64_t offset = 0; offset < covered;) {
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
            const std::int64_t target = state.musicClock + delta;
            remaining = target -
                        writeDueNoteOffs(target, state.musicClock, table, schedule, state, console);
            state.musicClock = target;
        }

        // Event step.
        const auto channel = static_cast<std::uint8_t>(kind & 0x0F);
        switch (kind >> 4) {
        case 0x0:
            appendDelta(remaining, table, state);
            appendByte(static_cast<std::uint8_t>(NOTE_ON | channel), table);
            appendByte(data1, table);
            appendByte(data2, table);
            schedule.addNoteOff(state.musicClock + duration, data1, data2, channel);
            break;
        case 0xB:  // Control Change
        case 0xE:  // Pitch Bend
            appendDelta(remaining, table, state);
            appendByte(kind, table);
            appendByte(data1, table);
            appendByte(data2, table);
            break;
        case 0xC:  // Program Change: one data byte
            appendDelta(remaining, table, state);
            appendByte(kind, table);
            appendByte(data1, table);
            break;
        default:
            // No event to stand after a delta time: its ticks move on to the next delta time.
            console.printf("Unrecognize code %02X\n", kind);
            state.pendingDelta += remaining;
            break;
        }

        offset += MUSIC_RECORD_SIZE;
        if (offset % (MUSIC_RECORD_SIZE * RECORDS_PER_DOT) == 0) console.print(".");
    }
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
