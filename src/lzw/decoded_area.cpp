#include "lzw/decoded_area.h"

#include <algorithm>

namespace meldrix {

namespace {

// The first reservation: enough for a small section, small enough to cost nothing.
constexpr std::size_t INITIAL_RESERVE = 4096;

// The most bytes a vector can hold once DecodedSection has added its padding.
std::size_t largestCapacity() {
    return std::vector<std::uint8_t>().max_size() - RECORD_PADDING;
}

}  // namespace

DecodedArea::DecodedArea(std::uint64_t capacity)
    : capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(capacity, largestCapacity()))) {}

void DecodedArea::append(std::span<const std::uint8_t> bytes) {
    const std::size_t stored = std::min(bytes.size(), capacity_ - bytes_.size());
    const std::size_t needed = bytes_.size() + stored;
    if (needed > bytes_.capacity()) {
        const std::size_t grown = std::max({needed, 2 * bytes_.capacity(), INITIAL_RESERVE});
        bytes_.reserve(std::min(grown, capacity_ + RECORD_PADDING));
    }
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(stored));
}

}  // namespace meldrix
