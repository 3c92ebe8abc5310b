// Whole songs through the real program: the MIDI file it writes, read back strictly, holds
// exactly the events the records describe, at the right ticks.
#include <gtest/gtest.h>

#include <random>

#include "e2e/e2e_support.h"
#include "support/expected_midi.h"
#include "support/smf_reader.h"
#include "support/song_generator.h"

namespace meldrix::testing {
namespace {

// The fixed opening of every track: 4/4 at tick 0, then 458752 us per quarter note.
void expectPreamble(const MidiTrack& track) {
    ASSERT_GE(track.events.size(), 3u);
    EXPECT_EQ(track.events[0].metaType, 0x58);
    EXPECT_EQ(track.events[0].data, (std::vector<std::uint8_t>{4, 2, 24, 8}));
    EXPECT_EQ(track.events[1].metaType, 0x51);
    EXPECT_EQ(track.events[1].data, (std::vector<std::uint8_t>{0x07, 0x00, 0x00}));
    EXPECT_EQ(track.events[1].tick, 0);
}

void expectConvertedExactly(const SongRecords& song, const std::string& why) {
    TemporaryFolder folder;
    writeFile(folder / "song.zuno", songFile(song.lyrics, song.music));
    const ProgramResult result = runMeldrix(folder, {"song.zuno", "song.mid"});
    ASSERT_EQ(result.exitStatus, 0) << why << "\n" << result.out;
    const MidiReadResult midi = readMidiStrictly(readFile(folder / "song.mid"));
    ASSERT_TRUE(midi.file) << why << ": " << midi.error;
    EXPECT_EQ(midi.file->format, 1);
    EXPECT_EQ(midi.file->division, 27);
    ASSERT_EQ(midi.file->tracks.size(), 2u);
    expectPreamble(midi.file->tracks[0]);
    expectPreamble(midi.file->tracks[1]);
    EXPECT_EQ(lyricEventsOf(midi.file->tracks[0]), expectedLyricEvents(song.lyrics)) << why;
    EXPECT_EQ(musicEventsOf(midi.file->tracks[1]), expectedMusicEvents(song.music)) << why;
}

TEST(Conversion, RealisticSongsKeepEveryEventAtItsTick) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        expectConvertedExactly(realisticSong(seed, 3000, 8000), "realistic song " + std::to_string(seed));
    }
}

TEST(Conversion, RandomRecordsStillGiveAValidFileWithEveryRecognisedEvent) {
    // Random bytes as records: unknown kinds, data bytes above 0x7F, lyric times going back.
    std::mt19937 random(7);
    SongRecords song;
    for (int i = 0; i < 4000; ++i) song.lyrics.push_back(static_cast<std::uint8_t>(random()));
    for (int i = 0; i < 10000; ++i) song.music.push_back(static_cast<std::uint8_t>(random()));
    expectConvertedExactly(song, "random records");
}

TEST(Conversion, EveryNoteSoundingAtOnceEndsOnTime) {
    SongRecords song;
    addLyricRecord(song.lyrics, 'x', 0);
    song.music = allNotesAtOnce(20000);
    expectConvertedExactly(song, "all notes at once");
}

}  // namespace
}  // namespace meldrix::testing
