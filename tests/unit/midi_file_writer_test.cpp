#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "midi/midi_file_writer.h"
#include "midi/track_table.h"

namespace meldrix {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct WriteResult {
    bool ok;
    std::vector<std::uint8_t> bytes;
};

WriteResult writeToMemory(TrackTable& table) {
    File file(std::tmpfile());
    EXPECT_NE(file, nullptr);
    if (file == nullptr) return {false, {}};
    const bool ok = MidiFileWriter::write(file.get(), table);
    std::rewind(file.get());
    std::vector<std::uint8_t> bytes;
    for (int c = std::fgetc(file.get()); c != EOF; c = std::fgetc(file.get())) {
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return {ok, bytes};
}

void fill(TrackTable& table, int slot, const std::vector<std::uint8_t>& bytes) {
    for (const std::uint8_t byte : bytes) ASSERT_TRUE(table.appendTrackByte(slot, byte, false));
}

void expectAllReleased(const TrackTable& table) {
    for (int slot = 0; slot < TRACK_SLOTS; ++slot) {
        if (const TrackBuffer* buffer = table.buffer(slot)) {
            EXPECT_EQ(buffer->capacity(), 0u) << "slot " << slot;
        }
    }
}

// The 23 bytes that open a track chunk: "MTrk", the length, time signature and tempo at time 0.
std::vector<std::uint8_t> trackOpening(std::uint32_t chunkLength) {
    return {0x4D, 0x54, 0x72, 0x6B,
            static_cast<std::uint8_t>(chunkLength >> 24), static_cast<std::uint8_t>(chunkLength >> 16),
            static_cast<std::uint8_t>(chunkLength >> 8), static_cast<std::uint8_t>(chunkLength),
            0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,
            0x00, 0xFF, 0x51, 0x03, 0x07, 0x00, 0x00};
}

TEST(MidiFileWriter, WritesTwoTracksByteForByte) {
    TrackTable table;
    fill(table, LYRIC_TRACK, {0x00, 0xFF, 0x05, 0x01, 0x41});
    fill(table, MUSIC_TRACK, {0x00, 0x90, 0x3C, 0x64});

    const WriteResult result = writeToMemory(table);
    const std::vector<std::uint8_t> expected = {
        0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x1B, 0x4D, 0x54,
        0x72, 0x6B, 0x00, 0x00, 0x00, 0x18, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF,
        0x51, 0x03, 0x07, 0x00, 0x00, 0x00, 0xFF, 0x05, 0x01, 0x41, 0x00, 0xFF, 0x2F, 0x00, 0x4D, 0x54,
        0x72, 0x6B, 0x00, 0x00, 0x00, 0x17, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF,
        0x51, 0x03, 0x07, 0x00, 0x00, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00};
    ASSERT_EQ(expected.size(), 77u);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.bytes, expected);
    expectAllReleased(table);
}

TEST(MidiFileWriter, ASingleTrackIsFormat0WithCount1) {
    TrackTable table;
    fill(table, MUSIC_TRACK, {0x00, 0xC0, 0x05});
    const WriteResult result = writeToMemory(table);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.bytes.size(), 14u + 27u + 3u);
    const std::vector<std::uint8_t> header(result.bytes.begin(), result.bytes.begin() + 14);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06,
                                                 0x00, 0x00, 0x00, 0x01, 0x00, 0x1B}));
    std::vector<std::uint8_t> chunk = trackOpening(3 + 19);
    chunk.insert(chunk.end(), {0x00, 0xC0, 0x05, 0x00, 0xFF, 0x2F, 0x00});
    EXPECT_EQ(std::vector<std::uint8_t>(result.bytes.begin() + 14, result.bytes.end()), chunk);
}

TEST(MidiFileWriter, AnEmptyTableWritesNothing) {
    TrackTable table;
    const WriteResult result = writeToMemory(table);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.bytes.empty());
}

TEST(MidiFileWriter, OpenedTracksWithoutEventsHoldOnlyTheirFixedEvents) {
    TrackTable table;
    table.openTrack(LYRIC_TRACK);
    table.openTrack(MUSIC_TRACK);
    const WriteResult result = writeToMemory(table);
    ASSERT_TRUE(result.ok);
    std::vector<std::uint8_t> expected = {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06,
                                          0x00, 0x01, 0x00, 0x02, 0x00, 0x1B};
    for (int track = 0; track < 2; ++track) {
        const std::vector<std::uint8_t> opening = trackOpening(19);
        expected.insert(expected.end(), opening.begin(), opening.end());
        expected.insert(expected.end(), {0x00, 0xFF, 0x2F, 0x00});
    }
    EXPECT_EQ(result.bytes, expected);
}

TEST(MidiFileWriter, WritesChunksInSlotOrderNotFillOrder) {
    TrackTable table;
    fill(table, 3, {0x00, 0xB3, 0x07, 0x40});
    fill(table, LYRIC_TRACK, {0x00, 0xFF, 0x05, 0x01, 0x61});
    const WriteResult result = writeToMemory(table);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.bytes.size(), 14u + 27u + 5u + 27u + 4u);
    EXPECT_EQ(result.bytes[11], 2);  // track count
    EXPECT_EQ(result.bytes[14 + 23 + 4], 0x61);  // last event byte of the lyric chunk
    EXPECT_EQ(result.bytes[14 + 32 + 7], 4 + 19);  // low length byte of the second chunk
    EXPECT_EQ(result.bytes[14 + 32 + 23 + 1], 0xB3);
}

TEST(MidiFileWriter, WritesALongTrackWhole) {
    TrackTable table;
    std::vector<std::uint8_t> events(300000);
    for (std::size_t index = 0; index < events.size(); ++index) {
        events[index] = static_cast<std::uint8_t>((index * 7) & 0x7F);
    }
    fill(table, MUSIC_TRACK, events);

    const WriteResult result = writeToMemory(table);
    ASSERT_TRUE(result.ok);
    ASSERT_EQ(result.bytes.size(), 14u + 27u + 300000u);
    // 300019 = 0x000493F3
    const std::vector<std::uint8_t> opening = trackOpening(0x000493F3);
    EXPECT_EQ(std::vector<std::uint8_t>(result.bytes.begin() + 14, result.bytes.begin() + 37), opening);
    EXPECT_TRUE(std::equal(events.begin(), events.end(), result.bytes.begin() + 37));
    EXPECT_EQ(std::vector<std::uint8_t>(result.bytes.end() - 4, result.bytes.end()),
              (std::vector<std::uint8_t>{0x00, 0xFF, 0x2F, 0x00}));
    expectAllReleased(table);
}

TEST(MidiFileWriter, ReportsAStreamThatRefusesWrites) {
    TrackTable table;
    fill(table, LYRIC_TRACK, {0x00, 0xFF, 0x05, 0x01, 0x41});
    File readOnly(std::fopen("/dev/null", "rb"));
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(MidiFileWriter::write(readOnly.get(), table));
}

TEST(MidiFileWriter, AnOverflowedTableWritesNothing) {
    TrackTable table(2);
    fill(table, LYRIC_TRACK, {0x00, 0x01});
    ASSERT_FALSE(table.appendTrackByte(LYRIC_TRACK, 0x02, false));
    const WriteResult result = writeToMemory(table);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.bytes.empty());
}

}  // namespace
}  // namespace meldrix
