#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert/lyric_conversion.h"
#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "midi/track_table.h"

namespace meldrix {
namespace {

struct LyricRecord {
    std::uint8_t character;
    std::uint16_t time;
    std::uint8_t unread = 0;
};

std::vector<std::uint8_t> lyricBytes(const std::vector<LyricRecord>& records) {
    std::vector<std::uint8_t> bytes;
    for (const LyricRecord& record : records) {
        bytes.insert(bytes.end(), {record.character, record.unread, static_cast<std::uint8_t>(record.time & 0xFF),
                                   static_cast<std::uint8_t>(record.time >> 8)});
    }
    return bytes;
}

struct Converted {
    std::vector<std::uint8_t> track;
    std::string console;
    int trackCount;
};

Converted convert(std::vector<std::uint8_t> bytes, std::uint64_t coveredLength) {
    const DecodedSection section(std::move(bytes));
    TrackTable table;
    Console console;
    convertLyrics(section, coveredLength, table, console);
    const TrackBuffer* buffer = table.buffer(LYRIC_TRACK);
    return {buffer == nullptr ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(buffer->bytes().begin(), buffer->bytes().end()), console.recorded(),
            table.trackCount()};
}

Converted convert(const std::vector<LyricRecord>& records) {
    std::vector<std::uint8_t> bytes = lyricBytes(records);
    const std::uint64_t length = bytes.size();
    return convert(std::move(bytes), length);
}

// One Lyric meta event per record: the expected track from each record's delta time bytes.
std::vector<std::uint8_t> lyricEvents(const std::vector<std::vector<std::uint8_t>>& deltas,
                                      const std::vector<std::uint8_t>& characters) {
    std::vector<std::uint8_t> track;
    for (std::size_t index = 0; index < deltas.size(); ++index) {
        track.insert(track.end(), deltas[index].begin(), deltas[index].end());
        track.insert(track.end(), {0xFF, 0x05, 0x01, characters[index]});
    }
    return track;
}

TEST(LyricConversion, ConvertsFourRecordsByteForByte) {
    const std::vector<std::uint8_t> section = {0x48, 0x00, 0x00, 0x00, 0x65, 0x00, 0x1B, 0x00,
                                               0x79, 0x00, 0x00, 0x00, 0x20, 0x00, 0x2C, 0x01};
    const Converted converted = convert(section, 16);
    const std::vector<std::uint8_t> expected = {0x00, 0xFF, 0x05, 0x01, 0x48, 0x1B, 0xFF,
                                                0x05, 0x01, 0x65, 0x00, 0xFF, 0x05, 0x01,
                                                0x79, 0x82, 0x11, 0xFF, 0x05, 0x01, 0x20};
    EXPECT_EQ(converted.track, expected);
    EXPECT_EQ(converted.console, "");
}

TEST(LyricConversion, DeltaTimesCountFromTheLastNonZeroTimeReached) {
    struct Case {
        const char* name;
        std::vector<std::uint16_t> times;
        std::vector<std::vector<std::uint8_t>> deltas;
    };
    const Case cases[] = {
        {"first record at time 0", {0, 5}, {{0x00}, {0x05}}},
        {"zeros repeat the time before", {5, 0, 0, 9}, {{0x05}, {0x00}, {0x00}, {0x04}}},
        {"a repeated time", {27, 27, 30}, {{0x1B}, {0x00}, {0x03}}},
        {"127 and 128", {127, 255}, {{0x7F}, {0x81, 0x00}}},
        {"the largest difference", {65535}, {{0x83, 0xFF, 0x7F}}},
        {"a time that goes back", {100, 40, 130}, {{0x64}, {0x00}, {0x1E}}},
        {"back, then zero, then the time reached", {300, 200, 0, 300}, {{0x82, 0x2C}, {0x00}, {0x00}, {0x00}}},
        {"back below a time reached later", {10, 200, 150, 201}, {{0x0A}, {0x81, 0x3E}, {0x00}, {0x01}}},
    };
    for (const Case& c : cases) {
        std::vector<LyricRecord> records;
        std::vector<std::uint8_t> characters;
        for (const std::uint16_t time : c.times) {
            const auto character = static_cast<std::uint8_t>('a' + records.size());
            records.push_back({character, time});
            characters.push_back(character);
        }
        EXPECT_EQ(convert(records).track, lyricEvents(c.deltas, characters)) << c.name;
    }
}

TEST(LyricConversion, CopiesEveryCharacterUnchangedAndIgnoresTheSecondByte) {
    const std::vector<std::uint8_t> characters = {0x00, 0x7F, 0x80, 0xE9, 0xFF};
    std::vector<LyricRecord> records;
    std::vector<LyricRecord> withOtherSecondBytes;
    for (const std::uint8_t character : characters) {
        records.push_back({character, 0});
        withOtherSecondBytes.push_back({character, 0, static_cast<std::uint8_t>(0xFF - character)});
    }
    const std::vector<std::uint8_t> expected =
        lyricEvents({{0x00}, {0x00}, {0x00}, {0x00}, {0x00}}, characters);
    EXPECT_EQ(convert(records).track, expected);
    EXPECT_EQ(convert(withOtherSecondBytes).track, expected);
}

TEST(LyricConversion, ConvertsTheRecordsThatStartInsideTheCoveredLength) {
    // 30 records, each at time 0 with its own character: 5 track bytes per record.
    std::vector<LyricRecord> records;
    for (int index = 0; index < 30; ++index) records.push_back({static_cast<std::uint8_t>(0x30 + index), 0});
    const std::vector<std::uint8_t> bytes = lyricBytes(records);

    struct Case {
        std::uint64_t covered;
        std::size_t records;
        std::string dots;
    };
    const Case cases[] = {{0, 0, ""},   {1, 1, ""},     {3, 1, ""},     {4, 1, ""},      {5, 2, ""},
                          {39, 10, "."}, {40, 10, "."}, {41, 11, "."}, {80, 20, ".."}, {120, 30, "..."}};
    for (const Case& c : cases) {
        const Converted converted = convert(bytes, c.covered);
        ASSERT_EQ(converted.track.size(), 5 * c.records) << "covered " << c.covered;
        for (std::size_t index = 0; index < c.records; ++index) {
            EXPECT_EQ(converted.track[5 * index + 4], 0x30 + index) << "covered " << c.covered;
        }
        EXPECT_EQ(converted.console, c.dots) << "covered " << c.covered;
        EXPECT_EQ(converted.trackCount, c.records == 0 ? 0 : 1);
    }
}

TEST(LyricConversion, ReadsALastPartialRecordWithItsMissingBytesAsZero) {
    // Two whole records and the first byte of a third: its time is missing, so it reads as 0.
    const std::vector<std::uint8_t> bytes = {0x41, 0x00, 0x10, 0x00, 0x42, 0x00, 0x20, 0x00, 0x43};
    const std::vector<std::uint8_t> expected = lyricEvents({{0x10}, {0x10}, {0x00}}, {0x41, 0x42, 0x43});
    EXPECT_EQ(convert(bytes, 9).track, expected);
    // A covered length past the bytes produced converts no invented record.
    EXPECT_EQ(convert(bytes, 40).track, expected);
}

}  // namespace
}  // namespace meldrix
