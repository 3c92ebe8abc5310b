#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "memory/huge_pages.h"

namespace meldrix {

// A note-off still to be written into the music track.
struct PendingNoteOff {
    std::int64_t time = 0;  // the music clock tick at which it is due
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
    std::uint8_t channel = 0;  // 0 to 15
};

// The note-offs of the notes still sounding. They come out earliest first, and those due at
// the same time in the order they were added.
//
// The music track keeps every pending note-off within 256 ticks of the earliest one (a note
// lasts at most 255 ticks and the clock never goes back), so entries go into a ring of
// RING_TICKS buckets, one per tick, each first in, first out: adding costs O(1), and taking
// costs O(1) plus the ticks the earliest entry moved on. An entry outside that window (the class
// takes any times) goes to a heap instead, at O(log n).
//
// Times and limits must lie within +-2^62, so that a window's end never overflows; the music
// clock gains at most 255 ticks a record and stays far below.
class NoteOffSchedule {
public:
    void addNoteOff(std::int64_t time, std::uint8_t note, std::uint8_t velocity, std::uint8_t channel) {
        if (ringCount_ != 0 && inWindow(time)) {
            addToRing(time, RingEntry{added_++, note, velocity, channel});
        } else {
            addNoteOffSlowly(time, note, velocity, channel);
        }
    }

    // Removes and returns the earliest entry if it is due no later than limit; otherwise
    // changes nothing and returns nothing.
    std::optional<PendingNoteOff> takeEarliestDue(std::int64_t limit);

    // Removes every entry due no later than limit and hands each to take(const PendingNoteOff&),
    // in the order takeEarliestDue would give them one by one. take must not change the
    // schedule. Should take throw, the schedule stays valid, and the entries of the tick being
    // taken that were already handed over stay in it.
    template <typename Take>
    void takeAllDue(std::int64_t limit, Take&& take) {
        if (!heap_.empty()) {
            // Ring and heap entries interleave: merge them one at a time.
            while (const std::optional<PendingNoteOff> due = takeEarliestDue(limit)) take(*due);
            return;
        }
        if (ringCount_ == 0 || limit < windowStart_) return;
        // Whole buckets at a time, skipping the empty ones by their bits: one bucket holds one
        // tick, in order of addition.
        const std::int64_t last = std::min(limit, windowStart_ + (RING_TICKS - 1));
        for (std::int64_t tick = firstOccupied(windowStart_, last); tick <= last;
             tick = firstOccupied(tick + 1, last)) {
            Bucket& bucket = bucketOf(tick);
            for (std::size_t index = bucket.head; index < bucket.entries.size(); ++index) {
                const RingEntry& entry = bucket.entries[index];
                take(PendingNoteOff{tick, entry.note, entry.velocity, entry.channel});
            }
            ringCount_ -= bucket.entries.size() - bucket.head;
            clearBucket(tick);
            if (ringCount_ == 0) return;  // the next entry added starts the window afresh
        }
        windowStart_ = last;
    }

    std::size_t count() const { return ringCount_ + heap_.size(); }

private:
    static constexpr std::int64_t RING_TICKS = 256;

    // A ring entry: its time is the tick of its bucket. 16 bytes.
    struct RingEntry {
        std::uint64_t order;  // order of addition: breaks ties between equal times
        std::uint8_t note;
        std::uint8_t velocity;
        std::uint8_t channel;
    };
    struct HeapEntry {
        PendingNoteOff noteOff;
        std::uint64_t order;
    };
    // The entries due at one tick, in order of addition; those before `head` are taken.
    struct Bucket {
        // One bucket can hold every note of a song; 256 of them live at once.
        std::vector<RingEntry, HugePageAllocator<RingEntry, HUGE_PAGE_HALF_USED>> entries;
        std::size_t head = 0;
        bool empty() const { return head == entries.size(); }
    };
    static constexpr std::size_t BITS_PER_WORD = 64;

    bool inWindow(std::int64_t time) const {
        // Unsigned difference: no overflow whatever the two times are.
        return time >= windowStart_ &&
               static_cast<std::uint64_t>(time) - static_cast<std::uint64_t>(windowStart_) < RING_TICKS;
    }
    void addToRing(std::int64_t time, const RingEntry& entry) {
        const std::size_t index = indexOf(time);
        ring_[index].entries.push_back(entry);
        occupied_[index / BITS_PER_WORD] |= std::uint64_t{1} << (index % BITS_PER_WORD);
        ++ringCount_;
    }
    void addNoteOffSlowly(std::int64_t time, std::uint8_t note, std::uint8_t velocity, std::uint8_t channel);
    static std::size_t indexOf(std::int64_t time) { return static_cast<std::size_t>(time & (RING_TICKS - 1)); }
    Bucket& bucketOf(std::int64_t time) { return ring_[indexOf(time)]; }
    // Clears the bucket of a tick once everything in it is taken, keeping its memory.
    void clearBucket(std::int64_t tick) {
        Bucket& bucket = bucketOf(tick);
        bucket.entries.clear();
        bucket.head = 0;
        occupied_[indexOf(tick) / BITS_PER_WORD] &= ~(std::uint64_t{1} << (indexOf(tick) % BITS_PER_WORD));
    }
    // The first tick in [from, last] whose bucket holds entries, or last + 1 when none does.
    // Requires windowStart_ <= from and last < windowStart_ + RING_TICKS.
    std::int64_t firstOccupied(std::int64_t from, std::int64_t last) const {
        while (from <= last) {
            const std::size_t index = indexOf(from);
            const std::uint64_t later = occupied_[index / BITS_PER_WORD] >> (index % BITS_PER_WORD);
            if (later != 0) return std::min(from + std::countr_zero(later), last + 1);
            from += static_cast<std::int64_t>(BITS_PER_WORD - index % BITS_PER_WORD);
        }
        return last + 1;
    }
    // The bucket of the earliest ring entry due no later than limit, or nullptr.
    Bucket* earliestDueBucket(std::int64_t limit);

    // Invariant: every ring entry is due in [windowStart_, windowStart_ + RING_TICKS), so a
    // bucket holds entries of one tick only; a bucket's bit in occupied_ is set exactly when it
    // holds entries not yet taken.
    std::array<Bucket, RING_TICKS> ring_;
    std::array<std::uint64_t, RING_TICKS / BITS_PER_WORD> occupied_{};
    std::int64_t windowStart_ = 0;
    std::size_t ringCount_ = 0;
    std::vector<HeapEntry> heap_;  // a min-heap on (time, order) of the entries outside the window
    std::uint64_t added_ = 0;
};

}  // namespace meldrix
