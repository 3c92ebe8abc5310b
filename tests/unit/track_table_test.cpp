#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "midi/track_table.h"
#include "midi/track_writer.h"

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

namespace meldrix {
namespace {

struct EventCase {
    std::int64_t delta;
    TrackEvent event;
    std::vector<std::uint8_t> stored;  // the delta time and the event's bytes
};

// Events of every size, after delta times of one to four bytes.
const std::vector<EventCase>& sampleEvents() {
    static const std::vector<EventCase> events = {
        {0, {{0x90, 60, 100, 0}, 3}, {0x00, 0x90, 60, 100}},
        {200, {{0xB1, 7, 127, 0}, 3}, {0x81, 0x48, 0xB1, 7, 127}},
        {5, {{0xC2, 9, 0, 0}, 2}, {0x05, 0xC2, 9}},
        {127, {{0xFF, 0x05, 1, 'a'}, 4}, {0x7F, 0xFF, 0x05, 0x01, 'a'}},
        {MAX_VARIABLE_LENGTH, {{0x80, 60, 0, 0}, 3}, {0xFF, 0xFF, 0xFF, 0x7F, 0x80, 60, 0}},
        {-1, {{0xE0, 0, 64, 0}, 3}, {0xFF, 0xE0, 0, 64}},  // as appendTrackByte stores -1
        {16384, {}, {0x81, 0x80, 0x00}},                    // a delta time alone
        {3, {{0x90, 1, 2, 3}, 200}, {0x03, 0x90, 1, 2, 3}},  // a count past the bytes counts as 4
    };
    return events;
}

// Appends the sample events, 40 times over, through `append` into a table of the given limit;
// checks that the table holds exactly the events that fit whole, and is overflowed exactly when
// one did not.
template <typename Append>
void checkEventsFillUpToTheLimit(std::uint64_t limit, Append append) {
    TrackTable table(limit);
    std::vector<std::uint8_t> expected;
    bool refused = false;
    for (int round = 0; round < 40; ++round) {
        for (const EventCase& c : sampleEvents()) {
            const bool fits = !refused && expected.size() + c.stored.size() <= limit;
            EXPECT_EQ(append(table, c.delta, c.event), fits) << "limit " << limit << " delta " << c.delta;
            if (fits) expected.insert(expected.end(), c.stored.begin(), c.stored.end());
            refused = refused || !fits;
        }
    }
    EXPECT_EQ(bytesOf(table, MUSIC_TRACK), expected) << "limit " << limit;
    EXPECT_EQ(table.overflowed(), refused) << "limit " << limit;
}

TEST(TrackTable, AppendsWholeEventsUpToTheByteLimit) {
    for (const std::uint64_t limit : std::initializer_list<std::uint64_t>{0, 1, 3, 4, 8, 9, 30, 31, 32, 1000, MAX_TRACK_BYTES}) {
        checkEventsFillUpToTheLimit(limit, [](TrackTable& table, std::int64_t delta, const TrackEvent& event) {
            return table.appendEvent(MUSIC_TRACK, delta, event);
        });
    }
}

// The writer keeps its own cursor: what reaches the table must be what appendEvent gives, whether
// the buffer grows under it, the limit falls inside an event, or the table starts without a
// buffer for the slot.
TEST(TrackWriter, WritesWhatAppendEventWould) {
    for (const std::uint64_t limit : std::initializer_list<std::uint64_t>{0, 1, 3, 4, 8, 9, 30, 31, 32, 255, 256, 257, 1000,
                                MAX_TRACK_BYTES}) {
        checkEventsFillUpToTheLimit(limit, [](TrackTable& table, std::int64_t delta, const TrackEvent& event) {
            TrackWriter writer(table, MUSIC_TRACK);
            return writer.append(delta, event);
        });
        // One writer for everything, committed only at its end.
        TrackTable one(limit);
        TrackTable reference(limit);
        {
            TrackWriter writer(one, MUSIC_TRACK);
            for (int round = 0; round < 40; ++round) {
                for (const EventCase& c : sampleEvents()) {
                    EXPECT_EQ(writer.append(c.delta, c.event), reference.appendEvent(MUSIC_TRACK, c.delta, c.event));
                }
            }
        }
        EXPECT_EQ(bytesOf(one, MUSIC_TRACK), bytesOf(reference, MUSIC_TRACK)) << "limit " << limit;
        EXPECT_EQ(one.overflowed(), reference.overflowed()) << "limit " << limit;
    }
}

TEST(TrackWriter, ADeltaTimeNoQuantityCarriesOverflowsTheTable) {
    TrackTable table;
    table.openTrack(MUSIC_TRACK);
    table.reserve(MUSIC_TRACK, 100);
    TrackWriter writer(table, MUSIC_TRACK);
    EXPECT_TRUE(writer.append(1, {{0x90, 1, 2, 0}, 3}));
    EXPECT_FALSE(writer.append(MAX_VARIABLE_LENGTH + 1, {{0x90, 1, 2, 0}, 3}));
    EXPECT_FALSE(writer.append(1, {{0x90, 1, 2, 0}, 3}));
    writer.commit();
    EXPECT_TRUE(table.overflowed());
    EXPECT_EQ(bytesOf(table, MUSIC_TRACK), (std::vector<std::uint8_t>{0x01, 0x90, 1, 2}));
}

}  // namespace
}  // namespace meldrix
