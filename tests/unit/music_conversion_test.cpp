#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "convert/music_conversion.h"
#include "convert/note_off_schedule.h"
#include "driver/console.h"
#include "lzw/decoded_section.h"
#include "midi/track_table.h"

namespace meldrix {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct MusicRecord {
    std::uint8_t delta;
    std::uint8_t duration;
    std::uint8_t kind;
    std::uint8_t data1;
    std::uint8_t data2;
};

Bytes musicBytes(const std::vector<MusicRecord>& records) {
    Bytes bytes;
    for (const MusicRecord& r : records) bytes.insert(bytes.end(), {r.delta, r.duration, r.kind, r.data1, r.data2});
    return bytes;
}

struct Converted {
    Bytes track;
    std::string console;
    MusicTrackState state;
    std::size_t pendingAfterConversion;
    std::size_t pendingAfterFlush;
    bool overflowed;
};

// Converts the records and flushes the pending note-offs, as a run does.
Converted convert(Bytes bytes, std::uint64_t coveredLength, MusicTrackState state = {}) {
    const DecodedSection section(std::move(bytes));
    TrackTable table;
    NoteOffSchedule schedule;
    Console console;
    convertMusic(section, coveredLength, table, schedule, state, console);
    const std::size_t pending = schedule.count();
    flushNoteOffs(table, schedule, state, console);
    const TrackBuffer* buffer = table.buffer(MUSIC_TRACK);
    return {buffer == nullptr ? Bytes{} : Bytes(buffer->bytes().begin(), buffer->bytes().end()), console.recorded(), state, pending,
            schedule.count(), table.overflowed()};
}

Converted convert(const std::vector<MusicRecord>& records, MusicTrackState state = {}) {
    Bytes bytes = musicBytes(records);
    const std::uint64_t length = bytes.size();
    return convert(std::move(bytes), length, state);
}

TEST(MusicConversion, ConvertsEightRecordsAndFlushesByteForByte) {
    const Converted converted = convert({{0x00, 0x00, 0xC0, 0x05, 0x00},
                                         {0x00, 0x3C, 0x00, 0x3C, 0x64},
                                         {0x00, 0x0A, 0x01, 0x40, 0x5A},
                                         {0x1E, 0x00, 0xB0, 0x07, 0x7F},
                                         {0x28, 0x14, 0x00, 0x43, 0x50},
                                         {0x00, 0x00, 0xE0, 0x00, 0x40},
                                         {0xC8, 0x00, 0xB1, 0x0A, 0x40},
                                         {0x00, 0x1E, 0x09, 0x24, 0x6E}});
    const Bytes expected = {0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x00, 0x91, 0x40, 0x5A, 0x0A,
                            0x81, 0x40, 0x5A, 0x14, 0xB0, 0x07, 0x7F, 0x1E, 0x80, 0x3C, 0x64, 0x0A,
                            0x90, 0x43, 0x50, 0x00, 0xE0, 0x00, 0x40, 0x14, 0x80, 0x43, 0x50, 0x81,
                            0x34, 0xB1, 0x0A, 0x40, 0x00, 0x99, 0x24, 0x6E, 0x1E, 0x89, 0x24, 0x6E};
    EXPECT_EQ(converted.track, expected);
    EXPECT_EQ(converted.console, "");
    EXPECT_EQ(converted.pendingAfterConversion, 1u);
    EXPECT_EQ(converted.pendingAfterFlush, 0u);
    EXPECT_EQ(converted.state.musicClock, 270);
}

struct EventCase {
    const char* name;
    std::vector<MusicRecord> records;
    Bytes track;
    std::string console;
};

void expectCases(const std::vector<EventCase>& cases) {
    for (const EventCase& c : cases) {
        const Converted converted = convert(c.records);
        EXPECT_EQ(converted.track, c.track) << c.name;
        EXPECT_EQ(converted.console, c.console) << c.name;
        EXPECT_EQ(converted.pendingAfterFlush, 0u) << c.name;
        EXPECT_FALSE(converted.overflowed) << c.name;
    }
}

TEST(MusicConversion, WritesNoteOffsAtTheirTimeInTheirOrder) {
    expectCases({
        {"a delta of 0 never writes a note-off, even one already due",
         {{0, 0, 0x00, 60, 100}, {0, 0, 0xB0, 7, 16}, {0, 0, 0xB0, 7, 17}, {5, 0, 0xB0, 7, 18}},
         {0x00, 0x90, 60, 100, 0x00, 0xB0, 7, 16, 0x00, 0xB0, 7, 17, 0x00, 0x80, 60, 100, 0x05, 0xB0, 7, 18},
         ""},
        {"a duration-0 note at the end gets its note-off from the flush",
         {{3, 0, 0x05, 40, 50}},
         {0x03, 0x95, 40, 50, 0x00, 0x85, 40, 50},
         ""},
        {"a note-off due exactly at a record's time comes first, leaving delta 0",
         {{0, 10, 0x00, 60, 90}, {10, 0, 0xB0, 1, 2}},
         {0x00, 0x90, 60, 90, 0x0A, 0x80, 60, 90, 0x00, 0xB0, 1, 2},
         ""},
        {"equal times come out in the order of their note-ons",
         {{0, 10, 0x00, 60, 1}, {0, 10, 0x01, 61, 2}, {0, 10, 0x02, 62, 3}, {20, 0, 0xB0, 1, 2}},
         {0x00, 0x90, 60, 1, 0x00, 0x91, 61, 2, 0x00, 0x92, 62, 3, 0x0A, 0x80, 60, 1, 0x00, 0x81, 61, 2,
          0x00, 0x82, 62, 3, 0x0A, 0xB0, 1, 2},
         ""},
        {"an earlier note-off of a later note comes first",
         {{0, 20, 0x00, 60, 1}, {0, 10, 0x00, 61, 2}, {30, 0, 0xC0, 5, 0}},
         {0x00, 0x90, 60, 1, 0x00, 0x90, 61, 2, 0x0A, 0x80, 61, 2, 0x0A, 0x80, 60, 1, 0x0A, 0xC0, 5},
         ""},
        {"velocity 0 still schedules its note-off",
         {{1, 4, 0x03, 70, 0}, {200, 0, 0xE3, 0, 64}},
         {0x01, 0x93, 70, 0, 0x04, 0x83, 70, 0, 0x81, 0x44, 0xE3, 0, 64},
         ""},
    });
}

TEST(MusicConversion, ClampsDataBytesButNotTheirMeaning) {
    expectCases({
        {"note-on and its note-off",
         {{0, 3, 0x00, 0xC8, 0x90}, {5, 0, 0xB2, 0x80, 0xFF}},
         {0x00, 0x90, 0x7F, 0x7F, 0x03, 0x80, 0x7F, 0x7F, 0x02, 0xB2, 0x7F, 0x7F},
         ""},
        {"program change appends one data byte, whatever data2 holds",
         {{0, 0, 0xC3, 0x85, 0x99}, {0, 0, 0xCF, 0x10, 0xFF}},
         {0x00, 0xC3, 0x7F, 0x00, 0xCF, 0x10},
         ""},
        {"pitch bend", {{0, 0, 0xEF, 0xFF, 0x80}}, {0x00, 0xEF, 0x7F, 0x7F}, ""},
        {"bytes up to 0x7F are kept", {{0, 0, 0xB0, 0x7F, 0x00}}, {0x00, 0xB0, 0x7F, 0x00}, ""},
    });
}

TEST(MusicConversion, RecognisesOnlyNotesControllersProgramsAndPitchBends) {
    struct Case {
        std::uint8_t kind;
        Bytes event;  // empty: not recognised
    };
    const Case cases[] = {
        {0x00, {0x90, 0x11, 0x22}}, {0x0F, {0x9F, 0x11, 0x22}}, {0xB0, {0xB0, 0x11, 0x22}},
        {0xBF, {0xBF, 0x11, 0x22}}, {0xC0, {0xC0, 0x11}},       {0xCF, {0xCF, 0x11}},
        {0xE0, {0xE0, 0x11, 0x22}}, {0xEF, {0xEF, 0x11, 0x22}}, {0x10, {}},
        {0x80, {}},                 {0x9F, {}},                 {0xAF, {}},
        {0xD0, {}},                 {0xF0, {}},                 {0xFF, {}},
    };
    for (const Case& c : cases) {
        // The second record shows where the first one's event stands.
        const Converted converted = convert({{3, 0, c.kind, 0x11, 0x22}, {4, 0, 0xB5, 1, 2}});
        Bytes expected;
        char message[32] = "";
        if (c.event.empty()) {
            std::snprintf(message, sizeof message, "Unrecognize code %02X\n", c.kind);
            expected = {0x07, 0xB5, 1, 2};
        } else {
            expected = {0x03};
            expected.insert(expected.end(), c.event.begin(), c.event.end());
            if (c.kind < 0x10) expected.insert(expected.end(), {0x00, static_cast<std::uint8_t>(0x80 | (c.kind & 0x0F)), 0x11, 0x22});
            expected.insert(expected.end(), {0x04, 0xB5, 1, 2});
        }
        EXPECT_EQ(converted.track, expected) << "kind " << int{c.kind};
        EXPECT_EQ(converted.console, message) << "kind " << int{c.kind};
    }
}

TEST(MusicConversion, CarriesTheDeltaOfAnUnrecognisedRecordToTheNextDeltaTime) {
    expectCases({
        {"into the next record's delta",
         {{0, 0, 0xB0, 1, 2}, {7, 0, 0x20, 0, 0}, {5, 0, 0xB0, 3, 4}},
         {0x00, 0xB0, 1, 2, 0x0C, 0xB0, 3, 4},
         "Unrecognize code 20\n"},
        {"into a record with delta 0",
         {{5, 0, 0xD1, 0, 0}, {0, 0, 0xB0, 3, 4}},
         {0x05, 0xB0, 3, 4},
         "Unrecognize code D1\n"},
        {"into the gap of a note-off written later",
         {{0, 10, 0x00, 60, 90}, {4, 0, 0xF0, 0, 0}, {20, 0, 0xB0, 3, 4}},
         {0x00, 0x90, 60, 90, 0x0A, 0x80, 60, 90, 0x0E, 0xB0, 3, 4},
         "Unrecognize code F0\n"},
        {"what is left after its own note-offs",
         {{0, 5, 0x00, 60, 90}, {9, 0, 0x85, 0, 0}, {1, 0, 0xB0, 3, 4}},
         {0x00, 0x90, 60, 90, 0x05, 0x80, 60, 90, 0x05, 0xB0, 3, 4},
         "Unrecognize code 85\n"},
        {"several in a row add up, past one byte",
         {{100, 0, 0x10, 0, 0}, {100, 0, 0x11, 0, 0}, {0, 0, 0xC0, 1, 0}},
         {0x81, 0x48, 0xC0, 1},
         "Unrecognize code 10\nUnrecognize code 11\n"},
        {"into the flush's first gap",
         {{0, 30, 0x00, 60, 90}, {10, 0, 0xAA, 0, 0}},
         {0x00, 0x90, 60, 90, 0x1E, 0x80, 60, 90},
         "Unrecognize code AA\n"},
        {"dropped at the end of the track",
         {{0, 0, 0xB0, 1, 2}, {50, 0, 0x10, 0, 0}},
         {0x00, 0xB0, 1, 2},
         "Unrecognize code 10\n"},
        {"an unrecognised first and only record leaves the track empty",
         {{9, 0, 0xFF, 0, 0}},
         {},
         "Unrecognize code FF\n"},
    });
}

TEST(MusicConversion, ConvertsTheRecordsThatStartInsideTheCoveredLength) {
    // 30 controller records with delta 0, each naming its index: 4 track bytes per record.
    std::vector<MusicRecord> records;
    for (int index = 0; index < 30; ++index) records.push_back({0, 0, 0xB0, static_cast<std::uint8_t>(index), 0});
    const Bytes bytes = musicBytes(records);

    struct Case {
        std::uint64_t covered;
        std::size_t records;
        std::string dots;
    };
    const Case cases[] = {{0, 0, ""},     {1, 1, ""},     {5, 1, ""},     {6, 2, ""},
                          {45, 9, ""},    {46, 10, "."},  {50, 10, "."},  {51, 11, "."},
                          {100, 20, ".."}, {150, 30, "..."}};
    for (const Case& c : cases) {
        const Converted converted = convert(bytes, c.covered);
        ASSERT_EQ(converted.track.size(), 4 * c.records) << "covered " << c.covered;
        for (std::size_t index = 0; index < c.records; ++index) {
            EXPECT_EQ(converted.track[4 * index + 2], index) << "covered " << c.covered;
        }
        EXPECT_EQ(converted.console, c.dots) << "covered " << c.covered;
    }
}

TEST(MusicConversion, ReadsALastPartialRecordWithItsMissingBytesAsZero) {
    // A whole record, then delta 3 and duration 2 of a second one: kind and data read as 0,
    // a note-on of note 0 with velocity 0 on channel 0.
    const Bytes bytes = {0x00, 0x00, 0xC0, 0x05, 0x00, 0x03, 0x02};
    const Bytes expected = {0x00, 0xC0, 0x05, 0x03, 0x90, 0x00, 0x00, 0x02, 0x80, 0x00, 0x00};
    EXPECT_EQ(convert(bytes, 7).track, expected);
    EXPECT_EQ(convert(bytes, 500).track, expected);  // nothing invented past the produced bytes
}

TEST(MusicConversion, KeepsTimeBeyond32Bits) {
    MusicTrackState state;
    state.musicClock = 2147483647 - 5;
    const Converted converted = convert({{0, 10, 0x00, 60, 90}, {20, 0, 0xB0, 1, 2}}, state);
    EXPECT_EQ(converted.track, (Bytes{0x00, 0x90, 60, 90, 0x0A, 0x80, 60, 90, 0x0A, 0xB0, 1, 2}));
    EXPECT_EQ(converted.state.musicClock, std::int64_t{2147483647} + 15);
}

TEST(MusicConversion, ACarryNoQuantityHoldsOverflowsTheTrack) {
    MusicTrackState state;
    state.pendingDelta = MAX_VARIABLE_LENGTH;
    const Converted converted = convert({{1, 0, 0xB0, 1, 2}}, state);
    EXPECT_TRUE(converted.overflowed);
}

TEST(MusicConversion, FlushLeavesTheClockAndDoesNothingWhenNothingIsPending) {
    const Converted converted = convert({{40, 0, 0xB0, 1, 2}, {60, 0, 0xB0, 3, 4}});
    EXPECT_EQ(converted.track, (Bytes{0x28, 0xB0, 1, 2, 0x3C, 0xB0, 3, 4}));
    EXPECT_EQ(converted.state.musicClock, 100);
}

TEST(WriteDueNoteOffs, WarnsOfAGapOutsideItsLimitsButWritesItAllTheSame) {
    struct Case {
        const char* name;
        std::vector<std::int64_t> times;
        std::int64_t limit;
        std::int64_t baseTime;
        std::int64_t carried;
        Bytes track;
        std::string console;
        std::int64_t returned;
        std::size_t left;
    };
    const Case cases[] = {
        {"nothing due", {50}, 49, 40, 0, {}, "", 40, 1},
        {"gaps from the base time, then from each other", {45, 50, 60}, 55, 40, 0,
         {0x05, 0x80, 1, 2, 0x05, 0x80, 1, 2}, "", 50, 1},
        {"a gap of exactly the warning limit", {300}, 1000, 0, 0, {0x82, 0x2C, 0x80, 1, 2}, "", 300, 0},
        {"a gap above the warning limit", {301}, 1000, 0, 0, {0x82, 0x2D, 0x80, 1, 2}, "bad\n", 301, 0},
        {"a negative gap", {3}, 1000, 10, 0, {0xF9, 0x80, 1, 2}, "bad\n", 3, 0},
        {"a carry grows the written gap, not the checked one", {295}, 1000, 0, 10,
         {0x82, 0x31, 0x80, 1, 2}, "", 295, 0},
    };
    for (const Case& c : cases) {
        TrackTable table;
        NoteOffSchedule schedule;
        for (const std::int64_t time : c.times) schedule.addNoteOff(time, 1, 2, 0);
        MusicTrackState state;
        state.pendingDelta = c.carried;
        Console console;
        const std::int64_t returned = writeDueNoteOffs(c.limit, c.baseTime, table, schedule, state, console);
        const TrackBuffer* buffer = table.buffer(MUSIC_TRACK);
        EXPECT_EQ(buffer == nullptr ? Bytes{} : Bytes(buffer->bytes().begin(), buffer->bytes().end()), c.track) << c.name;
        EXPECT_EQ(console.recorded(), c.console) << c.name;
        EXPECT_EQ(returned, c.returned) << c.name;
        EXPECT_EQ(schedule.count(), c.left) << c.name;
    }
}

}  // namespace
}  // namespace meldrix
