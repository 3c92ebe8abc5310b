// Writes the seed corpora of the fuzz targets, made with the project's encoder and song builders
// so that every seed is a readable recipe rather than stored bytes:
//   make_seed_corpus <folder>
// fills <folder>/seeds-song_conversion_fuzzer and <folder>/seeds-lzw_decoder_fuzzer (emptied first).
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/crafted_streams.h"
#include "support/lzw_encoder.h"
#include "support/song_builder.h"
#include "support/song_generator.h"

namespace {

using namespace meldrix::testing;
using Bytes = std::vector<std::uint8_t>;

class SeedFolder {
public:
    explicit SeedFolder(std::filesystem::path path) : path_(std::move(path)) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    void add(const std::string& name, const Bytes& bytes) { writeFile((path_ / name).string(), bytes); }

private:
    std::filesystem::path path_;
};

Bytes randomBytes(std::uint32_t seed, std::size_t count) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(random() & 0xFF);
    return bytes;
}

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

SongSection withDecodedLength(SongSection section, std::uint32_t decodedLength) {
    section.decodedLength = decodedLength;
    return section;
}

// A section whose stream ends with an END_CODE followed by bytes that are never read.
SongSection endedSection(const Bytes& decoded) {
    SongSection section;
    section.stream = lzwEncode(decoded, true);
    section.stream.insert(section.stream.end(), {0xDE, 0xAD, 0xBE, 0xEF});
    section.compressedLength = static_cast<std::uint32_t>(section.stream.size());
    section.decodedLength = static_cast<std::uint32_t>(decoded.size());
    return section;
}

SongSection literalSection(const Bytes& decoded) {
    SongSection section;
    section.stream = literalStream(decoded);
    section.compressedLength = static_cast<std::uint32_t>(section.stream.size());
    section.decodedLength = static_cast<std::uint32_t>(decoded.size());
    return section;
}

void writeSongSeeds(SeedFolder& seeds) {
    for (std::uint32_t seed = 1; seed <= 3; ++seed) {
        const SongRecords song = realisticSong(seed, 40 * seed * seed, 90 * seed * seed);
        seeds.add("realistic-" + std::to_string(seed), songFile(song.lyrics, song.music));
    }
    const SongRecords small = realisticSong(9, 12, 20);
    const SongSection lyrics = compressedSection(small.lyrics);
    const SongSection music = compressedSection(small.music);

    seeds.add("empty-sections", songFileBytes(SongSection{}, SongSection{}));
    seeds.add("ended-streams", songFileBytes(endedSection(small.lyrics), endedSection(small.music)));
    seeds.add("literal-streams", songFileBytes(literalSection(small.lyrics), literalSection(small.music)));
    seeds.add("shortfall", songFileBytes(withDecodedLength(lyrics, lyrics.decodedLength + 33),
                                         withDecodedLength(music, music.decodedLength * 3)));
    seeds.add("declared-short", songFileBytes(withDecodedLength(lyrics, 6), withDecodedLength(music, 7)));
    seeds.add("declared-huge", songFileBytes(withDecodedLength(lyrics, 0x7FFFFFFF), withDecodedLength(music, 0x7FFFFFFF)));
    seeds.add("all-notes-at-once", songFile(small.lyrics, allNotesAtOnce(400)));
    seeds.add("random-records", songFile(randomBytes(1, 400), randomBytes(2, 600)));

    // Random lyric records: enough codes to wrap the string table.
    seeds.add("wrapped-table", songFile(randomBytes(3, 4400), small.music));

    const ChainLoopStream loop = wrapMadeChainLoop('a');
    seeds.add("chain-loop", songFileBytes(SongSection{static_cast<std::uint32_t>(loop.stream.size()), 4000, loop.stream}, music));

    // The lyric length ends inside the lyric stream: the music header is read from there.
    SongSection cut = lyrics;
    cut.compressedLength = static_cast<std::uint32_t>(cut.stream.size() / 2);
    seeds.add("music-header-in-lyric-stream", songFileBytes(cut, music));

    Bytes truncated = songFileBytes(lyrics, music);
    truncated.resize(truncated.size() - 5);
    seeds.add("truncated", truncated);

    Bytes negative = songFileBytes(lyrics, music);
    negative[12 + lyrics.stream.size() + 4] = 0x80;
    seeds.add("negative-music-length", negative);
}

// An input of the decoder target: the capacity field, then the stream.
Bytes decoderInput(std::uint32_t capacityField, const Bytes& stream) {
    Bytes input = {static_cast<std::uint8_t>(capacityField >> 24), static_cast<std::uint8_t>(capacityField >> 16),
                   static_cast<std::uint8_t>(capacityField >> 8), static_cast<std::uint8_t>(capacityField)};
    input.insert(input.end(), stream.begin(), stream.end());
    return input;
}

void writeDecoderSeeds(SeedFolder& seeds) {
    const Bytes text = textBytes("Twinkle, twinkle, little star, how I wonder what you are! Twinkle, twinkle...");
    const SongRecords song = realisticSong(5, 100, 200);
    seeds.add("text", decoderInput(0x7FFFFFFF, lzwEncode(text)));
    seeds.add("text-ended", decoderInput(0x7FFFFFFF, lzwEncode(text, true)));
    seeds.add("text-cut-by-capacity", decoderInput(20, lzwEncode(text)));
    seeds.add("lyric-records", decoderInput(static_cast<std::uint32_t>(song.lyrics.size()), lzwEncode(song.lyrics)));
    seeds.add("music-records", decoderInput(static_cast<std::uint32_t>(song.music.size()), lzwEncode(song.music)));
    seeds.add("random", decoderInput(3000, lzwEncode(randomBytes(4, 3000))));
    seeds.add("wrapped-table", decoderInput(0x7FFFFFFF, lzwEncode(randomBytes(5, 4400))));
    seeds.add("repetitive", decoderInput(0x7FFFFFFF, lzwEncode(Bytes(200000, 'x'))));
    seeds.add("chain-loop", decoderInput(0x7FFFFFFF, wrapMadeChainLoop('a').stream));
    seeds.add("literals", decoderInput(100, literalStream(text)));

    // Codes by hand: the code that names its own entry, code 256, END_CODE first, a refused code.
    const std::vector<std::vector<std::uint16_t>> codeSeeds = {
        {0x041, 0x042, 0x101, 0x103},
        {0x041, 0x101, 0x102, 0x041},
        {0x041, 0x100, 0x042},
        {0xFFF, 0x041, 0x042},
        {0x141, 0x042},
        {0x101, 0x101, 0x101},
        {0x041, 0x042, 0x12C, 0x043},
    };
    for (std::size_t i = 0; i < codeSeeds.size(); ++i) {
        seeds.add("codes-" + std::to_string(i), decoderInput(0x7FFFFFFF, packCodes(codeSeeds[i])));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seed_corpus <folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    SeedFolder songSeeds(folder / "seeds-song_conversion_fuzzer");
    writeSongSeeds(songSeeds);
    SeedFolder decoderSeeds(folder / "seeds-lzw_decoder_fuzzer");
    writeDecoderSeeds(decoderSeeds);
    return 0;
}
