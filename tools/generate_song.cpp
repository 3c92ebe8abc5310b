// Writes a song file of a chosen size and kind, for benchmarks and for trying the converter on
// big input:
//
//     generate_song [--kind KIND] [--music N] [--lyrics N] [--seed S] [--decoded PATH] SONG
//
// KIND is one of
//   realistic    lyric text and music phrases that repeat with variation, as songs do (default)
//   all-at-once  realistic lyrics; every music record a note-on at delta 0 lasting 255 ticks, so
//                every note sounds at once
//   long-chains  realistic lyrics; every music record the same note-on at delta 0 lasting 255
//                ticks: the compressed strings grow as long as the string table lets them
//   random       realistic lyrics; music records of random bytes: the shortest strings and a
//                string table that wraps as often as it can
// --music and --lyrics give the number of records (defaults 5000 and 2000). --decoded also writes
// the two decoded sections, lyrics first, to PATH: the same bytes for other compressors.
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/song_builder.h"
#include "support/song_generator.h"

namespace {

using meldrix::testing::SongRecords;

struct Options {
    std::string kind = "realistic";
    std::size_t musicRecords = 5000;
    std::size_t lyricRecords = 2000;
    std::uint32_t seed = 1;
    std::string decodedPath;
    std::string songPath;
};

constexpr const char* USAGE =
    "usage: generate_song [--kind realistic|all-at-once|long-chains|random] [--music N]\n"
    "                     [--lyrics N] [--seed S] [--decoded PATH] SONG\n";

std::uint64_t parseCount(const std::string& text) {
    std::size_t used = 0;
    const unsigned long long value = std::stoull(text, &used);
    if (used != text.size()) throw std::invalid_argument("not a number: " + text);
    return value;
}

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        const std::string_view argument = argv[index];
        const bool hasValue = index + 1 < argc;
        if (argument == "--kind" && hasValue) {
            options.kind = argv[++index];
        } else if (argument == "--music" && hasValue) {
            options.musicRecords = parseCount(argv[++index]);
        } else if (argument == "--lyrics" && hasValue) {
            options.lyricRecords = parseCount(argv[++index]);
        } else if (argument == "--seed" && hasValue) {
            options.seed = static_cast<std::uint32_t>(parseCount(argv[++index]));
        } else if (argument == "--decoded" && hasValue) {
            options.decodedPath = argv[++index];
        } else if (!argument.starts_with("--") && options.songPath.empty()) {
            options.songPath = argument;
        } else {
            return std::nullopt;
        }
    }
    if (options.songPath.empty()) return std::nullopt;
    return options;
}

// Every record the same note-on: delta 0, duration 255, channel 0, note 64, velocity 100.
std::vector<std::uint8_t> identicalNoteOns(std::size_t records) {
    std::vector<std::uint8_t> music;
    music.reserve(records * 5);
    for (std::size_t i = 0; i < records; ++i) meldrix::testing::addMusicRecord(music, 0, 255, 0x00, 64, 100);
    return music;
}

std::vector<std::uint8_t> randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random() >> 24);
    return bytes;
}

std::optional<SongRecords> makeSong(const Options& options) {
    // Realistic lyrics in every kind: only the music section is made hard.
    const bool realisticMusic = options.kind == "realistic";
    SongRecords song = meldrix::testing::realisticSong(options.seed, options.lyricRecords,
                                                       realisticMusic ? options.musicRecords : 0);
    if (options.kind == "all-at-once") {
        song.music = meldrix::testing::allNotesAtOnce(options.musicRecords);
    } else if (options.kind == "long-chains") {
        song.music = identicalNoteOns(options.musicRecords);
    } else if (options.kind == "random") {
        song.music = randomBytes(options.musicRecords * 5, options.seed);
    } else if (!realisticMusic) {
        return std::nullopt;
    }
    return song;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::optional<Options> options = parseOptions(argc, argv);
        if (!options) {
            std::cerr << USAGE;
            return 2;
        }
        const std::optional<SongRecords> song = makeSong(*options);
        if (!song) {
            std::cerr << "unknown kind: " << options->kind << '\n' << USAGE;
            return 2;
        }
        meldrix::testing::writeFile(options->songPath, meldrix::testing::songFile(song->lyrics, song->music));
        if (!options->decodedPath.empty()) {
            std::vector<std::uint8_t> decoded = song->lyrics;
            decoded.insert(decoded.end(), song->music.begin(), song->music.end());
            meldrix::testing::writeFile(options->decodedPath, decoded);
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "generate_song: " << error.what() << '\n';
        return 1;
    }
}
