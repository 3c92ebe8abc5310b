#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "convert/note_off_schedule.h"

namespace meldrix {
namespace {

// A small, fixed pseudo-random sequence of 15-bit numbers: the same steps on every run.
struct Lcg {
    std::uint32_t state;
    std::uint32_t operator()() {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFFu;
    }
};

// The entries' note numbers, in the order takeEarliestDue hands them out up to limit.
std::vector<int> takeAll(NoteOffSchedule& schedule, std::int64_t limit) {
    std::vector<int> notes;
    while (const std::optional<PendingNoteOff> taken = schedule.takeEarliestDue(limit)) {
        notes.push_back(taken->note);
    }
    return notes;
}

TEST(NoteOffSchedule, AnEmptyScheduleGivesNothing) {
    NoteOffSchedule schedule;
    EXPECT_FALSE(schedule.takeEarliestDue(1000).has_value());
    EXPECT_EQ(schedule.count(), 0u);
}

TEST(NoteOffSchedule, TakesEarliestFirstAndEqualTimesInOrderOfAddition) {
    NoteOffSchedule schedule;
    schedule.addNoteOff(20, 1, 101, 0);
    schedule.addNoteOff(10, 2, 102, 3);
    schedule.addNoteOff(10, 3, 103, 9);
    schedule.addNoteOff(30, 4, 104, 15);
    ASSERT_EQ(schedule.count(), 4u);

    const std::optional<PendingNoteOff> first = schedule.takeEarliestDue(25);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->time, 10);
    EXPECT_EQ(first->note, 2);
    EXPECT_EQ(first->velocity, 102);
    EXPECT_EQ(first->channel, 3);
    EXPECT_EQ(takeAll(schedule, 25), (std::vector<int>{3, 1}));
    EXPECT_EQ(schedule.count(), 1u);

    const std::optional<PendingNoteOff> last = schedule.takeEarliestDue(30);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->note, 4);
    EXPECT_EQ(schedule.count(), 0u);
}

TEST(NoteOffSchedule, AnEntryDueExactlyAtTheLimitIsTaken) {
    struct Case {
        std::int64_t time;
        std::int64_t limit;
        bool taken;
    };
    const Case cases[] = {{10, 10, true}, {11, 10, false}, {9, 10, true}, {-5, -5, true}, {0, -1, false}};
    for (const Case& c : cases) {
        NoteOffSchedule schedule;
        schedule.addNoteOff(c.time, 60, 64, 0);
        EXPECT_EQ(schedule.takeEarliestDue(c.limit).has_value(), c.taken) << c.time << " at " << c.limit;
        EXPECT_EQ(schedule.count(), c.taken ? 0u : 1u);
    }
}

TEST(NoteOffSchedule, TimesBeyond32BitsKeepTheirOrder) {
    NoteOffSchedule schedule;
    const std::int64_t late = std::int64_t{1} << 40;
    schedule.addNoteOff(late + 1, 1, 0, 0);
    schedule.addNoteOff(late, 2, 0, 0);
    schedule.addNoteOff(2147483647, 3, 0, 0);
    EXPECT_EQ(takeAll(schedule, late), (std::vector<int>{3, 2}));
    EXPECT_EQ(takeAll(schedule, late + 1), (std::vector<int>{1}));
}

// The order is that of a plain list scanned for the first smallest time: checked against such a
// list over many interleaved adds and takes, with many equal times.
TEST(NoteOffSchedule, MatchesAListScannedForTheFirstEarliestEntry) {
    struct Reference {
        std::int64_t time;
        int id;
    };
    std::vector<Reference> reference;
    NoteOffSchedule schedule;
    Lcg next{12345};
    std::int64_t clock = 0;
    int id = 0;
    for (int step = 0; step < 20000; ++step) {
        if (next() % 3 != 0) {
            const std::int64_t time = clock + next() % 8;  // few distinct times: many ties
            schedule.addNoteOff(time, static_cast<std::uint8_t>(id & 0x7F), static_cast<std::uint8_t>((id >> 7) & 0x7F), 0);
            reference.push_back({time, id});
            ++id;
        } else {
            clock += next() % 3;
            const std::optional<PendingNoteOff> taken = schedule.takeEarliestDue(clock);
            std::size_t earliest = 0;
            for (std::size_t index = 1; index < reference.size(); ++index) {
                if (reference[index].time < reference[earliest].time) earliest = index;
            }
            if (reference.empty() || reference[earliest].time > clock) {
                ASSERT_FALSE(taken.has_value()) << "step " << step;
            } else {
                ASSERT_TRUE(taken.has_value()) << "step " << step;
                const int expectedId = reference[earliest].id;
                EXPECT_EQ(taken->time, reference[earliest].time);
                EXPECT_EQ(taken->note, expectedId & 0x7F);
                EXPECT_EQ(taken->velocity, (expectedId >> 7) & 0x7F);
                reference.erase(reference.begin() + static_cast<std::ptrdiff_t>(earliest));
            }
        }
        ASSERT_EQ(schedule.count(), reference.size());
    }
}

