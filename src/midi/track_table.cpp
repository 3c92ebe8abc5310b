#include "midi/track_table.h"

#include <algorithm>

namespace meldrix {

namespace {

// The room a track starts with: small tracks grow once or not at all.
constexpr std::uint64_t MIN_TRACK_ROOM = 256;

}  // namespace

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

TrackBuffer* TrackTable::makeRoom(int slot, std::uint64_t count) {
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    const std::uint64_t held = entry ? entry->size_ : 0;
    if (count > maxTrackBytes_ || held > maxTrackBytes_ - count) {
        overflowed_ = true;
        return nullptr;
    }
    // The buffer is grown before a new slot is counted, so running out of memory leaves no
    // half-made track behind.
    TrackBuffer grown;
    TrackBuffer& target = entry ? *entry : grown;
    if (target.capacity() - target.size_ < count) {
        // Doubling keeps appends amortised O(1) per byte.
        growTo(target, std::max({held + count, 2 * static_cast<std::uint64_t>(target.capacity()), MIN_TRACK_ROOM}));
    }
    if (!entry) {
        entry.emplace(std::move(grown));
        ++trackCount_;
    }
    return &*entry;
}

void TrackTable::growTo(TrackBuffer& buffer, std::uint64_t size) {
    const std::uint64_t wanted = std::min(size, maxTrackBytes_);
    if (wanted <= buffer.capacity()) return;
    buffer.block_.grow(static_cast<std::size_t>(wanted), buffer.size_);
}

bool TrackTable::appendEvent(int slot, std::int64_t delta, TrackEvent event) {
    if (overflowed_ || !inTable(slot)) return false;
    std::array<std::uint8_t, 8> encoded{};  // a delta time of at most 4 bytes, then the event
    std::size_t count = 1;
    if (delta > MAX_VARIABLE_LENGTH) {
        // No variable-length quantity carries it: the track cannot be written faithfully.
        overflowed_ = true;
        return false;
    }
    if (delta > 127) {
        count = static_cast<std::size_t>(writeVariableLength(delta, encoded.data()));
    } else {
        encoded[0] = static_cast<std::uint8_t>(delta & 0xFF);
    }
    const std::size_t eventBytes = std::min<std::size_t>(event.count, event.bytes.size());
    std::copy_n(event.bytes.begin(), eventBytes, encoded.begin() + static_cast<std::ptrdiff_t>(count));
    count += eventBytes;
    TrackBuffer* target = roomFor(slot, count);
    if (target == nullptr) return false;
    std::copy_n(encoded.begin(), count, target->block_.data() + target->size_);
    target->size_ += count;
    return true;
}

const TrackBuffer* TrackTable::buffer(int slot) const {
    if (!inTable(slot)) return nullptr;
    const std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    return entry ? &*entry : nullptr;
}

std::span<std::uint8_t> TrackTable::quickRoom(int slot) {
    if (overflowed_ || !inTable(slot)) return {};
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    if (!entry || entry->block_.data() == nullptr) return {};
    return {entry->block_.data() + entry->size_, freeRoom(*entry)};
}

void TrackTable::appendWritten(int slot, std::size_t count) {
    if (count == 0 || overflowed_ || !inTable(slot)) return;
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    if (entry) entry->size_ += std::min(count, freeRoom(*entry));
}

void TrackTable::reserve(int slot, std::uint64_t bytes) {
    if (!inTable(slot)) return;
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    if (!entry) return;
    const std::uint64_t held = entry->size_;
    growTo(*entry, held + std::min(bytes, maxTrackBytes_ - std::min(held, maxTrackBytes_)));
}

void TrackTable::release(int slot) {
    if (!inTable(slot)) return;
    std::optional<TrackBuffer>& entry = slots_[static_cast<std::size_t>(slot)];
    // The slot stays filled so the count holds.
    if (entry) *entry = TrackBuffer();
}

}  // namespace meldrix
