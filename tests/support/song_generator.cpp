#include "support/song_generator.h"

#include <random>
#include <string_view>

#include "support/song_builder.h"

namespace meldrix::testing {

namespace {

// A random number from 0 to below bound.
std::uint32_t pick(std::mt19937& random, std::uint32_t bound) { return static_cast<std::uint32_t>(random() % bound); }

constexpr std::string_view WORDS[] = {"love", "night", "river", "home", "heart", "dance", "away", "the",
                                      "and", "you", "sing", "morning", "light", "road", "song", "again"};

void addLyrics(SongRecords& song, std::mt19937& random, std::size_t count) {
    std::uint32_t time = 0;
    while (song.lyrics.size() / 4 < count) {
        const std::string_view word = WORDS[pick(random, static_cast<std::uint32_t>(std::size(WORDS)))];
        time += 10 + pick(random, 40);
        for (std::size_t i = 0; i < word.size() && song.lyrics.size() / 4 < count; ++i) {
            // The first character of a word carries its time; the others follow at the same time
            // (0) or a little later, as syllables do. Times wrap at 16 bits like the field.
            const bool sameTime = i > 0 && pick(random, 3) != 0;
            if (!sameTime && i > 0) time += 1 + pick(random, 8);
            const auto field = static_cast<std::uint16_t>(time);
            addLyricRecord(song.lyrics, static_cast<std::uint8_t>(word[i]),
                           sameTime ? 0 : static_cast<std::uint16_t>(field == 0 ? 1 : field));
        }
        if (song.lyrics.size() / 4 < count) addLyricRecord(song.lyrics, ' ', 0);
    }
}

void addMusic(SongRecords& song, std::mt19937& random, std::size_t count) {
    // A phrase of 16 steps, replayed with a transposition and the odd changed note.
    std::uint8_t phrase[16];
    for (std::uint8_t& note : phrase) note = static_cast<std::uint8_t>(55 + pick(random, 24));
    std::size_t step = 0;
    auto records = [&] { return song.music.size() / 5; };
    addMusicRecord(song.music, 0, 0, 0xC0, 0, 0);   // piano
    addMusicRecord(song.music, 0, 0, 0xC1, 33, 0);  // bass
    while (records() < count) {
        if (step % 16 == 0 && pick(random, 4) == 0) phrase[pick(random, 16)] = static_cast<std::uint8_t>(55 + pick(random, 24));
        const int transpose = (step / 64) % 3 == 1 ? 5 : 0;
        const std::uint8_t note = static_cast<std::uint8_t>(phrase[step % 16] + transpose);
        const std::uint8_t delta = static_cast<std::uint8_t>(step % 2 == 0 ? 14 : 13);
        addMusicRecord(song.music, delta, static_cast<std::uint8_t>(12 + pick(random, 30)), 0x00, note,
                       static_cast<std::uint8_t>(70 + pick(random, 40)));
        if (step % 4 == 0 && records() < count)
            addMusicRecord(song.music, 0, 50, 0x01, static_cast<std::uint8_t>(note - 24), 80);
        if (step % 2 == 0 && records() < count) addMusicRecord(song.music, 0, 5, 0x09, step % 4 == 0 ? 36 : 42, 100);
        if (step % 32 == 31 && records() < count) addMusicRecord(song.music, 0, 0, 0xB0, 7, static_cast<std::uint8_t>(90 + pick(random, 30)));
        if (step % 48 == 47 && records() < count) addMusicRecord(song.music, 3, 0, 0xE0, 0, static_cast<std::uint8_t>(64 + pick(random, 8)));
        ++step;
    }
    song.music.resize(count * 5);
}

}  // namespace

SongRecords realisticSong(std::uint32_t seed, std::size_t lyricRecords, std::size_t musicRecords) {
    std::mt19937 random(seed);
    SongRecords song;
    addLyrics(song, random, lyricRecords);
    addMusic(song, random, musicRecords);
    return song;
}

std::vector<std::uint8_t> allNotesAtOnce(std::size_t musicRecords) {
    std::vector<std::uint8_t> music;
    music.reserve(musicRecords * 5);
    for (std::size_t i = 0; i < musicRecords; ++i)
        addMusicRecord(music, 0, 255, static_cast<std::uint8_t>(i % 16), static_cast<std::uint8_t>(i % 128), 100);
    return music;
}

}  // namespace meldrix::testing
