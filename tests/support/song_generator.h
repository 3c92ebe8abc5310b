#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace meldrix::testing {

// The decoded sections of a song, as records.
struct SongRecords {
    std::vector<std::uint8_t> lyrics;  // 4-byte lyric records
    std::vector<std::uint8_t> music;   // 5-byte music records
};

// A song as songs are: lyric text one character per record at rising times (several characters
// of a word often sharing one time), and music phrases that repeat with variation: notes on a
// melody channel, a bass channel and drums, with program changes, controllers and pitch bends.
// The same seed gives the same song.
SongRecords realisticSong(std::uint32_t seed, std::size_t lyricRecords, std::size_t musicRecords);

// The hardest music for the note-off schedule: every record a note-on at delta 0 lasting 255
// ticks, so every note sounds at once.
std::vector<std::uint8_t> allNotesAtOnce(std::size_t musicRecords);

}  // namespace meldrix::testing
