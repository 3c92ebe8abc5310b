#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>

#include "midi/track_table.h"

namespace meldrix {

// Appends events to one slot of a TrackTable through a cursor of its own, for the conversions'
// loops: each event costs one check of room and a few byte stores, with the cursor kept in
// registers rather than reloaded from the table after every byte written.
//
// While a writer is alive nothing else may append to its table. What it wrote counts in the
// table once commit() is called or the writer is destroyed; an event it cannot write quickly
// (a long delta time, a buffer to grow, the byte limit near) goes through
// TrackTable::appendEvent, with the same result as appending it there.
class TrackWriter {
public:
    TrackWriter(TrackTable& table, int slot) : table_(table), slot_(slot) { takeRoom(); }
    ~TrackWriter() { commit(); }
    TrackWriter(const TrackWriter&) = delete;
    TrackWriter& operator=(const TrackWriter&) = delete;

    // As TrackTable::appendEvent(slot, delta, event).
    bool append(std::int64_t delta, TrackEvent event) {
        if (static_cast<std::uint64_t>(delta) <= 127 && static_cast<std::size_t>(end_ - cursor_) >= QUICK_EVENT_BYTES) {
            std::uint8_t* const at = cursor_;
            at[0] = static_cast<std::uint8_t>(delta);
            for (std::size_t index = 0; index < event.bytes.size(); ++index) at[1 + index] = event.bytes[index];
            cursor_ = at + 1 + std::min<std::size_t>(event.count, event.bytes.size());
            return true;
        }
        return appendSlowly(delta, event);
    }

    // Hands the bytes written so far to the table.
    void commit() {
        table_.appendWritten(slot_, static_cast<std::size_t>(cursor_ - start_));
        start_ = cursor_;
    }

private:
    // A one-byte delta time and every byte of an event, written whole even when fewer count.
    static constexpr std::size_t QUICK_EVENT_BYTES = 1 + std::tuple_size_v<decltype(TrackEvent::bytes)>;

    bool appendSlowly(std::int64_t delta, const TrackEvent& event) {
        commit();
        const bool appended = table_.appendEvent(slot_, delta, event);
        takeRoom();
        return appended;
    }
    void takeRoom() {
        const std::span<std::uint8_t> room = table_.quickRoom(slot_);
        start_ = cursor_ = room.data();
        end_ = room.data() + room.size();
    }

    TrackTable& table_;
    int slot_;
    std::uint8_t* start_ = nullptr;   // the first byte not yet handed to the table
    std::uint8_t* cursor_ = nullptr;  // where the next event goes
    std::uint8_t* end_ = nullptr;     // the end of the quick room
};

}  // namespace meldrix
