#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace meldrix::testing {

// A strict reader of Standard MIDI Files, for checking what the converter writes.
//
// Unlike lenient readers it refuses: a chunk length that does not match its content exactly,
// bytes after the last announced chunk, a delta time that is not a variable-length quantity of
// at most 4 bytes or is not followed by a complete event, a data byte of 0x80 or above where a
// channel message needs data, a status that has no place in a file (F1-F6, F8-FE), and a track
// whose End of Track is missing, repeated, or not last.

struct MidiEvent {
    std::int64_t tick = 0;            // absolute time in the track
    std::uint8_t status = 0;          // channel status, 0xFF for meta, 0xF0/0xF7 for system exclusive
    std::uint8_t metaType = 0;        // for meta events
    std::vector<std::uint8_t> data;   // channel data bytes, or the meta/sysex payload
};

struct MidiTrack {
    std::vector<MidiEvent> events;  // the End of Track event included, last
};

struct MidiFile {
    std::uint16_t format = 0;
    std::uint16_t division = 0;
    std::vector<MidiTrack> tracks;
};

struct MidiReadResult {
    std::optional<MidiFile> file;
    std::string error;  // why the file was refused, when file is empty
};

MidiReadResult readMidiStrictly(std::span<const std::uint8_t> bytes);

// A note heard: its note-on and the note-off that ends it (a Note Off, or a Note On of velocity
// 0), paired first in, first out per channel and note.
struct HeardNote {
    std::uint8_t channel = 0;
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
    std::int64_t onTick = 0;
    std::int64_t offTick = -1;  // -1 when no note-off came
};

// The notes of a track, in the order of their note-ons.
std::vector<HeardNote> notesOf(const MidiTrack& track);

}  // namespace meldrix::testing
