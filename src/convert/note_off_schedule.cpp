#include "convert/note_off_schedule.h"

#include <algorithm>

namespace meldrix {

namespace {

// Heap order: the entry that comes out first is the one no other entry is "later" than.
struct ComesLater {
    template <typename Entry>
    bool operator()(const Entry& left, const Entry& right) const {
        if (left.noteOff.time != right.noteOff.time) return left.noteOff.time > right.noteOff.time;
        return left.order > right.order;
    }
};

}  // namespace

void NoteOffSchedule::addNoteOffSlowly(std::int64_t time, std::uint8_t note, std::uint8_t velocity,
                                       std::uint8_t channel) {
    const Entry entry{PendingNoteOff{time, note, velocity, channel}, added_++};
    if (ringCount_ == 0) windowStart_ = time;  // an empty ring can start its window anywhere
    if (inWindow(time)) {
        addToRing(entry);
    } else {
        heap_.push_back(entry);
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
    if (heapDue && (bucket == nullptr || ComesLater{}(bucket->entries[bucket->head], heap_.front()))) {
        std::pop_heap(heap_.begin(), heap_.end(), ComesLater{});
        const PendingNoteOff earliest = heap_.back().noteOff;
        heap_.pop_back();
        return earliest;
    }
    if (bucket == nullptr) return std::nullopt;
    const PendingNoteOff earliest = bucket->entries[bucket->head++].noteOff;
    --ringCount_;
    if (bucket->empty()) empty(windowStart_);  // the bucket found is the window's first
    return earliest;
}

}  // namespace meldrix
