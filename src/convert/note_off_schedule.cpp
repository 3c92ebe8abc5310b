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

void NoteOffSchedule::addNoteOff(std::int64_t time, std::uint8_t note, std::uint8_t velocity,
                                 std::uint8_t channel) {
    heap_.push_back(Entry{PendingNoteOff{time, note, velocity, channel}, added_++});
    std::push_heap(heap_.begin(), heap_.end(), ComesLater{});
}

std::optional<PendingNoteOff> NoteOffSchedule::takeEarliestDue(std::int64_t limit) {
    if (heap_.empty() || heap_.front().noteOff.time > limit) return std::nullopt;
    std::pop_heap(heap_.begin(), heap_.end(), ComesLater{});
    const PendingNoteOff earliest = heap_.back().noteOff;
    heap_.pop_back();
    return earliest;
}

}  // namespace meldrix
