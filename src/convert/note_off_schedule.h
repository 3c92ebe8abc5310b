#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace meldrix {

// A note-off still to be written into the music track.
struct PendingNoteOff {
    std::int64_t time = 0;  // the music clock tick at which it is due
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
    std::uint8_t channel = 0;  // 0 to 15
};

// The note-offs of the notes still sounding. They come out earliest first, and those due at
// the same time in the order they were added. Adding and taking cost O(log n).
class NoteOffSchedule {
public:
    void addNoteOff(std::int64_t time, std::uint8_t note, std::uint8_t velocity, std::uint8_t channel);

    // Removes and returns the earliest entry if it is due no later than limit; otherwise
    // changes nothing and returns nothing.
    std::optional<PendingNoteOff> takeEarliestDue(std::int64_t limit);

    std::size_t count() const { return heap_.size(); }

private:
    struct Entry {
        PendingNoteOff noteOff;
        std::uint64_t order;  // order of addition: breaks ties between equal times
    };
    std::vector<Entry> heap_;  // a min-heap on (time, order)
    std::uint64_t added_ = 0;
};

}  // namespace meldrix
