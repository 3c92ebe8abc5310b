#include "support/expected_midi.h"

#include <algorithm>

namespace meldrix::testing {

namespace {

std::uint8_t dataByte(std::uint8_t byte) { return byte > 0x7F ? 0x7F : byte; }

}  // namespace

std::vector<TimedEvent> expectedLyricEvents(std::span<const std::uint8_t> records) {
    std::vector<TimedEvent> events;
    std::int64_t reached = 0;  // a time of 0, or one that goes back, stays at the time reached
    for (std::size_t at = 0; at + 4 <= records.size(); at += 4) {
        const std::int64_t time = records[at + 2] | (records[at + 3] << 8);
        if (time > reached) reached = time;
        events.push_back({reached, 0xFF, {records[at]}});
    }
    return events;
}

std::vector<TimedEvent> expectedMusicEvents(std::span<const std::uint8_t> records) {
    std::vector<TimedEvent> events;
    std::int64_t clock = 0;
    for (std::size_t at = 0; at + 5 <= records.size(); at += 5) {
        const std::uint8_t delta = records[at], duration = records[at + 1], kind = records[at + 2];
        const std::uint8_t data1 = dataByte(records[at + 3]), data2 = dataByte(records[at + 4]);
        clock += delta;
        switch (kind & 0xF0) {
            case 0x00:
                events.push_back({clock, static_cast<std::uint8_t>(0x90 | kind), {data1, data2}});
                events.push_back({clock + duration, static_cast<std::uint8_t>(0x80 | kind), {data1, data2}});
                break;
            case 0xB0:
            case 0xE0: events.push_back({clock, kind, {data1, data2}}); break;
            case 0xC0: events.push_back({clock, kind, {data1}}); break;
            default: break;  // not a kind of event: nothing is written
        }
    }
    std::sort(events.begin(), events.end());
    return events;
}

std::vector<TimedEvent> lyricEventsOf(const MidiTrack& track) {
    std::vector<TimedEvent> events;
    for (const MidiEvent& event : track.events) {
        if (event.status == 0xFF && event.metaType == 0x05) events.push_back({event.tick, 0xFF, event.data});
    }
    return events;
}

std::vector<TimedEvent> musicEventsOf(const MidiTrack& track) {
    std::vector<TimedEvent> events;
    for (const MidiEvent& event : track.events) {
        if (event.status < 0xF0) events.push_back({event.tick, event.status, event.data});
    }
    std::sort(events.begin(), events.end());
    return events;
}

}  // namespace meldrix::testing
