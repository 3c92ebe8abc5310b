#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "lzw/decoded_section.h"

namespace meldrix {

// The bytes a section decodes to, in a vector that grows with them up to a fixed capacity.
//
// The capacity may come from a header claim of up to 2 GiB while the real data is tiny, so
// memory is reserved geometrically as bytes arrive, never beyond the capacity (plus the
// padding DecodedSection adds, so that handing the bytes over does not copy them again).
class DecodedArea {
public:
    explicit DecodedArea(std::uint64_t capacity);

    // Stores the bytes of `bytes` that fit below the capacity, in order; the rest is dropped.
    void append(std::span<const std::uint8_t> bytes);
    void append(std::uint8_t byte) { append(std::span<const std::uint8_t>(&byte, 1)); }

    bool full() const { return bytes_.size() == capacity_; }

    // Hands the stored bytes over; the area is empty afterwards.
    DecodedSection release() { return DecodedSection(std::move(bytes_)); }

private:
    std::size_t capacity_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace meldrix