// Times more than 255 ticks apart cannot share the schedule's window of ticks: equal times must
// still come out in order of addition, wherever each entry is kept.
TEST(NoteOffSchedule, TimesFarApartKeepTheirOrderOfAddition) {
    NoteOffSchedule schedule;
    schedule.addNoteOff(5, 1, 0, 0);
    schedule.addNoteOff(300, 2, 0, 0);   // 295 ticks after the earliest
    schedule.addNoteOff(2, 3, 0, 0);     // before the earliest so far
    ASSERT_EQ(schedule.takeEarliestDue(10)->note, 3);
    ASSERT_EQ(schedule.takeEarliestDue(10)->note, 1);
    schedule.addNoteOff(300, 4, 0, 0);   // ties with note 2, added later
    schedule.addNoteOff(40000, 5, 0, 0);
    schedule.addNoteOff(300, 6, 0, 0);
    EXPECT_FALSE(schedule.takeEarliestDue(299));
    std::vector<int> order;
    while (const auto taken = schedule.takeEarliestDue(1 << 20)) order.push_back(taken->note);
    EXPECT_EQ(order, (std::vector<int>{2, 4, 6, 5}));
    EXPECT_EQ(schedule.count(), 0u);
}

}  // namespace
}  // namespace meldrix

namespace meldrix {
namespace {

// takeAllDue is what the music conversion drains with: it must hand out exactly what taking one
// at a time would, over ring and heap alike (times far apart, before the window, duration 0).
TEST(NoteOffSchedule, TakingAllDueGivesWhatTakingOneByOneGives) {
    NoteOffSchedule oneByOne;
    NoteOffSchedule allAtOnce;
    Lcg next{777};
    std::int64_t clock = 0;
    std::uint8_t id = 0;
    for (int step = 0; step < 20000; ++step) {
        const unsigned choice = next() % 10;
        if (choice < 6) {
            // Mostly within 255 ticks of the clock, now and then far after it or before it.
            std::int64_t time = clock + next() % 256;
            if (choice == 0) time = clock + 256 + next() % 5000;
            if (choice == 1) time = clock - next() % 300;
            oneByOne.addNoteOff(time, id & 0x7F, static_cast<std::uint8_t>(step & 0x7F), id & 0x0F);
            allAtOnce.addNoteOff(time, id & 0x7F, static_cast<std::uint8_t>(step & 0x7F), id & 0x0F);
            ++id;
        } else {
            clock += next() % 40;
            std::vector<PendingNoteOff> expected;
            while (const std::optional<PendingNoteOff> taken = oneByOne.takeEarliestDue(clock)) expected.push_back(*taken);
            std::vector<PendingNoteOff> taken;
            allAtOnce.takeAllDue(clock, [&taken](const PendingNoteOff& due) { taken.push_back(due); });
            ASSERT_EQ(taken.size(), expected.size()) << "step " << step;
            for (std::size_t index = 0; index < taken.size(); ++index) {
                EXPECT_EQ(taken[index].time, expected[index].time) << "step " << step;
                EXPECT_EQ(taken[index].note, expected[index].note) << "step " << step;
                EXPECT_EQ(taken[index].velocity, expected[index].velocity) << "step " << step;
                EXPECT_EQ(taken[index].channel, expected[index].channel) << "step " << step;
            }
        }
        ASSERT_EQ(allAtOnce.count(), oneByOne.count());
    }
}

}  // namespace
}  // namespace meldrix
