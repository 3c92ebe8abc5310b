#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "midi/track_table.h"

namespace meldrix {
namespace {

std::vector<std::uint8_t> bytesOf(const TrackTable& table, int slot) {
    const TrackBuffer* buffer = table.buffer(slot);
    return buffer == nullptr ? std::vector<std::uint8_t>{} : std::vector<std::uint8_t>(buffer->bytes().begin(), buffer->bytes().end());
}

struct AppendCase {
    std::int64_t value;
    bool asDeltaTime;
    std::vector<std::uint8_t> stored;
};

TEST(TrackTable, StoresRawBytesAndDeltaTimes) {
    const AppendCase cases[] = {
        {0, true, {0x00}},
        {127, true, {0x7F}},
        {128, true, {0x81, 0x00}},
        {65535, true, {0x83, 0xFF, 0x7F}},
        {MAX_VARIABLE_LENGTH, true, {0xFF, 0xFF, 0xFF, 0x7F}},
        {-1, true, {0xFF}},    // one byte, the low 8 bits of its two's complement
        {-200, true, {0x38}},
        {300, false, {0x2C}},  // a raw byte keeps only its low 8 bits, whatever its size
        {255, false, {0xFF}},
        {128, false, {0x80}},
    };
    for (const AppendCase& c : cases) {
        TrackTable table;
        ASSERT_TRUE(table.appendTrackByte(MUSIC_TRACK, 0x55, false));
        EXPECT_TRUE(table.appendTrackByte(MUSIC_TRACK, c.value, c.asDeltaTime)) << c.value;
        std::vector<std::uint8_t> expected = {0x55};
        expected.insert(expected.end(), c.stored.begin(), c.stored.end());
        EXPECT_EQ(bytesOf(table, MUSIC_TRACK), expected) << "value " << c.value;
        EXPECT_FALSE(table.overflowed());
    }
}

TEST(TrackTable, CountsASlotOnlyOnItsFirstAppendOrOpening) {
    TrackTable table;
    EXPECT_EQ(table.trackCount(), 0);
    EXPECT_EQ(table.buffer(LYRIC_TRACK), nullptr);

    table.appendTrackByte(LYRIC_TRACK, 1, false);
    EXPECT_EQ(table.trackCount(), 1);
    table.appendTrackByte(LYRIC_TRACK, 200, true);
    EXPECT_EQ(table.trackCount(), 1);
    table.appendTrackByte(MUSIC_TRACK, 2, false);
    EXPECT_EQ(table.trackCount(), 2);

    table.openTrack(5);
    EXPECT_EQ(table.trackCount(), 3);
    ASSERT_NE(table.buffer(5), nullptr);
    EXPECT_TRUE(table.buffer(5)->bytes().empty());
    table.openTrack(5);
    table.openTrack(LYRIC_TRACK);  // opening a filled slot keeps its bytes
    table.appendTrackByte(5, 3, false);
    EXPECT_EQ(table.trackCount(), 3);
    EXPECT_EQ(bytesOf(table, LYRIC_TRACK), (std::vector<std::uint8_t>{0x01, 0x81, 0x48}));
    EXPECT_EQ(table.buffer(2), nullptr);

    table.clear();
    EXPECT_EQ(table.trackCount(), 0);
    for (int slot = 0; slot < TRACK_SLOTS; ++slot) EXPECT_EQ(table.buffer(slot), nullptr);
}

TEST(TrackTable, RefusesSlotsOutsideTheTableWithoutOverflowing) {
    TrackTable table;
    EXPECT_FALSE(table.appendTrackByte(-1, 1, false));
    EXPECT_FALSE(table.appendTrackByte(TRACK_SLOTS, 200, true));
    table.openTrack(TRACK_SLOTS);
    EXPECT_EQ(table.trackCount(), 0);
    EXPECT_FALSE(table.overflowed());
    EXPECT_EQ(table.buffer(TRACK_SLOTS), nullptr);
}

TEST(TrackTable, FillsExactlyToItsLimitThenRefusesEverything) {
    TrackTable table(5);
    for (int value = 0; value < 3; ++value) ASSERT_TRUE(table.appendTrackByte(MUSIC_TRACK, value, false));
    EXPECT_TRUE(table.appendTrackByte(MUSIC_TRACK, 128, true));  // 2 bytes: exactly 5
    EXPECT_FALSE(table.overflowed());

    EXPECT_FALSE(table.appendTrackByte(MUSIC_TRACK, 7, false));
    EXPECT_TRUE(table.overflowed());
    const std::vector<std::uint8_t> full = {0x00, 0x01, 0x02, 0x81, 0x00};
    EXPECT_EQ(bytesOf(table, MUSIC_TRACK), full);

    // Once overflowed, even another slot with room is refused and not created.
    EXPECT_FALSE(table.appendTrackByte(LYRIC_TRACK, 1, false));
    EXPECT_EQ(table.buffer(LYRIC_TRACK), nullptr);
    EXPECT_EQ(table.trackCount(), 1);
}

TEST(TrackTable, RefusesAQuantityThatWouldPassTheLimitWithoutStoringPartOfIt) {
    TrackTable table(5);
    for (int value = 0; value < 3; ++value) ASSERT_TRUE(table.appendTrackByte(LYRIC_TRACK, value, false));
    EXPECT_FALSE(table.appendTrackByte(LYRIC_TRACK, 65535, true));  // 3 bytes would make 6
    EXPECT_TRUE(table.overflowed());
    EXPECT_EQ(bytesOf(table, LYRIC_TRACK), (std::vector<std::uint8_t>{0x00, 0x01, 0x02}));
    EXPECT_FALSE(table.appendTrackByte(LYRIC_TRACK, 0, false));
    EXPECT_EQ(table.buffer(LYRIC_TRACK)->size(), 3u);
}

TEST(TrackTable, ARefusedFirstAppendCreatesNoTrack) {
    TrackTable table(0);
    EXPECT_FALSE(table.appendTrackByte(LYRIC_TRACK, 1, false));
    EXPECT_TRUE(table.overflowed());
    EXPECT_EQ(table.trackCount(), 0);
    EXPECT_EQ(table.buffer(LYRIC_TRACK), nullptr);
}

TEST(TrackTable, RefusesADeltaTimeNoQuantityCarries) {
    TrackTable table;
    ASSERT_TRUE(table.appendTrackByte(MUSIC_TRACK, 0x42, false));
    EXPECT_FALSE(table.appendTrackByte(MUSIC_TRACK, MAX_VARIABLE_LENGTH + 1, true));
    EXPECT_TRUE(table.overflowed());
    EXPECT_EQ(bytesOf(table, MUSIC_TRACK), (std::vector<std::uint8_t>{0x42}));
    EXPECT_FALSE(table.appendTrackByte(MUSIC_TRACK, 0, true));
    EXPECT_EQ(bytesOf(table, MUSIC_TRACK).size(), 1u);

    table.clear();
    EXPECT_FALSE(table.overflowed());
    EXPECT_TRUE(table.appendTrackByte(MUSIC_TRACK, 0, true));
}

TEST(TrackTable, GrowsPastAnyFixedSize) {
    TrackTable table;
    for (int index = 0; index < 250000; ++index) {
        ASSERT_TRUE(table.appendTrackByte(MUSIC_TRACK, index, false));
    }
    const auto data = table.buffer(MUSIC_TRACK)->bytes();
    ASSERT_EQ(data.size(), 250000u);
    EXPECT_EQ(data[99999], 99999 & 0xFF);
    EXPECT_EQ(data[100000], 100000 & 0xFF);
    EXPECT_EQ(data[249999], 249999 & 0xFF);
}

TEST(TrackTable, ReleaseFreesTheBytesButKeepsTheSlotCounted) {
    TrackTable table;
    for (int index = 0; index < 1000; ++index) table.appendTrackByte(LYRIC_TRACK, index, false);
    table.release(LYRIC_TRACK);
    ASSERT_NE(table.buffer(LYRIC_TRACK), nullptr);
    EXPECT_EQ(table.buffer(LYRIC_TRACK)->capacity(), 0u);
    EXPECT_EQ(table.trackCount(), 1);
}

}  // namespace
}  // namespace meldrix
