#include "expected_conversion.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "lzw/lzw_decoder.h"

namespace meldrix::fuzzing {

namespace {

constexpr std::uint64_t HEADER_SIZE = 12;
constexpr std::uint64_t LYRIC_RECORD = 4;
constexpr std::uint64_t MUSIC_RECORD = 5;

struct FieldTexts {
    const char* stage;
    const char* negative;
};

constexpr FieldTexts LYRIC_COMPRESSED = {"Getting lyric compressed length... ", "Bad lyric compressed length %08X\n"};
constexpr FieldTexts LYRIC_DECODED = {"Getting lyric uncompressed length... ", "Bad lyric uncompressed length %08X\n"};
constexpr FieldTexts MUSIC_COMPRESSED = {"Getting MIDI compressed length... ", "Bad MIDI compressed length %08X\n"};
constexpr FieldTexts MUSIC_DECODED = {"Getting MIDI uncompressed length... ", "Bad MIDI uncompressed length %08X\n"};

// A length field at `at`: its value, or nothing with the stop line when the run must stop there.
std::optional<std::uint32_t> lengthField(std::span<const std::uint8_t> file, std::uint64_t at, const FieldTexts& texts,
                                         std::string& stopLine) {
    if (at > file.size() || file.size() - at < 4) {
        stopLine = std::string(texts.stage) + "Unexpected end of input file\n";
        return std::nullopt;
    }
    const std::uint32_t value = std::uint32_t{file[at]} << 24 | std::uint32_t{file[at + 1]} << 16 |
                                std::uint32_t{file[at + 2]} << 8 | std::uint32_t{file[at + 3]};
    if (value >= 0x80000000u) {
        char line[128];
        std::snprintf(line, sizeof line, texts.negative, value);
        stopLine = std::string(texts.stage) + line;
        return std::nullopt;
    }
    return value;
}

// The records a conversion reads from one section.
std::vector<std::uint8_t> recordsOf(std::span<const std::uint8_t> file, std::uint64_t streamAt,
                                    std::uint32_t compressedLength, std::uint32_t decodedLength,
                                    std::uint64_t recordSize) {
    const std::uint64_t start = std::min<std::uint64_t>(streamAt, file.size());
    const std::uint64_t inFile = std::min<std::uint64_t>(compressedLength, file.size() - start);
    Console ignored;
    const DecodedSection section =
        LzwDecoder::decode(file.subspan(start, inFile), std::uint64_t{decodedLength} + DECODED_SLACK, ignored);
    const std::uint64_t covered = std::min<std::uint64_t>(decodedLength, section.produced());
    std::vector<std::uint8_t> records((covered + recordSize - 1) / recordSize * recordSize);
    for (std::size_t i = 0; i < records.size(); ++i) records[i] = section.byteAt(i);
    return records;
}

}  // namespace

ExpectedConversion expectConversion(std::span<const std::uint8_t> songFile) {
    ExpectedConversion expected;
    expected.stopsAtHeader = true;
    const auto lyricCompressed = lengthField(songFile, 0, LYRIC_COMPRESSED, expected.stopLine);
    if (!lyricCompressed) return expected;
    const auto lyricDecoded = lengthField(songFile, 4, LYRIC_DECODED, expected.stopLine);
    if (!lyricDecoded) return expected;

    const std::uint64_t musicAt = HEADER_SIZE + *lyricCompressed;
    const auto musicCompressed = lengthField(songFile, musicAt, MUSIC_COMPRESSED, expected.stopLine);
    if (!musicCompressed) return expected;
    const auto musicDecoded = lengthField(songFile, musicAt + 4, MUSIC_DECODED, expected.stopLine);
    if (!musicDecoded) return expected;

    expected.stopsAtHeader = false;
    expected.stopLine.clear();
    expected.lyricRecords = recordsOf(songFile, HEADER_SIZE, *lyricCompressed, *lyricDecoded, LYRIC_RECORD);
    expected.musicRecords =
        recordsOf(songFile, musicAt + HEADER_SIZE, *musicCompressed, *musicDecoded, MUSIC_RECORD);
    return expected;
}

std::int64_t musicDeltaSum(std::span<const std::uint8_t> musicRecords) {
    std::int64_t sum = 0;
    for (std::size_t at = 0; at < musicRecords.size(); at += MUSIC_RECORD) sum += musicRecords[at];
    return sum;
}

}  // namespace meldrix::fuzzing
