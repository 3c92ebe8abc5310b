#include "midi/track_table.h"

#include <algorithm>

namespace meldrix {

TrackTable::TrackTable(std::uint64_t maxTrackBytes) : maxTrackBytes_(maxTrackBytes) {}

void TrackTable::clear() {
    for (std::optional<TrackBuffer>& entry : slots_) entry.reset();
    trackCount_ = 0;
    overflowed_ = false;
}

void TrackTable::openTrack(int slot) {
    if (!inTable(slot)) return;
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    if (entry) return;
    entry.emplace();
    ++trackCount_;
}

bool TrackTable::appendVariableLength(int slot, std::int64_t value) {
    if (overflowed_ || !inTable(slot)) return false;
    if (value > MAX_VARIABLE_LENGTH) {
        // No variable-length quantity carries it: the track cannot be written faithfully.
        overflowed_ = true;
        return false;
    }
    std::uint8_t encoded[4];
    const int count = writeVariableLength(value, encoded);
    TrackBuffer* target = roomFor(slot, static_cast<std::uint64_t>(count));
    if (target == nullptr) return false;
    target->data.insert(target->data.end(), encoded, encoded + count);
    return true;
}

const TrackBuffer* TrackTable::buffer(int slot) const {
    if (!inTable(slot)) return nullptr;
    const std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    return entry ? &*entry : nullptr;
}

void TrackTable::reserve(int slot, std::uint64_t bytes) {
    if (!inTable(slot)) return;
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    if (!entry) return;
    const std::uint64_t held = entry->data.size();
    const std::uint64_t wanted = held + std::min(bytes, maxTrackBytes_ - std::min(held, maxTrackBytes_));
    entry->data.reserve(static_cast<std::size_t>(wanted));
}

void TrackTable::release(int slot) {
    if (!inTable(slot)) return;
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    // Swapping with an empty vector frees the memory; the slot stays filled so the count holds.
    if (entry) decltype(entry->data)().swap(entry->data);
}

}  // namespace meldrix
