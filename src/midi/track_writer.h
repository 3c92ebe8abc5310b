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
    TrackWriter(TrackTable& table, int slot) : table_(table), slot_(slot), room_(roomOf(table, slot)) {}
    ~TrackWriter() { commit(); }
    TrackWriter(const TrackWriter&) = delete;
    TrackWriter& operator=(const TrackWriter&) = delete;

    // As TrackTable::appendEvent(slot, delta, event).
    bool append(std::int64_t delta, TrackEvent event) {
        if (static_cast<std::uint64_t>(delta) <= 127 &&
            static_cast<std::size_t>(room_.end - room_.cursor) >= QUICK_EVENT_BYTES) {
            std::uint8_t* const at = room_.cursor;
            at[0] = static_cast<std::uint8_t>(delta);
            for (std::size_t index = 0; index < event.bytes.size(); ++index) at[1 + index] = event.bytes[index];
            room_.cursor = at + 1 + std::min<std::size_t>(event.count, event.bytes.size());
            return true;
        }
        const Appended result = appendSlowly(table_, slot_, room_, delta, event);
        room_ = result.room;
        return result.appended;
    }

    // Hands the bytes written so far to the table.
    void commit() { room_ = committed(table_, slot_, room_); }

private:
    // A one-byte delta time and every byte of an event, written whole even when fewer count.
    static constexpr std::size_t QUICK_EVENT_BYTES = 1 + std::tuple_size_v<decltype(TrackEvent::bytes)>;

    // The writer's view of its slot's quick room: [start, cursor) written but not yet handed to
    // the table, [cursor, end) free.
    struct Room {
        std::uint8_t* start = nullptr;
        std::uint8_t* cursor = nullptr;
        std::uint8_t* end = nullptr;
    };
    struct Appended {
        Room room;
        bool appended;
    };

    // The slow paths take and give the room by value, never the writer itself: the writer's
    // address never escapes, so the compiler keeps its cursor in a register in the loops.
    static Room roomOf(TrackTable& table, int slot) {
        const std::span<std::uint8_t> room = table.quickRoom(slot);
        return {room.data(), room.data(), room.data() + room.size()};
    }
    static Room committed(TrackTable& table, int slot, Room room) {
        table.appendWritten(slot, static_cast<std::size_t>(room.cursor - room.start));
        room.start = room.cursor;
        return room;
    }
    static Appended appendSlowly(TrackTable& table, int slot, Room room, std::int64_t delta, TrackEvent event) {
        committed(table, slot, room);
        const bool appended = table.appendEvent(slot, delta, event);
        return {roomOf(table, slot), appended};
    }

    TrackTable& table_;
    int slot_;
    Room room_;
};

}  // namespace meldrix
