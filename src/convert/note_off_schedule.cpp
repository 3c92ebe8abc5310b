#include "convert/note_off_schedule.h"

#include <algorithm>

namespace meldrix {

namespace {

// Heap order: the entry that comes out first is the one no other entry is "later" than.
struct ComesLater {
    template <typename HeapEntry>
    bool operator()(const HeapEntry& left, const HeapEntry& right) const {
        if (left.noteOff.time != right.noteOff.time) return left.noteOff.time > right.noteOff.time;
        return left.order > right.order;
    }
};

}  // namespace

void NoteOffSchedule::addNoteOffSlowly(std::int64_t time, std::uint8_t note, std::uint8_t velocity,
                                       std::uint8_t channel) {
    const std::uint64_t order = added_++;
    if (ringCount_ == 0) windowStart_ = time;  // an empty ring can start its window anywhere
    if (inWindow(time)) {
        addToRing(time, RingEntry{order, note, velocity, channel});
    } else {
        heap_.push_back(HeapEntry{PendingNoteOff{time, note, velocity, channel}, order});
        std::push_heap(heap_.begin(), heap_.end(), ComesLater{});
    }
}

NoteOffSchedule::Bucket* NoteOffSchedule::earliestDueBucket(std::int64_t limit) {
    if (ringCount_ == 0 || limit < windowStart_) return nullptr;
    const std::int64_t last = std::min(limit, windowStart_ + (RING_TICKS - 1));
    const std::int64_t tick = firstOccupied(windowStart_, last);
    if (tick <= last) {
        windowStart_ = tick;  // nothing is due before it
        return &bucketOf(tick);
    }
    // Nothing is due up to limit: the window may start there (the entries lie after it, within
    // RING_TICKS of the old start), so an entry still due at limit, the clock, fits the ring.
    windowStart_ = last;
    return nullptr;
}

std::optional<PendingNoteOff> NoteOffSchedule::takeEarliestDue(std::int64_t limit) {
    Bucket* bucket = earliestDueBucket(limit);
    const bool heapDue = !heap_.empty() && heap_.front().noteOff.time <= limit;
    if (heapDue) {
        // The bucket found is the window's first: its entries are due at windowStart_.
        const HeapEntry& top = heap_.front();
        const bool heapFirst = bucket == nullptr || top.noteOff.time < windowStart_ ||
                               (top.noteOff.time == windowStart_ && top.order < bucket->entries[bucket->head].order);
        if (heapFirst) {
            std::pop_heap(heap_.begin(), heap_.end(), ComesLater{});
            const PendingNoteOff earliest = heap_.back().noteOff;
            heap_.pop_back();
            return earliest;
        }
    }
    if (bucket == nullptr) return std::nullopt;
    const RingEntry& entry = bucket->entries[bucket->head++];
    const PendingNoteOff earliest{windowStart_, entry.note, entry.velocity, entry.channel};
    --ringCount_;
    if (bucket->empty()) clearBucket(windowStart_);
    return earliest;
}

}  // namespace meldrix
