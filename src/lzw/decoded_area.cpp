#include "lzw/decoded_area.h"

#include <algorithm>
#include <limits>

namespace meldrix {

namespace {

// The first reservation: enough for a small section, small enough to cost nothing. The area
// then grows as bytes arrive; it never starts from the header's claim, nor from a guess based on
// the compressed size: a stream may stop at its first codes whatever either says.
constexpr std::size_t FIRST_RESERVE = std::size_t{64} << 10;

// Each growth makes the area this many times larger: few growths, and a block within a small
// multiple of the bytes produced (only the pages written are ever touched).
constexpr std::size_t GROWTH_FACTOR = 4;

// A capacity beyond any allocation keeps the size arithmetic below from overflowing; such a
// section fails to allocate long before it gets near it.
constexpr std::size_t LARGEST_CAPACITY = std::numeric_limits<std::size_t>::max() / 4;

}  // namespace

DecodedArea::DecodedArea(std::uint64_t capacity, std::size_t stringRoom)
    : capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(capacity, LARGEST_CAPACITY))),
      stringRoom_(stringRoom),
      writable_(std::min(FIRST_RESERVE, capacity_) + stringRoom_),
      bytes_(writable_ + RECORD_PADDING) {}

void DecodedArea::grow(std::size_t position) {
    // Growing by a constant factor keeps any copying linear in the bytes produced (a block of
    // huge pages moves its pages instead); the capacity bounds it. Past the first reservation the
    // area goes straight to a block of huge pages, which costs no more to fill than a smaller one.
    const std::size_t wanted = std::max({GROWTH_FACTOR * (writable_ - stringRoom_), position, HUGE_PAGE_BLOCK});
    bytes_.grow(std::min(wanted, capacity_) + stringRoom_ + RECORD_PADDING, position);
    // A block may hold more than asked for; all of it can be used.
    writable_ = bytes_.size() - RECORD_PADDING;
}

DecodedSection DecodedArea::release(std::size_t written) {
    // Whatever was written past the capacity stays in the room beyond it and is dropped.
    writable_ = 0;
    return DecodedSection(std::move(bytes_), std::min(written, capacity_));
}

}  // namespace meldrix
