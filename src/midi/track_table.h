#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "memory/byte_block.h"

namespace meldrix {

inline constexpr int TRACK_SLOTS = 32;
inline constexpr int LYRIC_TRACK = 0;
inline constexpr int MUSIC_TRACK = 1;

// The largest value a MIDI variable-length quantity carries.
inline constexpr std::int64_t MAX_VARIABLE_LENGTH = 0x0FFFFFFF;
// Bytes the writer adds inside every track chunk around the buffered events.
inline constexpr std::uint64_t TRACK_FIXED_BYTES = 19;
// The most event bytes a track may hold so that its chunk length still fits 32 bits.
inline constexpr std::uint64_t MAX_TRACK_BYTES = 0xFFFFFFFFull - TRACK_FIXED_BYTES;

// Writes the MIDI variable-length quantity of value into destination, most significant 7-bit
// group first, bit 7 set on every byte but the last; returns the number of bytes written (1 to 4).
// Requires: 0 <= value <= MAX_VARIABLE_LENGTH. Outside that range only the low 28 bits are
// encoded, so at most 4 bytes are ever written.
int writeVariableLength(std::int64_t value, std::uint8_t destination[4]);

// One event after its delta time: a status byte and its data, the first `count` bytes (a count
// above 4 counts as 4).
struct TrackEvent {
    std::array<std::uint8_t, 4> bytes{};
    std::uint8_t count = 0;
};

// The event bytes of one track: delta times and events exactly as they stand inside the track
// chunk, between the writer's fixed preamble and its End of Track event.
class TrackBuffer {
public:
    std::span<const std::uint8_t> bytes() const { return {block_.data(), size_}; }
    std::size_t size() const { return size_; }
    // Bytes the buffer holds room for; 0 once released.
    std::size_t capacity() const { return block_.size(); }

private:
    friend class TrackTable;
    ByteBlock block_;
    std::size_t size_ = 0;  // never above capacity() nor the table's byte limit
};

// The tracks of one conversion, filled one value (or event) at a time and consumed by the MIDI
// file writer.
//
// Invariant: trackCount() equals the number of slots that hold a buffer. Buffers grow as needed,
// up to maxTrackBytes each; a value that would pass that limit, or a delta time above
// MAX_VARIABLE_LENGTH, is refused and marks the table as overflowed(), after which it refuses
// every append: the run cannot be written as a MIDI file.
class TrackTable {
public:
    explicit TrackTable(std::uint64_t maxTrackBytes = MAX_TRACK_BYTES);

    // Empties every slot: trackCount() becomes 0 and the table is no longer overflowed.
    void clear();

    // Gives the slot an empty buffer if it has none (raising trackCount), so that its track is
    // written even if nothing is ever appended to it. A slot outside 0 to TRACK_SLOTS - 1 is
    // ignored.
    void openTrack(int slot);

    // Appends one value to the slot (0 to TRACK_SLOTS - 1), creating its buffer on first use.
    // asDeltaTime and value > 127: the variable-length quantity of value (2 to 4 bytes).
    // Otherwise one byte, the low 8 bits of value (so -1 as a delta time is stored as FF).
    // Returns false, changing no bytes and no slot, when the value is refused (see overflowed());
    // a slot outside the table is refused too, without marking the table overflowed.
    bool appendTrackByte(int slot, std::int64_t value, bool asDeltaTime) {
        if (asDeltaTime && value > 127) return appendEvent(slot, value, TrackEvent{});
        TrackBuffer* target = roomFor(slot, 1);
        if (target == nullptr) return false;
        target->block_.data()[target->size_++] = static_cast<std::uint8_t>(value & 0xFF);
        return true;
    }

    // Appends a delta time, exactly as appendTrackByte(slot, delta, true) would, followed by the
    // event's bytes, with one check of room for the whole of it. Refuses, changing nothing,
    // exactly when appending those values one at a time would refuse one of them. (The
    // conversions append through a TrackWriter, which comes here for what it cannot do quickly.)
    bool appendEvent(int slot, std::int64_t delta, TrackEvent event);

    // For a TrackWriter: the writable bytes just after the slot's content, as far as appends
    // may run without a closer look (the room held, the byte limit). Empty for a slot without a
    // buffer, outside the table, or once the table has overflowed.
    std::span<std::uint8_t> quickRoom(int slot);
    // Counts `count` bytes written at the start of quickRoom(slot) as appended (none once the
    // table has overflowed). Requires: count <= quickRoom(slot).size().
    void appendWritten(int slot, std::size_t count);

    // Makes room for `bytes` more bytes in the slot's buffer (at most up to maxTrackBytes), so
    // that a conversion that knows its size grows the buffer once. Changes no content; a slot
    // without a buffer, or outside the table, is left alone.
    void reserve(int slot, std::uint64_t bytes);

    int trackCount() const { return trackCount_; }
    bool overflowed() const { return overflowed_; }

    // The slot's buffer, or nullptr for an empty slot (or a slot outside the table).
    const TrackBuffer* buffer(int slot) const;
    // Releases the slot's buffer (its memory); the slot still counts as written.
    void release(int slot);

private:
    static bool inTable(int slot) { return slot >= 0 && slot < TRACK_SLOTS; }

    // The slot's buffer, created if need be, with room for `count` more bytes; nullptr
    // otherwise, with the table marked overflowed when the byte limit is what refused.
    // Nothing changes when it returns nullptr. Throws std::bad_alloc when memory runs out.
    TrackBuffer* roomFor(int slot, std::uint64_t count) {
        if (overflowed_ || !inTable(slot)) return nullptr;
        std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
        if (entry && entry->capacity() - entry->size_ >= count && count <= maxTrackBytes_ &&
            entry->size_ <= maxTrackBytes_ - count) {
            return &*entry;
        }
        return makeRoom(slot, count);
    }

    TrackBuffer* makeRoom(int slot, std::uint64_t count);
    // The bytes that may still be appended to the buffer without growing it or passing the limit.
    std::size_t freeRoom(const TrackBuffer& buffer) const {
        return static_cast<std::size_t>(std::min<std::uint64_t>(buffer.capacity(), maxTrackBytes_)) - buffer.size_;
    }
    // Makes the buffer hold room for at least `size` bytes, keeping its content.
    void growTo(TrackBuffer& buffer, std::uint64_t size);

    std::uint64_t maxTrackBytes_;
    std::array<std::optional<TrackBuffer>, TRACK_SLOTS> slots_;
    int trackCount_ = 0;
    bool overflowed_ = false;
};

}  // namespace meldrix
